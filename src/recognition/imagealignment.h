#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

// The two best deltas offered with their scores, the best first.
template<typename Score>
struct BestTwoDeltas
{
    Score best = Score(-1), second = Score(-1);
    qint64 bestDelta = 0, secondDelta = 0;
    void offer(Score score, qint64 delta)
    {
        if (score > best) {
            second = best;
            secondDelta = bestDelta;
            best = score;
            bestDelta = delta;
        } else if (score > second) {
            second = score;
            secondDelta = delta;
        }
    }
};

// How the bytes of one image (the reference) lie in another (the target): another software
// version or calibration of the same unit, where code and calibration data moved in blocks.
// Built from stretches whose bytes occur exactly once in each image: such a stretch is
// unambiguous evidence of where that part of the reference went. A range of the reference is
// then placed by the stretches over it or, where its bytes changed, by those around it, and
// only when they agree.
class ImageAlignment
{
public:
    // A stretch of identical bytes, unique in both images: reference [start, end] lies at
    // target [start + delta, end + delta].
    struct Segment
    {
        qint64 start = 0;
        qint64 end = 0;
        qint64 delta = 0;
        qint64 length() const { return end - start + 1; }
    };

    struct Placement
    {
        enum Status { Placed, Ambiguous, NotFound };
        Status status = NotFound;
        qint64 delta = 0;
        // How the range was placed, or why not, in Italian for the user.
        QString evidence;
        // Another delta that fits nearly as well, when Ambiguous.
        qint64 otherDelta = 0;
    };

    ImageAlignment(const QByteArray &reference, const QByteArray &target);

    const std::vector<Segment> &segments() const { return m_segments; }
    // The share of the reference's bytes inside segments: near 0 for an image of another unit.
    double coverage() const;
    // Whether the target looks like another version of the reference at all.
    bool isRelated() const;

    // Where reference [start, end] lies in the target. check(delta) tells how well the target
    // at that delta agrees with what the range holds (0..1, e.g. its axes); it decides between
    // the stretches either side of a range that moved with neither.
    template<typename Check>
    Placement place(qint64 start, qint64 end, Check &&check) const
    {
        return placeWith(start, end, [&](qint64 delta) { return double(check(delta)); });
    }

    // Window of the anchors and the least length of a segment worth trusting.
    static constexpr int kWindow = 12;
    static constexpr int kMinimumSegment = 20;

private:
    template<typename F>
    Placement placeWith(qint64 start, qint64 end, F check) const;
    bool fits(qint64 start, qint64 end, qint64 delta) const;

    qint64 m_referenceSize = 0;
    qint64 m_targetSize = 0;
    std::vector<Segment> m_segments; // by reference start, not overlapping
};

template<typename F>
ImageAlignment::Placement ImageAlignment::placeWith(qint64 start, qint64 end, F check) const
{
    Placement p;
    if (start < 0 || end < start || end >= m_referenceSize) {
        p.evidence = QStringLiteral("intervallo fuori dall'immagine di riferimento");
        return p;
    }
    // The first segment that ends at or after start.
    auto it = std::lower_bound(m_segments.begin(), m_segments.end(), start,
                               [](const Segment &s, qint64 v) { return s.end < v; });
    // Segments over the range: bytes of it that are the same in the target.
    BestTwoDeltas<qint64> covering;
    {
        std::vector<std::pair<qint64, qint64>> byDelta; // delta, covered bytes
        for (auto s = it; s != m_segments.end() && s->start <= end; ++s) {
            const qint64 covered = std::min(end, s->end) - std::max(start, s->start) + 1;
            auto found = std::find_if(byDelta.begin(), byDelta.end(),
                                      [&](const auto &e) { return e.first == s->delta; });
            if (found == byDelta.end())
                byDelta.push_back({s->delta, covered});
            else
                found->second += covered;
        }
        for (const auto &[delta, covered] : byDelta)
            covering.offer(covered, delta);
    }
    const qint64 bestCovered = std::max<qint64>(covering.best, 0);
    const qint64 secondCovered = std::max<qint64>(covering.second, 0);
    const qint64 bestDelta = covering.bestDelta;
    const qint64 secondDelta = covering.secondDelta;
    const qint64 length = end - start + 1;
    if (bestCovered > 0 && fits(start, end, bestDelta)) {
        // Part of the range unchanged: where it went is known, unless another part of it
        // went elsewhere nearly as much.
        if (secondCovered * 2 > bestCovered) {
            p.status = Placement::Ambiguous;
            p.delta = bestDelta;
            p.otherDelta = secondDelta;
            p.evidence = QStringLiteral("parti della mappa si trovano in due posizioni");
            return p;
        }
        p.status = Placement::Placed;
        p.delta = bestDelta;
        p.evidence = bestCovered == length
                         ? QStringLiteral("byte identici e unici nell'immagine")
                         : QStringLiteral("%1 byte su %2 identici e unici")
                               .arg(bestCovered)
                               .arg(length);
        return p;
    }
    // Nothing of the range is the same: its neighbours on either side say where it went.
    const Segment *left = nullptr;
    const Segment *right = nullptr;
    for (auto s = it; s != m_segments.begin();) {
        --s;
        if (s->end < start) {
            left = &*s;
            break;
        }
    }
    for (auto s = it; s != m_segments.end(); ++s) {
        if (s->start > end) {
            right = &*s;
            break;
        }
    }
    // Neighbours far away say little: a block may have been inserted in between.
    constexpr qint64 kReach = 64 * 1024;
    if (left && start - left->end > kReach)
        left = nullptr;
    if (right && right->start - end > kReach)
        right = nullptr;
    if (!left && !right) {
        p.evidence = QStringLiteral("nessun riferimento vicino nell'immagine di destinazione");
        return p;
    }
    if (left && right && left->delta == right->delta && fits(start, end, left->delta)) {
        p.status = Placement::Placed;
        p.delta = left->delta;
        p.evidence = QStringLiteral("tra due blocchi identici spostati di %1 byte").arg(left->delta);
        return p;
    }
    // One side only, or the two sides moved differently: the range went with one of them, or
    // somewhere between. The content decides, and only clearly.
    QList<qint64> candidates;
    for (const Segment *s : {left, right})
        if (s && fits(start, end, s->delta) && !candidates.contains(s->delta))
            candidates.append(s->delta);
    if (candidates.isEmpty()) {
        p.evidence = QStringLiteral("la mappa non entra nell'immagine di destinazione");
        return p;
    }
    BestTwoDeltas<double> scored;
    for (qint64 delta : std::as_const(candidates))
        scored.offer(check(delta), delta);
    const double best = scored.best, second = scored.second;
    const qint64 chosen = scored.bestDelta, other = scored.secondDelta;
    constexpr double kConvincing = 0.9;
    if (best >= kConvincing && (candidates.size() == 1 || second < best - 0.2)
        && (candidates.size() > 1 || (left && right) || best >= 0.99)) {
        p.status = Placement::Placed;
        p.delta = chosen;
        p.evidence = QStringLiteral("blocco vicino spostato di %1 byte, confermato dal contenuto")
                         .arg(chosen);
        return p;
    }
    p.status = Placement::Ambiguous;
    p.delta = chosen;
    p.otherDelta = candidates.size() > 1 ? other : chosen;
    p.evidence = QStringLiteral("i blocchi vicini si sono spostati in modo diverso");
    return p;
}
