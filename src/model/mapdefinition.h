#pragma once

#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <cstdint>

// Data organisation codes of map elements, shared with the properties dialog's combo.
enum DataOrganisation : int {
    Organisation8Bit = 0,
    Organisation16BitLoHi = 1,
    Organisation16BitHiLo = 2,
    Organisation32Bit = 3,
};

// How the bits of an element are read: the organisation gives its size and (for 16 bits) its
// byte order, the kind its sign or float-ness. A float needs a 4-byte element; on a smaller one
// it reads as unsigned.
enum ValueKind : int { ValueUnsigned = 0, ValueSigned = 1, ValueFloat = 2 };

// The three settings that say how one element is read, as views carry them together.
struct ValueType
{
    int organisation = Organisation16BitLoHi;
    bool littleEndian = true; // the byte order of a 32-bit element
    int kind = ValueUnsigned;
    bool operator==(const ValueType &o) const
    {
        return organisation == o.organisation && littleEndian == o.littleEndian && kind == o.kind;
    }
    bool operator!=(const ValueType &o) const { return !(*this == o); }
};

// Where a map lies in an image, how its elements are encoded and scaled, and what it is
// called. Every source of maps (2D cut, importers, driver scanner, packs) yields this record.
struct MapDefinition
{
    enum SourceKind : int { SourceOther = 0, SourceA2L = 1, SourceWinOLS = 2, SourceXDF = 3 };

    int sourceKind = SourceOther;
    QString name;
    QString description;
    QString comment;
    QString characteristicType;
    QString recordLayout;
    bool zColumnMajor = false;
    int rows = 0;
    int columns = 0;
    int mapOffset = -1;
    int xAxisOffset = -1;
    int yAxisOffset = -1;
    int headerOffset = -1;
    // Raw values are held as doubles, exact for every 8/16/32-bit integer and every float32.
    QList<double> xAxis;
    QList<double> yAxis;
    int dataType = Organisation16BitLoHi;
    int xDataType = Organisation16BitLoHi;
    int yDataType = Organisation16BitLoHi;
    int xAxisSource = 1;
    int yAxisSource = 1;
    bool littleEndian = true;
    bool xLittleEndian = true;
    bool yLittleEndian = true;
    int zValueKind = ValueUnsigned;
    int xValueKind = ValueUnsigned;
    int yValueKind = ValueUnsigned;
    int zElementSize = 2;
    int xElementSize = 2;
    int yElementSize = 2;
    double factor = 1.0;
    double offset = 0.0;
    int decimals = 0;
    QString unit;
    QString compuMethod;
    QString xAxisName;
    QString xAxisDescription;
    QString xUnit;
    QString xCompuMethod;
    double xFactor = 1.0;
    double xOffsetFactor = 0.0;
    int xDecimals = 0;
    QString yAxisName;
    QString yAxisDescription;
    QString yUnit;
    QString yCompuMethod;
    double yFactor = 1.0;
    double yOffsetFactor = 0.0;
    int yDecimals = 0;
    double minimum = 0.0;
    double maximum = 0.0;
    double xMinimum = 0.0;
    double xMaximum = 0.0;
    double yMinimum = 0.0;
    double yMaximum = 0.0;
    // Where the map sits in its source's grouping (an XDF category, an A2L FUNCTION); levels
    // are separated by '/'. Blank for a map of no group.
    QString group;

    bool operator==(const MapDefinition &other) const;
    bool operator!=(const MapDefinition &other) const { return !(*this == other); }
};
Q_DECLARE_METATYPE(MapDefinition)

// An inclusive byte range of an image; start -1 means absent.
struct ByteRange
{
    qint64 start = -1;
    qint64 end = -1;
    bool isValid() const { return start >= 0 && end >= start; }
    bool operator==(const ByteRange &o) const { return start == o.start && end == o.end; }
};

// The image ranges a map covers: its Z data, its stored axes and its header.
struct MapRanges
{
    ByteRange data;
    ByteRange xAxis;
    ByteRange yAxis;
    ByteRange header;
};

// A field of the JSON form written only when it is not 0, so that maps without it are written
// byte for byte as before and older versions still read them.
struct OmittedWhenZero
{
    const int *value;
};
// The same for a text written only when it is not blank.
struct OmittedWhenEmpty
{
    const QString *value;
};

// Hands every key of the JSON form and its field to visit(key, value), in the documented
// order; value is a const QString &, bool, int, double, const QList<double> & or
// OmittedWhenZero / OmittedWhenEmpty. toJson, mapDefinitionKeys() and writers that stream
// maps without building QJsonObjects all follow this one list, so a new field cannot be
// forgotten by one of them.
template<typename Visitor>
void forEachJsonField(const MapDefinition &d, Visitor &&visit)
{
    visit(QLatin1StringView("name"), d.name);
    visit(QLatin1StringView("description"), d.description);
    visit(QLatin1StringView("comment"), d.comment);
    visit(QLatin1StringView("characteristicType"), d.characteristicType);
    visit(QLatin1StringView("recordLayout"), d.recordLayout);
    visit(QLatin1StringView("zColumnMajor"), d.zColumnMajor);
    visit(QLatin1StringView("rows"), d.rows);
    visit(QLatin1StringView("columns"), d.columns);
    visit(QLatin1StringView("mapOffset"), d.mapOffset);
    visit(QLatin1StringView("xAxisOffset"), d.xAxisOffset);
    visit(QLatin1StringView("yAxisOffset"), d.yAxisOffset);
    visit(QLatin1StringView("headerOffset"), d.headerOffset);
    visit(QLatin1StringView("xAxis"), d.xAxis);
    visit(QLatin1StringView("yAxis"), d.yAxis);
    visit(QLatin1StringView("dataType"), d.dataType);
    visit(QLatin1StringView("xDataType"), d.xDataType);
    visit(QLatin1StringView("yDataType"), d.yDataType);
    visit(QLatin1StringView("xAxisSource"), d.xAxisSource);
    visit(QLatin1StringView("yAxisSource"), d.yAxisSource);
    visit(QLatin1StringView("littleEndian"), d.littleEndian);
    visit(QLatin1StringView("xLittleEndian"), d.xLittleEndian);
    visit(QLatin1StringView("yLittleEndian"), d.yLittleEndian);
    visit(QLatin1StringView("zElementSize"), d.zElementSize);
    visit(QLatin1StringView("xElementSize"), d.xElementSize);
    visit(QLatin1StringView("yElementSize"), d.yElementSize);
    visit(QLatin1StringView("factor"), d.factor);
    visit(QLatin1StringView("offset"), d.offset);
    visit(QLatin1StringView("decimals"), d.decimals);
    visit(QLatin1StringView("unit"), d.unit);
    visit(QLatin1StringView("compuMethod"), d.compuMethod);
    visit(QLatin1StringView("xAxisName"), d.xAxisName);
    visit(QLatin1StringView("xAxisDescription"), d.xAxisDescription);
    visit(QLatin1StringView("xUnit"), d.xUnit);
    visit(QLatin1StringView("xCompuMethod"), d.xCompuMethod);
    visit(QLatin1StringView("xFactor"), d.xFactor);
    visit(QLatin1StringView("xOffsetFactor"), d.xOffsetFactor);
    visit(QLatin1StringView("xDecimals"), d.xDecimals);
    visit(QLatin1StringView("yAxisName"), d.yAxisName);
    visit(QLatin1StringView("yAxisDescription"), d.yAxisDescription);
    visit(QLatin1StringView("yUnit"), d.yUnit);
    visit(QLatin1StringView("yCompuMethod"), d.yCompuMethod);
    visit(QLatin1StringView("yFactor"), d.yFactor);
    visit(QLatin1StringView("yOffsetFactor"), d.yOffsetFactor);
    visit(QLatin1StringView("yDecimals"), d.yDecimals);
    visit(QLatin1StringView("minimum"), d.minimum);
    visit(QLatin1StringView("maximum"), d.maximum);
    visit(QLatin1StringView("xMinimum"), d.xMinimum);
    visit(QLatin1StringView("xMaximum"), d.xMaximum);
    visit(QLatin1StringView("yMinimum"), d.yMinimum);
    visit(QLatin1StringView("yMaximum"), d.yMaximum);
    visit(QLatin1StringView("zValueKind"), OmittedWhenZero{&d.zValueKind});
    visit(QLatin1StringView("xValueKind"), OmittedWhenZero{&d.xValueKind});
    visit(QLatin1StringView("yValueKind"), OmittedWhenZero{&d.yValueKind});
    visit(QLatin1StringView("group"), OmittedWhenEmpty{&d.group});
}

QJsonObject toJson(const MapDefinition &definition);
// The 50 keys the JSON form always holds, in their documented order.
const QStringList &mapDefinitionKeys();
MapDefinition fromJson(const QJsonObject &object);

// Element size and label of a data organisation code (unknown codes decode as 16-bit LoHi).
int elementSizeOfOrganisation(int organisation);
QString organisationLabel(int organisation);
// The organisation importers give for an element size and byte order.
int organisationFor(int elementSize, bool littleEndian);
// The kind an element of that organisation is really read as: float only on 4 bytes, an
// unknown kind as unsigned.
int effectiveValueKind(int organisation, int kind);

// One element at p; 0 when it would pass the end of the bytes. A 16-bit element takes its byte
// order from the organisation, a 32-bit one from littleEndian. A float that is not a number
// reads as 0 and an infinite one as the largest float of its sign, so that every value read
// is one clampRaw leaves as it is.
double decodeValue(
    const uint8_t *bytes, qint64 length, qint64 p, int organisation, bool littleEndian, int kind);
// The element's bytes for a raw value, clamped by clampRaw first.
QByteArray encodeValue(double raw, int organisation, bool littleEndian, int kind);
// The raw value an element can hold: integers rounded half away from zero and clamped to the
// type's range; a float the nearest float32, clamped to +-FLT_MAX. Not a number gives 0.
double clampRaw(double raw, int organisation, int kind);
// Smallest and largest raw value of the type.
double minimumRaw(int organisation, int kind);
double maximumRaw(int organisation, int kind);
// The label of a value type, as the properties dialog offers it.
QString valueTypeLabel(int organisation, bool littleEndian, int kind);
// The types the properties dialog offers, in its order: the first four are the organisation
// codes 0..3 unsigned (as the choice indices always were), then the signed, big-endian 32-bit
// and float ones.
const QList<ValueType> &valueTypeChoices();
// The index of a type among the choices; an unknown one is "16 Bit (LoHi)". The type is
// normalised first (unknown organisation, float on a narrow element, 16-bit byte order).
int valueTypeChoice(const ValueType &type);
ValueType normalisedValueType(const ValueType &type);
// The type of Z, X or Y as the record holds it, and back (which also sets the element size
// and keeps the 16-bit byte-order flag consistent with its code).
ValueType zValueType(const MapDefinition &definition);
ValueType xValueType(const MapDefinition &definition);
ValueType yValueType(const MapDefinition &definition);
void setZValueType(MapDefinition &definition, const ValueType &type);
void setXValueType(MapDefinition &definition, const ValueType &type);
void setYValueType(MapDefinition &definition, const ValueType &type);

// The Z values of a map in storage order; empty when nothing can be read (no offset,
// a dimension below 1, or a grid that would pass the end of the image).
QList<double> readMapValues(const MapDefinition &definition, const uint8_t *image, qint64 length);
// The raw values of an axis: read from the image (source 1), or 1..n (source 0).
// Empty when a stored axis cannot be read whole.
QList<double> readXAxis(const MapDefinition &definition, const uint8_t *image, qint64 length);
QList<double> readYAxis(const MapDefinition &definition, const uint8_t *image, qint64 length);

// Storage index of the cell in row r, column c.
qint64 cellIndex(const MapDefinition &definition, int row, int column);

MapRanges mapRanges(const MapDefinition &definition);

// raw * factor + offset, and back: clampRaw of (value - offset) / factor; factor 0 gives 0.
double rawToPhysical(double raw, double factor, double offset);
double physicalToRaw(double value, double factor, double offset, int organisation, int kind);
// Fixed notation with the given digits after the point.
QString formatPhysical(double value, int decimals);
// A raw value as text: an integer whole ("4000000000", not "4e+09"), a float with the digits
// that read back as the same float.
QString formatRaw(double raw);
