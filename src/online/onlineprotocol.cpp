#include "onlineprotocol.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QVersionNumber>

namespace OnlineProtocol {

bool isPlainIdentifier(const QString &id)
{
    if (id.isEmpty() || id.size() > 64)
        return false;
    for (const QChar c : id) {
        const char16_t u = c.unicode();
        const bool plain = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z')
                           || (u >= u'0' && u <= u'9') || u == u'-' || u == u'_';
        if (!plain)
            return false;
    }
    return true;
}

Reply readReply(Transport transport,
                int httpStatus,
                const QByteArray &body,
                const QString &networkErrorText,
                int timeoutMs)
{
    Reply outcome;
    outcome.httpStatus = httpStatus;
    outcome.body = body;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    outcome.isJsonObject = parseError.error == QJsonParseError::NoError && document.isObject();
    if (outcome.isJsonObject)
        outcome.json = document.object();
    outcome.ok = transport == Transport::Answered && httpStatus >= 200 && httpStatus <= 299;
    if (outcome.ok)
        return outcome;
    // A failure always says why, even when the network layer has no words for it.
    const QString networkText = networkErrorText.isEmpty()
                                    ? QStringLiteral("Risposta non valida dal servizio.")
                                    : networkErrorText;
    const QString serviceMessage
        = outcome.json.value(QStringLiteral("message")).toString().trimmed();
    if (transport == Transport::TimedOut) {
        outcome.errorText = QStringLiteral("Il servizio non ha risposto entro %1 secondi.")
                                .arg(timeoutMs / 1000.0);
    } else if (httpStatus == 0) {
        outcome.errorText = networkText;
    } else if (!serviceMessage.isEmpty()) {
        outcome.errorText = serviceMessage;
    } else {
        const QString start = QString::fromUtf8(body.left(500)).trimmed();
        outcome.errorText = QStringLiteral("HTTP %1: %2")
                                .arg(httpStatus)
                                .arg(start.isEmpty() ? networkText : start);
    }
    return outcome;
}

bool isDeviceHash(const QString &text)
{
    if (text.size() != 64)
        return false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f')))
            return false;
    }
    return true;
}

QByteArray reducedForm(QByteArrayView bytes)
{
    QByteArray reduced;
    reduced.reserve(bytes.size());
    for (const char c : bytes) {
        if (c >= 'a' && c <= 'z')
            reduced.append(char(c - 'a' + 'A'));
        else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            reduced.append(c);
    }
    return reduced;
}

QStringList detectEcuFamilies(const QByteArray &firmware, const QStringList &catalog)
{
    const QByteArray upper = firmware.toUpper();
    QByteArray reduced; // made only when a family needs it
    bool reducedMade = false;
    QStringList found;
    for (const QString &entry : catalog) {
        const QString family = entry.trimmed();
        if (family.isEmpty() || found.contains(family))
            continue;
        const QByteArray name = family.toUpper().toUtf8();
        bool detected = upper.contains(name);
        if (!detected) {
            const QByteArray reducedName = reducedForm(name);
            if (!reducedName.isEmpty()) {
                if (!reducedMade) {
                    reduced = reducedForm(firmware);
                    reducedMade = true;
                }
                detected = reduced.contains(reducedName);
            }
        }
        if (detected)
            found.append(family);
    }
    return found;
}

bool isNewerVersion(const QString &latest, const QString &running)
{
    auto parse = [](const QString &text, QList<int> &parts) {
        const QStringList pieces = text.trimmed().split(QLatin1Char('.'));
        for (const QString &piece : pieces) {
            bool ok = false;
            const int value = piece.toInt(&ok);
            if (!ok || value < 0)
                return false;
            parts.append(value);
        }
        return !parts.isEmpty();
    };
    QList<int> a;
    QList<int> b;
    if (!parse(latest, a) || !parse(running, b))
        return false;
    return QVersionNumber(a).normalized() > QVersionNumber(b).normalized();
}

namespace {
QString orDash(const QJsonValue &value)
{
    const QString text
        = value.isDouble() ? QString::number(value.toDouble()) : value.toString().trimmed();
    return text.isEmpty() ? QStringLiteral("-") : text;
}
} // namespace

QString groupItemText(const QJsonObject &group)
{
    return QStringLiteral("%1 | %2 | %3")
        .arg(orDash(group.value(QStringLiteral("vehicle_brand"))),
             orDash(group.value(QStringLiteral("vehicle_model"))),
             orDash(group.value(QStringLiteral("group_text"))));
}

QString driverItemText(const QJsonObject &driver)
{
    QString text = QStringLiteral("%1 | %2 | %3 | v%4 | %5 mappe")
                       .arg(driver.value(QStringLiteral("driver_name")).toString(),
                            driver.value(QStringLiteral("vehicle_brand")).toString(),
                            driver.value(QStringLiteral("vehicle_model")).toString(),
                            driver.value(QStringLiteral("driver_version")).toString(),
                            QString::number(driver.value(QStringLiteral("map_count")).toInt()));
    const QString notes = driver.value(QStringLiteral("notes")).toString().trimmed();
    if (!notes.isEmpty())
        text += QStringLiteral(" | ") + notes;
    return text;
}

QString driverIdOf(const QJsonObject &driver)
{
    const QJsonValue id = driver.value(QStringLiteral("driver_id"));
    if (id.isDouble())
        return QString::number(qint64(id.toDouble()));
    return id.toString();
}

} // namespace OnlineProtocol
