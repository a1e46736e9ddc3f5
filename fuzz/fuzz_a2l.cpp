// The A2L / DAMOS parser on any Latin-1 text: maps or a message, and every map placed where an
// image offset can be.
#include "fuzzcheck.h"
#include "importers/a2lparser.h"

#include <QString>

#include <cstdint>

namespace {

// Addresses reach offsets below 0x80000000 at most; an axis or a grid stays in 64 bits.
bool placedInAddressRange(const MapDefinition &m)
{
    for (int offset : {m.mapOffset, m.xAxisOffset, m.yAxisOffset, m.headerOffset}) {
        if (offset < -1)
            return false;
    }
    if (m.mapOffset < 0 || m.rows < 1 || m.columns < 1)
        return false;
    const MapRanges r = mapRanges(m);
    for (const ByteRange &range : {r.data, r.xAxis, r.yAxis, r.header}) {
        if (range.start >= 0 && !range.isValid())
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    const A2LParser::Result result = A2LParser::parseText(text);
    TESSA_FUZZ_CHECK(result.maps.isEmpty() != result.errorMessage.isEmpty());
    for (const MapDefinition &map : result.maps)
        TESSA_FUZZ_CHECK(placedInAddressRange(map));
    return 0;
}
