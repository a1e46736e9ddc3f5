#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>

// The hits of many byte patterns found in one walk over an image: for every pattern the
// positions findAll would give, ascending, up to a cap. A driver names thousands of patterns;
// one walk per pattern would read a large image thousands of times.
class PatternIndex
{
public:
    PatternIndex(const QByteArray &image, const QList<QByteArray> &patterns, int maxHits);

    // The first maxHits positions of pattern; a pattern not given to the constructor, or a cap
    // above the index's, is searched for directly.
    QList<qint64> hits(const QByteArray &pattern, int maxHits) const;

private:
    const QByteArray &m_image;
    int m_maxHits;
    QHash<QByteArray, QList<qint64>> m_hits;
};
