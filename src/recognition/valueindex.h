#pragma once

#include <QByteArray>

#include <vector>

// The elements of an image of one size (1 or 2 bytes) and byte order, by value: where every
// value occurs, so that a search for values within a tolerance visits only the elements that
// hold one, instead of every element of the image.
class ValueIndex
{
public:
    ValueIndex(const QByteArray &image, int size, bool littleEndian);

    // False when the image has too many elements to be indexed (over 2^32).
    bool isValid() const { return !m_start.empty(); }
    int maxValue() const { return int(m_start.size()) - 2; }
    // How many elements hold a value in [lo, hi] (clamped to the value range).
    qint64 countIn(int lo, int hi) const;
    // What the index holds: four bytes per element and per value, so twice a 16-bit image.
    qint64 memoryBytes() const
    {
        return qint64(m_start.capacity() + m_elements.capacity()) * qint64(sizeof(quint32));
    }
    // Byte offsets of those elements, ascending within each value, appended to out.
    void appendIn(int lo, int hi, std::vector<qint64> &out) const;

private:
    int m_size;
    std::vector<quint32> m_start;    // per value, where its elements begin in m_elements
    std::vector<quint32> m_elements; // element numbers ordered by value
};
