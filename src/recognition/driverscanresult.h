#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// From this confidence on, a reported match is trusted: on real pairs of software versions at
// least 98 of 100 such matches lie at the true place. The scanner reports an ambiguous match
// below it.
constexpr double trustedMatchConfidence = 74.0;

// What the scanner found for one driver map. It starts as a copy of the map's texts and
// shape; the path that recognises the map fills in the found addresses and may change the
// shape.
struct DriverMapMatch
{
    QString mapKey;
    QString description;
    QString unit;
    QString compuMethod;
    QString displayName;
    qint32 category = -1;
    bool enabled = false;
    bool excluded = false;

    qint64 refZAddress = -1;
    qint64 refXAddress = -1;
    qint64 refYAddress = -1;
    qint64 zAddress = -1;
    qint64 xAddress = -1;
    qint64 yAddress = -1;

    qint32 rows = 0;
    qint32 columns = 0;
    qint32 zElementSize = 0;
    qint32 xElementSize = 0;
    qint32 yElementSize = 0;

    double confidence = 0.0;
    bool zFound = false;
    bool xFound = false;
    bool yFound = false;
    bool recognised = false;
    QString status;
};

// The outcome of one scan: one match per driver map, in driver order.
struct DriverScanResult
{
    QList<DriverMapMatch> matches;
    qint32 mapCount = 0;
    qint32 recognisedCount = 0;
    double averageConfidence = 0.0;
    // The image does not look like one of the driver's family (its maps' byte patterns did not
    // move together); no map was then looked for by its content.
    bool foreignImage = false;
    QString imageVerdict;
    // The scan was stopped before its end: nothing of it is to be loaded.
    bool cancelled = false;
};
