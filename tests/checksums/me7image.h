#pragma once

// A synthetic ME7 image laid out as the family lays out its checksums, with contents chosen so
// that every value is known by hand: all bytes zero except the few words listed here.
#include <QByteArray>
#include <QtGlobal>

namespace me7image {

constexpr quint32 kBase = 0x800000;
constexpr qint64 kMultipointTable = 0x1e000;
constexpr qint64 kCodeArea = 0x1e800;
constexpr qint64 kMainDescriptor = 0x1f000;
constexpr qint64 kParamValue = 0x1ff00;
constexpr qint64 kCrcValues = 0x10400;
constexpr qint64 kDataSum = 0x10410;

// Hand sums (see seal()): startup 0x1111 + 0x2222; program pages add word 0 as well; the CRC32
// check values of "123456789", "abc" and "a"; their byte sum 477 + 294 + 97.
constexpr quint32 kStartup = 0x3333;
constexpr quint32 kProgramPages = 0x3334;
constexpr quint32 kParam = 0x0300;
constexpr quint32 kCrc[3] = {0xcbf43926, 0x352441c2, 0xe8b7be43};
constexpr quint32 kDataSumValue = 0x364;
constexpr quint32 kMultipoint[5] = {0x1, 0x0, 0x1235, 0x522f8, 0xdcb69};
constexpr quint32 kMainProgram = 0x48a2d;

inline void put16(QByteArray &image, qint64 offset, quint32 value)
{
    image[offset] = char(value & 0xff);
    image[offset + 1] = char((value >> 8) & 0xff);
}

inline void put32(QByteArray &image, qint64 offset, quint32 value)
{
    put16(image, offset, value & 0xffff);
    put16(image, offset + 2, value >> 16);
}

inline void putPair(QByteArray &image, qint64 offset, quint32 value)
{
    put32(image, offset, value);
    put32(image, offset + 4, ~value);
}

inline void putBytes(QByteArray &image, qint64 offset, const QByteArray &bytes)
{
    image.replace(offset, bytes.size(), bytes);
}

inline void putDescriptor(QByteArray &image, int entry, quint32 first, quint32 last, quint32 value)
{
    const qint64 d = kMultipointTable + 16 * entry;
    put32(image, d, first);
    put32(image, d + 4, last);
    putPair(image, d + 8, value);
}

// The code that loads an address as two 16-bit halves: prefix, low half, middle, high half.
inline void putLoad(QByteArray &image,
                    qint64 &at,
                    const QByteArray &prefix,
                    quint32 address,
                    const QByteArray &middle,
                    const QByteArray &suffix = {})
{
    putBytes(image, at, prefix);
    put16(image, at + prefix.size(), address & 0xffff);
    putBytes(image, at + prefix.size() + 2, middle);
    put16(image, at + prefix.size() + 2 + middle.size(), address >> 16);
    putBytes(image, at + prefix.size() + 4 + middle.size(), suffix);
    at += prefix.size() + 4 + middle.size() + suffix.size() + 2;
}

// Contents and layout, the stored values left zero.
inline QByteArray layout(qint64 size = 1024 * 1024)
{
    QByteArray image(size, '\0');
    put16(image, 0, 0x0001);
    put16(image, 0x8000, 0x1111);
    put16(image, 0xfffe, 0x2222);
    put32(image, 0x8010, kBase + kParamValue);
    put32(image, 0x8030, kBase + 0x10000);
    put32(image, 0x8034, kBase + 0x1fffe);
    put16(image, 0x10000, 0x0100);
    put16(image, 0x1fffe, 0x0200);
    putBytes(image, 0x10100, "123456789");
    putBytes(image, 0x10200, "abc");
    putBytes(image, 0x10300, "a");
    put16(image, 0x20010, 0x1234);
    put16(image, 0x20020, 0x0001);

    qint64 at = kCodeArea;
    for (quint32 start : {0x10100u, 0x10200u, 0x10300u})
        putLoad(image, at, QByteArray::fromHex("e6f8"), kBase + start, QByteArray::fromHex("e6f9"),
                QByteArray::fromHex("f2f4"));
    for (quint32 end : {0x10108u, 0x10202u, 0x10300u})
        putLoad(image, at, QByteArray::fromHex("109be6f4"), kBase + end,
                QByteArray::fromHex("e6f5"));
    for (int i = 0; i < 3; ++i)
        putLoad(image, at, QByteArray::fromHex("f6f50000e6f4"), kBase + kCrcValues + 4 * i,
                QByteArray::fromHex("e6f5"), QByteArray::fromHex("da00"));
    putLoad(image, at, QByteArray::fromHex("e10ce6f4"), kBase + kDataSum,
            QByteArray::fromHex("e6f5"), QByteArray::fromHex("da00"));

    put32(image, kMainDescriptor, kBase);
    put32(image, kMainDescriptor + 4, kBase + 0xfbff);
    put32(image, kMainDescriptor + 8, kBase + 0x20000);
    put32(image, kMainDescriptor + 12, kBase + quint32(size) - 1);

    putDescriptor(image, 0, 0, 0x3fff, 0);
    putDescriptor(image, 1, 0x4000, 0x7fff, 0);
    putDescriptor(image, 2, kBase + 0x20000, kBase + 0x2ffff, 0);
    putDescriptor(image, 3, kBase + 0x10400, kBase + 0x1041f, 0);
    putDescriptor(image, 4, kBase + 0x1e000, kBase + 0x1e04f, 0); // covers its own value
    put32(image, kMultipointTable + 5 * 16, 0xffffffff);
    put32(image, kMultipointTable + 5 * 16 + 4, 0xffffffff);
    return image;
}

// The layout with every stored value right.
inline QByteArray sealed(qint64 size = 1024 * 1024)
{
    QByteArray image = layout(size);
    put32(image, 0x8038, kStartup);
    put32(image, 0x803c, kProgramPages);
    put32(image, kParamValue, kParam);
    for (int i = 0; i < 3; ++i)
        put32(image, kCrcValues + 4 * i, kCrc[i]);
    putPair(image, kDataSum, kDataSumValue);
    for (int i = 0; i < 5; ++i)
        putPair(image, kMultipointTable + 16 * i + 8, kMultipoint[i]);
    putPair(image, size - 0x20, kMainProgram);
    return image;
}

// A 512 KiB image as a 1 MiB chip holds it, or as a dump padded to 1 MiB: the rest erased.
inline QByteArray erasedToOneMiB(QByteArray image)
{
    image.append(QByteArray(1024 * 1024 - image.size(), '\xff'));
    return image;
}

// A 512 KiB layout whose code names only where the main data CRCs and byte sum are stored, as
// many 512 KiB images do: the areas they cover are then the family's fixed ones. The values
// are left zero.
constexpr qint64 kFixedCrcValues = 0x6c7c0;
inline QByteArray fixedAreasLayout()
{
    QByteArray image = layout(512 * 1024);
    constexpr int areaLoads = 6 * 12; // the code that loads the areas' starts and ends
    image.replace(kCodeArea, areaLoads, QByteArray(areaLoads, '\0'));
    qint64 at = kCodeArea + areaLoads;
    for (int i = 0; i < 3; ++i)
        putLoad(image, at, QByteArray::fromHex("f6f50000e6f4"), kBase + kFixedCrcValues + 4 * i,
                QByteArray::fromHex("e6f5"), QByteArray::fromHex("da00"));
    putLoad(image, at, QByteArray::fromHex("e10ce6f4"), kBase + kFixedCrcValues + 16,
            QByteArray::fromHex("e6f5"), QByteArray::fromHex("da00"));
    return image;
}

// An RSA signature (as some ME7.1 images carry) over two areas: the CRC areas and the key
// itself. The signature lies where no other checksum looks, so the values above still hold.
constexpr qint64 kRsaSignature = 0x1a000;
constexpr qint64 kRsaModulus = 0x11000;
constexpr qint64 kRsaExponent = 0x11100;
constexpr qint64 kMd5Table = 0x11200;
constexpr qint64 kMd5Ranges[2][2] = {{0x10100, 0x1030f}, {0x11000, 0x1107f}};

// The code that names the signature, the key, the exponent and the hashed areas.
inline void putRsaLayout(QByteArray &image, quint32 exponent = 3)
{
    qint64 at = kCodeArea + 0x100;
    for (qint64 target : {kRsaSignature, kRsaModulus})
        putLoad(image, at, QByteArray::fromHex("80008840e6f4"), kBase + quint32(target),
                QByteArray::fromHex("e6f5"), QByteArray::fromHex("8850"));
    putLoad(image, at, QByteArray::fromHex("e0448840e6f4"), kBase + quint32(kRsaExponent),
            QByteArray::fromHex("e6f5"), QByteArray::fromHex("8850"));
    // Two areas: the count less one in bits 4 and 5 of the second byte, the table's page offset.
    putBytes(image, at,
             QByteArray::fromHex("e118000000f0f2f4"
                                 "0012"
                                 "f2f5000000f4"));
    for (int i = 0; i < 2; ++i) {
        put32(image, kMd5Table + 4 * i, kBase + quint32(kMd5Ranges[i][0]));
        put32(image, kMd5Table + 16 + 4 * i, kBase + quint32(kMd5Ranges[i][1]));
    }
    const char exponentBytes[4]
        = {char(exponent >> 24), char(exponent >> 16), char(exponent >> 8), char(exponent)};
    putBytes(image, kRsaExponent, QByteArray(exponentBytes, 4)); // big-endian
}

} // namespace me7image
