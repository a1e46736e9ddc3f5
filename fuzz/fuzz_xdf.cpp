// The XDF reader on any bytes, against an image of 64 KiB: maps or a message, every map whole
// inside the image, and what is written of the maps read back to the same maps.
#include "fuzzcheck.h"
#include "importers/xdfparser.h"
#include "importers/xdfwriter.h"

#include <QByteArray>

#include <cstdint>

namespace {

constexpr qint64 ImageSize = 0x10000;

bool inside(const ByteRange &range)
{
    return range.start < 0 || (range.isValid() && range.end < ImageSize);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray xml(reinterpret_cast<const char *>(data), qsizetype(size));
    const XdfParser::Result result = XdfParser::parseData(xml, ImageSize);
    TESSA_FUZZ_CHECK(result.maps.isEmpty() != result.errorMessage.isEmpty());
    for (const MapDefinition &map : result.maps) {
        TESSA_FUZZ_CHECK(map.mapOffset >= 0 && map.rows >= 1 && map.columns >= 1);
        const MapRanges r = mapRanges(map);
        TESSA_FUZZ_CHECK(inside(r.data) && inside(r.xAxis) && inside(r.yAxis));
    }
    if (result.maps.isEmpty())
        return 0;
    const XdfParser::Result again
        = XdfParser::parseData(XdfWriter::toXdf(result.maps, QString(), ImageSize), ImageSize);
    TESSA_FUZZ_CHECK(again.maps.size() == result.maps.size());
    return 0;
}
