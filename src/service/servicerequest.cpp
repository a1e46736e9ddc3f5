#include "servicerequest.h"

#include "online/onlineprotocol.h"
#include "servicestore.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

namespace {

JsonRequest refused(int status, const QString &message)
{
    JsonRequest request;
    request.status = status;
    request.message = message;
    return request;
}

} // namespace

JsonRequest readJsonRequest(const QByteArray &bytes, qint64 limit, const QStringList &textKeys)
{
    if (bytes.size() > limit)
        return refused(413, QStringLiteral("Richiesta troppo grande."));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return refused(400, QStringLiteral("Il corpo della richiesta non è un oggetto JSON."));
    JsonRequest request;
    request.body = document.object();
    for (const QString &key : textKeys) {
        if (!request.body.value(key).isString())
            return refused(400,
                           QStringLiteral("Campo \"%1\" mancante o non di tipo testo.").arg(key));
        const QString tooLong = textRefusal(key, request.body.value(key).toString());
        if (!tooLong.isEmpty())
            return refused(400, tooLong);
    }
    return request;
}

JsonRequest readSearchRequest(const QByteArray &bytes,
                              qint64 limit,
                              const QStringList &textKeys,
                              const QString &customerCode,
                              bool needsFirmwareSize)
{
    JsonRequest request = readJsonRequest(
        bytes, limit,
        QStringList{QStringLiteral("customer_code"), QStringLiteral("device_hash")} + textKeys);
    if (!request.accepted())
        return request;
    const QJsonObject &body = request.body;
    if (body.value(QStringLiteral("customer_code")).toString() != customerCode)
        return refused(403, QStringLiteral("Il codice cliente non corrisponde alla sessione."));
    if (!OnlineProtocol::isDeviceHash(body.value(QStringLiteral("device_hash")).toString()))
        return refused(400, QStringLiteral("\"device_hash\" deve avere 64 cifre esadecimali."));
    if (needsFirmwareSize) {
        const QJsonValue size = body.value(QStringLiteral("firmware_size"));
        // Written so that NaN fails too.
        if (!size.isDouble() || !(size.toDouble() >= 0))
            return refused(400, QStringLiteral("Campo \"firmware_size\" mancante o non valido."));
    }
    return request;
}

int textCap(const QString &key)
{
    if (key == QLatin1String("password"))
        return TextLimits::password;
    if (key == QLatin1String("notes"))
        return TextLimits::notes;
    return TextLimits::name;
}

QString textRefusal(const QString &key, const QString &text)
{
    const int cap = textCap(key);
    if (text.size() <= cap)
        return {};
    return QStringLiteral("Il campo \"%1\" supera %2 caratteri.").arg(key).arg(cap);
}

namespace {

RequestHead refusedHead(int status, const QString &message)
{
    RequestHead head;
    head.status = status;
    head.message = message;
    return head;
}

// A Content-Length value: decimal digits only, no sign, no spaces inside; -1 otherwise.
qint64 lengthValue(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > 15)
        return -1;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
    }
    return text.toLongLong();
}

} // namespace

RequestHead readRequestHead(const QByteArray &head)
{
    const QString malformed = QStringLiteral("Richiesta HTTP non valida.");
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    while (!lines.isEmpty() && lines.first().isEmpty()) // blank lines may precede a request
        lines.removeFirst();
    if (lines.isEmpty())
        return refusedHead(400, malformed);
    const QList<QByteArray> start = lines.takeFirst().split(' ');
    if (start.size() != 3 || start.at(0).isEmpty() || start.at(1).isEmpty()
        || !start.at(2).startsWith("HTTP/1."))
        return refusedHead(400, malformed);
    RequestHead result;
    result.method = start.at(0);
    const qsizetype query = start.at(1).indexOf('?');
    result.path = query < 0 ? start.at(1) : start.at(1).left(query);
    result.closeAfterAnswer = start.at(2) == "HTTP/1.0";
    bool lengthSeen = false;
    for (const QByteArray &line : std::as_const(lines)) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return refusedHead(400, malformed);
        const QByteArray name = line.left(colon).toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-length") {
            // Two lengths that disagree let a front and the service read different requests
            // out of one stream: refused, as is anything but a plain number.
            for (const QByteArray &item : value.split(',')) {
                const qint64 length = lengthValue(item.trimmed());
                if (length < 0)
                    return refusedHead(400, QStringLiteral("Content-Length non valido."));
                if (lengthSeen && length != result.contentLength)
                    return refusedHead(400,
                                       QStringLiteral("Intestazioni Content-Length in conflitto."));
                result.contentLength = length;
                lengthSeen = true;
            }
        } else if (name == "transfer-encoding") {
            result.chunked = true;
        } else if (name == "connection") {
            for (const QByteArray &token : value.split(',')) {
                if (token.trimmed().toLower() == "close")
                    result.closeAfterAnswer = true;
            }
        } else if (name == "authorization") {
            result.authorization = value;
        }
    }
    if (result.chunked && lengthSeen)
        return refusedHead(400, QStringLiteral("Content-Length e Transfer-Encoding insieme non "
                                               "sono ammessi."));
    return result;
}
