// tessamorvandi-cli find IMAGE [--known DEFS] [--min-score N]: the places of an image that read
// like calibration tables, best first.
#include "clisupport.h"
#include "importers/definitionfile.h"
#include "model/firmwarefile.h"
#include "recognition/mapfinder.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

namespace {

const char FindUsage[] = "usage: tessamorvandi-cli find IMAGE [--known DEFS] [--min-score N]";

} // namespace

int runFind(const QStringList &args)
{
    QString imagePath;
    QString knownPath;
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
                knownPath = value;
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
    if (!knownPath.isEmpty()) {
        const DefinitionFileResult known = readDefinitionFile(
            knownPath, QByteArray::fromRawData(reinterpret_cast<const char *>(firmware.data()),
                                               qsizetype(firmware.size())));
        if (!known.error.isEmpty())
            return fail(known.error);
        options.known = known.maps;
    }
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
