// The driver file reader: a driver or a message; a driver read back from what it writes is
// the same driver.
#include "fuzzcheck.h"
#include "recognition/driverfile.h"

#include <QByteArray>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                     qsizetype(size));
    Driver driver;
    QString error;
    const bool read = loadDriverBytes(bytes, driver, &error);
    TESSA_FUZZ_CHECK(read == error.isEmpty());
    if (!read)
        return 0;
    Driver again;
    TESSA_FUZZ_CHECK(loadDriverBytes(driverFileBytes(driver), again, &error));
    TESSA_FUZZ_CHECK(again == driver);
    return 0;
}
