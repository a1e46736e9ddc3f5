#pragma once

#include "model/mapdefinition.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Writes map definitions as an XDF file that XdfParser reads back to the same maps: name,
// description, group (as a category), addresses, sizes, value types, byte order, column
// order, linear scaling, units, decimals, limits and axes. A 1 x 1 map without axes becomes
// an XDFCONSTANT, every other map an XDFTABLE.
class XdfWriter
{
public:
    // The XDF text; maps it cannot describe (no address, no cells) are left out and named in
    // skipped as "name: reason". imageSize, when known, is the size of the file's region.
    static QByteArray toXdf(const QList<MapDefinition> &maps,
                            const QString &title,
                            qint64 imageSize,
                            QStringList *skipped = nullptr);
    // The same into a file, written whole or not at all (QSaveFile); false with the reason.
    static bool writeFile(const QString &path,
                          const QList<MapDefinition> &maps,
                          const QString &title,
                          qint64 imageSize,
                          QString *error,
                          QStringList *skipped = nullptr);
    // "X", "X*0.75", "X*0.1-48": the equation XdfParser reads back to exactly this factor
    // and offset.
    static QString equationOf(double factor, double offset);
};
