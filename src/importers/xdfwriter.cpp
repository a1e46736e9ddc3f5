#include "xdfwriter.h"

#include <QBuffer>
#include <QHash>
#include <QSaveFile>
#include <QXmlStreamWriter>

#include <cmath>

namespace {

QString number(double value)
{
    // 17 significant digits read back to the same double.
    return QString::number(value, 'g', 17);
}

// Texts from other sources (an A2L's Latin-1, a typed name) may hold control characters that
// XML 1.0 cannot carry; written as they are, the file would not read back.
QString xmlText(const QString &text)
{
    QString clean;
    clean.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x20 ? (u != 0xFFFE && u != 0xFFFF) : (u == u'\t' || u == u'\n' || u == u'\r'))
            clean.append(c);
    }
    return clean;
}

QString hex(qint64 value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper();
}

struct Side
{
    int organisation;
    bool littleEndian;
    int kind;
    bool columnMajor;
};

quint32 typeFlags(const Side &side)
{
    // A 16-bit element's byte order is in its organisation code; the flag follows it.
    bool lsbFirst = side.littleEndian;
    if (side.organisation == Organisation16BitLoHi)
        lsbFirst = true;
    else if (side.organisation == Organisation16BitHiLo)
        lsbFirst = false;
    const int kind = effectiveValueKind(side.organisation, side.kind);
    quint32 flags = 0;
    if (kind == ValueSigned)
        flags |= 0x01;
    if (lsbFirst)
        flags |= 0x02;
    if (side.columnMajor)
        flags |= 0x04;
    if (kind == ValueFloat)
        flags |= 0x10000;
    return flags;
}

void writeEmbedded(QXmlStreamWriter &xml, const Side &side, qint64 address, int rows, int columns)
{
    xml.writeStartElement(QStringLiteral("EMBEDDEDDATA"));
    xml.writeAttribute(QStringLiteral("mmedtypeflags"),
                       QStringLiteral("0x%1").arg(typeFlags(side), 2, 16, QLatin1Char('0')));
    if (address >= 0)
        xml.writeAttribute(QStringLiteral("mmedaddress"), hex(address));
    xml.writeAttribute(QStringLiteral("mmedelementsizebits"),
                       QString::number(elementSizeOfOrganisation(side.organisation) * 8));
    if (rows > 0)
        xml.writeAttribute(QStringLiteral("mmedrowcount"), QString::number(rows));
    if (columns > 0)
        xml.writeAttribute(QStringLiteral("mmedcolcount"), QString::number(columns));
    xml.writeAttribute(QStringLiteral("mmedmajorstridebits"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("mmedminorstridebits"), QStringLiteral("0"));
    xml.writeEndElement();
}

void writeMath(QXmlStreamWriter &xml, double factor, double offset)
{
    xml.writeStartElement(QStringLiteral("MATH"));
    xml.writeAttribute(QStringLiteral("equation"), XdfWriter::equationOf(factor, offset));
    xml.writeEmptyElement(QStringLiteral("VAR"));
    xml.writeAttribute(QStringLiteral("id"), QStringLiteral("X"));
    xml.writeEndElement();
}

void writeLimits(QXmlStreamWriter &xml, double minimum, double maximum)
{
    if (minimum == 0.0 && maximum == 0.0)
        return;
    xml.writeTextElement(QStringLiteral("min"), number(minimum));
    xml.writeTextElement(QStringLiteral("max"), number(maximum));
}

void writeAxis(QXmlStreamWriter &xml, const MapDefinition &d, bool isX)
{
    const int count = isX ? d.columns : d.rows;
    const int source = isX ? d.xAxisSource : d.yAxisSource;
    const int offset = isX ? d.xAxisOffset : d.yAxisOffset;
    const QList<double> &values = isX ? d.xAxis : d.yAxis;
    const Side side{isX ? d.xDataType : d.yDataType, isX ? d.xLittleEndian : d.yLittleEndian,
                    isX ? d.xValueKind : d.yValueKind, false};
    const double factor = isX ? d.xFactor : d.yFactor;
    const double shift = isX ? d.xOffsetFactor : d.yOffsetFactor;

    xml.writeStartElement(QStringLiteral("XDFAXIS"));
    xml.writeAttribute(QStringLiteral("id"), isX ? QStringLiteral("x") : QStringLiteral("y"));
    xml.writeAttribute(QStringLiteral("uniqueid"), QStringLiteral("0x0"));
    const bool stored = source == 1 && offset >= 0;
    writeEmbedded(xml, side, stored ? offset : -1, 0, stored ? count : 0);
    xml.writeTextElement(QStringLiteral("units"), xmlText(isX ? d.xUnit : d.yUnit));
    xml.writeTextElement(QStringLiteral("indexcount"), QString::number(count));
    xml.writeTextElement(QStringLiteral("decimalpl"),
                         QString::number(isX ? d.xDecimals : d.yDecimals));
    writeLimits(xml, isX ? d.xMinimum : d.yMinimum, isX ? d.xMaximum : d.yMaximum);
    if (stored) {
        xml.writeEmptyElement(QStringLiteral("embedinfo"));
        xml.writeAttribute(QStringLiteral("type"), QStringLiteral("1"));
        writeMath(xml, factor, shift);
    } else {
        // Values the record holds itself are shown as they are: labels of the physical values.
        const bool labels = source == 1 && values.size() == count;
        if (labels) {
            for (int i = 0; i < count; ++i) {
                xml.writeEmptyElement(QStringLiteral("LABEL"));
                xml.writeAttribute(QStringLiteral("index"), QString::number(i));
                xml.writeAttribute(QStringLiteral("value"),
                                   number(rawToPhysical(values.at(i), factor, shift)));
            }
        }
        writeMath(xml, labels ? 1.0 : factor, labels ? 0.0 : shift);
    }
    xml.writeEndElement();
}

// Whether the axes of a 1 x 1 map say nothing an XDFCONSTANT could not carry: a table keeps
// their units and types otherwise.
bool axesSayNothing(const MapDefinition &d)
{
    const MapDefinition blank;
    return d.xAxisSource == 0 && d.yAxisSource == 0 && d.xUnit.isEmpty() && d.yUnit.isEmpty()
           && d.xDataType == blank.xDataType && d.yDataType == blank.yDataType
           && d.xLittleEndian == blank.xLittleEndian && d.yLittleEndian == blank.yLittleEndian
           && d.xValueKind == blank.xValueKind && d.yValueKind == blank.yValueKind
           && d.xElementSize == blank.xElementSize && d.yElementSize == blank.yElementSize
           && d.xFactor == blank.xFactor && d.yFactor == blank.yFactor
           && d.xOffsetFactor == blank.xOffsetFactor && d.yOffsetFactor == blank.yOffsetFactor
           && d.xDecimals == blank.xDecimals && d.yDecimals == blank.yDecimals
           && d.xMinimum == blank.xMinimum && d.xMaximum == blank.xMaximum
           && d.yMinimum == blank.yMinimum && d.yMaximum == blank.yMaximum;
}

} // namespace

QString XdfWriter::equationOf(double factor, double offset)
{
    QString equation = factor == 1.0 ? QStringLiteral("X") : QStringLiteral("X*") + number(factor);
    if (offset > 0.0)
        equation += u'+' + number(offset);
    else if (offset < 0.0)
        equation += u'-' + number(-offset);
    return equation;
}

QByteArray XdfWriter::toXdf(const QList<MapDefinition> &maps,
                            const QString &title,
                            qint64 imageSize,
                            QStringList *skipped)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter xml(&buffer);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("XDFFORMAT"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.70"));

    // Categories are numbered in the order their groups first appear.
    QStringList groups;
    QHash<QString, int> groupIndex;
    for (const MapDefinition &d : maps)
        if (!d.group.isEmpty() && !groupIndex.contains(d.group)) {
            groupIndex.insert(d.group, int(groups.size()));
            groups.append(d.group);
        }

    xml.writeStartElement(QStringLiteral("XDFHEADER"));
    xml.writeTextElement(QStringLiteral("flags"), QStringLiteral("0x1"));
    xml.writeTextElement(QStringLiteral("deftitle"), xmlText(title));
    xml.writeTextElement(QStringLiteral("author"), QStringLiteral("Tessamorvandi"));
    xml.writeEmptyElement(QStringLiteral("BASEOFFSET"));
    xml.writeAttribute(QStringLiteral("offset"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("subtract"), QStringLiteral("0"));
    if (imageSize > 0) {
        xml.writeEmptyElement(QStringLiteral("REGION"));
        xml.writeAttribute(QStringLiteral("type"), QStringLiteral("0xFFFFFFFF"));
        xml.writeAttribute(QStringLiteral("startaddress"), QStringLiteral("0x0"));
        xml.writeAttribute(QStringLiteral("size"), hex(imageSize));
        xml.writeAttribute(QStringLiteral("name"), QStringLiteral("Binary File"));
    }
    for (qsizetype i = 0; i < groups.size(); ++i) {
        xml.writeEmptyElement(QStringLiteral("CATEGORY"));
        xml.writeAttribute(QStringLiteral("index"), hex(i));
        xml.writeAttribute(QStringLiteral("name"), xmlText(groups.at(i)));
    }
    xml.writeEndElement();

    int id = 0;
    for (const MapDefinition &d : maps) {
        if (d.mapOffset < 0 || d.rows < 1 || d.columns < 1) {
            if (skipped)
                skipped->append(QStringLiteral("%1: nessun indirizzo o dimensione").arg(d.name));
            continue;
        }
        const Side zSide{d.dataType, d.littleEndian, d.zValueKind, d.zColumnMajor};
        const bool constant = d.rows == 1 && d.columns == 1 && axesSayNothing(d);
        xml.writeStartElement(constant ? QStringLiteral("XDFCONSTANT")
                                       : QStringLiteral("XDFTABLE"));
        xml.writeAttribute(QStringLiteral("uniqueid"), hex(0x1000 + id++));
        xml.writeAttribute(QStringLiteral("flags"), QStringLiteral("0x0"));
        xml.writeTextElement(QStringLiteral("title"), xmlText(d.name));
        if (!d.description.isEmpty())
            xml.writeTextElement(QStringLiteral("description"), xmlText(d.description));
        if (!d.group.isEmpty()) {
            xml.writeEmptyElement(QStringLiteral("CATEGORYMEM"));
            xml.writeAttribute(QStringLiteral("index"), QStringLiteral("0"));
            xml.writeAttribute(QStringLiteral("category"),
                               QString::number(groupIndex.value(d.group) + 1));
        }
        if (constant) {
            writeEmbedded(xml, zSide, d.mapOffset, 0, 0);
            xml.writeTextElement(QStringLiteral("units"), xmlText(d.unit));
            xml.writeTextElement(QStringLiteral("decimalpl"), QString::number(d.decimals));
            if (d.minimum != 0.0 || d.maximum != 0.0) {
                xml.writeTextElement(QStringLiteral("rangelow"), number(d.minimum));
                xml.writeTextElement(QStringLiteral("rangehigh"), number(d.maximum));
            }
            writeMath(xml, d.factor, d.offset);
            xml.writeEndElement();
            continue;
        }
        writeAxis(xml, d, true);
        writeAxis(xml, d, false);
        xml.writeStartElement(QStringLiteral("XDFAXIS"));
        xml.writeAttribute(QStringLiteral("id"), QStringLiteral("z"));
        writeEmbedded(xml, zSide, d.mapOffset, d.rows, d.columns);
        xml.writeTextElement(QStringLiteral("units"), xmlText(d.unit));
        xml.writeTextElement(QStringLiteral("decimalpl"), QString::number(d.decimals));
        writeLimits(xml, d.minimum, d.maximum);
        writeMath(xml, d.factor, d.offset);
        xml.writeEndElement();
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}

bool XdfWriter::writeFile(const QString &path,
                          const QList<MapDefinition> &maps,
                          const QString &title,
                          qint64 imageSize,
                          QString *error,
                          QStringList *skipped)
{
    const QByteArray bytes = toXdf(maps, title, imageSize, skipped);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
