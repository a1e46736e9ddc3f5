#pragma once

#include <QtGlobal>

#include <cstdint>
#include <vector>

// One bit per byte of the working image: set where the byte differs from the original or lies
// beyond the original's end. A whole 16 MiB image costs 2 MiB, whatever its changes.
class ModifiedOffsets
{
public:
    // Sized to the current image and filled in one pass over both arrays.
    void rebuild(const char *current,
                 qsizetype currentSize,
                 const char *original,
                 qsizetype originalSize);
    void clear();

    qsizetype size() const { return m_size; }
    bool test(qsizetype offset) const
    {
        return offset >= 0 && offset < m_size
               && (m_bits[std::size_t(offset >> 6)] >> (offset & 63)) & 1u;
    }
    void set(qsizetype offset, bool on);
    // Whether any offset of [offset, offset + length) is set.
    bool anyIn(qsizetype offset, qsizetype length) const;
    qsizetype count() const;
    // The first set offset at or after from and below limit (the end when negative); -1 when
    // there is none.
    qsizetype nextSet(qsizetype from, qsizetype limit = -1) const;
    std::size_t memoryBytes() const { return m_bits.capacity() * sizeof(quint64); }

private:
    std::vector<quint64> m_bits;
    qsizetype m_size = 0;
};
