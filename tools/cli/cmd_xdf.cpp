#include "cmd_xdf.h"

#include "clisupport.h"
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

// The maps of a pack, an A2L / DAMOS description or an XDF, chosen by the file's suffix.
bool loadMaps(const QString &path,
              const QByteArray &image,
              QList<MapDefinition> *maps,
              QString *error)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (!QFileInfo(path).isFile()) {
        *error = QStringLiteral("%1: no such file").arg(path);
        return false;
    }
    if (suffix == QLatin1String("tvp")) {
        MapPackData pack;
        if (!readMapPack(path, pack)) {
            *error = QStringLiteral("%1: %2").arg(path, pack.errorMessage);
            return false;
        }
        if (!isCompatible(pack, image)) {
            *error = QStringLiteral("%1: the map pack does not belong to this image").arg(path);
            return false;
        }
        *maps = pack.maps;
    } else if (suffix == QLatin1String("xdf")) {
        const XdfParser::Result parsed = XdfParser::parse(path, image.size());
        *maps = parsed.maps;
        *error = parsed.errorMessage;
    } else {
        const A2LParser::Result parsed = A2LParser::parse(path);
        *maps = parsed.maps;
        *error = parsed.errorMessage;
    }
    if (maps->isEmpty()) {
        *error = QStringLiteral("%1: %2").arg(path, *error);
        return false;
    }
    return true;
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
    QList<MapDefinition> maps;
    if (!loadMaps(source, image, &maps, &error))
        return fail(error);
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
