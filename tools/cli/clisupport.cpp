#include "clisupport.h"

#include "model/mapdefinition.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTextStream>
#include <QVarLengthArray>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <type_traits>

int fail(const QString &message)
{
    QString oneLine = message;
    oneLine.replace(QLatin1Char('\n'), QLatin1Char(' '));
    QTextStream(stderr) << "tessamorvandi-cli: " << oneLine << Qt::endl;
    return 1;
}

QByteArray jsonText(const QJsonValue &value)
{
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2); // drop the "[" and "]"
}

bool printJson(const Fields &fields)
{
    JsonStream out;
    out.beginObject();
    for (const auto &[key, value] : fields)
        out.key(key).value(value);
    out.endObject();
    return out.finish();
}

namespace {

// Both kinds of image refuse a file the same way.
template<typename Image>
bool loadInto(const QString &path, Image &firmware, QString *error)
{
    if (!QFileInfo(path).isFile()) {
        *error = QStringLiteral("%1: no such file").arg(path);
        return false;
    }
    const bool loaded = [&] {
        if constexpr (std::is_same_v<Image, Firmware>)
            return firmware.load(path.toStdString());
        else
            return firmware.open(path.toStdString());
    }();
    if (!loaded) {
        *error = QStringLiteral("%1: cannot load firmware (%2)")
                     .arg(path, QString::fromStdString(firmware.errorString()));
        return false;
    }
    return true;
}

} // namespace

bool loadImage(const QString &path, Firmware &firmware, QString *error)
{
    return loadInto(path, firmware, error);
}

bool loadImage(const QString &path, FirmwareFile &firmware, QString *error)
{
    return loadInto(path, firmware, error);
}

bool isIntelHex(const Firmware &firmware)
{
    return firmware.format() == Firmware::Format::IntelHex;
}

QJsonArray mapsJson(const QList<MapDefinition> &maps)
{
    QJsonArray array;
    for (const MapDefinition &map : maps) {
        QJsonObject o = toJson(map);
        o.insert(QStringLiteral("sourceKind"), map.sourceKind);
        array.append(o);
    }
    return array;
}

namespace {

constexpr qsizetype StreamBufferSize = 1 << 20;

// QJsonDocument writes a double that holds a whole number of at most 2^53 as an integer
// ("100000", not "1e+05"), a non-finite one as null, and any other in the shortest form that
// reads back the same, as QByteArray::number gives it.
constexpr double LargestExactInteger = 9007199254740992.0;

struct MapField
{
    enum Kind { String, Bool, Int, Double, Axis, IntUnlessZero, StringUnlessEmpty };
    QLatin1StringView key;
    Kind kind;
    const void *field;
};

// The fields of a map as toJson visits them, with sourceKind last when asked for.
QVarLengthArray<MapField, 64> mapFields(const MapDefinition &map, bool withSourceKind)
{
    QVarLengthArray<MapField, 64> fields;
    forEachJsonField(map, [&fields](QLatin1StringView key, const auto &value) {
        using T = std::decay_t<decltype(value)>;
        MapField::Kind kind = MapField::String;
        if constexpr (std::is_same_v<T, bool>)
            kind = MapField::Bool;
        else if constexpr (std::is_same_v<T, int>)
            kind = MapField::Int;
        else if constexpr (std::is_same_v<T, double>)
            kind = MapField::Double;
        else if constexpr (std::is_same_v<T, QList<double>>)
            kind = MapField::Axis;
        else if constexpr (std::is_same_v<T, OmittedWhenZero>)
            kind = MapField::IntUnlessZero;
        else if constexpr (std::is_same_v<T, OmittedWhenEmpty>)
            kind = MapField::StringUnlessEmpty;
        else
            static_assert(std::is_same_v<T, QString>, "a map field of a type JSON cannot take");
        if constexpr (std::is_same_v<T, OmittedWhenZero> || std::is_same_v<T, OmittedWhenEmpty>)
            fields.append({key, kind, value.value});
        else
            fields.append({key, kind, &value});
    });
    if (withSourceKind)
        fields.append({QLatin1StringView("sourceKind"), MapField::Int, &map.sourceKind});
    return fields;
}

struct SortedField
{
    int index;       // in mapFields()
    QByteArray text; // the key as written before its value: "name":
};

// The order in which a QJsonObject holds those fields: its keys sorted. The keys are the same
// for every map, so the order and the keys' text are worked out once.
const std::vector<SortedField> &sortedFields(bool withSourceKind)
{
    auto order = [](bool sourceKind) {
        const auto fields = mapFields(MapDefinition(), sourceKind);
        std::vector<SortedField> sorted;
        for (qsizetype i = 0; i < fields.size(); ++i)
            sorted.push_back({int(i), jsonText(QString(fields[i].key)) + ':'});
        std::sort(sorted.begin(), sorted.end(), [&fields](const auto &a, const auto &b) {
            return fields[a.index].key < fields[b.index].key;
        });
        return sorted;
    };
    static const std::vector<SortedField> withKind = order(true);
    static const std::vector<SortedField> withoutKind = order(false);
    return withSourceKind ? withKind : withoutKind;
}

} // namespace

JsonStream::JsonStream(FILE *out)
    : m_out(out)
    , m_buffer(size_t(StreamBufferSize))
{
}

JsonStream::~JsonStream()
{
    flushBuffer();
}

void JsonStream::flushBuffer()
{
    if (m_used > 0 && !m_failed
        && fwrite(m_buffer.data(), 1, size_t(m_used), m_out) != size_t(m_used))
        m_failed = true;
    m_used = 0;
}

char *JsonStream::reserveAfterFlush(qsizetype length)
{
    flushBuffer();
    if (length > qsizetype(m_buffer.size()))
        m_buffer.resize(size_t(length));
    m_used = length;
    return m_buffer.data();
}

JsonStream &JsonStream::open(char bracket)
{
    separate();
    append(bracket);
    m_hasElement.push_back(0);
    return *this;
}

JsonStream &JsonStream::close(char bracket)
{
    append(bracket);
    m_hasElement.pop_back();
    return *this;
}

JsonStream &JsonStream::key(QLatin1StringView name)
{
    // Keys are the program's own ASCII names; anything else takes the general road.
    if (!std::all_of(name.begin(), name.end(),
                     [](char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; }))
        return key(QString(name));
    separate();
    append('"');
    append(name.data(), name.size());
    append("\":", 2);
    m_afterKey = true;
    return *this;
}

JsonStream &JsonStream::key(const QString &name)
{
    separate();
    appendString(name);
    append(':');
    m_afterKey = true;
    return *this;
}

void JsonStream::appendString(const QString &text)
{
    // Plain ASCII is copied as it is, checked on the way; anything that needs an escape or
    // UTF-8 goes through QJsonDocument itself, which keeps the rare cases exactly as it
    // writes them.
    const char16_t *d = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype n = text.size();
    char *out = reserve(n + 2);
    out[0] = '"';
    unsigned special = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = d[i];
        out[i + 1] = char(c);
        special
            |= unsigned(char16_t(c - 0x20) >= 0x5F) | unsigned(c == u'"') | unsigned(c == u'\\');
    }
    out[n + 1] = '"';
    if (special) {
        m_used -= n + 2;
        const QByteArray escaped = jsonText(QJsonValue(text));
        append(escaped.constData(), escaped.size());
    }
}

JsonStream &JsonStream::value(const QString &text)
{
    separate();
    appendString(text);
    return *this;
}

JsonStream &JsonStream::value(bool flag)
{
    separate();
    if (flag)
        append("true", 4);
    else
        append("false", 5);
    return *this;
}

JsonStream &JsonStream::value(qint64 number)
{
    separate();
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    append(digits, end - digits);
    return *this;
}

JsonStream &JsonStream::value(double number)
{
    if (!std::isfinite(number)) {
        separate();
        append("null", 4);
        return *this;
    }
    if (std::abs(number) <= LargestExactInteger && std::trunc(number) == number)
        return value(qint64(number));
    separate();
    quint64 bits = 0;
    std::memcpy(&bits, &number, sizeof bits);
    auto known = m_doubleTexts.constFind(bits);
    if (known == m_doubleTexts.cend()) {
        const QByteArray text = QByteArray::number(number, 'g', QLocale::FloatingPointShortest);
        if (m_doubleTexts.size() >= 65536)
            m_doubleTexts.clear(); // the maps' values do not repeat; keep the memory small
        known = m_doubleTexts.insert(bits, text);
    }
    append(known->constData(), known->size());
    return *this;
}

JsonStream &JsonStream::value(const QJsonValue &json)
{
    switch (json.type()) {
    case QJsonValue::Bool:
        return value(json.toBool());
    case QJsonValue::String:
        return value(json.toString());
    default: {
        separate();
        const QByteArray text = jsonText(json);
        append(text.constData(), text.size());
        return *this;
    }
    }
}

JsonStream &JsonStream::value(const QList<double> &numbers)
{
    beginArray();
    for (double number : numbers)
        value(number);
    return endArray();
}

JsonStream &JsonStream::mapDefinition(const MapDefinition &map, bool withSourceKind)
{
    const auto fields = mapFields(map, withSourceKind);
    beginObject();
    for (const SortedField &sorted : sortedFields(withSourceKind)) {
        const MapField &field = fields[sorted.index];
        if (field.kind == MapField::IntUnlessZero && *static_cast<const int *>(field.field) == 0)
            continue;
        if (field.kind == MapField::StringUnlessEmpty
            && static_cast<const QString *>(field.field)->isEmpty())
            continue;
        separate();
        append(sorted.text.constData(), sorted.text.size());
        m_afterKey = true;
        switch (field.kind) {
        case MapField::String:
        case MapField::StringUnlessEmpty:
            value(*static_cast<const QString *>(field.field));
            break;
        case MapField::Bool:
            value(*static_cast<const bool *>(field.field));
            break;
        case MapField::Int:
        case MapField::IntUnlessZero:
            value(*static_cast<const int *>(field.field));
            break;
        case MapField::Double:
            value(*static_cast<const double *>(field.field));
            break;
        case MapField::Axis:
            value(*static_cast<const QList<double> *>(field.field));
            break;
        }
    }
    return endObject();
}

bool JsonStream::finish()
{
    append('\n');
    flushBuffer();
    if (fflush(m_out) != 0)
        m_failed = true;
    return !m_failed;
}

void writeMaps(JsonStream &out, const QList<MapDefinition> &maps, bool withSourceKind)
{
    out.key(QLatin1StringView("maps")).beginArray();
    for (const MapDefinition &map : maps)
        out.mapDefinition(map, withSourceKind);
    out.endArray();
}

namespace {

int outputStatus(bool written)
{
    if (written)
        return 0;
    return fail(QStringLiteral("cannot write the output (%1)")
                    .arg(QString::fromLocal8Bit(std::strerror(errno))));
}

} // namespace

int printResult(const Fields &fields)
{
    return outputStatus(printJson(fields));
}

int finishOutput(JsonStream &out)
{
    return outputStatus(out.finish());
}
