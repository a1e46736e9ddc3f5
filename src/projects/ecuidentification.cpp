#include "ecuidentification.h"

#include "model/firmware.h"
#include "model/firmwareproject.h"

#include <QByteArrayView>
#include <QRegularExpression>
#include <QtEndian>

#include <cstring>

namespace {

constexpr qsizetype MinimumRunLength = 6;

struct Patterns
{
    QRegularExpression family{QStringLiteral(
        "\\b(EDC15[A-Z0-9.]*|EDC16[A-Z0-9.]*|EDC17[A-Z0-9.]*|MED9(?:\\.\\d+)*|MED17(?:\\.\\d+)*"
        "|MEVD17(?:\\.\\d+)*|ME7(?:\\.\\d+)*|ME9(?:\\.\\d+)*|MG1[A-Z0-9]*|MD1[A-Z0-9]*)\\b")};
    QRegularExpression softwareCalibration{QStringLiteral("(1037\\d{6})(P[A-Z0-9]{7,8})")};
    QRegularExpression hardware{QStringLiteral("\\b(0261\\d{6,8}|0281\\d{6,8})\\b")};
    QRegularExpression part{
        QStringLiteral("\\b([A-Z0-9]{3,5}906[A-Z0-9]{5,8}[A-Z]{0,3}(?:\\s+[0-9]{3,5})?)\\b")};
    QRegularExpression engine{QStringLiteral("\\b[A-Z]{4}\\b")};

    Patterns()
    {
        for (QRegularExpression *re : {&family, &softwareCalibration, &hardware, &part, &engine})
            re->optimize();
    }
};

const Patterns &patterns()
{
    static const Patterns p;
    return p;
}

bool contains(QByteArrayView run, const char *needle)
{
    return run.indexOf(QByteArrayView(needle)) >= 0;
}

// Cheap byte tests that every match of the matching expression needs; most runs of a
// real image fail them, which spares a regular expression per run.
bool mayHoldFamily(QByteArrayView run)
{
    return contains(run, "EDC1") || contains(run, "ME") || contains(run, "MG1")
           || contains(run, "MD1");
}

bool mayHoldEngineCode(QByteArrayView run)
{
    int upper = 0;
    for (char c : run) {
        upper = (c >= 'A' && c <= 'Z') ? upper + 1 : 0;
        if (upper >= 4)
            return true;
    }
    return false;
}

QString capture(const QRegularExpression &re, const QString &text, int group)
{
    const QRegularExpressionMatch m = re.match(text);
    return m.hasMatch() ? m.captured(group) : QString();
}

void examineRun(QByteArrayView run, EcuIdentification &id)
{
    const Patterns &p = patterns();
    QString text; // made only when some expression needs it
    auto textOf = [&]() -> const QString & {
        if (text.isNull())
            text = QString::fromLatin1(run.data(), run.size());
        return text;
    };
    if (id.ecuFamily.isEmpty() && mayHoldFamily(run))
        id.ecuFamily = capture(p.family, textOf(), 1);
    if ((id.softwareNumber.isEmpty() || id.calibrationNumber.isEmpty()) && contains(run, "1037")) {
        const QRegularExpressionMatch m = p.softwareCalibration.match(textOf());
        if (m.hasMatch()) {
            id.softwareNumber = m.captured(1);
            id.calibrationNumber = m.captured(2);
        }
    }
    if (id.hardwareNumber.isEmpty() && (contains(run, "0261") || contains(run, "0281")))
        id.hardwareNumber = capture(p.hardware, textOf(), 1);
    if (id.partNumber.isEmpty() && contains(run, "906"))
        id.partNumber = capture(p.part, textOf(), 1);
    if (id.engineCode.isEmpty() && mayHoldEngineCode(run))
        id.engineCode = capture(p.engine, textOf(), 0);
}

bool complete(const EcuIdentification &id)
{
    return !id.ecuFamily.isEmpty() && !id.softwareNumber.isEmpty()
           && !id.calibrationNumber.isEmpty() && !id.hardwareNumber.isEmpty()
           && !id.partNumber.isEmpty() && !id.engineCode.isEmpty();
}

} // namespace

namespace {

// One bit per byte of the 64 at p, bit k for byte k: set when the byte is printable
// (0x20..0x7E). Eight bytes at a time in a 64-bit word, without a branch.
quint64 printableMask(const uint8_t *p)
{
    constexpr quint64 Ones = 0x0101010101010101ull;
    constexpr quint64 High = 0x8080808080808080ull;
    quint64 mask = 0;
    for (int word = 0; word < 8; ++word) {
        const quint64 x = qFromLittleEndian<quint64>(p + 8 * word);
        const quint64 low7 = x & ~High;
        const quint64 atLeast20 = ((low7 | High) - 0x20 * Ones) & High;
        const quint64 atMost7E = ((0x7E * Ones | High) - low7) & High;
        const quint64 printable = atLeast20 & atMost7E & ~x; // bytes from 0x80 up are not
        // Gathers the eight high bits into one byte, byte k's bit to bit k.
        mask |= (((printable >> 7) * 0x0102040810204080ull) >> 56) << (8 * word);
    }
    return mask;
}

} // namespace

void forEachPrintableRun(const uint8_t *bytes,
                         qint64 length,
                         const std::function<bool(qint64, qint64)> &visit)
{
    if (!bytes || length <= 0)
        return;
    constexpr int L = MinimumRunLength;
    qint64 run = 0; // printable bytes just before i
    qint64 i = 0;
    // 64 bytes at a time, from their printable bits: in code, printable and other bytes
    // alternate unpredictably, and a branch per byte would cost more than the rest of the
    // scan. Only a byte outside the printable range closes a run, so one that reaches the end
    // of the image is never handed over.
    for (; i + 64 <= length; i += 64) {
        const quint64 mask = printableMask(bytes + i);
        if (mask == ~quint64(0)) {
            run += 64;
            continue;
        }
        // The run going on at the block's start closes at its first non-printable byte.
        const int first = int(qCountTrailingZeroBits(~mask));
        if (run + first >= L && !visit(i + first - (run + first), run + first))
            return;
        // Bit k: bytes k .. k+L-1 are printable, so a long run starts at the lowest such k
        // after the last closed run.
        quint64 starts = mask;
        for (int k = 1; k < L; ++k)
            starts &= mask >> k;
        starts = first >= 63 ? 0 : starts & (~quint64(0) << (first + 1));
        while (starts) {
            const int start = int(qCountTrailingZeroBits(starts));
            const int size = int(qCountTrailingZeroBits(~(mask >> start)));
            if (start + size >= 64)
                break; // goes on into the next block
            if (!visit(i + start, size))
                return;
            const int next = start + size + 1;
            starts = next >= 64 ? 0 : starts & (~quint64(0) << next);
        }
        run = qCountLeadingZeroBits(~mask); // printable bytes at the block's end
    }
    for (; i < length; ++i) {
        const qint64 printable = qint64(uint8_t(bytes[i] - 0x20) < 0x5F);
        if ((printable ^ 1) & qint64(run >= L)) {
            if (!visit(i - run, run))
                return;
        }
        run = (run + 1) & -printable;
    }
}

EcuIdentification identifyEcu(const uint8_t *bytes, qint64 length)
{
    EcuIdentification id;
    forEachPrintableRun(bytes, length, [bytes, &id](qint64 start, qint64 run) {
        examineRun(QByteArrayView(reinterpret_cast<const char *>(bytes + start), qsizetype(run)),
                   id);
        return !complete(id);
    });
    return id;
}

EcuIdentification identifyEcu(const Firmware &firmware)
{
    return identifyEcu(firmware.data().data(), qint64(firmware.size()));
}

void applyIdentification(FirmwareProject &record, const EcuIdentification &identification)
{
    record.ecu = identification.ecuFamily;
    record.software = identification.softwareNumber;
    record.calibration = identification.calibrationNumber;
    record.hardware = identification.hardwareNumber;
    record.upgrade = identification.upgrade;
    record.ecuNumber = identification.partNumber;
    record.engineCode = identification.engineCode;
}
