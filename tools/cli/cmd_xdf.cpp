#include "cmd_xdf.h"

#include "clisupport.h"

#include "importers/definitionfile.h"
#include "importers/a2lparser.h"
#include "importers/xdfparser.h"
#include "importers/xdfwriter.h"
#include "model/mappack.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace {

const QString Usage = QStringLiteral(
    "usage: tessamorvandi-cli xdf FILE [IMAGE] | xdf --export PACK|A2L|XDF IMAGE OUT");

QString noteKind(XdfParser::Note::Kind kind)
{
    switch (kind) {
    case XdfParser::Note::RawValues:
        return QStringLiteral("rawValues");
    case XdfParser::Note::NotImported:
        return QStringLiteral("notImported");
    case XdfParser::Note::IndexAxis:
        return QStringLiteral("indexAxis");
    default:
        return QStringLiteral("skipped");
    }
}

int exportXdf(const QStringList &args)
{
    if (args.size() != 4)
        return fail(Usage);
    const QString &source = args.at(1);
    const QString &imagePath = args.at(2);
    const QString &out = args.at(3);
    Firmware firmware;
    QString error;
    if (!loadImage(imagePath, firmware, &error))
        return fail(error);
    const QByteArray image = QByteArray::fromRawData(
        reinterpret_cast<const char *>(firmware.data().data()), qsizetype(firmware.size()));
    const DefinitionFileResult read = readDefinitionFile(source, image);
    if (!read.error.isEmpty())
        return fail(read.error);
    const QList<MapDefinition> &maps = read.maps;
    QStringList skipped;
    if (!XdfWriter::writeFile(out, maps, QFileInfo(imagePath).completeBaseName(), image.size(),
                              &error, &skipped))
        return fail(QStringLiteral("%1: cannot write (%2)").arg(out, error));
    return printResult({{QStringLiteral("file"), out},
                        {QStringLiteral("maps"), qint64(maps.size() - skipped.size())},
                        {QStringLiteral("skipped"), QJsonArray::fromStringList(skipped)}});
}

} // namespace

int runXdf(const QStringList &args)
{
    if (args.value(0) == QLatin1String("--export"))
        return exportXdf(args);
    if (args.size() > 2 || args.value(0).startsWith(u'-'))
        return fail(Usage);
    qint64 imageSize = -1;
    if (args.size() == 2) {
        FirmwareFile image;
        QString error;
        if (!loadImage(args.at(1), image, &error))
            return fail(error);
        imageSize = qint64(image.size());
    }
    const XdfParser::Result result = XdfParser::parse(args.at(0), imageSize);
    if (result.maps.isEmpty())
        return fail(QStringLiteral("%1: %2").arg(args.at(0), result.errorMessage));
    JsonStream out;
    out.beginObject();
    writeMaps(out, result.maps, true);
    out.key(QLatin1StringView("notes")).beginArray();
    for (const XdfParser::Note &note : result.notes)
        out.value(QJsonObject{{QStringLiteral("kind"), noteKind(note.kind)},
                              {QStringLiteral("title"), note.title},
                              {QStringLiteral("reason"), note.reason}});
    out.endArray();
    out.key(QLatin1StringView("error")).value(result.errorMessage);
    out.endObject();
    return finishOutput(out);
}
