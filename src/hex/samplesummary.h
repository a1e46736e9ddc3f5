#pragma once

#include <QByteArray>
#include <QList>

#include <limits>
#include <vector>

// How the 2D graph reads one value out of the image.
struct SampleFormat
{
    int width = 1; // 1, 2 or 4 bytes
    bool littleEndian = true;
    bool isFloat = false; // 4-byte IEEE single

    bool operator==(const SampleFormat &o) const
    {
        return width == o.width && littleEndian == o.littleEndian && isFloat == o.isFloat;
    }
    bool operator!=(const SampleFormat &o) const { return !(*this == o); }
    // The top of the vertical scale of integer samples.
    double fullScale() const;
};

struct SampleExtremes
{
    double minimum = std::numeric_limits<double>::infinity();
    double maximum = -std::numeric_limits<double>::infinity();

    bool isEmpty() const { return !(minimum <= maximum); }
    void add(double v)
    {
        if (v < minimum)
            minimum = v;
        if (v > maximum)
            maximum = v;
    }
    void add(const SampleExtremes &o)
    {
        if (o.minimum < minimum)
            minimum = o.minimum;
        if (o.maximum > maximum)
            maximum = o.maximum;
    }
    bool operator==(const SampleExtremes &o) const
    {
        return (isEmpty() && o.isEmpty()) || (minimum == o.minimum && maximum == o.maximum);
    }
};

// Value of sample index i (byte offset i × width); non-finite floats come back as NaN.
double sampleValue(const char *data, qint64 index, const SampleFormat &format);
// Number of whole samples in an image of the given size.
qint64 sampleCount(qint64 imageSize, const SampleFormat &format);

// Minimum and maximum of the image's samples per block, two levels deep, so that the extremes of
// any range cost a few hundred reads however long the range is. Non-finite floats are left out
// of every extreme. Built for one image and one format; renewed in place when bytes change.
class SampleSummary
{
public:
    static constexpr qint64 Level1 = 64;   // samples per first-level block
    static constexpr qint64 Level2 = 4096; // samples per second-level block

    void build(const QByteArray &data, const SampleFormat &format);
    // Renews the blocks touched by the bytes [first, last] after an edit of data.
    void update(const QByteArray &data, qint64 first, qint64 last);
    void clear();
    bool isBuiltFor(const QByteArray &data, const SampleFormat &format) const;

    // Extremes of samples [first, end) of data, which must be the image it was built for.
    SampleExtremes extremes(const QByteArray &data, qint64 first, qint64 end) const;

private:
    SampleExtremes scan(const char *data, qint64 first, qint64 end) const;

    SampleFormat m_format;
    qint64 m_size = -1;
    qint64 m_samples = 0;
    std::vector<SampleExtremes> m_level1;
    std::vector<SampleExtremes> m_level2;
};

// The curve of the visible window [start, end) reduced to plot columns: samples every
// width bytes from start rounded down to a multiple of the width; column c keeps samples
// [c × n / columns, (c + 1) × n / columns) of the n samples. Empty when n ≤ columns (the
// curve is then drawn through every sample). A null summary computes it straight from the bytes.
QList<SampleExtremes> columnExtremes(const QByteArray &data, const SampleFormat &format,
                                     qint64 start, qint64 end, int columns,
                                     const SampleSummary *summary);
// First sample index and sample count of the window [start, end).
void windowSamples(qint64 imageSize, const SampleFormat &format, qint64 start, qint64 end,
                   qint64 *firstSample, qint64 *count);
