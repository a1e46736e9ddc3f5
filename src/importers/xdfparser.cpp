#include "xdfparser.h"

#include <QBuffer>
#include <QFile>
#include <QHash>
#include <QXmlStreamReader>

#include <cmath>
#include <limits>

namespace {

// Type flags of an EMBEDDEDDATA element, as the files in circulation use them.
constexpr quint32 FlagSigned = 0x01;
constexpr quint32 FlagLsbFirst = 0x02;
constexpr quint32 FlagColumnMajor = 0x04;
constexpr quint32 FlagFloat = 0x10000;

// A grid side beyond this is no calibration table (the record holds sizes as int).
constexpr qint64 MaxSide = 65535;

struct Embedded
{
    bool present = false;
    bool hasAddress = false;
    qint64 address = 0;
    qint64 sizeBits = 8;
    qint64 rows = 0;
    qint64 columns = 0;
    qint64 majorStrideBits = 0;
    qint64 minorStrideBits = 0;
    quint32 flags = 0;
};

struct Axis
{
    bool present = false;
    Embedded data;
    QString units;
    qint64 indexCount = -1;
    int decimals = -1;
    bool hasMath = false;
    QString equation;
    // A MATH with a variable other than X reads other memory: not a linear form of X.
    bool foreignVariable = false;
    QList<QPair<qint64, QString>> labels;
    int embedType = 0;
    QString linkId;
    bool hasMin = false;
    bool hasMax = false;
    double minimum = 0.0;
    double maximum = 0.0;
};

struct Object
{
    bool constant = false;
    QString title;
    QString description;
    QString uniqueId;
    QList<QPair<qint64, qint64>> memberships; // (index, category)
    Axis axes[3];                             // x, y, z (a constant's data is its z)
};

struct Header
{
    qint64 baseOffset = 0;
    bool subtractBase = false;
    qint64 defaultSizeBits = 8;
    QHash<qint64, QString> categories;
};

bool parseInteger(QStringView text, qint64 *value)
{
    text = text.trimmed();
    bool negative = false;
    if (text.startsWith(u'-')) {
        negative = true;
        text = text.mid(1);
    }
    bool ok = false;
    qint64 v = 0;
    if (text.startsWith(QLatin1StringView("0x"), Qt::CaseInsensitive))
        v = text.mid(2).toLongLong(&ok, 16);
    else
        v = text.toLongLong(&ok, 10);
    if (!ok)
        return false;
    *value = negative ? -v : v;
    return true;
}

qint64 integerOr(QStringView text, qint64 fallback)
{
    qint64 v = 0;
    return parseInteger(text, &v) ? v : fallback;
}

bool parseDouble(QStringView text, double *value)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

// The one pass over the XML: objects as the file states them, nothing derived yet.
class Reader
{
public:
    Reader(QIODevice *device, XdfParser::Result &result)
        : m_xml(device)
        , m_result(result)
    {
    }

    bool read();
    Header header;
    QList<Object> objects;

private:
    bool fail(const QString &text)
    {
        if (m_result.errorMessage.isEmpty())
            m_result.errorMessage = text;
        return false;
    }
    // The next start element among the current element's children; false at its end or on
    // an error (see failed()).
    bool nextChild();
    bool failed() const { return !m_result.errorMessage.isEmpty(); }
    QString text();
    // Skips the current element and all it holds, with the same depth and DTD checks.
    void skip();
    bool readHeader();
    bool readObject(bool constant);
    bool readAxis(Axis &axis);
    bool readMath(Axis &axis);
    void readEmbedded(Embedded &data);
    void noteNotImported(const QString &kind);

    QXmlStreamReader m_xml;
    XdfParser::Result &m_result;
    int m_depth = 0;
};

bool Reader::nextChild()
{
    // After a failure nothing more is read: every loop over children ends at once.
    if (failed())
        return false;
    while (!m_xml.atEnd()) {
        switch (m_xml.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++m_depth > XdfParser::MaxDepth)
                return fail(QStringLiteral("Il file XDF annida gli elementi oltre %1 livelli: "
                                           "non è una definizione valida.")
                                .arg(XdfParser::MaxDepth));
            return true;
        case QXmlStreamReader::EndElement:
            --m_depth;
            return false;
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::EntityReference:
            return fail(QStringLiteral("Il file XDF contiene una DTD o entità dichiarate: per "
                                       "sicurezza non viene letto."));
        default:
            break;
        }
    }
    return false;
}

void Reader::skip()
{
    while (nextChild())
        skip();
}

QString Reader::text()
{
    // readElementText consumes the end element.
    const QString value = m_xml.readElementText(QXmlStreamReader::SkipChildElements);
    --m_depth;
    return value;
}

bool Reader::read()
{
    // The prolog: a DTD is refused before any entity it declares could matter.
    bool root = false;
    while (!m_xml.atEnd() && !root) {
        switch (m_xml.readNext()) {
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::EntityReference:
            return fail(QStringLiteral("Il file XDF contiene una DTD o entità dichiarate: per "
                                       "sicurezza non viene letto."));
        case QXmlStreamReader::StartElement:
            root = true;
            ++m_depth;
            break;
        default:
            break;
        }
    }
    if (!root || m_xml.name() != QLatin1StringView("XDFFORMAT")) {
        if (m_xml.hasError())
            return fail(QStringLiteral("XDF non valido (riga %1, colonna %2): %3")
                            .arg(m_xml.lineNumber())
                            .arg(m_xml.columnNumber())
                            .arg(m_xml.errorString()));
        return fail(QStringLiteral("Il file non è una definizione XDF: manca l'elemento "
                                   "XDFFORMAT."));
    }
    while (nextChild()) {
        const QStringView name = m_xml.name();
        bool ok = true;
        if (name == QLatin1StringView("XDFHEADER"))
            ok = readHeader();
        else if (name == QLatin1StringView("XDFTABLE"))
            ok = readObject(false);
        else if (name == QLatin1StringView("XDFCONSTANT"))
            ok = readObject(true);
        else if (name == QLatin1StringView("XDFFLAG") || name == QLatin1StringView("XDFPATCH")
                 || name == QLatin1StringView("XDFFUNCTION"))
            noteNotImported(name.toString());
        else
            skip();
        if (!ok)
            return false;
        if (objects.size() + m_result.notes.size() > XdfParser::MaxObjects)
            return fail(QStringLiteral("Il file XDF contiene più di %1 oggetti: non viene letto.")
                            .arg(XdfParser::MaxObjects));
    }
    if (failed())
        return false;
    // Whatever follows the root (a second root, garbage) is an error of the file.
    while (!m_xml.atEnd()) {
        const auto token = m_xml.readNext();
        if (token == QXmlStreamReader::StartElement)
            return fail(QStringLiteral("XDF non valido: più di un elemento radice."));
    }
    if (m_xml.hasError() && m_xml.error() != QXmlStreamReader::PrematureEndOfDocumentError)
        return fail(QStringLiteral("XDF non valido (riga %1, colonna %2): %3")
                        .arg(m_xml.lineNumber())
                        .arg(m_xml.columnNumber())
                        .arg(m_xml.errorString()));
    if (m_xml.hasError())
        return fail(QStringLiteral("XDF non valido: il file finisce prima della chiusura di "
                                   "XDFFORMAT (riga %1).")
                        .arg(m_xml.lineNumber()));
    return true;
}

void Reader::noteNotImported(const QString &kind)
{
    QString title;
    while (nextChild()) {
        if (m_xml.name() == QLatin1StringView("title"))
            title = text().trimmed();
        else
            skip();
    }
    const QString what = kind == QLatin1String("XDFFLAG")
                             ? QStringLiteral("flag (XDFFLAG): non importato")
                         : kind == QLatin1String("XDFPATCH")
                             ? QStringLiteral("patch (XDFPATCH): non importata")
                             : QStringLiteral("funzione (XDFFUNCTION): non importata");
    m_result.notes.append({XdfParser::Note::NotImported, title, what});
}

bool Reader::readHeader()
{
    while (nextChild()) {
        const QStringView name = m_xml.name();
        const QXmlStreamAttributes attributes = m_xml.attributes();
        if (name == QLatin1StringView("BASEOFFSET")) {
            header.baseOffset = integerOr(attributes.value(QLatin1StringView("offset")), 0);
            header.subtractBase
                = integerOr(attributes.value(QLatin1StringView("subtract")), 0) != 0;
        } else if (name == QLatin1StringView("DEFAULTS")) {
            header.defaultSizeBits
                = integerOr(attributes.value(QLatin1StringView("datasizeinbits")), 8);
        } else if (name == QLatin1StringView("CATEGORY")) {
            if (header.categories.size() >= XdfParser::MaxListEntries)
                return fail(QStringLiteral("Il file XDF dichiara più di %1 categorie: non viene "
                                           "letto.")
                                .arg(XdfParser::MaxListEntries));
            qint64 index = 0;
            if (parseInteger(attributes.value(QLatin1StringView("index")), &index))
                header.categories.insert(
                    index, attributes.value(QLatin1StringView("name")).toString().trimmed());
        }
        skip();
    }
    return !failed();
}

void Reader::readEmbedded(Embedded &d)
{
    const QXmlStreamAttributes a = m_xml.attributes();
    d.present = true;
    const QStringView address = a.value(QLatin1StringView("mmedaddress"));
    d.hasAddress = !address.trimmed().isEmpty() && parseInteger(address, &d.address);
    d.sizeBits = integerOr(a.value(QLatin1StringView("mmedelementsizebits")), d.sizeBits);
    d.rows = integerOr(a.value(QLatin1StringView("mmedrowcount")), 0);
    d.columns = integerOr(a.value(QLatin1StringView("mmedcolcount")), 0);
    d.majorStrideBits = integerOr(a.value(QLatin1StringView("mmedmajorstridebits")), 0);
    d.minorStrideBits = integerOr(a.value(QLatin1StringView("mmedminorstridebits")), 0);
    d.flags = quint32(integerOr(a.value(QLatin1StringView("mmedtypeflags")), 0));
    skip();
}

bool Reader::readMath(Axis &axis)
{
    axis.hasMath = true;
    axis.equation = m_xml.attributes().value(QLatin1StringView("equation")).toString();
    while (nextChild()) {
        if (m_xml.name() == QLatin1StringView("VAR")) {
            const QStringView id = m_xml.attributes().value(QLatin1StringView("id"));
            if (id.compare(QLatin1StringView("X"), Qt::CaseInsensitive) != 0)
                axis.foreignVariable = true;
        }
        skip();
    }
    return !failed();
}

bool Reader::readAxis(Axis &axis)
{
    axis.present = true;
    axis.data.sizeBits = header.defaultSizeBits;
    while (nextChild()) {
        const QStringView name = m_xml.name();
        if (name == QLatin1StringView("EMBEDDEDDATA")) {
            readEmbedded(axis.data);
        } else if (name == QLatin1StringView("units")) {
            axis.units = text().trimmed();
        } else if (name == QLatin1StringView("indexcount")) {
            axis.indexCount = integerOr(text(), -1);
        } else if (name == QLatin1StringView("decimalpl")) {
            axis.decimals = int(qBound(qint64(0), integerOr(text(), 0), qint64(15)));
        } else if (name == QLatin1StringView("min")) {
            axis.hasMin = parseDouble(text(), &axis.minimum);
        } else if (name == QLatin1StringView("max")) {
            axis.hasMax = parseDouble(text(), &axis.maximum);
        } else if (name == QLatin1StringView("embedinfo")) {
            const QXmlStreamAttributes a = m_xml.attributes();
            axis.embedType = int(integerOr(a.value(QLatin1StringView("type")), 0));
            axis.linkId = a.value(QLatin1StringView("linkobjid")).toString().trimmed();
            skip();
        } else if (name == QLatin1StringView("LABEL")) {
            if (axis.labels.size() >= XdfParser::MaxListEntries)
                return fail(QStringLiteral("Un asse del file XDF ha più di %1 etichette: il file "
                                           "non viene letto.")
                                .arg(XdfParser::MaxListEntries));
            const QXmlStreamAttributes a = m_xml.attributes();
            axis.labels.append({integerOr(a.value(QLatin1StringView("index")), -1),
                                a.value(QLatin1StringView("value")).toString()});
            skip();
        } else if (name == QLatin1StringView("MATH")) {
            if (!readMath(axis))
                return false;
        } else {
            skip();
        }
    }
    return !failed();
}

bool Reader::readObject(bool constant)
{
    Object object;
    object.constant = constant;
    object.uniqueId = m_xml.attributes().value(QLatin1StringView("uniqueid")).toString().trimmed();
    Axis &z = object.axes[2];
    if (constant) {
        z.present = true;
        z.data.sizeBits = header.defaultSizeBits;
    }
    while (nextChild()) {
        const QStringView name = m_xml.name();
        if (name == QLatin1StringView("title")) {
            object.title = text().trimmed();
        } else if (name == QLatin1StringView("description")) {
            object.description = text().trimmed();
        } else if (name == QLatin1StringView("CATEGORYMEM")) {
            if (object.memberships.size() >= XdfParser::MaxListEntries)
                return fail(QStringLiteral("Una tabella del file XDF appartiene a più di %1 "
                                           "categorie: il file non viene letto.")
                                .arg(XdfParser::MaxListEntries));
            const QXmlStreamAttributes a = m_xml.attributes();
            object.memberships.append({integerOr(a.value(QLatin1StringView("index")), 0),
                                       integerOr(a.value(QLatin1StringView("category")), 0)});
            skip();
        } else if (!constant && name == QLatin1StringView("XDFAXIS")) {
            const QStringView id = m_xml.attributes().value(QLatin1StringView("id"));
            const int slot = id == QLatin1StringView("x")   ? 0
                             : id == QLatin1StringView("y") ? 1
                             : id == QLatin1StringView("z") ? 2
                                                            : -1;
            if (slot < 0) {
                skip();
            } else if (!readAxis(object.axes[slot])) {
                return false;
            }
        } else if (constant && name == QLatin1StringView("EMBEDDEDDATA")) {
            readEmbedded(z.data);
        } else if (constant && name == QLatin1StringView("units")) {
            z.units = text().trimmed();
        } else if (constant && name == QLatin1StringView("decimalpl")) {
            z.decimals = int(qBound(qint64(0), integerOr(text(), 0), qint64(15)));
        } else if (constant && name == QLatin1StringView("MATH")) {
            if (!readMath(z))
                return false;
        } else if (constant && name == QLatin1StringView("rangelow")) {
            z.hasMin = parseDouble(text(), &z.minimum);
        } else if (constant && name == QLatin1StringView("rangehigh")) {
            z.hasMax = parseDouble(text(), &z.maximum);
        } else {
            skip();
        }
    }
    if (failed())
        return false;
    objects.append(std::move(object));
    return true;
}

// ---- MATH -----------------------------------------------------------------------------

// a * X + b, the value of every subexpression of a linear equation.
struct Linear
{
    double a = 0.0;
    double b = 0.0;
};

class EquationParser
{
public:
    explicit EquationParser(QStringView text)
        : m_text(text)
    {
    }

    bool parse(Linear *out)
    {
        if (!expression(out, 0))
            return false;
        skipSpace();
        return m_pos == m_text.size();
    }

private:
    // Parentheses nested deeper than this are no scaling anybody wrote by hand.
    static constexpr int MaxNesting = 64;

    void skipSpace()
    {
        while (m_pos < m_text.size() && m_text.at(m_pos).isSpace())
            ++m_pos;
    }
    bool take(char16_t c)
    {
        skipSpace();
        if (m_pos < m_text.size() && m_text.at(m_pos) == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    bool expression(Linear *out, int nesting)
    {
        if (!term(out, nesting))
            return false;
        for (;;) {
            const bool plus = take(u'+');
            if (!plus && !take(u'-'))
                return true;
            Linear right;
            if (!term(&right, nesting))
                return false;
            out->a += plus ? right.a : -right.a;
            out->b += plus ? right.b : -right.b;
        }
    }

    bool term(Linear *out, int nesting)
    {
        if (!unary(out, nesting))
            return false;
        for (;;) {
            const bool times = take(u'*');
            if (!times && !take(u'/'))
                return true;
            Linear right;
            if (!unary(&right, nesting))
                return false;
            if (times) {
                // Linear only while one side is a constant.
                if (out->a != 0.0 && right.a != 0.0)
                    return false;
                const Linear left = *out;
                out->a = left.a * right.b + right.a * left.b;
                out->b = left.b * right.b;
            } else {
                if (right.a != 0.0 || right.b == 0.0)
                    return false;
                out->a /= right.b;
                out->b /= right.b;
            }
        }
    }

    bool unary(Linear *out, int nesting)
    {
        if (take(u'-')) {
            if (!unary(out, nesting))
                return false;
            out->a = -out->a;
            out->b = -out->b;
            return true;
        }
        if (take(u'+'))
            return unary(out, nesting);
        return primary(out, nesting);
    }

    bool primary(Linear *out, int nesting)
    {
        skipSpace();
        if (m_pos >= m_text.size())
            return false;
        const QChar c = m_text.at(m_pos);
        if (c == u'(') {
            if (nesting >= MaxNesting)
                return false;
            ++m_pos;
            if (!expression(out, nesting + 1))
                return false;
            return take(u')');
        }
        if (c == u'X' || c == u'x') {
            ++m_pos;
            // "X1", "Xaddr": another name, not the variable.
            if (m_pos < m_text.size()
                && (m_text.at(m_pos).isLetterOrNumber() || m_text.at(m_pos) == u'_'))
                return false;
            *out = {1.0, 0.0};
            return true;
        }
        return number(out);
    }

    bool number(Linear *out)
    {
        const qsizetype start = m_pos;
        while (m_pos < m_text.size() && (m_text.at(m_pos).isDigit() || m_text.at(m_pos) == u'.'))
            ++m_pos;
        if (m_pos < m_text.size() && (m_text.at(m_pos) == u'e' || m_text.at(m_pos) == u'E')) {
            qsizetype p = m_pos + 1;
            if (p < m_text.size() && (m_text.at(p) == u'+' || m_text.at(p) == u'-'))
                ++p;
            if (p < m_text.size() && m_text.at(p).isDigit()) {
                m_pos = p;
                while (m_pos < m_text.size() && m_text.at(m_pos).isDigit())
                    ++m_pos;
            }
        }
        if (m_pos == start)
            return false;
        bool ok = false;
        const double value = m_text.mid(start, m_pos - start).toDouble(&ok);
        if (!ok || !std::isfinite(value))
            return false;
        *out = {0.0, value};
        return true;
    }

    QStringView m_text;
    qsizetype m_pos = 0;
};

// ---- From objects to maps -------------------------------------------------------------

struct Layout
{
    qint64 offset = -1;
    int elementSize = 2;
    int organisation = Organisation16BitLoHi;
    bool littleEndian = true;
    int kind = ValueUnsigned;
};

class Converter
{
public:
    Converter(const Header &header,
              const QList<Object> &objects,
              qint64 imageSize,
              XdfParser::Result &result)
        : m_header(header)
        , m_objects(objects)
        , m_imageSize(imageSize)
        , m_result(result)
    {
        for (qsizetype i = 0; i < objects.size(); ++i)
            if (!objects.at(i).uniqueId.isEmpty())
                m_byId.insert(normalisedId(objects.at(i).uniqueId), i);
    }

    void convert(const Object &object);

private:
    static QString normalisedId(const QString &id)
    {
        qint64 value = 0;
        return parseInteger(id, &value) ? QString::number(value) : id;
    }
    // Image offset of a file address, -1 when the base offset takes it below 0.
    qint64 imageOffset(qint64 address) const
    {
        const qint64 offset
            = m_header.subtractBase ? address - m_header.baseOffset : address + m_header.baseOffset;
        return offset;
    }
    // The element type of data, or a reason why the record cannot hold it.
    QString layoutOf(const Embedded &data, Layout *layout) const;
    // Whether count elements of data lie one after another (the only layout the record has).
    static bool contiguous(const Embedded &data, qint64 count);
    bool fits(qint64 offset, qint64 bytes) const
    {
        return offset >= 0 && bytes >= 0
               && (m_imageSize < 0 || (offset <= m_imageSize && bytes <= m_imageSize - offset));
    }
    QString group(const Object &object) const;
    // The axis of one side; its raw values when they are labels. A reason when it is unusable.
    QString
    applyAxis(const Object &object, int slot, qint64 count, MapDefinition &d, bool *rawScaling);

    const Header &m_header;
    const QList<Object> &m_objects;
    qint64 m_imageSize;
    XdfParser::Result &m_result;
    QHash<QString, qsizetype> m_byId;
};

QString typeOf(const Embedded &data, Layout *layout)
{
    const bool isFloat = data.flags & FlagFloat;
    if (data.sizeBits != 8 && data.sizeBits != 16 && data.sizeBits != 32)
        return QStringLiteral("elementi di %1 bit non gestiti").arg(data.sizeBits);
    if (isFloat && data.sizeBits != 32)
        return QStringLiteral("valori float di %1 bit non gestiti").arg(data.sizeBits);
    layout->elementSize = int(data.sizeBits / 8);
    layout->littleEndian = data.flags & FlagLsbFirst;
    layout->organisation = organisationFor(layout->elementSize, layout->littleEndian);
    layout->kind = isFloat ? ValueFloat : (data.flags & FlagSigned) ? ValueSigned : ValueUnsigned;
    return QString();
}

QString Converter::layoutOf(const Embedded &data, Layout *layout) const
{
    const QString why = typeOf(data, layout);
    if (!why.isEmpty())
        return why;
    if (!data.hasAddress)
        return QStringLiteral("indirizzo mancante");
    layout->offset = imageOffset(data.address);
    // The record holds offsets as int; without an image to check against, this is the bound.
    if (layout->offset > std::numeric_limits<int>::max())
        return QStringLiteral("indirizzo 0x%1 oltre 2 GB")
            .arg(QString::number(layout->offset, 16).toUpper());
    return QString();
}

bool Converter::contiguous(const Embedded &data, qint64 count)
{
    // 0 means "the element's own size"; a stride only matters when there is a next element.
    const qint64 bits = data.sizeBits;
    const bool minorOk = data.minorStrideBits == 0 || data.minorStrideBits == bits;
    if (count <= 1)
        return true;
    const bool columnMajor = data.flags & FlagColumnMajor;
    const qint64 inner = columnMajor ? qMax<qint64>(data.rows, 1) : qMax<qint64>(data.columns, 1);
    const qint64 outer = columnMajor ? qMax<qint64>(data.columns, 1) : qMax<qint64>(data.rows, 1);
    if (outer <= 1) // one line: the major stride steps from element to element, if anything
        return minorOk
               && (data.majorStrideBits == 0 || data.majorStrideBits == bits
                   || data.majorStrideBits == bits * inner);
    if (inner <= 1)
        return minorOk && (data.majorStrideBits == 0 || data.majorStrideBits == bits);
    return minorOk && (data.majorStrideBits == 0 || data.majorStrideBits == bits * inner);
}

QString Converter::group(const Object &object) const
{
    // The first membership (lowest index) names the group; categories are counted from 1.
    const QPair<qint64, qint64> *first = nullptr;
    for (const auto &m : object.memberships)
        if (m.second > 0 && (!first || m.first < first->first))
            first = &m;
    return first ? m_header.categories.value(first->second - 1) : QString();
}

QString Converter::applyAxis(
    const Object &object, int slot, qint64 count, MapDefinition &d, bool *rawScaling)
{
    const bool isX = slot == 0;
    const Axis &axis = object.axes[slot];
    int &source = isX ? d.xAxisSource : d.yAxisSource;
    int &offset = isX ? d.xAxisOffset : d.yAxisOffset;
    QList<double> &values = isX ? d.xAxis : d.yAxis;
    double &factor = isX ? d.xFactor : d.yFactor;
    double &shift = isX ? d.xOffsetFactor : d.yOffsetFactor;
    const QLatin1StringView side = isX ? QLatin1StringView("X") : QLatin1StringView("Y");

    const auto setType = [&](const Layout &layout) {
        (isX ? d.xDataType : d.yDataType) = layout.organisation;
        (isX ? d.xElementSize : d.yElementSize) = layout.elementSize;
        (isX ? d.xLittleEndian : d.yLittleEndian) = layout.littleEndian;
        (isX ? d.xValueKind : d.yValueKind) = layout.kind;
    };
    source = 0;
    offset = -1;
    (isX ? d.xUnit : d.yUnit) = axis.units;
    (isX ? d.xDecimals : d.yDecimals) = qMax(axis.decimals, 0);
    (isX ? d.xMinimum : d.yMinimum) = axis.hasMin ? axis.minimum : 0.0;
    (isX ? d.xMaximum : d.yMaximum) = axis.hasMax ? axis.maximum : 0.0;
    // An axis without data of its own may still say its type: the record keeps it.
    Layout declared;
    if (axis.data.present && typeOf(axis.data, &declared).isEmpty())
        setType(declared);
    if (!axis.present)
        return QString();

    // Where the values come from: the axis' own data, or the data of the table it links to.
    const Embedded *data = nullptr;
    const Axis *scaling = &axis;
    double linkFactor = 1.0;
    double linkOffset = 0.0;
    const bool linked = (axis.embedType == 2 || axis.embedType == 3) && !axis.linkId.isEmpty();
    if (linked) {
        const auto it = m_byId.constFind(normalisedId(axis.linkId));
        if (it == m_byId.cend() || &m_objects.at(*it) == &object)
            return QStringLiteral("asse %1 collegato a un oggetto %2 che non esiste")
                .arg(side, axis.linkId);
        const Axis &target = m_objects.at(*it).axes[2];
        data = &target.data;
        // Type 3 shows the linked values in the linked table's own scale, then the axis'.
        if (axis.embedType == 3 && target.hasMath
            && !XdfParser::parseLinearEquation(target.equation, &linkFactor, &linkOffset))
            *rawScaling = true;
        if (axis.embedType == 3 && target.foreignVariable)
            *rawScaling = true;
    } else if (axis.data.hasAddress) {
        data = &axis.data;
    }
    // A single point needs no axis: an address there, even a wrong one, is not worth a skip.
    if (count <= 1 && !linked)
        data = nullptr;
    // Stored points of another number than the table's side would show the bytes after them
    // as axis values: the side is numbered instead, and the import says so.
    if (data && !linked && axis.indexCount > 0 && axis.indexCount != count) {
        m_result.notes.append(
            {XdfParser::Note::IndexAxis, object.title,
             QStringLiteral("asse %1 di %2 punti per %3 %4: mostrato come indice")
                 .arg(side)
                 .arg(axis.indexCount)
                 .arg(count)
                 .arg(isX ? QStringLiteral("colonne") : QStringLiteral("righe"))});
        data = nullptr;
    }

    if (data) {
        Layout layout;
        const QString why = layoutOf(*data, &layout);
        if (!why.isEmpty())
            return QStringLiteral("asse %1: %2").arg(side, why);
        if (!contiguous(*data, count))
            return QStringLiteral("asse %1 con passo (stride) non contiguo").arg(side);
        if (!fits(layout.offset, count * layout.elementSize))
            return QStringLiteral("asse %1 fuori dall'immagine").arg(side);
        source = 1;
        offset = int(layout.offset);
        setType(layout);
    } else if (!axis.labels.isEmpty()) {
        // Labels that are all numbers, one per index, are the axis' values themselves.
        QList<double> numbers(count, 0.0);
        QList<bool> seen(count, false);
        qint64 filled = 0;
        for (const auto &[index, text] : axis.labels) {
            double v = 0.0;
            if (index < 0 || index >= count || seen.at(index) || !parseDouble(text, &v)) {
                filled = -1;
                break;
            }
            numbers[index] = v;
            seen[index] = true;
            ++filled;
        }
        if (filled == count) {
            source = 1;
            values = numbers;
            factor = 1.0;
            shift = 0.0;
            return QString();
        }
        // Otherwise an index axis: the labels are names the record has no room for.
    }

    double ownFactor = 1.0;
    double ownOffset = 0.0;
    if (scaling->foreignVariable
        || (scaling->hasMath
            && !XdfParser::parseLinearEquation(scaling->equation, &ownFactor, &ownOffset))) {
        *rawScaling = true;
        ownFactor = 1.0;
        ownOffset = 0.0;
    }
    factor = ownFactor * linkFactor;
    shift = ownFactor * linkOffset + ownOffset;
    return QString();
}

void Converter::convert(const Object &object)
{
    const QString title = object.title.isEmpty() ? QStringLiteral("(senza titolo)") : object.title;
    const auto skip = [this, &title](const QString &reason) {
        m_result.notes.append({XdfParser::Note::Skipped, title, reason});
    };
    const Axis &z = object.axes[2];
    if (!z.present || !z.data.present) {
        skip(QStringLiteral("nessun dato (manca EMBEDDEDDATA)"));
        return;
    }
    MapDefinition d;
    d.sourceKind = MapDefinition::SourceXDF;
    d.name = title;
    d.description = object.description;
    d.group = group(object);

    // Sides: the data's own counts, else the axes' counts.
    qint64 columns = z.data.columns > 0 ? z.data.columns : 1;
    qint64 rows = z.data.rows > 0 ? z.data.rows : 1;
    if (!object.constant) {
        if (z.data.columns <= 0 && object.axes[0].indexCount > 0)
            columns = object.axes[0].indexCount;
        if (z.data.rows <= 0 && object.axes[1].indexCount > 0)
            rows = object.axes[1].indexCount;
    }
    if (columns > MaxSide || rows > MaxSide) {
        skip(QStringLiteral("dimensioni %1 × %2 non gestite").arg(rows).arg(columns));
        return;
    }
    d.rows = int(rows);
    d.columns = int(columns);
    d.characteristicType = object.constant || (rows == 1 && columns == 1) ? QStringLiteral("VALUE")
                           : rows == 1 || columns == 1                    ? QStringLiteral("CURVE")
                                                                          : QStringLiteral("MAP");

    Layout layout;
    const QString why = layoutOf(z.data, &layout);
    if (!why.isEmpty()) {
        skip(why);
        return;
    }
    if (!contiguous(z.data, rows * columns)) {
        skip(QStringLiteral("passo (stride) non contiguo: il record non lo rappresenta"));
        return;
    }
    if (!fits(layout.offset, rows * columns * layout.elementSize)) {
        skip(QStringLiteral("fuori dall'immagine (offset 0x%1, %2 byte)")
                 .arg(QString::number(layout.offset, 16).toUpper())
                 .arg(rows * columns * layout.elementSize));
        return;
    }
    d.mapOffset = int(layout.offset);
    d.dataType = layout.organisation;
    d.zElementSize = layout.elementSize;
    d.littleEndian = layout.littleEndian;
    d.zValueKind = layout.kind;
    d.zColumnMajor = z.data.flags & FlagColumnMajor;
    d.unit = z.units;
    d.decimals = qMax(z.decimals, 0);
    d.minimum = z.hasMin ? z.minimum : 0.0;
    d.maximum = z.hasMax ? z.maximum : 0.0;

    bool rawScaling = false;
    QString rawEquation;
    if (z.foreignVariable
        || (z.hasMath && !XdfParser::parseLinearEquation(z.equation, &d.factor, &d.offset))) {
        rawScaling = true;
        rawEquation = z.equation;
        d.factor = 1.0;
        d.offset = 0.0;
    }
    if (!object.constant) {
        for (int slot : {0, 1}) {
            const QString axisWhy
                = applyAxis(object, slot, slot == 0 ? columns : rows, d, &rawScaling);
            if (!axisWhy.isEmpty()) {
                skip(axisWhy);
                return;
            }
        }
    } else {
        d.xAxisSource = 0;
        d.yAxisSource = 0;
    }
    if (rawScaling) {
        d.comment = rawEquation.isEmpty()
                        ? QStringLiteral("Equazione XDF di un asse non lineare: valori grezzi.")
                        : QStringLiteral("Equazione XDF non lineare (%1): valori grezzi.")
                              .arg(rawEquation);
        m_result.notes.append({XdfParser::Note::RawValues, title,
                               rawEquation.isEmpty()
                                   ? QStringLiteral("equazione di un asse non lineare")
                                   : QStringLiteral("equazione non lineare: %1").arg(rawEquation)});
    }
    m_result.maps.append(std::move(d));
}

XdfParser::Result parseWith(QIODevice *device, qint64 imageSize)
{
    XdfParser::Result result;
    Reader reader(device, result);
    if (!reader.read()) {
        result.maps.clear();
        result.notes.clear();
        return result;
    }
    Converter converter(reader.header, reader.objects, imageSize, result);
    for (const Object &object : std::as_const(reader.objects))
        converter.convert(object);
    if (result.maps.isEmpty()) {
        // Why nothing came of the tables is the first thing a user needs to see.
        result.errorMessage = QStringLiteral("Nessuna tabella importabile trovata nel file XDF.");
        for (qsizetype i = 0; i < result.notes.size() && i < 10; ++i)
            result.errorMessage += QStringLiteral("\n%1: %2")
                                       .arg(result.notes.at(i).title, result.notes.at(i).reason);
    }
    return result;
}

} // namespace

XdfParser::Result XdfParser::parse(const QString &fileName, qint64 imageSize)
{
    QFile file(fileName);
    Result result;
    if (!file.open(QIODevice::ReadOnly)) {
        result.errorMessage = QStringLiteral("Impossibile aprire il file XDF.");
        return result;
    }
    if (file.size() > MaxFileSize) {
        result.errorMessage = QStringLiteral("Il file XDF è troppo grande (oltre %1 MB).")
                                  .arg(MaxFileSize / (1024 * 1024));
        return result;
    }
    return parseWith(&file, imageSize);
}

XdfParser::Result XdfParser::parseData(const QByteArray &xml, qint64 imageSize)
{
    if (xml.size() > MaxFileSize) {
        Result result;
        result.errorMessage = QStringLiteral("Il file XDF è troppo grande (oltre %1 MB).")
                                  .arg(MaxFileSize / (1024 * 1024));
        return result;
    }
    QBuffer buffer;
    buffer.setData(xml);
    buffer.open(QIODevice::ReadOnly);
    return parseWith(&buffer, imageSize);
}

XdfParser::Result XdfParser::parseDevice(QIODevice *device, qint64 imageSize)
{
    return parseWith(device, imageSize);
}

bool XdfParser::parseLinearEquation(QStringView equation, double *factor, double *offset)
{
    if (equation.trimmed().isEmpty() || equation.size() > 4096)
        return false;
    Linear value;
    if (!EquationParser(equation).parse(&value))
        return false;
    if (value.a == 0.0 || !std::isfinite(value.a) || !std::isfinite(value.b))
        return false;
    *factor = value.a;
    *offset = value.b;
    return true;
}

QString XdfParser::summaryText(const Result &result)
{
    int skipped = 0;
    int raw = 0;
    int notImported = 0;
    int indexAxes = 0;
    for (const Note &note : result.notes) {
        skipped += note.kind == Note::Skipped;
        raw += note.kind == Note::RawValues;
        notImported += note.kind == Note::NotImported;
        indexAxes += note.kind == Note::IndexAxis;
    }
    QString text = QStringLiteral("File analizzato correttamente.\n\nMappe trovate: %1")
                       .arg(result.maps.size());
    if (raw > 0)
        text += QStringLiteral("\nCon valori grezzi (equazione non lineare): %1").arg(raw);
    if (indexAxes > 0)
        text += QStringLiteral("\nAssi mostrati come indice: %1").arg(indexAxes);
    if (skipped > 0)
        text += QStringLiteral("\nTabelle saltate: %1").arg(skipped);
    if (notImported > 0)
        text += QStringLiteral("\nFlag, patch e funzioni non importati: %1").arg(notImported);
    // A message box has room for a screenful; the rest is counted.
    constexpr int MaxLines = 25;
    // Skipped tables first: they are what a user misses.
    int shown = 0;
    for (const Note::Kind kind :
         {Note::Skipped, Note::RawValues, Note::IndexAxis, Note::NotImported}) {
        for (const Note &note : result.notes) {
            if (note.kind != kind)
                continue;
            if (shown == 0)
                text += u'\n';
            if (shown == MaxLines) {
                text += QStringLiteral("\n... e altre %1 voci.").arg(result.notes.size() - shown);
                return text;
            }
            text += QStringLiteral("\n%1: %2").arg(note.title, note.reason);
            ++shown;
        }
    }
    return text;
}
