#include "wizardresult.h"

#include "model/firmwareproject.h"

void applyWizardResult(FirmwareProject &record, const WizardResult &result)
{
    static_cast<ProjectTexts &>(record) = result;
    record.fileName = result.fileName;
    record.fileExtension = result.fileExtension;
    record.fileSize = result.fileSize;
}

QString fileLengthText(qint64 size)
{
    return QStringLiteral("%1 byte  (%2 KB / %3 MB)")
        .arg(size)
        .arg(double(size) / 1024.0, 0, 'f', 1)
        .arg(double(size) / 1048576.0, 0, 'f', 2);
}

QString fileSuffixAfterLastDot(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : fileName.mid(dot + 1);
}
