#include "importers/definitionfile.h"

#include "importers/a2lparser.h"
#include "importers/xdfparser.h"
#include "model/mappack.h"

#include <QFileInfo>

DefinitionFileResult readDefinitionFile(const QString &path, const QByteArray &image)
{
    DefinitionFileResult result;
    if (!QFileInfo(path).isFile()) {
        result.error = QStringLiteral("%1: no such file").arg(path);
        return result;
    }
    if (path.endsWith(QLatin1String(".tvp"), Qt::CaseInsensitive)) {
        MapPackData pack;
        if (!readMapPack(path, pack))
            result.error = QStringLiteral("%1: %2").arg(path, pack.errorMessage);
        else if (!isCompatible(pack, image))
            result.error = QStringLiteral("%1: the map pack does not belong to this image").arg(path);
        else
            result.maps = pack.maps;
        return result;
    }
    if (QFileInfo(path).suffix().compare(QLatin1String("xdf"), Qt::CaseInsensitive) == 0) {
        const XdfParser::Result parsed = XdfParser::parse(path, image.size());
        if (parsed.maps.isEmpty())
            result.error = QStringLiteral("%1: %2").arg(
                path, parsed.errorMessage.isEmpty() ? QStringLiteral("no map") : parsed.errorMessage);
        result.maps = parsed.maps;
        for (const XdfParser::Note &note : parsed.notes)
            if (note.kind == XdfParser::Note::Skipped)
                result.skipped.append(QStringLiteral("%1: %2").arg(note.title, note.reason));
        return result;
    }
    const A2LParser::Result parsed = A2LParser::parse(path);
    if (parsed.maps.isEmpty())
        result.error = QStringLiteral("%1: %2").arg(path, parsed.errorMessage);
    result.maps = parsed.maps;
    return result;
}
