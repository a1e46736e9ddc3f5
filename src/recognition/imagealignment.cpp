#include "recognition/imagealignment.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

struct Window
{
    quint64 hash;
    quint32 position;
    bool operator<(const Window &o) const
    {
        return hash != o.hash ? hash < o.hash : position < o.position;
    }
};

// Every window of kWindow bytes that holds at least three different byte values (runs of one
// or two values are filler, never evidence), with a hash of its bytes.
std::vector<Window> windowsOf(const QByteArray &bytes)
{
    constexpr int k = ImageAlignment::kWindow;
    std::vector<Window> windows;
    const qint64 n = bytes.size();
    if (n < k || n > qint64(0xFFFFFFFF))
        return windows;
    const auto *b = reinterpret_cast<const uchar *>(bytes.constData());
    windows.reserve(size_t(n - k + 1));
    constexpr quint64 kMultiplier = 0x100000001B3ull;
    quint64 power = 1; // kMultiplier^(k-1)
    for (int i = 1; i < k; ++i)
        power *= kMultiplier;
    quint64 hash = 0;
    std::array<int, 256> counts{};
    int distinct = 0;
    for (qint64 i = 0; i < n; ++i) {
        if (i >= k) {
            hash -= power * b[i - k];
            if (--counts[b[i - k]] == 0)
                --distinct;
        }
        hash = hash * kMultiplier + b[i];
        if (counts[b[i]]++ == 0)
            ++distinct;
        if (i >= k - 1 && distinct >= 3)
            windows.push_back({hash, quint32(i - k + 1)});
    }
    std::sort(windows.begin(), windows.end());
    return windows;
}

} // namespace

ImageAlignment::ImageAlignment(const QByteArray &reference, const QByteArray &target)
    : m_referenceSize(reference.size())
    , m_targetSize(target.size())
{
    const std::vector<Window> a = windowsOf(reference);
    const std::vector<Window> b = windowsOf(target);
    // Windows whose bytes occur exactly once in each image.
    std::vector<std::pair<qint64, qint64>> anchors; // reference position, delta
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].hash < b[j].hash) {
            ++i;
            continue;
        }
        if (b[j].hash < a[i].hash) {
            ++j;
            continue;
        }
        size_t i2 = i, j2 = j;
        while (i2 < a.size() && a[i2].hash == a[i].hash)
            ++i2;
        while (j2 < b.size() && b[j2].hash == b[j].hash)
            ++j2;
        if (i2 - i == 1 && j2 - j == 1
            && std::memcmp(reference.constData() + a[i].position,
                           target.constData() + b[j].position, kWindow)
                   == 0)
            anchors.push_back({a[i].position, qint64(b[j].position) - qint64(a[i].position)});
        i = i2;
        j = j2;
    }
    std::sort(anchors.begin(), anchors.end());

    // Overlapping anchors of one delta make one stretch, grown over the identical bytes
    // around it.
    const auto *ref = reinterpret_cast<const uchar *>(reference.constData());
    const auto *tgt = reinterpret_cast<const uchar *>(target.constData());
    std::vector<Segment> segments;
    for (const auto &[position, delta] : anchors) {
        if (!segments.empty() && segments.back().delta == delta
            && position <= segments.back().end + 1) {
            segments.back().end = std::max(segments.back().end, position + kWindow - 1);
            continue;
        }
        segments.push_back({position, position + kWindow - 1, delta});
    }
    for (Segment &s : segments) {
        while (s.start > 0 && s.start + s.delta > 0 && ref[s.start - 1] == tgt[s.start - 1 + s.delta])
            --s.start;
        while (s.end + 1 < m_referenceSize && s.end + 1 + s.delta < m_targetSize
               && ref[s.end + 1] == tgt[s.end + 1 + s.delta])
            ++s.end;
    }
    // Grown stretches may overlap; the longer keeps the shared bytes. Short ones are chance.
    std::sort(segments.begin(), segments.end(),
              [](const Segment &x, const Segment &y) { return x.start < y.start; });
    for (const Segment &s : segments) {
        Segment t = s;
        while (!m_segments.empty() && m_segments.back().end >= t.start) {
            Segment &last = m_segments.back();
            if (last.length() >= t.length()) {
                t.start = last.end + 1;
                break;
            }
            last.end = t.start - 1;
            if (last.end < last.start)
                m_segments.pop_back();
            else
                break;
        }
        if (t.end >= t.start)
            m_segments.push_back(t);
    }
    m_segments.erase(std::remove_if(m_segments.begin(), m_segments.end(),
                                    [](const Segment &s) { return s.length() < kMinimumSegment; }),
                     m_segments.end());
}

double ImageAlignment::coverage() const
{
    if (m_referenceSize <= 0)
        return 0.0;
    qint64 covered = 0;
    for (const Segment &s : m_segments)
        covered += s.length();
    return double(covered) / double(m_referenceSize);
}

bool ImageAlignment::isRelated() const
{
    // Two versions of one unit share most of their code; images of different units share
    // little beyond library routines and filler.
    return coverage() >= 0.2;
}

bool ImageAlignment::fits(qint64 start, qint64 end, qint64 delta) const
{
    return start + delta >= 0 && end + delta < m_targetSize;
}
