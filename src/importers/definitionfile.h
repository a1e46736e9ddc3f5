#pragma once

#include "model/mapdefinition.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The maps a description file gives an image, whatever its kind: a map pack (".tvp", which
// must belong to that image), an XDF or an A2L / DAMOS file. Commands that take "the maps" of an
// image as a file read it through this one door, so every kind is accepted everywhere.
struct DefinitionFileResult
{
    QList<MapDefinition> maps;
    // Maps the file holds but could not give (name: reason), for the command to report.
    QStringList skipped;
    QString error; // set, with maps empty, when the file gives no map at all
};

DefinitionFileResult readDefinitionFile(const QString &path, const QByteArray &image);
