#pragma once

#include <QByteArray>

#include <vector>

// The elements of an image of one size (1 or 2 bytes) and byte order, by value: where every
// value occurs, so that a search for values within a tolerance visits only the elements that
// hold one, instead of every element of the image. The image must outlive the index, which
// reads values from it.
class ValueIndex
{
public:
    ValueIndex(const QByteArray &image, int size, bool littleEndian);

    // False when the image has too many elements to be indexed (over 2^32).
    bool isValid() const { return !m_bucketStart.empty(); }
    int maxValue() const { return m_size == 1 ? 0xff : 0xffff; }
    // How many elements hold a value in [lo, hi] (clamped to the value range).
    qint64 countIn(int lo, int hi) const;
    // What the index holds: four bytes an element (twice a 16-bit image) and a table of 257
    // starts.
    qint64 memoryBytes() const
    {
        return qint64(m_bucketStart.capacity() + m_elements.capacity()) * qint64(sizeof(quint32));
    }
    // Byte offsets of those elements, ascending within each value, appended to out.
    void appendIn(int lo, int hi, std::vector<qint64> &out) const;

private:
    quint32 valueOf(quint32 element) const;
    // The first place in m_elements whose value is at least value.
    quint32 lowerBound(int value) const;

    const uchar *m_data = nullptr;
    int m_size;
    bool m_littleEndian;
    // Elements ordered by value, then position; where each high byte's values begin. Within a
    // high byte the values are found by a binary search over the image's own bytes, so that no
    // table of 65 536 starts is kept.
    std::vector<quint32> m_bucketStart;
    std::vector<quint32> m_elements;
};
