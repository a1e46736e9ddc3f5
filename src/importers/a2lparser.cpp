#include "a2lparser.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <climits>
#include <cstring>
#include <cmath>

namespace {

// Axis and grid sizes beyond this are not calibration tables; such blocks are skipped
// rather than turned into definitions that no view could show.
constexpr int MaxPoints = 65535;

bool isSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\n' || u == u'\r' || u == u'\f' || u == u'\v';
}

bool startsWithCi(const QChar *d, qsizetype n, qsizetype at, QLatin1StringView word)
{
    if (at + word.size() > n)
        return false;
    return QStringView(d + at, word.size()).compare(word, Qt::CaseInsensitive) == 0;
}

// The /begin K ... /end K blocks of the given keywords, each from its "/begin" to the end of
// the keyword after "/end". One pass, so the time stays linear whatever the file holds: a
// block whose end never comes, or that is followed by another /begin of its kind before its
// end, is dropped instead of swallowing the next block.
QList<QList<QStringView>> findBlocks(QStringView text, const QList<QLatin1StringView> &keywords)
{
    QList<QList<QStringView>> blocks(keywords.size());
    QList<qsizetype> pending(keywords.size(), -1);
    const QChar *d = text.data();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (d[i] != u'/' || i + 1 >= n)
            continue;
        const char16_t next = d[i + 1].unicode() | 0x20;
        if (next != u'b' && next != u'e')
            continue;
        bool begin = false;
        qsizetype j = 0;
        if (startsWithCi(d, n, i + 1, QLatin1StringView("begin"))) {
            begin = true;
            j = i + 6;
        } else if (startsWithCi(d, n, i + 1, QLatin1StringView("end"))) {
            j = i + 4;
        } else {
            continue;
        }
        if (j >= n || !isSpace(d[j]))
            continue;
        while (j < n && isSpace(d[j]))
            ++j;
        qsizetype k = j;
        while (k < n && !isSpace(d[k]) && d[k] != u'/')
            ++k;
        const QStringView keyword(d + j, k - j);
        for (qsizetype t = 0; t < keywords.size(); ++t) {
            if (keyword.compare(keywords.at(t), Qt::CaseInsensitive) != 0)
                continue;
            if (begin) {
                pending[t] = i;
            } else if (pending.at(t) >= 0) {
                blocks[t].append(text.mid(pending.at(t), k - pending.at(t)));
                pending[t] = -1;
            }
            break;
        }
        i = k - 1;
    }
    return blocks;
}

// The patterns expect the fields of a block separated by white space only, while real files
// put /* ... */ and // comments between them. Each comment becomes one space; quoted text is
// kept as it is, so "a/*b" in a description survives. Works in place (the text only
// shrinks) on Latin-1 bytes or UTF-16 units alike, and returns the new length: a file is
// stripped before it is widened, so that it is never held twice as UTF-16.
template <typename Unit>
qsizetype stripComments(Unit *d, qsizetype n)
{
    bool quoted = false;
    qsizetype copyFrom = 0;
    qsizetype written = 0;
    const auto keep = [&](qsizetype upTo) {
        if (written != copyFrom)
            std::memmove(d + written, d + copyFrom, std::size_t(upTo - copyFrom) * sizeof(Unit));
        written += upTo - copyFrom;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const Unit c = d[i];
        if (quoted) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                quoted = false;
            continue;
        }
        if (c == '"') {
            quoted = true;
            continue;
        }
        if (c != '/' || i + 1 >= n)
            continue;
        qsizetype end = -1;
        if (d[i + 1] == '*') {
            end = i + 2;
            while (end + 1 < n && !(d[end] == '*' && d[end + 1] == '/'))
                ++end;
            end = end + 1 < n ? end + 2 : n;
        } else if (d[i + 1] == '/') {
            end = i + 2;
            while (end < n && d[end] != '\n')
                ++end;
        } else {
            continue;
        }
        keep(i);
        d[written++] = ' ';
        copyFrom = end;
        i = end - 1;
    }
    keep(n);
    return written;
}

QRegularExpression ci(const QString &pattern)
{
    return QRegularExpression(pattern, QRegularExpression::CaseInsensitiveOption);
}

// A block holds one "/begin" of its kind, at its start, so a plain search finds the match
// there or nowhere. (Anchoring at match time would also do, but it keeps PCRE2 off its JIT
// and makes the parse several times slower.)
QRegularExpressionMatch matchWhole(const QRegularExpression &re, QStringView block)
{
    return re.match(block);
}

struct CompuMethod
{
    QString conversionType;
    QString unit;
    QString format;
    double coefficients[6] = {0, 0, 0, 0, 0, 0};
    bool hasCoefficients = false;
};

// The data type of a record layout line: its size, value kind and name.
struct ElementType
{
    int size = 0;
    int kind = ValueUnsigned;
    QString name;
};

struct RecordLayout
{
    int noAxisPtsXSize = 0;
    int noAxisPtsYSize = 0;
    int axisPtsXSize = 0;
    int axisPtsYSize = 0;
    int fncValuesSize = 0;
    int axisPtsXKind = ValueUnsigned;
    int axisPtsYKind = ValueUnsigned;
    int fncValuesKind = ValueUnsigned;
    // The data type names of the three lines, for the message that refuses a 64-bit one.
    QString axisPtsXType;
    QString axisPtsYType;
    QString fncValuesType;
    bool hasNoAxisPtsX = false;
    bool hasNoAxisPtsY = false;
    bool hasAxisPtsX = false;
    bool hasAxisPtsY = false;
    bool hasFncValues = false;
    QString indexMode;
};

struct AxisPoints
{
    qint64 offset = -1;
    int points = 0;
    int elementSize = 2;
    int kind = ValueUnsigned;
    QString typeName; // the layout's data type of the points, when it has one
    QString inputQuantity;
    QString conversion;
    QString recordLayout;
};

// The fields of one axis in a definition, so X and Y are filled by the same code.
struct AxisFields
{
    int &offset;
    int &elementSize;
    int &dataType;
    int &kind;
    QString &name;
    QString &compuMethod;
    QString &unit;
    double &factor;
    double &offsetFactor;
    int &decimals;
};

AxisFields xAxisFields(MapDefinition &d)
{
    return {d.xAxisOffset,  d.xElementSize, d.xDataType, d.xValueKind,    d.xAxisName,
            d.xCompuMethod, d.xUnit,        d.xFactor,   d.xOffsetFactor, d.xDecimals};
}

AxisFields yAxisFields(MapDefinition &d)
{
    return {d.yAxisOffset,  d.yElementSize, d.yDataType, d.yValueKind,    d.yAxisName,
            d.yCompuMethod, d.yUnit,        d.yFactor,   d.yOffsetFactor, d.yDecimals};
}

struct AxisDescription
{
    QString inputQuantity;
    QString conversion;
    int maxPoints = 0;
    QStringView body;
};

// Size guessed from a record layout's name, where no layout entry says better.
int sizeFromLayoutName(const QString &name)
{
    const QString upper = name.toUpper();
    if (upper.contains(QLatin1String("UBYTE")) || upper.contains(QLatin1String("SBYTE")))
        return 1;
    if (upper.contains(QLatin1String("ULONG")) || upper.contains(QLatin1String("SLONG"))
        || upper.contains(QLatin1String("FLOAT32")))
        return 4;
    return 2;
}

// The value kind guessed from a record layout's name, among the names of the size that
// sizeFromLayoutName guesses (the first one in the name wins).
int kindFromLayoutName(const QString &name)
{
    const QString upper = name.toUpper();
    const int size = sizeFromLayoutName(name);
    const struct
    {
        const char *token;
        int size;
        int kind;
    } tokens[]
        = {{"UBYTE", 1, ValueUnsigned}, {"SBYTE", 1, ValueSigned},   {"UWORD", 2, ValueUnsigned},
           {"SWORD", 2, ValueSigned},   {"ULONG", 4, ValueUnsigned}, {"SLONG", 4, ValueSigned},
           {"FLOAT32", 4, ValueFloat}};
    qsizetype first = -1;
    int kind = ValueUnsigned;
    for (const auto &t : tokens) {
        if (t.size != size)
            continue;
        const qsizetype at = upper.indexOf(QLatin1String(t.token));
        if (at >= 0 && (first < 0 || at < first)) {
            first = at;
            kind = t.kind;
        }
    }
    return kind;
}

QString refusal(const QString &map, const QString &dataType)
{
    return QStringLiteral("%1: tipo di dato %2 non supportato (64 bit), mappa non importata.")
        .arg(map, dataType);
}

bool parsePoints(QStringView text, int *points)
{
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value < 1 || value > MaxPoints)
        return false;
    *points = int(value);
    return true;
}

struct Scaling
{
    QString unit;
    double factor = 1.0;
    double offset = 0.0;
    int decimals = 0;
};

// The linear rule a RAT_FUNC stands for when a = d = e = 0: internal = (b·x + c) / f, so
// x = internal · f/b − c/b. Any other method keeps the identity.
// The display format "%8.3" carries the digits after the point (formatDigits finds them).
Scaling scalingOfMethod(const CompuMethod &method, const QRegularExpression &formatDigits)
{
    Scaling s;
    s.unit = method.unit;
    const QRegularExpressionMatch fm = formatDigits.match(method.format);
    if (fm.hasMatch())
        s.decimals = qBound(0, fm.capturedView(1).toInt(), 9);
    const double *k = method.coefficients;
    if (method.hasCoefficients && method.conversionType == QLatin1String("RAT_FUNC") && k[1] != 0.0
        && k[0] == 0.0 && k[3] == 0.0 && k[4] == 0.0) {
        const double factor = k[5] / k[1];
        const double offset = -k[2] / k[1];
        if (std::isfinite(factor) && std::isfinite(offset)) {
            s.factor = factor;
            s.offset = offset;
        }
    }
    return s;
}

// Unknown methods scale by the identity and carry no unit.
Scaling scalingOf(const QHash<QString, Scaling> &methods, const QString &name)
{
    return methods.value(name);
}

bool isNumberChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || u == u'-' || u == u'+' || u == u'.' || u == u'e'
           || u == u'E';
}

// The point count of an axis described nowhere else: from `from` on, the first run of digits
// led by white space and followed by two numbers ("... 8 -128 127"), which is what
// "\s(\d+)\s+[-+0-9.eE]+\s+[-+0-9.eE]+" finds. Scanned by hand in one pass: the lazy pattern
// would search the rest of the body again from every "/begin AXIS_DESCR" it holds.
QStringView firstPointCount(QStringView body, qsizetype from)
{
    const qsizetype n = body.size();
    auto skipSpaces = [&body, n](qsizetype i) {
        while (i < n && isSpace(body[i]))
            ++i;
        return i;
    };
    for (qsizetype i = from; i + 1 < n; ++i) {
        if (!isSpace(body[i]) || !body[i + 1].isDigit() || body[i + 1].unicode() > 0x7F)
            continue;
        qsizetype j = i + 1;
        while (j < n && body[j].unicode() >= u'0' && body[j].unicode() <= u'9')
            ++j;
        if (j >= n || !isSpace(body[j]))
            continue;
        qsizetype k = skipSpaces(j);
        qsizetype l = k;
        while (l < n && isNumberChar(body[l]))
            ++l;
        if (l == k || l >= n || !isSpace(body[l]))
            continue;
        const qsizetype m = skipSpaces(l);
        if (m < n && isNumberChar(body[m]))
            return body.mid(i + 1, j - i - 1);
    }
    return {};
}

bool fitsOffset(qint64 offset)
{
    return offset >= 0 && offset <= INT_MAX;
}

} // namespace

qint64 A2LParser::addressToOffset(QStringView address)
{
    bool ok = false;
    const qulonglong value = address.trimmed().toULongLong(&ok, 0);
    if (!ok || value > 0xFFFFFFFFull)
        return -1;
    const quint32 a = quint32(value);
    const quint32 shifted = a - 0x80000000u;
    if (shifted <= 0xFFFFFFu)
        return qint64(shifted);
    if (a < 0x80000000u)
        return qint64(a);
    return -1;
}

int A2LParser::elementSizeOfDataType(QStringView dataType)
{
    const QString upper = dataType.toString().toUpper();
    if (upper == QLatin1String("UBYTE") || upper == QLatin1String("SBYTE"))
        return 1;
    if (upper == QLatin1String("UWORD") || upper == QLatin1String("SWORD"))
        return 2;
    if (upper == QLatin1String("ULONG") || upper == QLatin1String("SLONG")
        || upper == QLatin1String("FLOAT32_IEEE"))
        return 4;
    if (upper == QLatin1String("A_UINT64") || upper == QLatin1String("A_INT64")
        || upper == QLatin1String("FLOAT64_IEEE"))
        return 8;
    return 2;
}

int A2LParser::valueKindOfDataType(QStringView dataType)
{
    const QString upper = dataType.toString().toUpper();
    if (upper == QLatin1String("SBYTE") || upper == QLatin1String("SWORD")
        || upper == QLatin1String("SLONG") || upper == QLatin1String("A_INT64"))
        return ValueSigned;
    if (upper == QLatin1String("FLOAT32_IEEE") || upper == QLatin1String("FLOAT64_IEEE"))
        return ValueFloat;
    return ValueUnsigned;
}

QString A2LParser::refusalSummary(const QStringList &refused)
{
    if (refused.isEmpty())
        return QString();
    constexpr qsizetype Shown = 20;
    QString text = QStringLiteral("\n\nMappe non importate: %1").arg(refused.size());
    for (qsizetype i = 0; i < qMin(Shown, refused.size()); ++i)
        text += QLatin1Char('\n') + refused.at(i);
    if (refused.size() > Shown)
        text += QStringLiteral("\n... e altre %1.").arg(refused.size() - Shown);
    return text;
}

namespace {

// The names listed in the /begin KEYWORD ... /end KEYWORD lists of a block's body.
QStringList listedNames(QStringView body, QLatin1StringView keyword)
{
    QStringList names;
    for (QStringView list : findBlocks(body, {keyword}).constFirst()) {
        // "/begin KEYWORD a b c /end KEYWORD": the words between the two keywords.
        qsizetype i = 0;
        QStringList words;
        while (i < list.size()) {
            while (i < list.size() && isSpace(list.at(i)))
                ++i;
            const qsizetype start = i;
            while (i < list.size() && !isSpace(list.at(i)))
                ++i;
            if (i > start)
                words.append(list.mid(start, i - start).toString());
        }
        // /begin, the keyword, the names, /end, the keyword.
        for (qsizetype w = 2; w + 2 < words.size(); ++w)
            names.append(words.at(w));
    }
    return names;
}

// Each characteristic's group path from the description's FUNCTION and GROUP blocks: the
// FUNCTION that defines it, else the GROUP that lists it, else a FUNCTION that refers to it,
// else the first function of its own FUNCTION_LIST; a function or group listed as
// SUB_FUNCTION / SUB_GROUP of another sits below it.
void assignGroups(QStringView text, QList<MapDefinition> &maps)
{
    const QList<QList<QStringView>> blocks
        = findBlocks(text, {QLatin1StringView("FUNCTION"), QLatin1StringView("GROUP"),
                            QLatin1StringView("FUNCTION_LIST")});
    if (blocks.at(0).isEmpty() && blocks.at(1).isEmpty() && blocks.at(2).isEmpty())
        return;
    const QRegularExpression headRe(QStringLiteral("^/begin\\s+\\S+\\s+(\\S+)"),
                                    QRegularExpression::CaseInsensitiveOption);
    QHash<QString, QString> parent[2];      // per kind: name -> the block listing it as a sub
    QHash<QString, QString> defined;        // characteristic -> FUNCTION defining it
    QHash<QString, QString> grouped;        // characteristic -> GROUP listing it
    QHash<QString, QString> referenced;     // characteristic -> FUNCTION referring to it
    for (int kind = 0; kind < 2; ++kind) {
        for (QStringView block : blocks.at(kind)) {
            const QString name = headRe.match(block).captured(1);
            if (name.isEmpty())
                continue;
            const QLatin1StringView sub = kind == 0 ? QLatin1StringView("SUB_FUNCTION")
                                                    : QLatin1StringView("SUB_GROUP");
            for (const QString &child : listedNames(block, sub))
                if (!parent[kind].contains(child))
                    parent[kind].insert(child, name);
            for (const QString &c : listedNames(block, QLatin1StringView("REF_CHARACTERISTIC")))
                if (!(kind == 0 ? referenced : grouped).contains(c))
                    (kind == 0 ? referenced : grouped).insert(c, name);
            if (kind == 0)
                for (const QString &c :
                     listedNames(block, QLatin1StringView("DEF_CHARACTERISTIC")))
                    if (!defined.contains(c))
                        defined.insert(c, name);
        }
    }
    const auto path = [&parent](int kind, QString name) {
        QStringList levels{name};
        // A cycle of sub-lists or an absurd depth stops the walk.
        for (int depth = 0; depth < 16 && parent[kind].contains(name); ++depth) {
            name = parent[kind].value(name);
            if (levels.contains(name))
                break;
            levels.prepend(name);
        }
        return levels.join(u'/');
    };
    // Last, a characteristic's own FUNCTION_LIST: its first function.
    QHash<QString, QString> listed;
    if (!blocks.at(2).isEmpty()) {
        const QList<QList<QStringView>> characteristics
            = findBlocks(text, {QLatin1StringView("CHARACTERISTIC")});
        for (QStringView block : characteristics.constFirst()) {
            const QString name = headRe.match(block).captured(1);
            const QStringList functions = listedNames(block, QLatin1StringView("FUNCTION_LIST"));
            if (!name.isEmpty() && !functions.isEmpty() && !listed.contains(name))
                listed.insert(name, functions.constFirst());
        }
    }
    for (MapDefinition &map : maps) {
        if (defined.contains(map.name))
            map.group = path(0, defined.value(map.name));
        else if (grouped.contains(map.name))
            map.group = path(1, grouped.value(map.name));
        else if (referenced.contains(map.name))
            map.group = path(0, referenced.value(map.name));
        else if (listed.contains(map.name))
            map.group = path(0, listed.value(map.name));
    }
}

} // namespace

A2LParser::Result A2LParser::parse(const QString &fileName)
{
    QFile file(fileName);
    // Binary: a carriage return is white space to every pattern, and text-mode reading would
    // cost more than the whole parse.
    // The text is held once as bytes and once as UTF-16 while it is widened; beyond this no
    // description is real and the memory would not be there.
    constexpr qint64 MaxFileSize = 512ll * 1024 * 1024;
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxFileSize) {
        Result failed;
        failed.errorMessage = QStringLiteral("Impossibile aprire il file A2L.");
        return failed;
    }
    QByteArray bytes = file.readAll();
    file.close();
    bytes.truncate(stripComments(bytes.data(), bytes.size()));
    QString text = QString::fromLatin1(bytes);
    bytes = QByteArray();
    return parseStripped(text);
}

A2LParser::Result A2LParser::parseText(QStringView source)
{
    QString text = source.toString();
    text.truncate(stripComments(reinterpret_cast<char16_t *>(text.data()), text.size()));
    return parseStripped(text);
}

A2LParser::Result A2LParser::parseStripped(QStringView text)
{
    const QRegularExpression byteOrderRe = ci(QStringLiteral(
        "/begin\\s+MOD_COMMON[\\s\\S]*?\\bBYTE_ORDER\\s+(\\S+)[\\s\\S]*?/end\\s+MOD_COMMON"));
    const QRegularExpression compuRe = ci(QStringLiteral(
        "/begin\\s+COMPU_METHOD\\s+(\\S+)\\s+\"([^\"]*)\"\\s+(\\S+)\\s+\"([^\"]*)\"\\s+"
        "\"([^\"]*)\"([\\s\\S]*?)/end\\s+COMPU_METHOD"));
    const QRegularExpression coeffsRe = ci(QStringLiteral(
        "COEFFS\\s+([-+0-9.eE]+)\\s+([-+0-9.eE]+)\\s+([-+0-9.eE]+)\\s+([-+0-9.eE]+)\\s+"
        "([-+0-9.eE]+)\\s+([-+0-9.eE]+)"));
    const QRegularExpression formatDigitsRe(QStringLiteral("%\\s*\\d*\\.(\\d+)"));
    const QRegularExpression layoutRe
        = ci(QStringLiteral("/begin\\s+RECORD_LAYOUT\\s+(\\S+)([\\s\\S]*?)/end\\s+RECORD_LAYOUT"));
    // The keywords must stand alone: "AXIS_PTS_X" also ends "NO_AXIS_PTS_X", and
    // "NO_AXIS_PTS_X" ends "FIX_NO_AXIS_PTS_X" (a count that is not stored at all).
    const QString standAlone = QStringLiteral("(?<![A-Za-z0-9_])");
    const QRegularExpression noAxisXRe
        = ci(standAlone + QStringLiteral("NO_AXIS_PTS_X\\s+\\d+\\s+(\\S+)"));
    const QRegularExpression noAxisYRe
        = ci(standAlone + QStringLiteral("NO_AXIS_PTS_Y\\s+\\d+\\s+(\\S+)"));
    const QRegularExpression axisXRe
        = ci(standAlone + QStringLiteral("AXIS_PTS_X\\s+\\d+\\s+(\\S+)"));
    const QRegularExpression axisYRe
        = ci(standAlone + QStringLiteral("AXIS_PTS_Y\\s+\\d+\\s+(\\S+)"));
    const QRegularExpression fncRe
        = ci(standAlone + QStringLiteral("FNC_VALUES\\s+\\d+\\s+(\\S+)\\s+(\\S+)(?:\\s+\\S+)?"));
    const QRegularExpression axisPtsRe = ci(QStringLiteral(
        "/begin\\s+AXIS_PTS\\s+(\\S+)\\s+\"[^\"]*\"\\s+(0x[0-9A-Fa-f]+)\\s+(\\S+)\\s+(\\S+)\\s+"
        "[-+0-9.eE]+\\s+(\\S+)\\s+(\\d+)\\s+[-+0-9.eE]+\\s+[-+0-9.eE]+[\\s\\S]*?/end\\s+AXIS_PTS"));
    const QRegularExpression characteristicRe = ci(
        QStringLiteral("/begin\\s+CHARACTERISTIC\\s+(\\S+)\\s+\"([^\"]*)\"\\s+(VALUE|CURVE|MAP)\\s+"
                       "(0x[0-9A-Fa-f]+)\\s+(\\S+)([\\s\\S]*?)/end\\s+CHARACTERISTIC"));
    const QRegularExpression conversionRe = ci(QStringLiteral("^\\s*[-+0-9.eE]+\\s+(\\S+)"));
    const QRegularExpression axisDescrRe = ci(QStringLiteral(
        "/begin\\s+AXIS_DESCR\\s+(\\S+)\\s+(\\S+)\\s+(\\S+)\\s+(\\d+)\\s+[-+0-9.eE]+\\s+"
        "[-+0-9.eE]+([\\s\\S]*?)/end\\s+AXIS_DESCR"));
    const QRegularExpression axisRefRe = ci(QStringLiteral("AXIS_PTS_REF\\s+(\\S+)"));
    const QRegularExpression axisDescrOpeningRe = ci(QStringLiteral("/begin\\s+AXIS_DESCR"));

    enum { ModCommon, Compu, Layout, AxisPts, Characteristic };
    const QList<QList<QStringView>> blocks
        = findBlocks(text, {QLatin1StringView("MOD_COMMON"), QLatin1StringView("COMPU_METHOD"),
                            QLatin1StringView("RECORD_LAYOUT"), QLatin1StringView("AXIS_PTS"),
                            QLatin1StringView("CHARACTERISTIC")});

    bool littleEndian = true;
    for (QStringView block : blocks.at(ModCommon)) {
        const QRegularExpressionMatch m = matchWhole(byteOrderRe, block);
        if (!m.hasMatch())
            continue;
        littleEndian = m.capturedView(1).toString().toUpper() != QLatin1String("MSB_FIRST");
        break;
    }

    QHash<QString, Scaling> methods;
    for (QStringView block : blocks.at(Compu)) {
        const QRegularExpressionMatch m = matchWhole(compuRe, block);
        if (!m.hasMatch())
            continue;
        CompuMethod method;
        method.conversionType = m.capturedView(3).toString().toUpper();
        method.format = m.captured(4);
        method.unit = m.captured(5);
        const QRegularExpressionMatch c = coeffsRe.match(m.capturedView(6));
        if (c.hasMatch()) {
            method.hasCoefficients = true;
            for (int i = 0; i < 6; ++i)
                method.coefficients[i] = c.capturedView(i + 1).toDouble();
        }
        methods.insert(m.captured(1), scalingOfMethod(method, formatDigitsRe));
    }

    QHash<QString, RecordLayout> layouts;
    for (QStringView block : blocks.at(Layout)) {
        const QRegularExpressionMatch m = matchWhole(layoutRe, block);
        if (!m.hasMatch())
            continue;
        const QStringView body = m.capturedView(2);
        RecordLayout layout;
        auto sizeOf = [&body](const QRegularExpression &re, bool *present, int *size,
                              QRegularExpressionMatch *match = nullptr, int *kind = nullptr,
                              QString *typeName = nullptr) {
            const QRegularExpressionMatch lm = re.match(body);
            if (!lm.hasMatch())
                return;
            *present = true;
            *size = A2LParser::elementSizeOfDataType(lm.capturedView(1));
            if (match)
                *match = lm;
            if (kind)
                *kind = A2LParser::valueKindOfDataType(lm.capturedView(1));
            if (typeName)
                *typeName = lm.captured(1);
        };
        sizeOf(noAxisXRe, &layout.hasNoAxisPtsX, &layout.noAxisPtsXSize);
        sizeOf(noAxisYRe, &layout.hasNoAxisPtsY, &layout.noAxisPtsYSize);
        sizeOf(axisXRe, &layout.hasAxisPtsX, &layout.axisPtsXSize, nullptr, &layout.axisPtsXKind,
               &layout.axisPtsXType);
        sizeOf(axisYRe, &layout.hasAxisPtsY, &layout.axisPtsYSize, nullptr, &layout.axisPtsYKind,
               &layout.axisPtsYType);
        QRegularExpressionMatch fnc;
        sizeOf(fncRe, &layout.hasFncValues, &layout.fncValuesSize, &fnc, &layout.fncValuesKind,
               &layout.fncValuesType);
        if (layout.hasFncValues)
            layout.indexMode = fnc.capturedView(2).toString().toUpper();
        layouts.insert(m.captured(1), layout);
    }

    QHash<QString, AxisPoints> axisPoints;
    for (QStringView block : blocks.at(AxisPts)) {
        const QRegularExpressionMatch m = matchWhole(axisPtsRe, block);
        if (!m.hasMatch())
            continue;
        AxisPoints entry;
        // An axis outside the address window cannot be read, but its count, input quantity
        // and conversion still describe the map that refers to it: only the offset is lost.
        entry.offset = addressToOffset(m.capturedView(2));
        entry.inputQuantity = m.captured(3);
        entry.recordLayout = m.captured(4);
        entry.conversion = m.captured(5);
        // A count of 0 (or an absurd one) stays 0, and the map that uses the axis is dropped.
        parsePoints(m.capturedView(6), &entry.points);
        entry.elementSize = sizeFromLayoutName(entry.recordLayout);
        entry.kind = kindFromLayoutName(entry.recordLayout);
        // The address is where the axis record starts; a count stored in front of the
        // values moves them, and the layout's own line says how wide they are.
        const auto layout = layouts.constFind(entry.recordLayout);
        if (layout != layouts.cend()) {
            if (layout->hasNoAxisPtsX && entry.offset >= 0)
                entry.offset += layout->noAxisPtsXSize;
            if (layout->hasAxisPtsX) {
                entry.elementSize = layout->axisPtsXSize;
                entry.kind = layout->axisPtsXKind;
                entry.typeName = layout->axisPtsXType;
            }
        }
        if (!fitsOffset(entry.offset))
            entry.offset = -1;
        axisPoints.insert(m.captured(1), entry);
    }

    Result result;
    result.maps.reserve(blocks.at(Characteristic).size());
    for (QStringView block : blocks.at(Characteristic)) {
        const QRegularExpressionMatch m = matchWhole(characteristicRe, block);
        if (!m.hasMatch())
            continue;
        const qint64 start = addressToOffset(m.capturedView(4));
        if (start < 0)
            continue;
        const QStringView body = m.capturedView(6);

        MapDefinition d;
        d.sourceKind = MapDefinition::SourceA2L;
        d.name = m.captured(1);
        d.description = m.captured(2);
        d.characteristicType = m.capturedView(3).toString().toUpper();
        d.recordLayout = m.captured(5);
        d.compuMethod = conversionRe.match(body).captured(1);
        d.rows = 1;
        d.columns = 1;
        d.mapOffset = int(start);
        d.littleEndian = d.xLittleEndian = d.yLittleEndian = littleEndian;
        d.dataType = d.xDataType = d.yDataType = organisationFor(2, littleEndian);

        const Scaling z = scalingOf(methods, d.compuMethod);
        d.unit = z.unit;
        d.factor = z.factor;
        d.offset = z.offset;
        d.decimals = z.decimals;

        QList<AxisDescription> axes;
        bool usable = true;
        const QList<QList<QStringView>> descrBlocks
            = findBlocks(body, {QLatin1StringView("AXIS_DESCR")});
        for (QStringView descr : descrBlocks.constFirst()) {
            const QRegularExpressionMatch am = matchWhole(axisDescrRe, descr);
            if (!am.hasMatch())
                continue;
            AxisDescription axis;
            axis.inputQuantity = am.captured(2);
            axis.conversion = am.captured(3);
            usable = usable && parsePoints(am.capturedView(4), &axis.maxPoints);
            axis.body = am.capturedView(5);
            axes.append(axis);
        }
        if (!usable)
            continue;

        d.zElementSize = sizeFromLayoutName(d.recordLayout);
        d.dataType = organisationFor(d.zElementSize, littleEndian);
        d.zValueKind = kindFromLayoutName(d.recordLayout);
        const bool curveOrMap = d.characteristicType != QLatin1String("VALUE");
        const bool isMap = d.characteristicType == QLatin1String("MAP");
        const RecordLayout layout = layouts.value(d.recordLayout);
        auto nameAxis = [&methods](AxisFields axis, const QString &inputQuantity,
                                   const QString &conversion) {
            const Scaling scaling = scalingOf(methods, conversion);
            axis.name = inputQuantity;
            axis.compuMethod = conversion;
            axis.unit = scaling.unit;
            axis.factor = scaling.factor;
            axis.offsetFactor = scaling.offset;
            axis.decimals = scaling.decimals;
        };
        // offset may be -1: an axis whose values lie outside the image keeps its format.
        auto storeAxis
            = [&littleEndian](AxisFields axis, qint64 offset, int elementSize, int kind) {
                  axis.offset = int(offset);
                  axis.elementSize = elementSize;
                  axis.dataType = organisationFor(elementSize, littleEndian);
                  axis.kind = effectiveValueKind(axis.dataType, kind);
              };
        // The data type of 8-byte elements, which no map here can hold; empty for the others.
        QString wideType;
        auto takeValues = [&d, &layout, &littleEndian, &wideType] {
            d.zElementSize = layout.fncValuesSize;
            d.dataType = organisationFor(d.zElementSize, littleEndian);
            d.zValueKind = effectiveValueKind(d.dataType, layout.fncValuesKind);
            if (layout.fncValuesSize == 8)
                wideType = layout.fncValuesType;
        };

        const QRegularExpressionMatch firstRef = axisRefRe.match(body);
        if (firstRef.hasMatch() || layouts.isEmpty()) {
            // Axes by reference to AXIS_PTS blocks; the characteristic holds the values only.
            if (layout.hasFncValues) {
                takeValues();
                d.zColumnMajor = layout.indexMode == QLatin1String("COLUMN_DIR");
            }
            auto referenceIn
                = [&axisRefRe](QStringView where) { return axisRefRe.match(where).captured(1); };
            if (curveOrMap) {
                QString xRef = axes.isEmpty() ? QString() : referenceIn(axes.at(0).body);
                if (xRef.isEmpty())
                    xRef = firstRef.captured(1);
                const auto x = axisPoints.constFind(xRef);
                if (x != axisPoints.cend()) {
                    d.columns = x->points;
                    storeAxis(xAxisFields(d), x->offset, x->elementSize, x->kind);
                    if (x->elementSize == 8)
                        wideType = x->typeName;
                    nameAxis(xAxisFields(d), x->inputQuantity, x->conversion);
                } else {
                    // No such AXIS_PTS: the count written in the description is all there is.
                    const QRegularExpressionMatch opening = axisDescrOpeningRe.match(body);
                    const QStringView count = opening.hasMatch()
                                                  ? firstPointCount(body, opening.capturedEnd(0))
                                                  : QStringView();
                    int points = 1;
                    if (!count.isEmpty() && !parsePoints(count, &points))
                        continue;
                    d.columns = points;
                }
            }
            if (isMap && axes.size() > 1) {
                const auto y = axisPoints.constFind(referenceIn(axes.at(1).body));
                if (y != axisPoints.cend()) {
                    d.rows = y->points;
                    storeAxis(yAxisFields(d), y->offset, y->elementSize, y->kind);
                    if (y->elementSize == 8)
                        wideType = y->typeName;
                    nameAxis(yAxisFields(d), y->inputQuantity, y->conversion);
                } else {
                    d.rows = axes.at(1).maxPoints;
                }
            }
        } else {
            // Everything in one record, in the fixed order of the layout.
            d.headerOffset = int(start);
            d.zColumnMajor = layout.indexMode == QLatin1String("COLUMN_DIR");
            qint64 running = start;
            if (layout.hasNoAxisPtsX)
                running += layout.noAxisPtsXSize;
            if (layout.hasNoAxisPtsY)
                running += layout.noAxisPtsYSize;
            if (curveOrMap && !axes.isEmpty()) {
                const AxisDescription &x = axes.at(0);
                d.columns = x.maxPoints;
                // A layout without AXIS_PTS_X stores no X points (a fixed axis): pointing
                // the axis at the record would read the values as axis points.
                if (layout.hasAxisPtsX) {
                    if (!fitsOffset(running))
                        continue;
                    storeAxis(xAxisFields(d), running, layout.axisPtsXSize, layout.axisPtsXKind);
                    if (layout.axisPtsXSize == 8)
                        wideType = layout.axisPtsXType;
                    running += qint64(d.columns) * d.xElementSize;
                }
                nameAxis(xAxisFields(d), x.inputQuantity, x.conversion);
            }
            if (isMap && axes.size() > 1) {
                const AxisDescription &y = axes.at(1);
                d.rows = y.maxPoints;
                if (layout.hasAxisPtsY) {
                    if (!fitsOffset(running))
                        continue;
                    storeAxis(yAxisFields(d), running, layout.axisPtsYSize, layout.axisPtsYKind);
                    if (layout.axisPtsYSize == 8)
                        wideType = layout.axisPtsYType;
                    running += qint64(d.rows) * d.yElementSize;
                }
                nameAxis(yAxisFields(d), y.inputQuantity, y.conversion);
            }
            if (curveOrMap) {
                if (!fitsOffset(running))
                    continue;
                d.mapOffset = int(running);
                if (layout.hasFncValues)
                    takeValues();
            } else if (layout.hasFncValues) {
                // A single value is stored as its layout says, whatever the layout is called.
                takeValues();
            }
        }
        if (!wideType.isEmpty()) {
            result.refused.append(refusal(d.name, wideType));
            continue;
        }
        if (d.rows < 1 || d.columns < 1 || !fitsOffset(d.mapOffset)
            || !fitsOffset(qint64(d.mapOffset) + qint64(d.rows) * d.columns * d.zElementSize))
            continue;
        result.maps.append(d);
    }

    assignGroups(text, result.maps);
    if (result.maps.isEmpty())
        result.errorMessage = QStringLiteral("Nessuna CHARACTERISTIC compatibile trovata.");
    return result;
}
