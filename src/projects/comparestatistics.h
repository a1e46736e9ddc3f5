#pragma once

#include <QJsonObject>
#include <QString>

// How far a modified image (MOD) departs from its original (ORI), byte by byte.
struct CompareStatistics
{
    qint64 size = 0; // the common size both were compared over
    qint64 differingBytes = 0;
    qint64 differingBits = 0;
    qint64 changeBlocks = 0; // maximal runs of consecutive differing offsets
    qint64 firstChange = -1;
    qint64 lastChange = -1;

    qint64 affectedInterval() const { return firstChange < 0 ? 0 : lastChange - firstChange + 1; }
    double differencePercent() const;
    double similarityPercent() const;
};

CompareStatistics compareImages(const char *ori, const char *mod, qint64 size);

// The statistics as the command-line tool prints them.
QJsonObject compareStatisticsJson(const CompareStatistics &statistics, qint64 oriSize,
                                  qint64 modSize);

// One of the two reports shown before a MOD is opened.
struct CompareReport
{
    enum Level { Information, Warning, Critical };
    QString title;
    QString text;
    Level level = Information;
    // Whether going on ("Avanti" / OK) is the default button rather than cancelling.
    bool proceedIsDefault = true;
};

CompareReport firstCompareReport(const CompareStatistics &statistics, const QString &modFileName,
                                 qint64 oriSize, qint64 modSize);
CompareReport secondCompareReport(const CompareStatistics &statistics,
                                  const QString &modFileName);
