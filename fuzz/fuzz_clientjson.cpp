// The client's reading of the service's replies, as any HTTP status and body may come: a
// reply that worked or one that says why not, never both or neither, and the choices built
// from its lists have texts and ids whatever the values hold.
#include "fuzzcheck.h"
#include "online/onlineprotocol.h"

#include <QByteArray>
#include <QJsonArray>
#include <QSet>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    // The first two bytes are the HTTP status (little-endian, 0 when no answer came), the
    // third how the request ended.
    const int status = (data[0] | data[1] << 8) % 600;
    const auto transport = OnlineProtocol::Transport(data[2] % 3);
    const QByteArray body(reinterpret_cast<const char *>(data + 3), qsizetype(size - 3));
    for (const QString &networkText : {QString(), QStringLiteral("Connection refused")}) {
        const OnlineProtocol::Reply reply
            = OnlineProtocol::readReply(transport, status, body, networkText, 30000);
        TESSA_FUZZ_CHECK(reply.ok == reply.errorText.isEmpty());
        TESSA_FUZZ_CHECK(reply.ok
                         == (transport == OnlineProtocol::Transport::Answered && status >= 200
                             && status <= 299));
        TESSA_FUZZ_CHECK(reply.httpStatus == status && reply.body == body);
        TESSA_FUZZ_CHECK(reply.isJsonObject || reply.json.isEmpty());
        if (!reply.isJsonObject)
            continue;
        for (const QJsonValue &group : reply.json.value(QStringLiteral("groups")).toArray())
            OnlineProtocol::groupItemText(group.toObject());
        for (const QJsonValue &driver : reply.json.value(QStringLiteral("drivers")).toArray()) {
            OnlineProtocol::driverItemText(driver.toObject());
            const QString id = OnlineProtocol::driverIdOf(driver.toObject());
            // An id reaches a cache file name only as a plain identifier.
            if (OnlineProtocol::isPlainIdentifier(id))
                TESSA_FUZZ_CHECK(!id.contains(QLatin1Char('/')) && !id.contains(QLatin1Char('.')));
        }
        QStringList catalog;
        QSet<QString> names; // families are found by their trimmed names
        for (const QJsonValue &family :
             reply.json.value(QStringLiteral("ecu_families")).toArray()) {
            catalog << family.toString();
            names << family.toString().trimmed();
        }
        const QStringList found = OnlineProtocol::detectEcuFamilies(body, catalog);
        for (const QString &family : found)
            TESSA_FUZZ_CHECK(!family.isEmpty() && names.contains(family));
        TESSA_FUZZ_CHECK(found.size() == QSet<QString>(found.cbegin(), found.cend()).size());
        OnlineProtocol::isNewerVersion(reply.json.value(QStringLiteral("version")).toString(),
                                       QStringLiteral("1.0"));
    }
    return 0;
}
