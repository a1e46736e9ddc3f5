#pragma once

#include "recognition/driverscanresult.h"

#include <QList>
#include <QString>
#include <QtGlobal>

// The functional category of a map, guessed from English and German keywords in its texts.
// Numbers 1..19 name a category; every other number is "Unknown".
QString categoryName(int category);

// The category of a recognised match, 0 when none scores at least 45 (or the match was not
// recognised). score receives the winning score, and 0 when the result is 0.
int classify(const DriverMapMatch &match, double &score);

// One recognised map worth proposing for its category.
struct CategorySuggestion
{
    QString mapKey;
    QString description;
    QString unit;
    QString compuMethod;
    QString displayName;
    qint64 zAddress = -1;
    qint64 xAddress = -1;
    qint64 yAddress = -1;
    qint32 rows = 0;
    qint32 columns = 0;
    double confidence = 0.0;
    QString status;
    int category = 0;
    double priority = 0.0;
};

// The confidently recognised and classified maps of a scan, highest priority first.
QList<CategorySuggestion> buildCategorySuggestions(const DriverScanResult &result);
