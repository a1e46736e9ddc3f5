// The service's reading of JSON request bodies, for the sign-in and for each driver search
// request: an object to work with or a refusal with its status and message, never both or
// neither; an accepted body holds what the handlers then read without looking again.
#include "fuzzcheck.h"
#include "online/onlineprotocol.h"
#include "service/servicerequest.h"

#include <QByteArray>
#include <QJsonValue>

#include <cstdint>

namespace {

constexpr qint64 Limit = 4096;
const QString Customer = QStringLiteral("C1");

void checkAnswer(const JsonRequest &request, const QStringList &textKeys)
{
    TESSA_FUZZ_CHECK(request.accepted() == (request.status == 200));
    if (!request.accepted()) {
        TESSA_FUZZ_CHECK(request.status == 400 || request.status == 403 || request.status == 413);
        TESSA_FUZZ_CHECK(request.body.isEmpty());
        return;
    }
    for (const QString &key : textKeys)
        TESSA_FUZZ_CHECK(request.body.value(key).isString());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList login{QStringLiteral("customer_code"), QStringLiteral("password")};
    const JsonRequest signIn = readJsonRequest(bytes, Limit, login);
    checkAnswer(signIn, login);
    TESSA_FUZZ_CHECK(bytes.size() <= Limit || signIn.status == 413);

    const QList<QStringList> searches{
        {},
        {QStringLiteral("ecu_family")},
        {QStringLiteral("vehicle_brand"), QStringLiteral("vehicle_model"),
         QStringLiteral("ecu_family")},
        {QStringLiteral("driver_id")},
    };
    for (const QStringList &keys : searches) {
        for (const bool needsSize : {true, false}) {
            const JsonRequest search = readSearchRequest(bytes, Limit, keys, Customer, needsSize);
            checkAnswer(search, keys);
            if (!search.accepted())
                continue;
            TESSA_FUZZ_CHECK(search.body.value(QStringLiteral("customer_code")).toString()
                             == Customer);
            TESSA_FUZZ_CHECK(OnlineProtocol::isDeviceHash(
                search.body.value(QStringLiteral("device_hash")).toString()));
            if (needsSize)
                TESSA_FUZZ_CHECK(search.body.value(QStringLiteral("firmware_size")).toDouble()
                                 >= 0);
            // A search the service accepts is one the sign-in reading accepts too.
            TESSA_FUZZ_CHECK(readJsonRequest(bytes, Limit, keys).accepted());
        }
    }
    return 0;
}
