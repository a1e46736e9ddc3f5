#pragma once

#include "model/mapdefinition.h"

#include <QJsonObject>
#include <QStringList>

// Checks "key=value; key=value" against the JSON form of a definition, plus its sourceKind, the
// label of its organisation, its value kinds (also when 0) and the label of its Z value type
// ("type"); numbers may be written in hexadecimal. Returns the first
// difference, empty when all agree.
inline QString fieldMismatch(const MapDefinition &map, const QString &fields)
{
    QJsonObject json = toJson(map);
    json.insert(QLatin1String("sourceKind"), map.sourceKind);
    json.insert(QLatin1String("organisation"), organisationLabel(map.dataType));
    json.insert(QLatin1String("zValueKind"), map.zValueKind);
    json.insert(QLatin1String("xValueKind"), map.xValueKind);
    json.insert(QLatin1String("yValueKind"), map.yValueKind);
    json.insert(QLatin1String("type"),
                valueTypeLabel(map.dataType, map.littleEndian, map.zValueKind));
    for (const QString &field : fields.split(u';', Qt::SkipEmptyParts)) {
        const QString key = field.section(u'=', 0, 0).trimmed();
        const QString want = field.section(u'=', 1).trimmed();
        const QJsonValue got = json.value(key);
        bool number = false;
        const double wanted = want.startsWith(QLatin1String("0x"))
                                  ? double(want.toLongLong(&number, 0))
                                  : want.toDouble(&number);
        bool same = got.toString() == want;
        if (got.isBool())
            same = want == QLatin1String(got.toBool() ? "true" : "false");
        else if (got.isDouble())
            same = number && qAbs(got.toDouble() - wanted) <= 1e-12 * qMax(1.0, qAbs(wanted));
        if (!json.contains(key) || !same)
            return map.name + u' ' + key + u'=' + got.toVariant().toString() + u" instead of "
                   + want;
    }
    return {};
}

#define COMPARE_FIELDS(map, fields)                                                                \
    do {                                                                                           \
        const QString mismatch = fieldMismatch(map, fields);                                       \
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));                                        \
    } while (false)
