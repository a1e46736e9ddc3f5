#pragma once

#include "recognition/driver.h"

#include <QByteArray>
#include <QList>

#include <vector>

class PatternIndex;

// How the bytes a driver knows moved between its reference image and a scanned one. Between
// software versions calibration data moves in blocks, so the byte patterns of a driver that
// occur exactly once in the scanned image (anchors, the start and end of a map's data, its axes)
// tell, region by region, where the maps of that region went. A pattern's hit counts as
// evidence of a move only when another pattern nearby moved by the same amount: one identical
// run of bytes may be chance, two agreeing ones are the region's move.
class MoveModel
{
public:
    struct Evidence
    {
        qint64 reference = -1; // where the pattern lay in the reference image
        qint64 move = 0;       // its position in the scanned image minus reference
        int owner = -1;        // the index of the driver map that named the pattern
        bool consistent = false;
    };
    struct Move
    {
        qint64 move = 0;
        int support = 0;     // consistent evidence points near the address that agree
        qint64 distance = 0; // from the address to the nearest of them
    };

    MoveModel(const QByteArray &image, const Driver &driver, const PatternIndex &patterns);

    // The moves the regions around reference suggest, nearest region first: those of the
    // nearest consistent evidence on each side, however far (a map in a long stretch without
    // evidence still takes its neighbours' move). settled tells whether evidence on both sides
    // agrees, so that the address lies inside one region of known move.
    QList<Move> movesNear(qint64 reference, bool *settled = nullptr) const;
    // The evidence of one driver map's own patterns, consistent or not.
    QList<Evidence> evidenceOf(int mapIndex) const;

    int mapsWithPatterns() const { return m_mapsWithPatterns; }
    int anchoredMaps() const { return m_anchoredMaps; }
    int consistentEvidence() const { return int(m_consistent.size()); }
    // The scanned image does not look like the driver's family: among enough maps with byte
    // patterns (8), fewer than half have a move that other evidence confirms.
    bool looksForeign() const;

    static constexpr int MinimumPatternLength = 8;
    // Two agreeing patterns farther apart than this are not taken as one region's move.
    static constexpr qint64 RegionReach = qint64(64) * 1024;

private:
    std::vector<Evidence> m_evidence;   // ordered by owner
    std::vector<Evidence> m_consistent; // ordered by reference
    int m_mapsWithPatterns = 0;
    int m_anchoredMaps = 0;
};
