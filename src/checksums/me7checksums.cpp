#include "checksums/me7checksums.h"

#include "checksums/rsasignature.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace {

constexpr quint32 kBaseAddress = 0x800000; // where the flash appears to the CPU
constexpr qint64 kRomsys = 0x8000;
constexpr qint64 kRomsysParamPointer = kRomsys + 0x10;
constexpr qint64 kRomsysParamFirst = kRomsys + 0x30;
constexpr qint64 kRomsysParamLast = kRomsys + 0x34;
constexpr qint64 kRomsysStartup = kRomsys + 0x38;
constexpr qint64 kRomsysProgramPages = kRomsys + 0x3c;
constexpr qint64 kProgramPage = 8 * 1024;
constexpr qint64 k512KiB = 512 * 1024;
constexpr qint64 k1MiB = 1024 * 1024;
constexpr int kDescriptorSize = 16;       // start, end, value, complement
constexpr int kMaxMultipointEntries = 66; // the longest tables (2 + 64) carry no end marker
constexpr int kMaxCrcAreas = 4;
constexpr int kMaxCorrectionPasses = 8;
constexpr int kRsaBytes = 128; // 1024-bit key
constexpr int kMaxMd5Ranges = 4;
constexpr int kMd5Bytes = 16;
// A consistent value/complement pair adds this to a sum of 16-bit words whatever the value.
constexpr quint32 kPairWordSum = 0x1fffe;

// The internal boot ROM's own checksums: listed in the multipoint table but covering no byte
// of the flash image, so they are taken as they stand.
constexpr std::array<std::array<quint32, 2>, 2> kBootRomPairs{
    {{0x0fa0f5cf, 0x0f4716b3}, {0x0e59d5c8, 0x1077fb35}}};

class Reader
{
public:
    explicit Reader(QByteArrayView image)
        : m_data(reinterpret_cast<const quint8 *>(image.data()))
        , m_size(image.size())
    {
    }

    qint64 size() const { return m_size; }
    bool has(qint64 offset, qint64 length) const
    {
        return offset >= 0 && length >= 0 && offset <= m_size - length;
    }
    quint8 u8(qint64 offset) const { return has(offset, 1) ? m_data[offset] : 0; }
    quint16 u16(qint64 offset) const
    {
        return has(offset, 2) ? quint16(m_data[offset] | (m_data[offset + 1] << 8)) : 0;
    }
    quint32 u32(qint64 offset) const
    {
        return has(offset, 4) ? quint32(u16(offset)) | (quint32(u16(offset + 2)) << 16) : 0;
    }
    QByteArrayView bytes(qint64 offset, qint64 length) const
    {
        return has(offset, length)
                   ? QByteArrayView(reinterpret_cast<const char *>(m_data) + offset, length)
                   : QByteArrayView();
    }
    bool consistentPair(qint64 offset) const
    {
        return has(offset, 8) && u32(offset) == ~u32(offset + 4);
    }

    // Positions (even) where the bytes match needle under mask. The candidates come from an
    // index of where each 16-bit word value lies (built on the first search, in two passes),
    // keyed on the needle's first unmasked word that is neither erased nor blank flash.
    QList<qint64> find(const quint8 *needle, const quint8 *mask, int length, qint64 from = 0) const
    {
        QList<qint64> hits;
        auto matches = [&](qint64 i) {
            int k = 0;
            while (k < length && (m_data[i + k] & mask[k]) == (needle[k] & mask[k]))
                ++k;
            return k == length;
        };
        int keyOffset = -1;
        for (int k = 0; k + 1 < length && keyOffset < 0; k += 2) {
            const quint16 word = quint16(needle[k] | (needle[k + 1] << 8));
            if (mask[k] == 0xff && mask[k + 1] == 0xff && word != 0 && word != 0xffff)
                keyOffset = k;
        }
        if (keyOffset < 0) {
            for (qint64 i = from; i + length <= m_size; i += 2)
                if (matches(i))
                    hits.append(i);
            return hits;
        }
        buildWordIndex();
        const quint16 key = quint16(needle[keyOffset] | (needle[keyOffset + 1] << 8));
        for (quint32 n = m_wordStart[key]; n < m_wordStart[key + 1]; ++n) {
            const qint64 i = qint64(m_wordPositions[n]) * 2 - keyOffset;
            if (i >= from && i + length <= m_size && matches(i))
                hits.append(i);
        }
        return hits;
    }

    // An address the code loads as two 16-bit halves (or as a page and offset) turned into an
    // image offset; nullopt when it does not point into the image.
    std::optional<qint64> address(qint64 match, int lowWord, int highWord) const
    {
        const quint32 low = u16(match + 2 * lowWord);
        const quint32 high = u16(match + 2 * highWord);
        const quint32 address = (high << ((high & 0xfe00) ? 14 : 16)) | low;
        if (address > kBaseAddress && address - kBaseAddress < quint64(m_size))
            return qint64(address - kBaseAddress);
        return std::nullopt;
    }

    QList<qint64> addresses(const QList<quint8> &needle,
                            const QList<quint8> &mask,
                            int lowWord,
                            int highWord) const
    {
        QList<qint64> found;
        for (qint64 hit : find(needle.constData(), mask.constData(), int(needle.size()))) {
            if (const auto a = address(hit, lowWord, highWord))
                found.append(*a);
        }
        return found;
    }

    // Flash addresses [first, last] as an image range.
    std::optional<ChecksumRange> range(quint32 first, quint32 last) const
    {
        if (first < kBaseAddress || last < first || last - kBaseAddress >= quint64(m_size))
            return std::nullopt;
        return ChecksumRange{first - kBaseAddress, last - kBaseAddress};
    }

    quint32 byteSum(const ChecksumRange &r) const
    {
        quint32 sum = 0;
        for (qint64 i = r.start; i <= r.end; ++i)
            sum += m_data[i];
        return sum;
    }

    // Sum of the 16-bit words that hold the bytes of r. A value/complement pair that lies in
    // the range counts as consistent, so that writing it does not change the sum.
    quint32 wordSum(const ChecksumRange &r, qint64 pairOffset = -1) const
    {
        const qint64 first = r.start & ~qint64(1);
        const qint64 last = r.end | 1;
        if (first < 0 || last >= m_size)
            return 0;
        quint32 sum = 0;
        for (qint64 i = first; i < last; i += 2)
            sum += quint32(m_data[i] | (m_data[i + 1] << 8));
        if (pairOffset >= first && pairOffset + 7 <= last && (pairOffset & 1) == 0) {
            for (qint64 i = pairOffset; i < pairOffset + 8; i += 2)
                sum -= u16(i);
            sum += kPairWordSum;
        }
        return sum;
    }

    quint32 crc32(quint32 seed, const ChecksumRange &r) const
    {
        static const std::array<quint32, 256> table = [] {
            std::array<quint32, 256> t{};
            for (quint32 n = 0; n < 256; ++n) {
                quint32 c = n;
                for (int k = 0; k < 8; ++k)
                    c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
                t[n] = c;
            }
            return t;
        }();
        quint32 crc = ~seed;
        for (qint64 i = r.start; i <= r.end; ++i)
            crc = table[(crc ^ m_data[i]) & 0xff] ^ (crc >> 8);
        return ~crc;
    }

    bool valid(const ChecksumRange &r) const
    {
        return r.start >= 0 && r.start <= r.end && r.end < m_size;
    }

private:
    // A counting sort of the word positions by value.
    void buildWordIndex() const
    {
        if (!m_wordStart.empty())
            return;
        const qint64 words = m_size / 2;
        m_wordStart.assign(65537, 0);
        auto word = [this](qint64 w) { return size_t(m_data[2 * w] | (m_data[2 * w + 1] << 8)); };
        for (qint64 w = 0; w < words; ++w)
            ++m_wordStart[word(w) + 1];
        for (size_t v = 1; v < m_wordStart.size(); ++v)
            m_wordStart[v] += m_wordStart[v - 1];
        std::vector<quint32> next(m_wordStart.cbegin(), m_wordStart.cend() - 1);
        m_wordPositions.resize(size_t(words));
        for (qint64 w = 0; w < words; ++w)
            m_wordPositions[next[word(w)]++] = quint32(w);
    }

    const quint8 *m_data;
    qint64 m_size;
    mutable std::vector<quint32> m_wordStart;
    mutable std::vector<quint32> m_wordPositions;
};

QByteArray le32(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    for (int i = 0; i < 4; ++i)
        bytes[i] = char((value >> (8 * i)) & 0xff);
    return bytes;
}

QByteArray pair(quint32 value)
{
    return le32(value) + le32(~value);
}

QString hexAddress(qint64 offset)
{
    return QStringLiteral("0x%1").arg(offset, 5, 16, QLatin1Char('0'));
}

struct CrcArea
{
    ChecksumRange range;
    qint64 valueOffset = -1; // -1: computed only, as the seed of the next area
};

struct MultipointEntry
{
    qint64 descriptor = 0;
    ChecksumRange range;
};

// Where an image keeps its checksums; found once, then evaluated as often as needed.
struct Layout
{
    bool sizeOk = false;
    qint64 softwareSize = 0; // where the program ends: the image, or the half before erased flash
    bool romsys = false;
    qint64 paramValue = -1;
    ChecksumRange paramWords;
    std::optional<ChecksumRange> crcPreArea;
    QList<CrcArea> crcAreas;
    bool crcValues = false;
    qint64 dataSumOffset = -1;
    qint64 mainDescriptor = -1;
    qint64 mainValue = -1;
    ChecksumRange mainRanges[2];
    QList<MultipointEntry> multipoint;
    int multipointTables = 0;
    // The signature over the program (some ME7.1 images).
    qint64 rsaSignature = -1;
    qint64 rsaModulus = -1;
    unsigned rsaExponent = 0;
    QList<ChecksumRange> md5Ranges;
    QStringList evidence;
};

void findRomsys(const Reader &img, Layout &layout)
{
    if (!img.has(kRomsys, 0x40) || img.u16(0) == 0) {
        layout.evidence << QStringLiteral("ROMSYS: descrittore assente");
        return;
    }
    layout.romsys = true;
    const quint32 pointer = img.u32(kRomsysParamPointer);
    const auto words = img.range(img.u32(kRomsysParamFirst), img.u32(kRomsysParamLast));
    if (pointer < kBaseAddress || !img.has(qint64(pointer) - kBaseAddress, 4) || !words
        || !img.has(words->end, 2)) {
        layout.evidence << QStringLiteral("ROMSYS: pagina dei parametri fuori dall'immagine");
        return;
    }
    layout.paramValue = qint64(pointer) - kBaseAddress;
    layout.paramWords = *words;
    layout.evidence << QStringLiteral("ROMSYS a %1, pagina dei parametri a %2")
                           .arg(hexAddress(kRomsys), hexAddress(layout.paramValue));
}

void findMainData(const Reader &img, Layout &layout)
{
    {
        const QList<quint8> needle{0xe6, 0xfc, 0x00, 0x00, 0xe6, 0xfd, 0x80, 0x00,
                                   0xe0, 0x0e, 0xda, 0x00, 0x00, 0x00, 0xf6, 0xf4};
        const QList<quint8> mask{0xff, 0xff, 0x00, 0x00, 0xff, 0xff, 0xf0, 0xff,
                                 0xff, 0x0f, 0xff, 0x00, 0x00, 0x00, 0xff, 0xff};
        QList<qint64> hits;
        for (qint64 hit : img.find(needle.constData(), mask.constData(), int(needle.size()))) {
            if (img.address(hit, 1, 3))
                hits.append(hit);
        }
        if (hits.size() == 1) {
            const qint64 start = *img.address(hits.first(), 1, 3);
            const int length = img.u8(hits.first() + 9) >> 4;
            const ChecksumRange r{start, start + length - 1};
            if (length > 0 && img.valid(r))
                layout.crcPreArea = r;
        }
    }

    const QList<qint64> starts
        = img.addresses({0xe6, 0xf8, 0x00, 0x00, 0xe6, 0xf9, 0x80, 0x00, 0xf2, 0xf4},
                        {0xff, 0xff, 0x00, 0x00, 0xff, 0xff, 0xf0, 0xff, 0xff, 0xff}, 1, 3);
    const QList<qint64> ends
        = img.addresses({0x10, 0x9b, 0xe6, 0xf4, 0x00, 0x00, 0xe6, 0xf5, 0x80, 0x00},
                        {0xff, 0xff, 0xff, 0xff, 0x00, 0x00, 0xff, 0xff, 0xf0, 0xff}, 2, 4);
    const bool found = !starts.isEmpty() && starts.size() <= kMaxCrcAreas && !ends.isEmpty()
                       && ends.size() <= kMaxCrcAreas;
    if (found) {
        for (int i = 0; i < std::min(starts.size(), ends.size()); ++i)
            layout.crcAreas.append({{starts.at(i), ends.at(i)}, -1});
    } else if (layout.softwareSize == k512KiB) {
        // 512 KiB images whose loader code is not recognised keep the areas here.
        layout.crcAreas
            = {{{0x10000, 0x13fff}, -1}, {{0x14300, 0x17f67}, -1}, {{0x18191, 0x1fbff}, -1}};
        layout.evidence << QStringLiteral("Aree dei dati principali: posizioni note dei 512 KiB");
    }
    for (const CrcArea &area : std::as_const(layout.crcAreas)) {
        if (!img.valid(area.range)) {
            layout.evidence << QStringLiteral("Aree dei dati principali non valide");
            layout.crcAreas.clear();
            return;
        }
    }
    if (layout.crcAreas.isEmpty()) {
        layout.evidence << QStringLiteral("Aree dei dati principali non trovate");
        return;
    }

    const QList<qint64> crcValues = img.addresses(
        {0xf6, 0xf5, 0x00, 0x00, 0xe6, 0xf4, 0x00, 0x00, 0xe6, 0xf5, 0x80, 0x00, 0xda, 0x00},
        {0xff, 0xff, 0x00, 0x00, 0xff, 0xff, 0x01, 0x00, 0xff, 0xff, 0xf0, 0xff, 0xff, 0xff}, 3, 5);
    if (crcValues.size() == 3) {
        bool fits = true;
        for (qint64 offset : crcValues)
            fits = fits && img.has(offset, 4);
        if (fits) {
            layout.crcValues = true;
            for (int i = 0; i < std::min<qsizetype>(3, layout.crcAreas.size()); ++i)
                layout.crcAreas[i].valueOffset = crcValues.at(i);
            // With a fourth area the third CRC runs on into it and is stored once, after it.
            if (layout.crcAreas.size() > 3) {
                layout.crcAreas[3].valueOffset = layout.crcAreas[2].valueOffset;
                layout.crcAreas[2].valueOffset = -1;
            }
        }
    }

    const QList<quint8> mask{0xff, 0xff, 0xff, 0xff, 0x01, 0x00,
                             0xff, 0xff, 0xf0, 0xff, 0xff, 0xff};
    QList<qint64> sums = img.addresses(
        {0xe1, 0x0c, 0xe6, 0xf4, 0x00, 0x00, 0xe6, 0xf5, 0x80, 0x00, 0xda, 0x00}, mask, 2, 4);
    if (sums.isEmpty())
        sums = img.addresses(
            {0x04, 0x00, 0xe6, 0xf4, 0x00, 0x00, 0xe6, 0xf5, 0x80, 0x00, 0xda, 0x00}, mask, 2, 4);
    if (sums.size() == 1 && img.has(sums.first(), 8))
        layout.dataSumOffset = sums.first();

    layout.evidence
        << QStringLiteral("Dati principali: %1 aree%2%3")
               .arg(layout.crcAreas.size())
               .arg(layout.crcValues ? QStringLiteral(", CRC") : QString())
               .arg(layout.dataSumOffset >= 0
                        ? QStringLiteral(", somma a %1").arg(hexAddress(layout.dataSumOffset))
                        : QString());
}

// Where the main program descriptor lies: the first 63 KiB, then from 0x20000 to an end of
// 0x87xxff or 0x8fxxff (512 KiB or 1 MiB of program).
QList<qint64> findMainDescriptors(const Reader &img)
{
    std::array<quint8, 16> needle{};
    std::array<quint8, 16> mask{};
    const quint32 words[4]
        = {kBaseAddress, kBaseAddress + 0x0fbff, kBaseAddress + 0x20000, kBaseAddress + 0xf00ff};
    const quint32 masks[4] = {0xffffffff, 0xffffffff, 0xffffffff, 0xfff700ff};
    for (int w = 0; w < 4; ++w) {
        for (int b = 0; b < 4; ++b) {
            needle[size_t(4 * w + b)] = quint8(words[w] >> (8 * b));
            mask[size_t(4 * w + b)] = quint8(masks[w] >> (8 * b));
        }
    }
    return img.find(needle.data(), mask.data(), 16);
}

void findMainProgram(const Reader &img, Layout &layout)
{
    const QList<qint64> hits = findMainDescriptors(img);
    const qint64 value = layout.softwareSize - 0x20;
    if (hits.size() != 1 || !img.consistentPair(value)) {
        layout.evidence << QStringLiteral("Somma del programma principale non trovata");
        return;
    }
    const qint64 d = hits.first();
    const auto first = img.range(img.u32(d), img.u32(d + 4));
    const auto second = img.range(img.u32(d + 8), img.u32(d + 12));
    if (!first || !second) {
        layout.evidence << QStringLiteral("Descrittore del programma principale non valido a %1")
                               .arg(hexAddress(d));
        return;
    }
    layout.mainDescriptor = d;
    layout.mainValue = value;
    layout.mainRanges[0] = *first;
    layout.mainRanges[1] = *second;
    layout.evidence << QStringLiteral("Programma principale: descrittore a %1, somma a %2")
                           .arg(hexAddress(d), hexAddress(value));
}

bool isBootRomPair(quint32 value)
{
    for (const auto &known : kBootRomPairs) {
        if (known[0] == value || known[1] == value)
            return true;
    }
    return false;
}

void readMultipointTable(const Reader &img, qint64 table, Layout &layout)
{
    int entries = 0;
    for (int k = 0; k < kMaxMultipointEntries; ++k) {
        const qint64 d = table + qint64(k) * kDescriptorSize;
        if (!img.has(d, kDescriptorSize)) {
            layout.evidence << QStringLiteral("Tabella multipoint a %1: esce dall'immagine")
                                   .arg(hexAddress(table));
            break;
        }
        const quint32 first = img.u32(d);
        const quint32 last = img.u32(d + 4);
        if (first == 0xffffffff)
            break;
        if (first < kBaseAddress && last < kBaseAddress) {
            // The boot block, listed by its CPU address below the flash window.
            const ChecksumRange r{first, last};
            if (isBootRomPair(img.u32(d + 8)) || !img.valid(r))
                continue;
            layout.multipoint.append({d, r});
            ++entries;
            continue;
        }
        const auto r = img.range(first, last);
        if (!r) {
            layout.evidence << QStringLiteral("Tabella multipoint a %1: voce %2 non valida")
                                   .arg(hexAddress(table))
                                   .arg(k + 1);
            continue;
        }
        layout.multipoint.append({d, *r});
        ++entries;
    }
    ++layout.multipointTables;
    layout.evidence << QStringLiteral("Tabella multipoint a %1: %2 blocchi")
                           .arg(hexAddress(table))
                           .arg(entries);
}

void findMultipoint(const Reader &img, Layout &layout)
{
    // An optional first table, whose first block starts at 0x24000.
    {
        const QByteArray start = le32(kBaseAddress + 0x24000);
        const quint8 mask[4] = {0xff, 0xff, 0xff, 0xff};
        QList<qint64> hits;
        for (qint64 hit :
             img.find(reinterpret_cast<const quint8 *>(start.constData()), mask, 4, 0x10000)) {
            if (img.has(hit, kDescriptorSize) && img.u32(hit + 4) != kBaseAddress + 0x27fff)
                hits.append(hit);
        }
        if (hits.size() == 1)
            readMultipointTable(img, hits.first(), layout);
    }
    // The main table opens with the boot block's first 16 KiB.
    const QByteArray opening = le32(0) + le32(0x3fff);
    const quint8 mask[8] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    QList<qint64> hits;
    for (qint64 hit :
         img.find(reinterpret_cast<const quint8 *>(opening.constData()), mask, 8, 0x10000)) {
        if (img.consistentPair(hit + 8))
            hits.append(hit);
    }
    if (hits.size() == 1 && img.consistentPair(hits.first() + kDescriptorSize + 8))
        readMultipointTable(img, hits.first(), layout);
    else
        layout.evidence << QStringLiteral("Tabella multipoint principale non trovata");
}

void findRsa(const Reader &img, Layout &layout)
{
    const QList<quint8> mask{0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00,
                             0x00, 0xff, 0xff, 0xf0, 0xff, 0xff, 0xff};
    const QList<qint64> keys = img.addresses(
        {0x80, 0x00, 0x88, 0x40, 0xe6, 0xf4, 0x00, 0x00, 0xe6, 0xf5, 0x80, 0x00, 0x88, 0x50}, mask,
        3, 5);
    const QList<qint64> exponents = img.addresses(
        {0xe0, 0x44, 0x88, 0x40, 0xe6, 0xf4, 0x00, 0x00, 0xe6, 0xf5, 0x80, 0x00, 0x88, 0x50}, mask,
        3, 5);
    if (keys.size() != 2 || exponents.size() != 1)
        return; // most images carry no signature
    const qint64 signature = keys.at(0);
    const qint64 modulus = keys.at(1);
    const qint64 exponent = exponents.at(0);
    const quint32 e
        = img.has(exponent, 4) ? qFromBigEndian<quint32>(img.bytes(exponent, 4).data()) : 0;
    if (!img.has(signature, kRsaBytes) || !img.has(modulus, kRsaBytes) || e != 3) {
        layout.evidence << QStringLiteral("Firma RSA: chiave non valida");
        return;
    }

    // The code that hashes the signed areas: a count and the page offset of a table of starts
    // followed by a table of ends.
    const quint8 needle[] = {0xe1, 0x08, 0xf7, 0xf8, 0x00, 0xf0, 0xf2, 0xf4,
                             0x00, 0x00, 0xf2, 0xf5, 0x00, 0x00, 0xf6, 0xf4};
    const quint8 md5Mask[] = {0xff, 0xcf, 0x00, 0x00, 0x00, 0xf0, 0xff, 0xff,
                              0x00, 0x00, 0xff, 0xff, 0x00, 0x00, 0x00, 0xff};
    const QList<qint64> hits = img.find(needle, md5Mask, int(sizeof(needle)));
    if (hits.size() != 1) {
        layout.evidence << QStringLiteral("Firma RSA: aree firmate non trovate");
        return;
    }
    const int count = ((img.u8(hits.first() + 1) & 0xf0) >> 4) + 1;
    const qint64 table = qint64(img.u16(hits.first() + 8)) | 0x10000;
    if (count > kMaxMd5Ranges) {
        layout.evidence << QStringLiteral("Firma RSA: %1 aree firmate, al massimo %2")
                               .arg(count)
                               .arg(kMaxMd5Ranges);
        return;
    }
    QList<ChecksumRange> ranges;
    for (int i = 0; i < count; ++i) {
        const auto r = img.range(img.u32(table + 4 * i), img.u32(table + 4 * (kMaxMd5Ranges + i)));
        if (!img.has(table, 8 * kMaxMd5Ranges) || !r) {
            layout.evidence << QStringLiteral("Firma RSA: area firmata %1 non valida").arg(i + 1);
            return;
        }
        ranges << *r;
    }
    layout.rsaSignature = signature;
    layout.rsaModulus = modulus;
    layout.rsaExponent = e;
    layout.md5Ranges = ranges;
    layout.evidence << QStringLiteral("Firma RSA a %1, chiave a %2, %3 aree firmate")
                           .arg(hexAddress(signature), hexAddress(modulus))
                           .arg(ranges.size());
}

QByteArray md5Of(const Reader &img, const QList<ChecksumRange> &ranges)
{
    QCryptographicHash md5(QCryptographicHash::Md5);
    for (const ChecksumRange &r : ranges)
        md5.addData(img.bytes(r.start, r.end - r.start + 1));
    return md5.result();
}

Layout findLayout(QByteArrayView image)
{
    const Reader img(image);
    Layout layout;
    layout.sizeOk = img.size() == k512KiB || img.size() == k1MiB;
    if (!layout.sizeOk) {
        layout.evidence << QStringLiteral(
                               "Dimensione %1 byte: non è un'immagine ME7 (512 KiB o 1 MiB)")
                               .arg(img.size());
        return layout;
    }
    layout.evidence << QStringLiteral("Dimensione %1 KiB").arg(img.size() / 1024);
    // A 512 KiB program on a 1 MiB chip (or a 512 KiB dump padded to 1 MiB) leaves the second
    // half erased, and its main program descriptor ends below it; the firmware then sums its
    // pages and finds its areas as a 512 KiB one does.
    layout.softwareSize = img.size();
    if (img.size() == k1MiB) {
        const QByteArrayView upperHalf = img.bytes(k512KiB, k1MiB - k512KiB);
        const bool erased
            = std::all_of(upperHalf.begin(), upperHalf.end(), [](char c) { return c == '\xff'; });
        const QList<qint64> descriptors = erased ? QList<qint64>() : findMainDescriptors(img);
        if (erased) {
            layout.softwareSize = k512KiB;
            layout.evidence << QStringLiteral(
                "Programma di 512 KiB, seconda metà cancellata (0xFF)");
        } else if (descriptors.size() == 1
                   && img.u32(descriptors.first() + 12) < kBaseAddress + k512KiB) {
            layout.softwareSize = k512KiB;
            layout.evidence << QStringLiteral("Programma di 512 KiB secondo il suo descrittore");
        }
    }
    findRomsys(img, layout);
    findMainData(img, layout);
    findMainProgram(img, layout);
    findMultipoint(img, layout);
    findRsa(img, layout);
    return layout;
}

bool recognised(const Layout &layout)
{
    return layout.sizeOk && layout.romsys && (layout.multipointTables > 0 || layout.mainValue >= 0);
}

ChecksumBlock single(const Reader &img,
                     const QString &kind,
                     const QString &label,
                     qint64 valueOffset,
                     quint32 computed,
                     QList<ChecksumRange> covered)
{
    ChecksumBlock block;
    block.kind = kind;
    block.label = label;
    block.covered = std::move(covered);
    block.valueOffset = valueOffset;
    block.stored = img.u32(valueOffset);
    block.computed = computed;
    block.valueSize = 4;
    block.ok = block.stored == computed;
    return block;
}

ChecksumBlock paired(const Reader &img,
                     const QString &kind,
                     const QString &label,
                     qint64 valueOffset,
                     quint32 computed,
                     QList<ChecksumRange> covered)
{
    ChecksumBlock block = single(img, kind, label, valueOffset, computed, std::move(covered));
    block.valueSize = 8;
    block.ok = block.ok && img.u32(valueOffset + 4) == ~computed;
    return block;
}

QList<ChecksumBlock> evaluate(const Reader &img, const Layout &layout)
{
    QList<ChecksumBlock> blocks;
    if (layout.romsys) {
        blocks << single(img, QStringLiteral("romsys-startup"), QStringLiteral("ROMSYS avvio"),
                         kRomsysStartup, quint32(img.u16(0x8000)) + img.u16(0xfffe),
                         {{0x8000, 0x8001}, {0xfffe, 0xffff}});
    }
    if (layout.paramValue >= 0) {
        const ChecksumRange &w = layout.paramWords;
        blocks << single(img, QStringLiteral("romsys-param-page"),
                         QStringLiteral("ROMSYS pagina parametri"), layout.paramValue,
                         quint32(img.u16(w.start)) + img.u16(w.end),
                         {{w.start, w.start + 1}, {w.end, w.end + 1}});
    }
    if (layout.crcValues) {
        quint32 seed = 0;
        for (int i = -1; i < layout.crcAreas.size(); ++i) {
            const bool pre = i < 0;
            if (pre && !layout.crcPreArea)
                continue;
            const ChecksumRange r = pre ? *layout.crcPreArea : layout.crcAreas.at(i).range;
            const quint32 crc = img.crc32(seed, r);
            if (!pre && layout.crcAreas.at(i).valueOffset >= 0) {
                QList<ChecksumRange> covered{r};
                if (layout.crcPreArea)
                    covered.prepend(*layout.crcPreArea);
                blocks << single(img, QStringLiteral("main-data-crc"),
                                 QStringLiteral("CRC dati principali %1").arg(i + 1),
                                 layout.crcAreas.at(i).valueOffset, crc, covered);
            }
            // Areas after a leading pre-area are chained: each CRC starts from the last.
            if (layout.crcPreArea)
                seed = crc;
        }
    }
    if (layout.dataSumOffset >= 0 && !layout.crcAreas.isEmpty()) {
        quint32 sum = 0;
        QList<ChecksumRange> covered;
        for (const CrcArea &area : layout.crcAreas) {
            sum += img.byteSum(area.range);
            covered << area.range;
        }
        blocks << paired(img, QStringLiteral("main-data-checksum"),
                         QStringLiteral("Somma dati principali"), layout.dataSumOffset, sum,
                         covered);
    }
    if (layout.rsaSignature >= 0) {
        ChecksumBlock block;
        block.kind = QStringLiteral("rsa-signature");
        block.label = QStringLiteral("Firma RSA (MD5)");
        block.covered = layout.md5Ranges;
        block.valueOffset = layout.rsaSignature;
        block.valueSize = kRsaBytes;
        block.computedBytes = md5Of(img, layout.md5Ranges);
        block.storedBytes = RsaSignature::recoverDigest(
            img.bytes(layout.rsaSignature, kRsaBytes).toByteArray(),
            img.bytes(layout.rsaModulus, kRsaBytes).toByteArray(), layout.rsaExponent, kMd5Bytes);
        if (block.storedBytes.isEmpty())
            block.storedBytes = QByteArray(kMd5Bytes, '\0'); // the signature says nothing
        block.stored = qFromBigEndian<quint32>(block.storedBytes.constData());
        block.computed = qFromBigEndian<quint32>(block.computedBytes.constData());
        block.ok = block.storedBytes == block.computedBytes;
        blocks << block;
    }
    if (layout.romsys) {
        quint32 sum = 0;
        QList<ChecksumRange> covered;
        const auto addPages = [&](qint64 from, qint64 to) {
            for (qint64 page = from; page + kProgramPage - 1 <= to; page += kProgramPage) {
                sum += img.u16(page) + img.u16(page + kProgramPage - 2);
                covered << ChecksumRange{page, page + 1}
                        << ChecksumRange{page + kProgramPage - 2, page + kProgramPage - 1};
            }
        };
        addPages(0, 0xffff);
        addPages(0x20000, layout.softwareSize - 1);
        blocks << single(img, QStringLiteral("romsys-program-pages"),
                         QStringLiteral("ROMSYS pagine di programma"), kRomsysProgramPages, sum,
                         covered);
    }
    if (layout.mainValue >= 0) {
        const quint32 sum = img.wordSum(layout.mainRanges[0], layout.mainValue)
                            + img.wordSum(layout.mainRanges[1], layout.mainValue);
        blocks << paired(img, QStringLiteral("main-program"),
                         QStringLiteral("Somma programma principale"), layout.mainValue, sum,
                         {layout.mainRanges[0], layout.mainRanges[1]});
    }
    int n = 0;
    for (const MultipointEntry &entry : layout.multipoint) {
        const qint64 value = entry.descriptor + 8;
        blocks << paired(img, QStringLiteral("multipoint"),
                         QStringLiteral("Multipoint %1").arg(++n), value,
                         img.wordSum(entry.range, value), {entry.range});
    }
    return blocks;
}

} // namespace

ChecksumRecognition Me7Checksums::recognise(QByteArrayView image) const
{
    const Layout layout = findLayout(image);
    return {recognised(layout), layout.evidence};
}

QList<ChecksumBlock> Me7Checksums::blocks(QByteArrayView image) const
{
    const Layout layout = findLayout(image);
    if (!recognised(layout))
        return {};
    return evaluate(Reader(image), layout);
}

namespace {

// A value written may lie in another block's area (a CRC inside a multipoint block), so the
// blocks are evaluated again until nothing is left to write. Some layouts have no fixed point
// (a sum whose range takes half of its own value, a value written over the layout itself):
// then nothing is offered, since writing some of the values would still leave an image the
// control unit refuses while looking corrected.
QList<ChecksumByteChange>
correct(QByteArrayView image, const Layout &layout, QList<ChecksumBlock> blocks)
{
    QByteArray work;
    for (int pass = 0; pass < kMaxCorrectionPasses; ++pass) {
        bool wrote = false;
        for (const ChecksumBlock &block : std::as_const(blocks)) {
            if (block.ok)
                continue;
            if (work.isEmpty())
                work = image.toByteArray();
            if (block.valueSize == 4) {
                work.replace(block.valueOffset, 4, le32(block.computed));
            } else if (block.valueSize == 8) {
                work.replace(block.valueOffset, 8, pair(block.computed));
            } else if (block.kind == QLatin1String("rsa-signature")) {
                // The manufacturer's private key is unknown: the image gets a key of its own
                // (derived from what it signs, so that the same image always gets the same
                // key). The key may lie in the signed areas, so the digest follows it.
                const RsaSignature::KeyPair key
                    = RsaSignature::generateKey(layout.rsaExponent, kRsaBytes, block.computedBytes);
                if (!key.ok)
                    continue;
                work.replace(layout.rsaModulus, kRsaBytes, key.modulus);
                const QByteArray signature
                    = RsaSignature::sign(key, md5Of(Reader(work), layout.md5Ranges));
                if (signature.isEmpty())
                    continue;
                work.replace(layout.rsaSignature, kRsaBytes, signature);
            } else {
                continue;
            }
            wrote = true;
        }
        if (!wrote)
            break;
        blocks = evaluate(Reader(work), layout);
    }
    if (work.isEmpty())
        return {};
    // A value may also lie in what the layout is read from (a descriptor, the code that names
    // an area): the corrected image is read afresh, as the next check will read it.
    const Layout corrected = findLayout(work);
    if (!recognised(corrected))
        return {};
    const QList<ChecksumBlock> after = evaluate(Reader(work), corrected);
    const bool allMatch = std::all_of(after.cbegin(), after.cend(),
                                      [](const ChecksumBlock &block) { return block.ok; });
    return allMatch ? changedRuns(image, work) : QList<ChecksumByteChange>();
}

} // namespace

QList<ChecksumByteChange> Me7Checksums::corrections(QByteArrayView image) const
{
    const Layout layout = findLayout(image);
    if (!recognised(layout))
        return {};
    return correct(image, layout, evaluate(Reader(image), layout));
}

ChecksumReport Me7Checksums::check(QByteArrayView image) const
{
    ChecksumReport report;
    const Layout layout = findLayout(image);
    report.evidence = layout.evidence;
    if (!recognised(layout))
        return report;
    report.module = shortName();
    report.blocks = evaluate(Reader(image), layout);
    report.corrections = correct(image, layout, report.blocks);
    return report;
}
