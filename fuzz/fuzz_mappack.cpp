// The map pack reader: a pack or a message; what it read, written again for an image, reads
// back as the same maps and is compatible with that image only.
#include "fuzzcheck.h"
#include "model/mappack.h"

#include <QByteArray>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    MapPackData pack;
    const bool read = readMapPackBytes(bytes, pack);
    TESSA_FUZZ_CHECK(read == pack.errorMessage.isEmpty());
    if (!read) {
        TESSA_FUZZ_CHECK(pack.maps.isEmpty());
        return 0;
    }
    TESSA_FUZZ_CHECK(pack.formatVersion == 1);

    // The image is the input itself: any bytes serve, and they differ from input to input.
    MapPackData again;
    TESSA_FUZZ_CHECK(readMapPackBytes(mapPackBytes(pack.maps, bytes), again));
    TESSA_FUZZ_CHECK(again.maps == pack.maps);
    TESSA_FUZZ_CHECK(isCompatible(again, bytes));
    TESSA_FUZZ_CHECK(!isCompatible(again, bytes + '\0'));
    return 0;
}
