// ECU identification of an image: whatever it reports was printable text of the image.
#include "fuzzcheck.h"
#include "projects/ecuidentification.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>

namespace {

bool printableTextOf(const QString &field, QByteArrayView image)
{
    if (field.isEmpty())
        return true;
    for (QChar c : field) {
        if (c.unicode() > 0x7E || (c.unicode() < 0x20 && c != QLatin1Char('\t')))
            return false;
    }
    return image.indexOf(QByteArrayView(field.toLatin1())) >= 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const EcuIdentification id = identifyEcu(data, qint64(size));
    const QByteArrayView image(data, qsizetype(size));
    for (const QString *field : {&id.ecuFamily, &id.softwareNumber, &id.hardwareNumber,
                                 &id.calibrationNumber, &id.partNumber, &id.engineCode})
        TESSA_FUZZ_CHECK(printableTextOf(*field, image));
    TESSA_FUZZ_CHECK(id.upgrade.isEmpty() && id.reserved.isEmpty());
    return 0;
}
