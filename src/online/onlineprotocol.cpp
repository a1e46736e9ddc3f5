#include "onlineprotocol.h"

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
