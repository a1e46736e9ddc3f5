#include "recognition/codereferences.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The ways an address may be held in an immediate word: its low 14 bits (a page offset) or
// its low 16, in either byte order.
struct Shape
{
    int bits;
    bool littleEndian;
    quint32 mask() const { return (1u << bits) - 1; }
};
constexpr Shape Shapes[] = {{14, true}, {16, true}, {14, false}, {16, false}};
constexpr int ShapeCount = 4;

// A form is learnt when it names several times more anchors than addresses drawn at random,
// and by a margin that chance among the 1024 forms tried does not reach: the difference, in
// standard deviations of a difference of two counts drawn alike.
constexpr int MinLift = 3;
constexpr double MinDeviations = 5.0;
// Fewer anchors than this cannot reach that margin even when no probe is named.
constexpr int MinAnchors = 25;
constexpr int MaxForms = 2;

quint32 wordAt(const uint8_t *image, qint64 p, bool littleEndian)
{
    return littleEndian ? quint32(image[p]) | (quint32(image[p + 1]) << 8)
                        : (quint32(image[p]) << 8) | quint32(image[p + 1]);
}

struct Bits
{
    std::vector<uint64_t> words = std::vector<uint64_t>(65536 / 64, 0);
    void set(quint32 v) { words[v >> 6] |= uint64_t(1) << (v & 63); }
    bool test(quint32 v) const { return (words[v >> 6] >> (v & 63)) & 1; }
};

} // namespace

CodeReferences CodeReferences::learn(const uint8_t *image, qint64 size, std::vector<qint64> anchors)
{
    CodeReferences refs;
    std::sort(anchors.begin(), anchors.end());
    anchors.erase(std::unique(anchors.begin(), anchors.end()), anchors.end());
    if (!image || size < 4 || int(anchors.size()) < MinAnchors)
        return refs;
    // As many addresses drawn evenly from the anchors' stretch, deterministically.
    const qint64 lo = anchors.front(), hi = anchors.back();
    std::vector<qint64> probes;
    quint32 seed = 0x9E3779B9u;
    for (size_t i = 0; i < anchors.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        probes.push_back(lo + qint64((quint64(seed) * quint64(hi - lo + 1)) >> 32));
    }
    // Which words each shape makes of the anchors and of the probes, sorted, with a bit per
    // word for a quick test.
    const auto shaped = [](const std::vector<qint64> &addresses, const Shape &shape) {
        std::vector<quint32> words;
        for (qint64 a : addresses)
            words.push_back(quint32(a) & shape.mask());
        std::sort(words.begin(), words.end());
        return words;
    };
    const auto countOf = [](const std::vector<quint32> &words, quint32 w) {
        const auto [first, last] = std::equal_range(words.begin(), words.end(), w);
        return int(last - first);
    };
    // Per shape and instruction byte, the anchors and the probes the words after it name; a
    // word the code loads many times counts once.
    struct Tally
    {
        int anchors = 0, probes = 0;
    };
    std::vector<Tally> tally(ShapeCount * 256);
    for (int s = 0; s < ShapeCount; ++s) {
        const std::vector<quint32> anchorWords = shaped(anchors, Shapes[s]);
        const std::vector<quint32> probeWords = shaped(probes, Shapes[s]);
        Bits any;
        for (quint32 w : anchorWords)
            any.set(w);
        for (quint32 w : probeWords)
            any.set(w);
        std::vector<std::vector<quint32>> wordsAfter(256);
        for (qint64 p = 2; p + 1 < size; p += 2) {
            const quint32 w = wordAt(image, p, Shapes[s].littleEndian);
            if (w <= Shapes[s].mask() && any.test(w))
                wordsAfter[image[p - 2]].push_back(w);
        }
        for (int op = 0; op < 256; ++op) {
            std::vector<quint32> &ws = wordsAfter[size_t(op)];
            std::sort(ws.begin(), ws.end());
            ws.erase(std::unique(ws.begin(), ws.end()), ws.end());
            Tally &t = tally[size_t(s * 256 + op)];
            for (quint32 w : ws) {
                t.anchors += countOf(anchorWords, w);
                t.probes += countOf(probeWords, w);
            }
        }
    }
    struct Choice
    {
        double deviations;
        int shape;
        int instruction;
    };
    std::vector<Choice> choices;
    for (int s = 0; s < ShapeCount; ++s)
        for (int op = 0; op < 256; ++op) {
            const Tally &t = tally[size_t(s * 256 + op)];
            if (t.anchors < MinLift * qMax(t.probes, 1))
                continue;
            const double deviations = (t.anchors - t.probes) / std::sqrt(double(t.anchors + t.probes));
            if (deviations >= MinDeviations)
                choices.push_back({deviations, s, op});
        }
    std::sort(choices.begin(), choices.end(), [](const Choice &a, const Choice &b) {
        return a.deviations != b.deviations ? a.deviations > b.deviations
                                : std::make_pair(a.shape, a.instruction)
                                      < std::make_pair(b.shape, b.instruction);
    });
    for (const Choice &c : choices) {
        if (int(refs.forms.size()) >= MaxForms)
            break;
        Bits named;
        const Shape &shape = Shapes[c.shape];
        for (qint64 p = 2; p + 1 < size; p += 2)
            if (image[p - 2] == c.instruction) {
                const quint32 w = wordAt(image, p, shape.littleEndian);
                if (w <= shape.mask())
                    named.set(w);
            }
        refs.forms.push_back(
            Form{shape.bits, shape.littleEndian, uint8_t(c.instruction), std::move(named.words)});
    }
    refs.learnPaging(image, size, anchors);
    return refs;
}

void CodeReferences::learnPaging(const uint8_t *image,
                                 qint64 size,
                                 const std::vector<qint64> &anchors)
{
    // Votes, from the loads that name an anchor by their low bits, for the first page (from
    // a page loaded right after the offset) and for each base. A rule is kept when it is
    // most of its votes and more than chance gives.
    constexpr int MinVotes = 8;
    const std::vector<Load> all = rawLoads(image, size);
    std::vector<qint64> pageVotes;
    std::array<std::vector<qint64>, 4> baseVotes;
    // The anchors by their low 14 and 16 bits, to find those a word names at once.
    std::array<std::vector<std::pair<quint32, qint64>>, 2> byLow;
    for (const qint64 a : anchors) {
        byLow[0].push_back({quint32(a) & 0x3FFFu, a});
        byLow[1].push_back({quint32(a) & 0xFFFFu, a});
    }
    for (auto &list : byLow)
        std::sort(list.begin(), list.end());
    const auto anchorsWithLow = [&](quint32 low, int which, auto &&use) {
        const auto &list = byLow[size_t(which)];
        for (auto it = std::lower_bound(list.begin(), list.end(), std::make_pair(low, qint64(-1)));
             it != list.end() && it->first == low; ++it)
            use(it->second);
    };
    for (size_t i = 0; i < all.size(); ++i) {
        const Load &l = all[i];
        const bool pageNext = i + 1 < all.size() && all[i + 1].at == l.at + 4;
        if (pageNext)
            anchorsWithLow(l.word & 0x3FFFu, 0, [&](qint64 a) {
                pageVotes.push_back(qint64(all[i + 1].word) - a / PageBytes);
            });
        anchorsWithLow(l.word, 1,
                       [&](qint64 a) { baseVotes[l.word >> 14].push_back(a - qint64(l.word)); });
    }
    const auto winner = [](std::vector<qint64> &votes) -> qint64 {
        std::sort(votes.begin(), votes.end());
        qint64 best = -1;
        size_t bestCount = 0;
        for (size_t i = 0; i < votes.size();) {
            size_t j = i;
            while (j < votes.size() && votes[j] == votes[i])
                ++j;
            if (j - i > bestCount) {
                bestCount = j - i;
                best = votes[i];
            }
            i = j;
        }
        return bestCount >= size_t(MinVotes) && 2 * bestCount > votes.size() && best >= 0 ? best
                                                                                          : -1;
    };
    firstPage = winner(pageVotes);
    for (int s = 0; s < 4; ++s)
        base[size_t(s)] = winner(baseVotes[size_t(s)]);
}

std::vector<CodeReferences::Load> CodeReferences::loads(const uint8_t *image, qint64 size) const
{
    std::vector<Load> out = rawLoads(image, size);
    const qint64 pages = (size + PageBytes - 1) / PageBytes;
    for (size_t i = 0; i < out.size(); ++i) {
        Load &l = out[i];
        if (i + 1 < out.size() && out[i + 1].at == l.at + 4 && firstPage >= 0) {
            const qint64 page = qint64(out[i + 1].word) - firstPage;
            if (page >= 0 && page < pages) {
                l.address = qint32(page * PageBytes + (l.word & 0x3FFFu));
                out[i + 1].address = -1;
                ++i;
                continue;
            }
        }
        const qint64 b = base[l.word >> 14];
        if (b >= 0 && b + qint64(l.word) < size)
            l.address = qint32(b + qint64(l.word));
    }
    return out;
}

std::vector<CodeReferences::Load> CodeReferences::rawLoads(const uint8_t *image, qint64 size) const
{
    // Counted first and then kept, so that the list takes no more memory than it needs.
    size_t count = 0;
    scan(image, size, [&](const Load &) { ++count; });
    std::vector<Load> out;
    out.reserve(count);
    scan(image, size, [&](const Load &l) { out.push_back(l); });
    return out;
}

void CodeReferences::scan(const uint8_t *image,
                          qint64 size,
                          const std::function<void(const Load &)> &use) const
{
    if (!image)
        return;
    // Loads hold where they stand in 31 bits.
    size = qMin<qint64>(size, std::numeric_limits<qint32>::max());
    for (qint64 p = 2; p + 1 < size; p += 2)
        for (const Form &f : forms)
            if (image[p - 2] == f.instruction) {
                const quint32 w = wordAt(image, p, f.littleEndian);
                if (w < (1u << f.bits)) {
                    use(Load{qint32(p), w, quint8(f.bits), f.littleEndian});
                    break;
                }
            }
}

bool CodeReferences::named(qint64 address) const
{
    for (const Form &f : forms) {
        const quint32 w = quint32(address) & ((1u << f.bits) - 1);
        if ((f.words[w >> 6] >> (w & 63)) & 1)
            return true;
    }
    return false;
}

QString CodeReferences::description() const
{
    QStringList parts;
    for (const Form &f : forms)
        parts << QStringLiteral("0x%1 + parola di %2 bit (%3)")
                     .arg(QString::number(f.instruction, 16).toUpper().rightJustified(2, QLatin1Char('0')))
                     .arg(f.bits)
                     .arg(f.littleEndian ? QStringLiteral("LoHi") : QStringLiteral("HiLo"));
    return parts.join(QStringLiteral(", "));
}
