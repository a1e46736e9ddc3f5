#include "olsparser.h"

#include <QByteArrayView>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <functional>

namespace {

// Searches one byte pattern through a whole project. Boyer-Moore-Horspool skips ahead by up to
// the pattern's length, several times faster over megabytes of firmware than a plain search.
class Finder
{
public:
    explicit Finder(QByteArrayView needle)
        : m_needle(needle)
        , m_searcher(needle.begin(), needle.end())
    {
    }
    qint64 find(const char *data, qint64 size, qint64 from) const
    {
        from = qMax<qint64>(from, 0);
        if (m_needle.isEmpty() || from >= size)
            return -1;
        const char *end = data + size;
        const char *hit = std::search(data + from, end, m_searcher);
        return hit == end ? -1 : hit - data;
    }

private:
    QByteArrayView m_needle;
    std::boyer_moore_horspool_searcher<const char *> m_searcher;
};

// Bounds-checked little-endian reads over the project bytes: a field that does not lie
// wholly inside the file reads as absent.
class Reader
{
public:
    explicit Reader(const QByteArray &bytes)
        : m_data(reinterpret_cast<const uchar *>(bytes.constData()))
        , m_size(bytes.size())
    {
    }

    qint64 size() const { return m_size; }
    const uchar *data() const { return m_data; }

    bool has(qint64 pos, qint64 length) const
    {
        return pos >= 0 && length >= 0 && pos <= m_size && length <= m_size - pos;
    }
    bool u32(qint64 pos, quint32 *value) const
    {
        if (!has(pos, 4))
            return false;
        const uchar *p = m_data + pos;
        *value = quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
        return true;
    }
    bool i32(qint64 pos, qint32 *value) const
    {
        quint32 raw = 0;
        if (!u32(pos, &raw))
            return false;
        *value = qint32(raw);
        return true;
    }
    bool f64(qint64 pos, double *value) const
    {
        if (!has(pos, 8))
            return false;
        quint64 raw = 0;
        for (int i = 7; i >= 0; --i)
            raw = raw << 8 | m_data[pos + i];
        std::memcpy(value, &raw, sizeof raw);
        return true;
    }
    bool printable(qint64 pos, qint64 length) const
    {
        if (!has(pos, length))
            return false;
        for (qint64 i = 0; i < length; ++i)
            if (m_data[pos + i] < 0x20 || m_data[pos + i] > 0x7E)
                return false;
        return true;
    }
    QString latin1(qint64 pos, qint64 length) const
    {
        if (!has(pos, length))
            return {};
        return QString::fromLatin1(reinterpret_cast<const char *>(m_data + pos), length);
    }
    qint64 indexOf(const Finder &finder, qint64 from) const
    {
        return finder.find(reinterpret_cast<const char *>(m_data), m_size, from);
    }

private:
    const uchar *m_data;
    qint64 m_size;
};

// Labels WinOLS writes into its own records; they never name a map.
bool isDefaultLabel(const QString &text)
{
    static const QStringList labels
        = {QStringLiteral("Asse X"),     QStringLiteral("Asse Y"),  QStringLiteral("Axis X"),
           QStringLiteral("Axis Y"),     QStringLiteral("Hexdump"), QStringLiteral("Original"),
           QStringLiteral("no comment.")};
    return labels.contains(text.trimmed());
}

QString typeForDimensions(int rows, int columns)
{
    if (rows == 1 && columns == 1)
        return QStringLiteral("VALUE");
    if (rows == 1 || columns == 1)
        return QStringLiteral("CURVE");
    return QStringLiteral("MAP");
}

// What every record gives: dimensions, scaling and the data range inside the firmware.
struct RecordTail
{
    double factor = 1.0;
    double offset = 0.0;
    quint32 start = 0;
    int elementSize = 0;
};

// Element size of a data range over a grid: 1, 2 or 4, else 0.
int elementSizeOf(quint32 start, quint32 end, int rows, int columns)
{
    const qint64 cells = qint64(rows) * columns;
    if (end <= start || cells < 1)
        return 0;
    const qint64 span = qint64(end) - start;
    if (span % cells != 0)
        return 0;
    const qint64 size = span / cells;
    return size == 1 || size == 2 || size == 4 ? int(size) : 0;
}

class Decoder
{
public:
    Decoder(const QByteArray &bytes, OLSParser::Result &result)
        : m_in(bytes)
        , m_result(result)
        , m_firmwareSize(result.firmware.size())
        , m_mapLittleEndian(result.vendorKnown ? result.littleEndian : true)
    {
    }

    int mapCount() const { return m_result.maps.size(); }

    void conversionMethodRecords();
    void boschObjectRecords();
    void extendedObjectRecords();
    void namedObjectRecords(QByteArrayView prefix, const QString &defaultDescription);
    void genericRecords();
    void finalCheck();

private:
    MapDefinition newMap() const;
    // A record's map: its name and description, dimensions, and what its tail says.
    MapDefinition mapFromRecord(const QString &name,
                                const QString &description,
                                int rows,
                                int columns,
                                const RecordTail &tail) const;
    bool add(MapDefinition map);
    bool readTail(qint64 pos, int rows, int columns, RecordTail *tail) const;
    bool plausible(const MapDefinition &map) const;
    bool objectRecordAt(qint64 nameLengthPos, const QString &defaultDescription);
    bool
    objectLayout(qint64 e, bool layoutB, const QString &name, const QString &defaultDescription);
    QString nearestString(qint64 before, qint64 window, int minLength, int maxLength) const;

    Reader m_in;
    OLSParser::Result &m_result;
    qint64 m_firmwareSize;
    bool m_mapLittleEndian;
    QSet<QString> m_keys;
};

MapDefinition Decoder::newMap() const
{
    MapDefinition map;
    map.sourceKind = MapDefinition::SourceWinOLS;
    map.littleEndian = map.xLittleEndian = map.yLittleEndian = m_mapLittleEndian;
    return map;
}

MapDefinition Decoder::mapFromRecord(const QString &name,
                                     const QString &description,
                                     int rows,
                                     int columns,
                                     const RecordTail &tail) const
{
    MapDefinition map = newMap();
    map.name = name;
    map.description = description;
    map.rows = rows;
    map.columns = columns;
    map.characteristicType = typeForDimensions(rows, columns);
    map.factor = tail.factor;
    map.offset = tail.offset;
    map.mapOffset = int(tail.start);
    map.zElementSize = tail.elementSize;
    return map;
}

bool Decoder::plausible(const MapDefinition &m) const
{
    const int size = m.zElementSize;
    if (m.rows < 1 || m.columns < 1 || m.rows > 4096 || m.columns > 4096)
        return false;
    if (size != 1 && size != 2 && size != 4)
        return false;
    if (m.mapOffset < 0 || m.mapOffset >= m_firmwareSize)
        return false;
    return qint64(m.mapOffset) + qint64(m.rows) * m.columns * size <= m_firmwareSize;
}

bool Decoder::add(MapDefinition map)
{
    map.dataType = organisationFor(map.zElementSize, map.littleEndian);
    if (!plausible(map))
        return false;
    const QString key = OLSParser::mapKey(map);
    if (m_keys.contains(key))
        return false;
    m_keys.insert(key);
    m_result.maps.append(map);
    return true;
}

bool Decoder::readTail(qint64 pos, int rows, int columns, RecordTail *tail) const
{
    quint32 start = 0;
    quint32 end = 0;
    if (!m_in.f64(pos, &tail->factor) || !m_in.f64(pos + 8, &tail->offset)
        || !m_in.u32(pos + 16, &start) || !m_in.u32(pos + 20, &end))
        return false;
    // A scaling that is no number would poison every value shown.
    if (!std::isfinite(tail->factor) || !std::isfinite(tail->offset))
        return false;
    if (qint64(start) >= m_firmwareSize || qint64(end) > m_firmwareSize)
        return false;
    tail->start = start;
    tail->elementSize = elementSizeOf(start, end, rows, columns);
    return tail->elementSize != 0;
}

// The nearest length-prefixed printable string ending at or before `before`, starting at
// most `window` bytes before it; default labels are passed over.
QString Decoder::nearestString(qint64 before, qint64 window, int minLength, int maxLength) const
{
    qint64 bestEnd = -1;
    QString best;
    for (qint64 s = before - 4 - minLength; s >= qMax<qint64>(0, before - window); --s) {
        quint32 length = 0;
        if (!m_in.u32(s, &length) || length < quint32(minLength) || length > quint32(maxLength))
            continue;
        const qint64 end = s + 4 + length;
        if (end > before || end <= bestEnd || !m_in.printable(s + 4, length))
            continue;
        const QString text = m_in.latin1(s + 4, length);
        if (text == QLatin1String("Conversion method") || isDefaultLabel(text))
            continue;
        bestEnd = end;
        best = text;
    }
    return best;
}

void Decoder::conversionMethodRecords()
{
    const QByteArrayView marker("Conversion method");
    const Finder finder(marker);
    for (qint64 at = m_in.indexOf(finder, 0); at >= 0; at = m_in.indexOf(finder, at + 1)) {
        const QString name = nearestString(at, 200, 3, 80);
        if (name.isEmpty())
            continue;
        quint32 rows = 0;
        quint32 columns = 0;
        if (!m_in.u32(at - 20, &rows) || !m_in.u32(at - 24, &columns) || rows < 1 || rows > 1024
            || columns < 1 || columns > 1024)
            continue;
        qint64 p = at + marker.size();
        if (m_in.has(p, 1) && m_in.data()[p] == 0)
            ++p;
        quint32 unitLength = 0;
        if (!m_in.u32(p, &unitLength) || unitLength > 256 || !m_in.has(p + 4, unitLength))
            continue;
        const QString unit = m_in.latin1(p + 4, unitLength);
        p += 4 + unitLength;
        RecordTail tail;
        if (!readTail(p, int(rows), int(columns), &tail))
            continue;
        MapDefinition map = newMap();
        map.name = name;
        map.unit = unit.trimmed();
        map.rows = int(rows);
        map.columns = int(columns);
        map.factor = tail.factor;
        map.offset = tail.offset;
        map.mapOffset = int(tail.start);
        map.zElementSize = tail.elementSize;
        add(map);
    }
}

bool Decoder::objectLayout(qint64 e,
                           bool layoutB,
                           const QString &name,
                           const QString &defaultDescription)
{
    const qint64 dims = e + (layoutB ? 116 : 61);
    const qint64 lengthPos = e + (layoutB ? 140 : 85);
    quint32 columns = 0;
    quint32 rows = 0;
    qint32 descriptionLength = 0;
    if (!m_in.u32(dims, &columns) || !m_in.u32(dims + 4, &rows) || columns < 1 || columns > 4096
        || rows < 1 || rows > 4096 || !m_in.i32(lengthPos, &descriptionLength))
        return false;
    qint64 p = lengthPos + 4;
    QString description;
    if (layoutB && descriptionLength >= -16 && descriptionLength <= -1) {
        // no description
    } else if (descriptionLength >= 0 && descriptionLength <= 100) {
        if (!m_in.has(p, descriptionLength))
            return false;
        description = m_in.latin1(p, descriptionLength);
        p += descriptionLength;
        if (!layoutB && m_in.has(p, 1) && m_in.data()[p] == 0)
            ++p;
    } else {
        return false;
    }
    RecordTail tail;
    if (!readTail(p, int(rows), int(columns), &tail))
        return false;
    description = description.trimmed();
    if (description.isEmpty() || isDefaultLabel(description))
        description = defaultDescription;
    add(mapFromRecord(name, description, int(rows), int(columns), tail));
    return true;
}

// An object record read from its name: a 32-bit length at nameLengthPos, the name after it,
// then layout A, or layout B when A does not fit.
bool Decoder::objectRecordAt(qint64 nameLengthPos, const QString &defaultDescription)
{
    quint32 length = 0;
    if (!m_in.u32(nameLengthPos, &length) || length < 1 || length > 300
        || !m_in.printable(nameLengthPos + 4, length))
        return false;
    const QString name = m_in.latin1(nameLengthPos + 4, length).trimmed();
    if (name.isEmpty() || isDefaultLabel(name))
        return false;
    qint64 e = nameLengthPos + 4 + length;
    if (m_in.has(e, 1) && m_in.data()[e] == 0)
        ++e;
    return objectLayout(e, false, name, defaultDescription)
           || objectLayout(e, true, name, defaultDescription);
}

const char BoschMarker[] = "\x02\x00\x00\x00\x03\x00\x00\x00\x02\x00\x00\x00\x0A\x00\x00\x00";

void Decoder::boschObjectRecords()
{
    const Finder finder(QByteArrayView(BoschMarker, 16));
    for (qint64 at = m_in.indexOf(finder, 0); at >= 0; at = m_in.indexOf(finder, at + 1))
        objectRecordAt(at + 20, QString());
}

// Object records whose header names another object kind than the plain one: the same
// "02 00 00 00 0A 00 00 00" tail, led by two small type words other than 2, 3.
void Decoder::extendedObjectRecords()
{
    const Finder finder(QByteArrayView("\x02\x00\x00\x00\x0A\x00\x00\x00", 8));
    for (qint64 at = m_in.indexOf(finder, 8); at >= 0; at = m_in.indexOf(finder, at + 1)) {
        const qint64 head = at - 8;
        quint32 kind = 0;
        quint32 subKind = 0;
        if (!m_in.u32(head, &kind) || !m_in.u32(head + 4, &subKind) || kind >= 33 || subKind >= 33
            || (kind == 2 && subKind == 3))
            continue;
        objectRecordAt(head + 20, QString());
    }
}

// Records known by their name's prefix ("DFC_", "DINH_FId."), wherever their header is:
// the prefix must open a length-prefixed name, which is then read as an object record.
void Decoder::namedObjectRecords(QByteArrayView prefix, const QString &defaultDescription)
{
    const Finder finder(prefix);
    for (qint64 at = m_in.indexOf(finder, 4); at >= 0; at = m_in.indexOf(finder, at + 1))
        objectRecordAt(at - 4, defaultDescription);
}

void Decoder::genericRecords()
{
    const Finder finder(QByteArrayView("\x0A\x00\x00\x00", 4));
    for (qint64 m = m_in.indexOf(finder, 16); m >= 0; m = m_in.indexOf(finder, m + 1)) {
        quint32 head[4];
        bool small = true;
        for (int i = 0; i < 4 && small; ++i)
            small = m_in.u32(m - 16 + 4 * i, &head[i]) && head[i] < 33;
        if (!small)
            continue;
        const bool sixteenBit = head[1] == 2 && head[2] == 2 && head[3] == 2;
        quint32 nameLength = 0;
        if (!m_in.u32(m + 8, &nameLength) || nameLength < 2 || nameLength > 300
            || !m_in.printable(m + 12, nameLength))
            continue;
        const QString name = m_in.latin1(m + 12, nameLength).trimmed();
        if (name.isEmpty() || isDefaultLabel(name))
            continue;
        const qint64 nameEnd = m + 12 + nameLength;
        qint64 dims = -1;
        quint32 columns = 0;
        quint32 rows = 0;
        for (qint64 p = nameEnd + 40; p <= nameEnd + 180 && m_in.has(p, 8); ++p) {
            m_in.u32(p, &columns);
            m_in.u32(p + 4, &rows);
            if (columns >= 1 && columns <= 256 && rows >= 1 && rows <= 256) {
                dims = p;
                break;
            }
        }
        if (dims < 0)
            continue;
        qint64 scaling = -1;
        for (qint64 q = dims + 8; q <= dims + 8 + 64 && m_in.has(q, 16); ++q) {
            double factor = 0;
            double offset = 0;
            m_in.f64(q, &factor);
            m_in.f64(q + 8, &offset);
            const double magnitude = std::fabs(factor);
            if (std::isfinite(factor) && magnitude >= 1e-12 && magnitude <= 1e9
                && std::isfinite(offset) && std::fabs(offset) <= 1e12) {
                scaling = q;
                break;
            }
        }
        if (scaling < 0)
            continue;
        RecordTail tail;
        if (!readTail(scaling, int(rows), int(columns), &tail))
            continue;
        // A record whose header says 16-bit describes 16-bit data.
        if (sixteenBit && tail.elementSize != 2)
            continue;
        add(mapFromRecord(name, nearestString(m - 16, 512, 3, 200), int(rows), int(columns),
                          tail));
    }
}

// The last word on MD1 projects: every map found is checked again against the firmware
// size, and whatever does not fit wholly inside it is dropped.
void Decoder::finalCheck()
{
    QList<MapDefinition> kept;
    kept.reserve(m_result.maps.size());
    for (const MapDefinition &map : std::as_const(m_result.maps))
        if (plausible(map))
            kept.append(map);
    m_result.maps = kept;
}

} // namespace

QString OLSParser::mapKey(const MapDefinition &map)
{
    return QStringLiteral("%1|%2|%3|%4")
        .arg(map.mapOffset)
        .arg(map.rows)
        .arg(map.columns)
        .arg(map.zElementSize);
}

qint64 OLSParser::detectFirmwareSize(const QByteArray &bytes)
{
    const qint64 fileSize = bytes.size();
    qint64 best = -1;
    // Every size text holds "0000": one pass finds those, and each text is checked where
    // its own first "0000" would sit, instead of eight passes over the whole file.
    static const char *const sizeTexts[]
        = {"80000", "100000", "180000", "200000", "280000", "300000", "400000", "800000"};
    bool found[8] = {};
    const char *data = bytes.constData();
    const Finder zeros(QByteArrayView("0000"));
    for (qint64 q = zeros.find(data, fileSize, 0); q >= 0; q = zeros.find(data, fileSize, q + 1)) {
        for (int t = 0; t < 8; ++t) {
            const QByteArrayView text(sizeTexts[t]);
            const qint64 start = q - text.indexOf("0000");
            found[t] = found[t]
                       || (start >= 0 && start + text.size() <= fileSize
                           && QByteArrayView(data + start, text.size()) == text);
        }
    }
    for (int t = 0; t < 8; ++t) {
        const qint64 value = QByteArray(sizeTexts[t]).toLongLong(nullptr, 16);
        if (found[t] && value <= fileSize)
            best = qMax(best, value);
    }
    if (best > 0)
        return best;

    const Reader in(bytes);
    const qint64 head = qMin<qint64>(4096, fileSize);
    for (qint64 p = 4; p < head; ++p) {
        quint32 n = 0;
        in.u32(p - 4, &n);
        if (n < 5 || n > 8 || p + n > head)
            continue;
        bool ok = false;
        const qint64 value = QByteArray(bytes.constData() + p, n).toLongLong(&ok, 16);
        bool digits = ok;
        for (qint64 i = 0; i < n && digits; ++i)
            digits = std::isxdigit(uchar(bytes.at(p + i)));
        if (digits && value >= 0x10000 && value <= fileSize && value % 256 == 0)
            best = qMax(best, value);
    }
    return best;
}

OLSParser::Result OLSParser::parse(const QString &path)
{
    QFile file(path);
    // A project holds one firmware image and its records; anything near this size is not one.
    constexpr qint64 MaxFileSize = 512ll * 1024 * 1024;
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxFileSize) {
        Result failed;
        failed.error = QStringLiteral("Impossibile aprire il file OLS.");
        return failed;
    }
    return parseBytes(file.readAll(), path);
}

OLSParser::Result OLSParser::parseBytes(const QByteArray &bytes, const QString &path)
{
    Result result;
    if (bytes.size() < 16) {
        result.error = QStringLiteral("File OLS troppo piccolo.");
        return result;
    }
    const Reader in(bytes);
    quint32 signatureLength = 0;
    in.u32(0, &signatureLength);
    if (signatureLength < 1 || signatureLength > 64 || !in.has(4, signatureLength)) {
        result.error = QStringLiteral("Firma OLS non valida.");
        return result;
    }
    if (QByteArrayView(bytes.constData() + 4, signatureLength) != QByteArrayView("WinOLS File")) {
        result.error = QStringLiteral("Il file non è un progetto WinOLS valido.");
        return result;
    }
    result.valid = true;

    const QByteArrayView head(bytes.constData(), qMin<qsizetype>(4096, bytes.size()));
    if (head.contains(QByteArrayView("Marelli"))) {
        result.vendor = QStringLiteral("Marelli");
        result.vendorKnown = true;
        result.littleEndian = false;
    } else if (head.contains(QByteArrayView("Bosch"))) {
        result.vendor = QStringLiteral("Bosch");
        result.vendorKnown = true;
        result.littleEndian = true;
    }

    const qint64 size = detectFirmwareSize(bytes);
    if (size <= 0) {
        result.error = QStringLiteral(
            "Impossibile determinare la dimensione del firmware incorporato nel progetto OLS.");
        return result;
    }
    if (size > bytes.size()) {
        result.error = QStringLiteral("Blocco firmware OLS non valido.");
        return result;
    }
    result.firmware = bytes.right(size);
    result.projectName = QFileInfo(path).completeBaseName();

    Decoder decoder(bytes, result);
    if (result.vendor != QLatin1String("Bosch")) {
        decoder.conversionMethodRecords();
        decoder.genericRecords();
        if (decoder.mapCount() == 0)
            result.error
                = QStringLiteral("Progetto WinOLS riconosciuto, ma nessun record mappa trovato.");
        return result;
    }

    decoder.boschObjectRecords();
    decoder.extendedObjectRecords();
    decoder.namedObjectRecords(QByteArrayView("DFC_"), QString());
    decoder.namedObjectRecords(QByteArrayView("DINH_FId."), QStringLiteral("DINH / INH Bosch"));
    if (decoder.mapCount() > 0 && Finder("MD1").find(bytes.constData(), bytes.size(), 0) >= 0)
        decoder.finalCheck();
    if (decoder.mapCount() == 0)
        decoder.genericRecords();
    if (decoder.mapCount() == 0)
        result.error
            = QStringLiteral("Progetto Bosch riconosciuto, ma nessuna mappa valida trovata.");
    return result;
}
