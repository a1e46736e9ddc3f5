#include "mapdefinition.h"

#include <QJsonArray>
#include <QJsonValue>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <type_traits>

bool MapDefinition::operator==(const MapDefinition &o) const
{
    return sourceKind == o.sourceKind && name == o.name && description == o.description
           && comment == o.comment && characteristicType == o.characteristicType
           && recordLayout == o.recordLayout && zColumnMajor == o.zColumnMajor && rows == o.rows
           && columns == o.columns && mapOffset == o.mapOffset && xAxisOffset == o.xAxisOffset
           && yAxisOffset == o.yAxisOffset && headerOffset == o.headerOffset && xAxis == o.xAxis
           && yAxis == o.yAxis && dataType == o.dataType && xDataType == o.xDataType
           && yDataType == o.yDataType && xAxisSource == o.xAxisSource
           && yAxisSource == o.yAxisSource && littleEndian == o.littleEndian
           && xLittleEndian == o.xLittleEndian && yLittleEndian == o.yLittleEndian
           && zElementSize == o.zElementSize && xElementSize == o.xElementSize
           && yElementSize == o.yElementSize && factor == o.factor && offset == o.offset
           && decimals == o.decimals && unit == o.unit && compuMethod == o.compuMethod
           && xAxisName == o.xAxisName && xAxisDescription == o.xAxisDescription && xUnit == o.xUnit
           && xCompuMethod == o.xCompuMethod && xFactor == o.xFactor
           && xOffsetFactor == o.xOffsetFactor && xDecimals == o.xDecimals
           && yAxisName == o.yAxisName && yAxisDescription == o.yAxisDescription
           && yUnit == o.yUnit && yCompuMethod == o.yCompuMethod && yFactor == o.yFactor
           && yOffsetFactor == o.yOffsetFactor && yDecimals == o.yDecimals
           && minimum == o.minimum && maximum == o.maximum && xMinimum == o.xMinimum
           && xMaximum == o.xMaximum && yMinimum == o.yMinimum && yMaximum == o.yMaximum
           && zValueKind == o.zValueKind && xValueKind == o.xValueKind
           && yValueKind == o.yValueKind && group == o.group;
}

namespace {

// A whole number is written as a JSON integer, so axes of integer types read as before.
QJsonArray axisToJson(const QList<double> &axis)
{
    QJsonArray array;
    for (double v : axis)
        array.append(v);
    return array;
}

// Narrow unsigned axes keep the low 16 bits of what they read, as they always did; wider and
// signed ones take the value as their own type holds it.
QList<double> axisFromJson(const QJsonValue &value, int organisation, int kind)
{
    QList<double> axis;
    if (!value.isArray())
        return axis;
    const bool narrowUnsigned = effectiveValueKind(organisation, kind) == ValueUnsigned
                                && elementSizeOfOrganisation(organisation) <= 2;
    const QJsonArray array = value.toArray();
    axis.reserve(array.size());
    for (const QJsonValue &v : array) {
        if (narrowUnsigned)
            axis.append(quint16(v.isDouble() ? v.toInteger() : 0));
        else
            axis.append(v.isDouble() ? clampRaw(v.toDouble(), organisation, kind) : 0.0);
    }
    return axis;
}

QString readString(const QJsonObject &o, const char *key)
{
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isString() ? v.toString() : QString();
}

int readInt(const QJsonObject &o, const char *key, int fallback)
{
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isDouble() ? v.toInt(fallback) : fallback;
}

double readDouble(const QJsonObject &o, const char *key, double fallback)
{
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isDouble() ? v.toDouble() : fallback;
}

bool readBool(const QJsonObject &o, const char *key, bool fallback)
{
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isBool() ? v.toBool() : fallback;
}

QList<double> readAxis(const uint8_t *image,
                       qint64 length,
                       int source,
                       qint64 axisOffset,
                       int count,
                       int organisation,
                       bool littleEndian,
                       int kind)
{
    QList<double> values;
    if (count < 1)
        return values;
    if (source == 0) {
        values.reserve(count);
        for (int i = 1; i <= count; ++i)
            values.append(double(i));
        return values;
    }
    const int size = elementSizeOfOrganisation(organisation);
    if (axisOffset < 0 || axisOffset + qint64(count) * size > length)
        return values;
    values.reserve(count);
    for (int i = 0; i < count; ++i)
        values.append(decodeValue(image, length, axisOffset + qint64(i) * size, organisation,
                                  littleEndian, kind));
    return values;
}

bool isSigned(int organisation, int kind)
{
    return effectiveValueKind(organisation, kind) == ValueSigned;
}

int bitsOf(int organisation)
{
    return 8 * elementSizeOfOrganisation(organisation);
}

} // namespace

QJsonObject toJson(const MapDefinition &d)
{
    // Every key but the omitted-when-zero ones is always written, so readers of older files see
    // the same shape. (QJsonObject keeps its keys sorted; mapDefinitionKeys() has the documented
    // order.)
    QJsonObject o;
    forEachJsonField(d, [&o](QLatin1StringView key, const auto &value) {
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, QList<double>>) {
            o.insert(key, axisToJson(value));
        } else if constexpr (std::is_same_v<T, OmittedWhenZero>) {
            if (*value.value != 0)
                o.insert(key, *value.value);
        } else if constexpr (std::is_same_v<T, OmittedWhenEmpty>) {
            if (!value.value->isEmpty())
                o.insert(key, *value.value);
        } else {
            o.insert(key, value);
        }
    });
    return o;
}

MapDefinition fromJson(const QJsonObject &o)
{
    MapDefinition d;
    d.name = readString(o, "name");
    d.description = readString(o, "description");
    d.comment = readString(o, "comment");
    d.characteristicType = readString(o, "characteristicType");
    d.recordLayout = readString(o, "recordLayout");
    d.zColumnMajor = readBool(o, "zColumnMajor", false);
    d.rows = readInt(o, "rows", 0);
    d.columns = readInt(o, "columns", 0);
    d.mapOffset = readInt(o, "mapOffset", -1);
    d.xAxisOffset = readInt(o, "xAxisOffset", -1);
    d.yAxisOffset = readInt(o, "yAxisOffset", -1);
    d.headerOffset = readInt(o, "headerOffset", -1);
    d.dataType = readInt(o, "dataType", 1);
    d.xDataType = readInt(o, "xDataType", 1);
    d.yDataType = readInt(o, "yDataType", 1);
    d.zValueKind = readInt(o, "zValueKind", ValueUnsigned);
    d.xValueKind = readInt(o, "xValueKind", ValueUnsigned);
    d.yValueKind = readInt(o, "yValueKind", ValueUnsigned);
    d.xAxis = axisFromJson(o.value(QLatin1String("xAxis")), d.xDataType, d.xValueKind);
    d.yAxis = axisFromJson(o.value(QLatin1String("yAxis")), d.yDataType, d.yValueKind);
    d.xAxisSource = readInt(o, "xAxisSource", 1);
    d.yAxisSource = readInt(o, "yAxisSource", 1);
    d.littleEndian = readBool(o, "littleEndian", true);
    d.xLittleEndian = readBool(o, "xLittleEndian", true);
    d.yLittleEndian = readBool(o, "yLittleEndian", true);
    d.zElementSize = readInt(o, "zElementSize", 2);
    d.xElementSize = readInt(o, "xElementSize", 2);
    d.yElementSize = readInt(o, "yElementSize", 2);
    d.factor = readDouble(o, "factor", 1.0);
    d.offset = readDouble(o, "offset", 0.0);
    d.decimals = readInt(o, "decimals", 0);
    d.unit = readString(o, "unit");
    d.compuMethod = readString(o, "compuMethod");
    d.xAxisName = readString(o, "xAxisName");
    d.xAxisDescription = readString(o, "xAxisDescription");
    d.xUnit = readString(o, "xUnit");
    d.xCompuMethod = readString(o, "xCompuMethod");
    d.xFactor = readDouble(o, "xFactor", 1.0);
    d.xOffsetFactor = readDouble(o, "xOffsetFactor", 0.0);
    d.xDecimals = readInt(o, "xDecimals", 0);
    d.yAxisName = readString(o, "yAxisName");
    d.yAxisDescription = readString(o, "yAxisDescription");
    d.yUnit = readString(o, "yUnit");
    d.yCompuMethod = readString(o, "yCompuMethod");
    d.yFactor = readDouble(o, "yFactor", 1.0);
    d.yOffsetFactor = readDouble(o, "yOffsetFactor", 0.0);
    d.yDecimals = readInt(o, "yDecimals", 0);
    d.minimum = readDouble(o, "minimum", 0.0);
    d.maximum = readDouble(o, "maximum", 0.0);
    d.xMinimum = readDouble(o, "xMinimum", 0.0);
    d.xMaximum = readDouble(o, "xMaximum", 0.0);
    d.yMinimum = readDouble(o, "yMinimum", 0.0);
    d.yMaximum = readDouble(o, "yMaximum", 0.0);
    d.group = readString(o, "group");
    return d;
}

int elementSizeOfOrganisation(int organisation)
{
    switch (organisation) {
    case Organisation8Bit:
        return 1;
    case Organisation32Bit:
        return 4;
    default:
        return 2;
    }
}

QString organisationLabel(int organisation)
{
    switch (organisation) {
    case Organisation8Bit:
        return QStringLiteral("8 Bit");
    case Organisation16BitHiLo:
        return QStringLiteral("16 Bit (HiLo)");
    case Organisation32Bit:
        return QStringLiteral("32 Bit");
    default:
        return QStringLiteral("16 Bit (LoHi)");
    }
}

int organisationFor(int elementSize, bool littleEndian)
{
    if (elementSize == 1)
        return Organisation8Bit;
    if (elementSize == 4)
        return Organisation32Bit;
    return littleEndian ? Organisation16BitLoHi : Organisation16BitHiLo;
}

int effectiveValueKind(int organisation, int kind)
{
    if (kind == ValueSigned)
        return ValueSigned;
    if (kind == ValueFloat && organisation == Organisation32Bit)
        return ValueFloat;
    return ValueUnsigned;
}

double decodeValue(
    const uint8_t *bytes, qint64 length, qint64 p, int organisation, bool littleEndian, int kind)
{
    const int size = elementSizeOfOrganisation(organisation);
    if (p < 0 || p + size > length)
        return 0.0;
    const uint8_t *b = bytes + p;
    const bool signedKind = isSigned(organisation, kind);
    switch (organisation) {
    case Organisation8Bit:
        return signedKind ? double(qint8(b[0])) : double(b[0]);
    case Organisation32Bit: {
        const quint32 word
            = littleEndian
                  ? quint32(b[0]) | quint32(b[1]) << 8 | quint32(b[2]) << 16 | quint32(b[3]) << 24
                  : quint32(b[3]) | quint32(b[2]) << 8 | quint32(b[1]) << 16 | quint32(b[0]) << 24;
        if (effectiveValueKind(organisation, kind) == ValueFloat) {
            float f;
            std::memcpy(&f, &word, sizeof f);
            return clampRaw(double(f), organisation, kind);
        }
        return signedKind ? double(qint32(word)) : double(word);
    }
    default: {
        const quint16 word = organisation == Organisation16BitHiLo ? quint16(b[0] << 8 | b[1])
                                                                   : quint16(b[0] | b[1] << 8);
        return signedKind ? double(qint16(word)) : double(word);
    }
    }
}

double minimumRaw(int organisation, int kind)
{
    switch (effectiveValueKind(organisation, kind)) {
    case ValueFloat:
        return -double(FLT_MAX);
    case ValueSigned:
        return -std::ldexp(1.0, bitsOf(organisation) - 1);
    default:
        return 0.0;
    }
}

double maximumRaw(int organisation, int kind)
{
    switch (effectiveValueKind(organisation, kind)) {
    case ValueFloat:
        return double(FLT_MAX);
    case ValueSigned:
        return std::ldexp(1.0, bitsOf(organisation) - 1) - 1.0;
    default:
        return std::ldexp(1.0, bitsOf(organisation)) - 1.0;
    }
}

double clampRaw(double raw, int organisation, int kind)
{
    if (std::isnan(raw))
        return 0.0;
    const double low = minimumRaw(organisation, kind);
    const double high = maximumRaw(organisation, kind);
    if (effectiveValueKind(organisation, kind) == ValueFloat)
        return double(float(qBound(low, raw, high))); // nearest float
    return qBound(low, std::round(raw), high) + 0.0;  // half away from zero; -0 becomes 0
}

QByteArray encodeValue(double raw, int organisation, bool littleEndian, int kind)
{
    const double value = clampRaw(raw, organisation, kind);
    const int size = elementSizeOfOrganisation(organisation);
    quint32 word;
    if (effectiveValueKind(organisation, kind) == ValueFloat) {
        const float f = float(value);
        std::memcpy(&word, &f, sizeof word);
    } else {
        // Two's complement: the low bits of the signed value.
        word = quint32(qint64(value));
    }
    QByteArray bytes(size, Qt::Uninitialized);
    bool lowFirst = littleEndian;
    if (size == 2)
        lowFirst = organisation != Organisation16BitHiLo;
    for (int i = 0; i < size; ++i) {
        const int shift = 8 * (lowFirst ? i : size - 1 - i);
        bytes[i] = char(quint8(word >> shift));
    }
    return bytes;
}

QString valueTypeLabel(int organisation, bool littleEndian, int kind)
{
    const int k = effectiveValueKind(organisation, kind);
    const QString sign = k == ValueSigned  ? QStringLiteral(" con segno")
                         : k == ValueFloat ? QStringLiteral(" float")
                                           : QString();
    switch (organisation) {
    case Organisation8Bit:
        return QStringLiteral("8 Bit") + sign;
    case Organisation16BitHiLo:
        return QStringLiteral("16 Bit") + sign + QStringLiteral(" (HiLo)");
    case Organisation32Bit:
        if (k == ValueUnsigned && littleEndian)
            return QStringLiteral("32 Bit");
        return QStringLiteral("32 Bit") + sign
               + (littleEndian ? QStringLiteral(" (LoHi)") : QStringLiteral(" (HiLo)"));
    default:
        return QStringLiteral("16 Bit") + sign + QStringLiteral(" (LoHi)");
    }
}

const QList<ValueType> &valueTypeChoices()
{
    static const QList<ValueType> choices = {
        {Organisation8Bit, true, ValueUnsigned},       {Organisation16BitLoHi, true, ValueUnsigned},
        {Organisation16BitHiLo, false, ValueUnsigned}, {Organisation32Bit, true, ValueUnsigned},
        {Organisation8Bit, true, ValueSigned},         {Organisation16BitLoHi, true, ValueSigned},
        {Organisation16BitHiLo, false, ValueSigned},   {Organisation32Bit, false, ValueUnsigned},
        {Organisation32Bit, true, ValueSigned},        {Organisation32Bit, false, ValueSigned},
        {Organisation32Bit, true, ValueFloat},         {Organisation32Bit, false, ValueFloat},
    };
    return choices;
}

ValueType normalisedValueType(const ValueType &type)
{
    ValueType t = type;
    if (t.organisation < Organisation8Bit || t.organisation > Organisation32Bit)
        t.organisation = Organisation16BitLoHi;
    t.kind = effectiveValueKind(t.organisation, t.kind);
    if (t.organisation == Organisation8Bit)
        t.littleEndian = true;
    else if (t.organisation != Organisation32Bit)
        t.littleEndian = t.organisation == Organisation16BitLoHi;
    return t;
}

int valueTypeChoice(const ValueType &type)
{
    const int index = valueTypeChoices().indexOf(normalisedValueType(type));
    return index >= 0 ? index : Organisation16BitLoHi;
}

ValueType zValueType(const MapDefinition &d)
{
    return {d.dataType, d.littleEndian, d.zValueKind};
}

ValueType xValueType(const MapDefinition &d)
{
    return {d.xDataType, d.xLittleEndian, d.xValueKind};
}

ValueType yValueType(const MapDefinition &d)
{
    return {d.yDataType, d.yLittleEndian, d.yValueKind};
}

namespace {

void storeValueType(const ValueType &type, int &dataType, int &size, bool &littleEndian, int &kind)
{
    const ValueType t = normalisedValueType(type);
    dataType = t.organisation;
    size = elementSizeOfOrganisation(t.organisation);
    littleEndian = t.littleEndian;
    kind = t.kind;
}

} // namespace

void setZValueType(MapDefinition &d, const ValueType &type)
{
    storeValueType(type, d.dataType, d.zElementSize, d.littleEndian, d.zValueKind);
}

void setXValueType(MapDefinition &d, const ValueType &type)
{
    storeValueType(type, d.xDataType, d.xElementSize, d.xLittleEndian, d.xValueKind);
}

void setYValueType(MapDefinition &d, const ValueType &type)
{
    storeValueType(type, d.yDataType, d.yElementSize, d.yLittleEndian, d.yValueKind);
}

qint64 cellIndex(const MapDefinition &d, int row, int column)
{
    return d.zColumnMajor ? qint64(column) * d.rows + row : qint64(row) * d.columns + column;
}

QList<double> readMapValues(const MapDefinition &d, const uint8_t *image, qint64 length)
{
    QList<double> values;
    if (d.mapOffset < 0 || d.rows < 1 || d.columns < 1)
        return values;
    const qint64 count = qint64(d.rows) * d.columns;
    const qint64 size = qMax(d.zElementSize, 1);
    if (count > length || d.mapOffset + count * size > length)
        return values;
    const int organisation = d.dataType;
    values.reserve(count);
    for (qint64 k = 0; k < count; ++k)
        values.append(decodeValue(image, length, d.mapOffset + k * size, organisation,
                                  d.littleEndian, d.zValueKind));
    return values;
}

QList<double> readXAxis(const MapDefinition &d, const uint8_t *image, qint64 length)
{
    return readAxis(image, length, d.xAxisSource, d.xAxisOffset, d.columns, d.xDataType,
                    d.xLittleEndian, d.xValueKind);
}

QList<double> readYAxis(const MapDefinition &d, const uint8_t *image, qint64 length)
{
    return readAxis(image, length, d.yAxisSource, d.yAxisOffset, d.rows, d.yDataType,
                    d.yLittleEndian, d.yValueKind);
}

MapRanges mapRanges(const MapDefinition &d)
{
    MapRanges r;
    const qint64 s = qMax(d.zElementSize, 1);
    if (d.mapOffset >= 0) {
        r.data.start = d.mapOffset;
        r.data.end = d.mapOffset + qint64(qMax(d.rows, 0)) * qMax(d.columns, 0) * s - 1;
    }
    if (d.xAxisSource == 1 && d.xAxisOffset >= 0) {
        r.xAxis.start = d.xAxisOffset;
        r.xAxis.end = d.xAxisOffset + qint64(qMax(d.xElementSize, 1)) * qMax(d.columns, 0) - 1;
    }
    if (d.yAxisSource == 1 && d.yAxisOffset >= 0) {
        r.yAxis.start = d.yAxisOffset;
        r.yAxis.end = d.yAxisOffset + qint64(qMax(d.yElementSize, 1)) * qMax(d.rows, 0) - 1;
    }
    if (d.headerOffset >= 0) {
        r.header.start = d.headerOffset;
        r.header.end = d.headerOffset + 2 * s - 1;
    }
    return r;
}

double rawToPhysical(double raw, double factor, double offset)
{
    return raw * factor + offset;
}

double physicalToRaw(double value, double factor, double offset, int organisation, int kind)
{
    if (factor == 0.0)
        return 0.0;
    return clampRaw((value - offset) / factor, organisation, kind);
}

QString formatPhysical(double value, int decimals)
{
    return QString::number(value, 'f', qBound(0, decimals, 15));
}

QString formatRaw(double raw)
{
    if (std::isfinite(raw) && raw == std::trunc(raw) && std::fabs(raw) < 9007199254740992.0)
        return QString::number(qint64(raw));
    return QString::number(raw, 'g', 9);
}

const QStringList &mapDefinitionKeys()
{
    static const QStringList keys = [] {
        QStringList list;
        forEachJsonField(MapDefinition(), [&list](QLatin1StringView key, const auto &value) {
            using T = std::decay_t<decltype(value)>;
            constexpr bool omittable
                = std::is_same_v<T, OmittedWhenZero> || std::is_same_v<T, OmittedWhenEmpty>;
            if constexpr (!omittable)
                list.append(key);
        });
        return list;
    }();
    return keys;
}
