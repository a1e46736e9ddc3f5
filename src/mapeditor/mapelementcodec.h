#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>

// How edited raw values go back into an image. Values are held as 16 bits whatever the
// element size, so each organisation needs a rule that reads back as the value shown:
// - "8 Bit": the value is clamped to 0..255 (writing the low byte of a larger value would
//   store something else than what the table shows);
// - "16 Bit (LoHi)" / "16 Bit (HiLo)": two bytes in that order;
// - "32 Bit": the low half takes the value, low byte first (the half the decoder reads), and
//   the high half keeps the bytes the image has there.
namespace MapElementCodec {

int elementSize(int organisation);
quint16 maximumRaw(int organisation);
quint16 clampToElement(quint32 raw, int organisation);

// The bytes of one element written at offset; image supplies the bytes a 32-bit element
// keeps (zeros where the image ends).
QByteArray
encode(quint16 raw, int organisation, const uint8_t *image, qint64 imageLength, qint64 offset);
QByteArray encode(quint16 raw, int organisation, const QByteArray &image, qint64 offset);

// Raw +delta saturating at the element's range.
quint16 stepped(quint16 raw, int delta, int organisation);

struct Block
{
    int startOffset = -1;
    QByteArray data;
    bool isEmpty() const { return startOffset < 0 || data.isEmpty(); }
};

// One contiguous block from the smallest to the largest selected storage index, every
// element in between with its current value. Indices outside values are ignored; an empty
// block when none is left, the map has no offset, or the block would pass 2 GiB.
Block buildBlock(const QList<qint64> &selectedIndices,
                 const QList<quint16> &values,
                 int mapOffset,
                 int organisation,
                 const QByteArray &image);

} // namespace MapElementCodec
