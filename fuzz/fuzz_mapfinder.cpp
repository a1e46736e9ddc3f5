// The map finder fed any image: it answers, and every candidate it proposes, with its axes,
// lies inside the image, scores between 0 and 100, and shares no byte with another.
#include "fuzzcheck.h"
#include "recognition/mapfinder.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const qint64 n = qint64(size);
    const MapFinderResult r = findMaps(data, n);
    std::vector<std::pair<qint64, qint64>> spans;
    for (const MapCandidate &c : r.candidates) {
        TESSA_FUZZ_CHECK(c.rows >= 1 && c.columns >= 1 && c.element.size >= 1);
        TESSA_FUZZ_CHECK(c.zAddress >= 0 && c.lastByte() < n && c.firstByte() <= c.zAddress);
        TESSA_FUZZ_CHECK(c.score >= 0.0 && c.score <= 100.0);
        const auto axisInside = [&](qint64 at, int points, const FinderElement &e) {
            return at < 0 || (at + qint64(points) * e.size <= n);
        };
        TESSA_FUZZ_CHECK(axisInside(c.xAddress, c.columns, c.xElement));
        TESSA_FUZZ_CHECK(c.rows < 2 || axisInside(c.yAddress, c.rows, c.yElement));
        spans.push_back({c.firstByte(), c.lastByte()});
        TESSA_FUZZ_CHECK(candidateValues(c, data, n).size() == qsizetype(c.rows) * c.columns
                         || qint64(c.rows) * c.columns > (1 << 16));
    }
    std::sort(spans.begin(), spans.end());
    for (size_t i = 1; i < spans.size(); ++i)
        TESSA_FUZZ_CHECK(spans[i].first > spans[i - 1].second);
    return 0;
}
