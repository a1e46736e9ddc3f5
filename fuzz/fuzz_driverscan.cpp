// The driver scanner fed any driver the driver reader accepts, against a fixed image: it
// answers (the time-out per input bounds how long), with one match per driver map, and every
// address it recognises, with the extent of its values, lies inside the image.
#include "fuzzcheck.h"
#include "recognition/driverfile.h"
#include "recognition/driverscanner.h"

#include <QByteArray>
#include <QFile>
#include <QLoggingCategory>

#include <algorithm>
#include <cstdint>

namespace {

QByteArray image;

// An address found for count values of size bytes each (a size of 0 counts as 1, as in the
// scanner) lies wholly inside the image.
bool inside(qint64 address, qint64 count, qint32 size)
{
    const qint64 bytes = count * std::max<qint64>(1, size);
    return address >= 0 && count > 0 && address < image.size() && bytes <= image.size() - address;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));
    QFile file(QStringLiteral(TESSA_FUZZ_IMAGE));
    TESSA_FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    // The first 96 KiB hold every map of the example driver. A map whose signatures do not
    // match is searched for across the whole image, which under the sanitizers takes about a
    // second for the full 256 KiB: longer than a run may take, for a search that is sound.
    image = file.read(96 * 1024);
    TESSA_FUZZ_CHECK(image.size() == 96 * 1024);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes
        = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    Driver driver;
    if (!loadDriverBytes(bytes, driver))
        return 0;
    const DriverScanResult result = scanDriver(image, driver);
    TESSA_FUZZ_CHECK(result.matches.size() == driver.maps.size());
    TESSA_FUZZ_CHECK(result.mapCount == driver.maps.size());
    qint32 recognised = 0;
    for (const DriverMapMatch &m : result.matches) {
        recognised += m.recognised;
        TESSA_FUZZ_CHECK(m.confidence >= 0.0 && m.confidence <= 100.0);
        if (!m.recognised)
            continue;
        TESSA_FUZZ_CHECK(m.rows > 0 && m.columns > 0);
        TESSA_FUZZ_CHECK(m.zFound
                         && inside(m.zAddress, qint64(m.rows) * m.columns, m.zElementSize));
        if (m.xFound)
            TESSA_FUZZ_CHECK(inside(m.xAddress, m.columns, m.xElementSize));
        if (m.yFound)
            TESSA_FUZZ_CHECK(inside(m.yAddress, m.rows, m.yElementSize));
    }
    TESSA_FUZZ_CHECK(recognised == result.recognisedCount);
    return 0;
}
