// The checksum modules on an image: recognition and verification answer, and when a module
// recognises the image and offers corrections, they make every block match and a second
// correction finds nothing left to write; an image it cannot correct gets no writes at all.
//
// The first byte picks the image, so that inputs stay small while images keep real sizes:
//   0  a sealed image of the ME7 layout (512 KiB, the smallest of the family), the rest of
//      the input patches it
//   1  the same with an RSA signature's layout, patched the same way
//   2  the rest of the input is the image itself
// A patch is a 3-byte little-endian offset (taken modulo the image size), a length byte and
// that many bytes.
#include "checksums/checksummodule.h"
#include "fuzzcheck.h"
#include "me7image.h"

#include <QByteArray>

#include <cstdint>

namespace {

constexpr qint64 Me7Size = 512 * 1024;

QByteArray patched(QByteArray image, const uint8_t *data, size_t size)
{
    size_t at = 0;
    while (at + 4 <= size) {
        const qint64 offset
            = qint64(data[at] | data[at + 1] << 8 | data[at + 2] << 16) % image.size();
        const size_t length = std::min<size_t>(data[at + 3], size - at - 4);
        at += 4;
        const qint64 fits = std::min<qint64>(qint64(length), image.size() - offset);
        image.replace(offset, fits, reinterpret_cast<const char *>(data + at), fits);
        at += length;
    }
    return image;
}

QByteArray imageOf(const uint8_t *data, size_t size)
{
    static const QByteArray sealed = me7image::sealed(Me7Size);
    static const QByteArray withRsa = [] {
        QByteArray image = me7image::sealed(Me7Size);
        me7image::putRsaLayout(image);
        return image;
    }();
    switch (data[0] % 3) {
    case 0:
        return patched(sealed, data + 1, size - 1);
    case 1:
        return patched(withRsa, data + 1, size - 1);
    default:
        return QByteArray(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray image = imageOf(data, size);
    const ChecksumReport report = checkImage(image);
    if (!report.recognised()) {
        TESSA_FUZZ_CHECK(report.blocks.isEmpty() && report.corrections.isEmpty());
        return 0;
    }
    for (const ChecksumBlock &block : report.blocks) {
        TESSA_FUZZ_CHECK(block.valueOffset >= 0 && block.valueSize > 0
                         && block.valueOffset + block.valueSize <= image.size());
        for (const ChecksumRange &range : block.covered)
            TESSA_FUZZ_CHECK(range.start >= 0 && range.start <= range.end + 1
                             && range.end < image.size());
    }
    for (const ChecksumByteChange &change : report.corrections)
        TESSA_FUZZ_CHECK(change.offset >= 0 && change.offset + change.bytes.size() <= image.size());
    TESSA_FUZZ_CHECK(!report.allOk() || report.corrections.isEmpty());
    if (report.uncorrectable())
        return 0; // refused whole: no fixed point exists for this layout

    const QByteArray corrected = applyChecksumChanges(image, report.corrections);
    const ChecksumReport again = checkImage(corrected);
    TESSA_FUZZ_CHECK(again.module == report.module);
    TESSA_FUZZ_CHECK(again.allOk());
    TESSA_FUZZ_CHECK(again.corrections.isEmpty());
    return 0;
}
