#pragma once

// What every command of tessamorvandi-cli shares: its one-line failure, its one-object JSON
// output, and loading an image the same way everywhere. A command lives in a file of its own
// when it grows beyond a screen; it includes this header and is listed in main.cpp's table.
#include "model/firmware.h"
#include "model/firmwarefile.h"
#include "model/mapdefinition.h"

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QString>

#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

// Prints "tessamorvandi-cli: MESSAGE" as one line on stderr and returns the exit status 1.
int fail(const QString &message);

using Fields = QList<QPair<QString, QJsonValue>>;

// A value in compact JSON text, escaped as QJsonDocument escapes it.
QByteArray jsonText(const QJsonValue &value);

// One JSON object on one line, keys in the given order (QJsonObject would sort them); false
// when it could not be written.
bool printJson(const Fields &fields);

// printJson, then the exit status: 0, or 1 with the failure on stderr when it was not written.
int printResult(const Fields &fields);

bool loadImage(const QString &path, Firmware &firmware, QString *error);
// The same for commands that only read the image: a raw file is mapped, not copied.
bool loadImage(const QString &path, FirmwareFile &firmware, QString *error);
bool isIntelHex(const Firmware &firmware);

// Map definitions as JSON, each with its source kind.
QJsonArray mapsJson(const QList<MapDefinition> &maps);

// JSON written to a file (stdout by default) while it is produced, so that an output of tens
// of thousands of maps is never held whole in memory. The text is byte for byte what
// QJsonDocument's compact form of the same values would be (escapes, number formatting),
// except that object keys come out in the order they are written: a command that used a
// QJsonObject writes its keys sorted, as the object would have.
//
//     JsonStream out;
//     out.beginObject().key("maps").beginArray();
//     for (const MapDefinition &map : maps)
//         out.mapDefinition(map, true);
//     out.endArray().key("error").value(QString()).endObject();
//     if (!out.finish()) ...
class JsonStream
{
public:
    explicit JsonStream(FILE *out = stdout);
    ~JsonStream();
    JsonStream(const JsonStream &) = delete;
    JsonStream &operator=(const JsonStream &) = delete;

    JsonStream &beginObject() { return open('{'); }
    JsonStream &endObject() { return close('}'); }
    JsonStream &beginArray() { return open('['); }
    JsonStream &endArray() { return close(']'); }
    JsonStream &key(QLatin1StringView name);
    JsonStream &key(const QString &name);

    JsonStream &value(const QString &text);
    JsonStream &value(bool flag);
    JsonStream &value(int number) { return value(qint64(number)); }
    JsonStream &value(qint64 number);
    JsonStream &value(double number);
    JsonStream &value(const QJsonValue &value);
    // An array of integers, as toJson writes an axis.
    JsonStream &value(const QList<double> &numbers);

    // The object toJson(map) gives (keys sorted, as QJsonObject holds them), plus
    // "sourceKind" when asked for, as mapsJson() adds it.
    JsonStream &mapDefinition(const MapDefinition &map, bool withSourceKind);

    // Ends the line and writes out what is buffered; false when any write failed (a full disk,
    // a closed pipe), so the command can say so instead of reporting success.
    bool finish();

private:
    JsonStream &open(char bracket);
    JsonStream &close(char bracket);
    // A comma before every element but the first of its object or array.
    void separate()
    {
        if (m_afterKey)
            m_afterKey = false;
        else if (!m_hasElement.empty() && std::exchange(m_hasElement.back(), true))
            append(',');
    }
    // Room for `length` more bytes at the end of the buffer.
    char *reserve(qsizetype length)
    {
        if (m_used + length > qsizetype(m_buffer.size()))
            return reserveAfterFlush(length);
        char *at = m_buffer.data() + m_used;
        m_used += length;
        return at;
    }
    char *reserveAfterFlush(qsizetype length);
    void append(const char *bytes, qsizetype length)
    {
        std::memcpy(reserve(length), bytes, size_t(length));
    }
    void append(char c) { *reserve(1) = c; }
    void appendString(const QString &text);
    void flushBuffer();

    FILE *m_out;
    std::vector<char> m_buffer;
    qsizetype m_used = 0;
    std::vector<char> m_hasElement; // per open object or array: whether a comma is due
    bool m_afterKey = false;
    bool m_failed = false;
    // Factors and limits repeat across thousands of maps; their shortest text is worth keeping.
    QHash<quint64, QByteArray> m_doubleTexts;
};

// "maps": [...] with every map as mapsJson() would give it (sourceKind only when asked for),
// written one map at a time.
void writeMaps(JsonStream &out, const QList<MapDefinition> &maps, bool withSourceKind);

// Ends the output of a command: 0 when it was written whole, else the failure on stderr and 1.
int finishOutput(JsonStream &out);
