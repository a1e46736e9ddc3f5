#include "servicerequest.h"

#include "online/onlineprotocol.h"

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
