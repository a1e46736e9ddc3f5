#include "clisupport.h"

#include "importers/definitionfile.h"
#include "recognition/maptransfer.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSaveFile>

namespace {

QByteArray imageBytes(const Firmware &firmware)
{
    return QByteArray(reinterpret_cast<const char *>(firmware.data().data()),
                      qsizetype(firmware.size()));
}

QJsonObject reportJson(const TransferResult &r, TransferMode mode)
{
    QJsonArray maps;
    for (const TransferredMap &m : r.maps)
        maps.append(QJsonObject{{QStringLiteral("name"), m.name},
                                {QStringLiteral("status"), transferStatusName(m.status)},
                                {QStringLiteral("referenceAddress"), m.referenceAddress},
                                {QStringLiteral("targetAddress"), m.targetAddress},
                                {QStringLiteral("cells"), m.cells},
                                {QStringLiteral("evidence"), m.evidence}});
    QJsonArray ranges;
    for (const ByteRange &b : r.outsideRanges)
        ranges.append(QJsonObject{{QStringLiteral("start"), b.start}, {QStringLiteral("end"), b.end}});
    return {{QStringLiteral("mode"), transferModeName(mode)},
            {QStringLiteral("maps"), maps},
            {QStringLiteral("written"), r.writtenCount()},
            {QStringLiteral("outsideMaps"),
             QJsonObject{{QStringLiteral("bytes"), r.outsideBytes},
                         {QStringLiteral("blocks"), r.outsideBlocks},
                         {QStringLiteral("ranges"), ranges}}}};
}

} // namespace

int runTransfer(const QStringList &args)
{
    const QString usage = QStringLiteral("usage: tessamorvandi-cli transfer REF_ORI REF_MOD DEFS "
                                         "TARGET OUT [--mode values|difference|percent]");
    QStringList paths;
    TransferMode mode = TransferMode::Values;
    for (int i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--mode")) {
            if (i + 1 >= args.size() || !transferModeFromName(args.at(i + 1), &mode))
                return fail(usage);
            ++i;
        } else {
            paths.append(args.at(i));
        }
    }
    if (paths.size() != 5)
        return fail(usage);
    Firmware ori, mod, target;
    QString error;
    if (!loadImage(paths.at(0), ori, &error) || !loadImage(paths.at(1), mod, &error)
        || !loadImage(paths.at(3), target, &error))
        return fail(error);
    const QByteArray oriBytes = imageBytes(ori);
    const DefinitionFileResult definitions = readDefinitionFile(paths.at(2), oriBytes);
    if (!definitions.error.isEmpty())
        return fail(definitions.error);
    const TransferResult result = transferChanges(oriBytes, imageBytes(mod), definitions.maps,
                                                  imageBytes(target), mode);
    if (!result.error.isEmpty())
        return fail(result.error);
    const QJsonObject report = reportJson(result, mode);
    Fields fields;
    for (const char *key : {"mode", "written", "maps", "outsideMaps"})
        fields.append({QString::fromLatin1(key), report.value(QLatin1String(key))});
    if (result.writtenCount() == 0) {
        printJson(fields);
        return fail(QStringLiteral("no changed map could be placed in %1: nothing written")
                        .arg(paths.at(3)));
    }
    QSaveFile out(paths.at(4));
    if (!out.open(QIODevice::WriteOnly) || out.write(result.image) != result.image.size()
        || !out.commit())
        return fail(QStringLiteral("%1: cannot write (%2)").arg(paths.at(4), out.errorString()));
    return printResult(fields);
}
