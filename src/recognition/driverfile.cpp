#include "driverfile.h"

#include "driverfields.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cstring>

namespace {

QString openFailedText()
{
    return QStringLiteral("Impossibile aprire il file driver.");
}
QString wrongMagicText()
{
    return QStringLiteral("File non riconosciuto come driver Tessamorvandi.");
}
QString unsupportedVersionText()
{
    return QStringLiteral("Versione driver non supportata.");
}
QString damagedText()
{
    return QStringLiteral("Driver danneggiato o incompleto.");
}

constexpr quint32 NullLength = 0xFFFFFFFFu;

// Reads the big-endian stream field by field. Every count and length is checked against the
// bytes left before anything is allocated or looped over, and the first short read fails the
// whole reader, so a hostile header cannot make it allocate gigabytes or spin for minutes.
class FieldReader
{
public:
    FieldReader(const uchar *data, qint64 size)
        : m_data(data)
        , m_size(size)
    {
    }

    bool ok() const { return m_ok; }
    qint64 left() const { return m_size - m_pos; }

    // The record walk names every field; the stream does not need the names.
    template<typename T>
    void field(const char *, T &value)
    {
        field(value);
    }
    void field(quint32 &value) { value = quint32(bigEndian(4)); }
    void field(qint32 &value) { value = qint32(quint32(bigEndian(4))); }
    void field(qint64 &value) { value = qint64(bigEndian(8)); }
    void field(bool &value)
    {
        // QDataStream reads any non-zero byte as true; so do we.
        value = bigEndian(1) != 0;
    }
    void field(double &value)
    {
        const quint64 bits = bigEndian(8);
        std::memcpy(&value, &bits, sizeof value);
    }
    void field(QString &value)
    {
        const quint32 length = quint32(bigEndian(4));
        value = QString();
        if (!m_ok || length == NullLength)
            return;
        if (length % 2 != 0 || !take(length))
            return fail();
        if (length == 0) {
            value = QStringLiteral(""); // empty, not null
            return;
        }
        QString text(qsizetype(length / 2), Qt::Uninitialized);
        QChar *out = text.data();
        const uchar *p = m_data + m_pos - length;
        for (quint32 i = 0; i < length / 2; ++i)
            out[i] = QChar(char16_t((p[2 * i] << 8) | p[2 * i + 1]));
        value = text;
    }
    void field(QByteArray &value)
    {
        const quint32 length = quint32(bigEndian(4));
        value = QByteArray();
        if (!m_ok || length == NullLength)
            return;
        if (!take(length))
            return fail();
        // An empty array must stay empty, not null.
        value = length == 0 ? QByteArray("")
                            : QByteArray(reinterpret_cast<const char *>(m_data + m_pos - length),
                                         qsizetype(length));
    }
    void field(QList<double> &values)
    {
        const quint32 count = quint32(bigEndian(4));
        values.clear();
        if (!m_ok)
            return;
        if (qint64(count) > left() / 8)
            return fail();
        values.reserve(qsizetype(count));
        for (quint32 i = 0; i < count; ++i) {
            double value = 0;
            field(value);
            values.append(value);
        }
    }
    void field(QList<DriverAnchor> &anchors)
    {
        qint32 count = 0;
        field(count);
        anchors.clear();
        if (!m_ok)
            return;
        // An anchor takes at least 4 + 8 + 4 + 4 bytes.
        if (count < 0 || qint64(count) > left() / 20)
            return fail();
        for (qint32 i = 0; i < count && m_ok; ++i) {
            DriverAnchor anchor;
            field(anchor.pattern);
            field(anchor.delta);
            field(anchor.divisor);
            field(anchor.reserved);
            anchors.append(anchor);
        }
    }

    void fail() { m_ok = false; }

private:
    bool take(qint64 bytes)
    {
        if (!m_ok || bytes > left()) {
            m_ok = false;
            return false;
        }
        m_pos += bytes;
        return true;
    }
    quint64 bigEndian(int bytes)
    {
        if (!take(bytes))
            return 0;
        quint64 value = 0;
        for (int i = 0; i < bytes; ++i)
            value = (value << 8) | m_data[m_pos - bytes + i];
        return value;
    }

    const uchar *m_data;
    qint64 m_size;
    qint64 m_pos = 0;
    bool m_ok = true;
};

// QDataStream with the settings of the file format does the writing.
class FieldWriter
{
public:
    explicit FieldWriter(QByteArray *bytes)
        : m_stream(bytes, QIODevice::WriteOnly)
    {
        m_stream.setVersion(QDataStream::Qt_6_0);
        m_stream.setByteOrder(QDataStream::BigEndian);
        m_stream.setFloatingPointPrecision(QDataStream::DoublePrecision);
    }
    bool ok() const { return m_stream.status() == QDataStream::Ok; }

    template<typename T>
    void field(const T &value)
    {
        m_stream << value;
    }
    template<typename T>
    void field(const char *, const T &value)
    {
        field(value);
    }
    void field(const QList<DriverAnchor> &anchors)
    {
        m_stream << qint32(anchors.size());
        for (const DriverAnchor &anchor : anchors)
            m_stream << anchor.pattern << anchor.delta << anchor.divisor << anchor.reserved;
    }

private:
    QDataStream m_stream;
};

// The header fields after magic and version, in file order.
template<typename Io, typename D>
void visitHeader(Io &io, D &driver)
{
    io.field(driver.text1);
    io.field(driver.text2);
    io.field(driver.text3);
    io.field(driver.text4);
    io.field(driver.text5);
    io.field(driver.number);
}

// The smallest record of a version: every text, byte string and list empty. A mapCount
// larger than the bytes left allow can be refused before reading any record.
qint64 smallestRecord(int version)
{
    DriverMap empty;
    QByteArray bytes;
    FieldWriter writer(&bytes);
    visitDriverMapFields(writer, std::as_const(empty), version);
    return bytes.size();
}

bool report(QString *errorText, const QString &message)
{
    if (errorText)
        *errorText = message;
    return false;
}

bool readDriver(const uchar *data, qint64 size, Driver &driver, QString *errorText)
{
    FieldReader reader(data, size);
    quint32 magic = 0;
    qint32 version = 0;
    reader.field(magic);
    if (!reader.ok() || magic != DriverFileMagic)
        return report(errorText, wrongMagicText());
    // A file that ends after the magic has no version to accept.
    reader.field(version);
    if (version < DriverFileOldestVersion || version > DriverFileVersion)
        return report(errorText, unsupportedVersionText());

    Driver read;
    read.formatVersion = version;
    visitHeader(reader, read);
    qint32 mapCount = 0;
    reader.field(mapCount);
    if (mapCount < 0 || qint64(mapCount) > reader.left() / smallestRecord(version))
        reader.fail();
    if (reader.ok())
        read.maps.reserve(mapCount);
    for (qint32 i = 0; i < mapCount && reader.ok(); ++i) {
        DriverMap map;
        visitDriverMapFields(reader, map, version);
        read.maps.append(std::move(map));
    }
    if (!reader.ok()) {
        driver = Driver();
        return report(errorText, damagedText());
    }
    driver = std::move(read);
    return true;
}

} // namespace

bool loadDriverBytes(const QByteArray &bytes, Driver &driver, QString *errorText)
{
    return readDriver(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size(), driver,
                      errorText);
}

bool loadDriverFile(const QString &path, Driver &driver, QString *errorText)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return report(errorText, openFailedText());
    // Read, not mapped: a mapped file that another program shortens while it is read ends the
    // process (SIGBUS), where a read one is only short, which the reader reports. No driver of
    // real maps comes near this size; a larger file is refused before it is read.
    constexpr qint64 MaxDriverFileSize = qint64(256) * 1024 * 1024;
    if (file.size() > MaxDriverFileSize) {
        driver = Driver();
        return report(errorText, damagedText());
    }
    return loadDriverBytes(file.readAll(), driver, errorText);
}

QByteArray driverFileBytes(const Driver &driver, qint32 formatVersion)
{
    QByteArray bytes;
    FieldWriter writer(&bytes);
    writer.field(DriverFileMagic);
    writer.field(formatVersion);
    visitHeader(writer, driver);
    writer.field(qint32(driver.maps.size()));
    for (const DriverMap &map : driver.maps)
        visitDriverMapFields(writer, map, formatVersion);
    return writer.ok() ? bytes : QByteArray();
}

bool saveDriverFile(const Driver &driver, const QString &path, QString *errorText)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return report(errorText, QStringLiteral("Impossibile aprire il file driver in scrittura."));
    const QByteArray bytes = driverFileBytes(driver, DriverFileVersion);
    if (bytes.isEmpty() || file.write(bytes) != bytes.size() || !file.commit())
        return report(errorText, QStringLiteral("Errore durante il salvataggio del driver."));
    return true;
}

QStringList listDriverFiles(const QString &folder)
{
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists())
        return {};
    QStringList paths;
    const QFileInfoList entries
        = dir.entryInfoList({QStringLiteral("*.ecudrv")}, QDir::Files, QDir::Name);
    for (const QFileInfo &entry : entries)
        paths.append(entry.absoluteFilePath());
    return paths;
}
