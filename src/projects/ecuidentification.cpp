#include "ecuidentification.h"

#include "model/firmware.h"
#include "model/firmwareproject.h"

#include <QByteArrayView>
#include <QRegularExpression>

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

EcuIdentification identifyEcu(const uint8_t *bytes, qint64 length)
{
    EcuIdentification id;
    if (!bytes || length <= 0)
        return id;
    // Branch-free run counting: on real images printable and other bytes alternate
    // unpredictably, and a branch per byte would cost more than the rest of the scan.
    qint64 run = 0;
    for (qint64 i = 0; i < length; ++i) {
        const qint64 printable = qint64(uint8_t(bytes[i] - 0x20) < 0x5F);
        // A run that reaches the end of the image is never examined: only a byte outside
        // the printable range closes one.
        if ((printable ^ 1) & qint64(run >= MinimumRunLength)) {
            examineRun(
                QByteArrayView(reinterpret_cast<const char *>(bytes + i - run), qsizetype(run)),
                id);
            if (complete(id))
                break;
        }
        run = (run + 1) & -printable;
    }
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
