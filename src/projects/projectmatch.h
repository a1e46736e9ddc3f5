#pragma once

#include "ecuidentification.h"

#include <QByteArray>
#include <QList>
#include <QString>

class ProjectStore;

// A saved project that holds the same image as the one being imported, or a similar one.
struct ProjectMatch
{
    QString folder;
    QString name;
    QString ecu;
    QString software;
    QString hardware;
    QString customer;
    QString vehicle;
    QString label; // "IDENTICO" or "SIMILE"
};

// Same original image, or the same file size and at least two of ECU, software, hardware
// and ECU number in common. Unreadable projects are skipped; rows keep the folder order.
QList<ProjectMatch> findProjectMatches(const ProjectStore &store,
                                       const QByteArray &image,
                                       qint64 fileSizeOnDisk,
                                       const EcuIdentification &identification);
