// tessamorvandi-cli find IMAGE [--known DEFS] [--min-score N]: the places of an image that read
// like calibration tables, best first.
#include "clisupport.h"
#include "importers/a2lparser.h"
#include "importers/xdfparser.h"
#include "model/firmwarefile.h"
#include "model/mappack.h"
#include "recognition/mapfinder.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

namespace {

const char FindUsage[] = "usage: tessamorvandi-cli find IMAGE [--known DEFS] [--min-score N]";

// The maps a definition file describes: a map pack, an XDF or an A2L / DAMOS file.
bool readKnown(const QString &path, QList<MapDefinition> &maps, QString *error)
{
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.compare(QLatin1String("xdf"), Qt::CaseInsensitive) == 0) {
        const XdfParser::Result result = XdfParser::parse(path, -1);
        if (!result.errorMessage.isEmpty()) {
            *error = QStringLiteral("%1: %2").arg(path, result.errorMessage);
            return false;
        }
        maps = result.maps;
        return true;
    }
    if (suffix.compare(QLatin1String("a2l"), Qt::CaseInsensitive) == 0) {
        const A2LParser::Result result = A2LParser::parse(path);
        if (result.maps.isEmpty()) {
            *error = QStringLiteral("%1: %2").arg(path, result.errorMessage);
            return false;
        }
        maps = result.maps;
        return true;
    }
    MapPackData pack;
    if (!readMapPack(path, pack)) {
        *error = QStringLiteral("%1: %2").arg(path, pack.errorMessage);
        return false;
    }
    maps = pack.maps;
    return true;
}

} // namespace

int runFind(const QStringList &args)
{
    QString imagePath;
    MapFinderOptions options;
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("--known") || arg == QLatin1String("--min-score")) {
            if (i + 1 >= args.size())
                return fail(QStringLiteral("%1 needs a value").arg(arg));
            const QString value = args.at(++i);
            if (arg == QLatin1String("--min-score")) {
                bool ok = false;
                options.minimumScore = value.toDouble(&ok);
                if (!ok || options.minimumScore < 0 || options.minimumScore > 100)
                    return fail(QStringLiteral("--min-score: '%1' is not a score from 0 to 100")
                                    .arg(value));
            } else {
                QString error;
                if (!readKnown(value, options.known, &error))
                    return fail(error);
            }
        } else if (imagePath.isEmpty() && !arg.startsWith(QLatin1String("--"))) {
            imagePath = arg;
        } else {
            return fail(QString::fromLatin1(FindUsage));
        }
    }
    if (imagePath.isEmpty())
        return fail(QString::fromLatin1(FindUsage));
    FirmwareFile firmware;
    QString error;
    if (!loadImage(imagePath, firmware, &error))
        return fail(error);
    const MapFinderResult result = findMaps(firmware.data(), qint64(firmware.size()), options);
    QJsonArray candidates;
    for (const MapCandidate &c : result.candidates) {
        candidates.append(
            QJsonObject{{QStringLiteral("zAddress"), c.zAddress},
                        {QStringLiteral("rows"), c.rows},
                        {QStringLiteral("columns"), c.columns},
                        {QStringLiteral("dataType"), c.element.organisation()},
                        {QStringLiteral("elementSize"), c.element.size},
                        {QStringLiteral("signed"), c.element.kind == FinderElement::Signed},
                        {QStringLiteral("float"), c.element.kind == FinderElement::Float},
                        {QStringLiteral("littleEndian"), c.element.littleEndian},
                        {QStringLiteral("xAddress"), c.xAddress},
                        {QStringLiteral("yAddress"), c.yAddress},
                        {QStringLiteral("score"), std::round(c.score * 10.0) / 10.0},
                        {QStringLiteral("evidence"), QJsonArray::fromStringList(c.evidence)}});
    }
    return printResult({{QStringLiteral("candidates"), candidates}});
}
