// tessamorvandi-cli checksum IMAGE [--fix OUT]: the checksum blocks of an image, and the image
// with every block corrected written to OUT (IMAGE itself is never written).
#include "cmd_checksum.h"

#include "checksums/checksummodule.h"
#include "clisupport.h"

#include <QByteArrayView>
#include <QJsonArray>
#include <QJsonObject>
#include <QSaveFile>

namespace {

Fields reportFields(const ChecksumReport &report)
{
    QJsonArray blocks;
    for (const ChecksumBlock &block : report.blocks)
        blocks.append(QJsonObject{{QStringLiteral("kind"), block.kind},
                                  {QStringLiteral("start"), block.start()},
                                  {QStringLiteral("end"), block.end()},
                                  {QStringLiteral("stored"), block.storedText()},
                                  {QStringLiteral("computed"), block.computedText()},
                                  {QStringLiteral("ok"), block.ok}});
    return {{QStringLiteral("module"), report.module},
            {QStringLiteral("ok"), report.allOk()},
            {QStringLiteral("blocks"), blocks}};
}

} // namespace

int runChecksum(const QStringList &args)
{
    const QString usage = QStringLiteral("usage: tessamorvandi-cli checksum IMAGE [--fix OUT]");
    QString path;
    QString out;
    for (int i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--fix")) {
            if (i + 1 >= args.size() || !out.isEmpty())
                return fail(usage);
            out = args.at(++i);
        } else if (path.isEmpty()) {
            path = args.at(i);
        } else {
            return fail(usage);
        }
    }
    if (path.isEmpty())
        return fail(usage);

    Firmware firmware;
    QString error;
    if (!loadImage(path, firmware, &error))
        return fail(error);
    const QByteArrayView image(reinterpret_cast<const char *>(firmware.data().data()),
                               qsizetype(firmware.size()));
    const ChecksumReport report = checkImage(image);
    if (!report.recognised())
        return fail(QStringLiteral("%1: no checksum module recognises this image").arg(path));
    if (out.isEmpty()) {
        printJson(reportFields(report));
        return 0;
    }

    if (report.uncorrectable())
        return fail(QStringLiteral("%1: the checksums cannot be corrected (%2 wrong blocks and no "
                                   "writes make them all match); nothing written")
                        .arg(path)
                        .arg(report.wrongBlocks()));
    const QByteArray corrected = applyChecksumChanges(image, report.corrections);
    QSaveFile file(out);
    if (!file.open(QIODevice::WriteOnly) || file.write(corrected) != corrected.size()
        || !file.commit())
        return fail(QStringLiteral("%1: cannot write (%2)").arg(out, file.errorString()));
    Fields fields = reportFields(checkImage(corrected));
    fields.append({QStringLiteral("corrected"), blocksTouched(report.blocks, report.corrections)});
    printJson(fields);
    return 0;
}
