// The WinOLS project parser: a result or a message, and every map inside the firmware it
// returns, with 1, 2 or 4 byte elements and no duplicate.
#include "fuzzcheck.h"
#include "importers/olsparser.h"

#include <QByteArray>
#include <QSet>

#include <cstdint>

namespace {

bool inside(const ByteRange &range, qint64 size)
{
    return range.start < 0 || (range.isValid() && range.end < size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                     qsizetype(size));
    const OLSParser::Result result = OLSParser::parseBytes(bytes, QStringLiteral("fuzz.ols"));
    TESSA_FUZZ_CHECK(!result.maps.isEmpty() || !result.error.isEmpty());
    if (!result.valid)
        TESSA_FUZZ_CHECK(result.firmware.isEmpty() && result.maps.isEmpty());
    TESSA_FUZZ_CHECK(result.firmware.size() <= bytes.size());
    if (!result.firmware.isEmpty())
        TESSA_FUZZ_CHECK(bytes.endsWith(result.firmware));
    QSet<QString> keys;
    for (const MapDefinition &map : result.maps) {
        const int e = map.zElementSize;
        TESSA_FUZZ_CHECK(e == 1 || e == 2 || e == 4);
        TESSA_FUZZ_CHECK(map.mapOffset >= 0 && map.rows >= 1 && map.columns >= 1);
        const MapRanges r = mapRanges(map);
        const qint64 n = result.firmware.size();
        TESSA_FUZZ_CHECK(inside(r.data, n) && inside(r.xAxis, n) && inside(r.yAxis, n)
                         && inside(r.header, n));
        const QString key = OLSParser::mapKey(map);
        TESSA_FUZZ_CHECK(!keys.contains(key));
        keys.insert(key);
    }
    return 0;
}
