// tessamorvandi-cli find IMAGE [--known DEFS] [--min-score N]: the places of an image that read
// like calibration tables, best first.
#include "clisupport.h"
#include "importers/definitionfile.h"
#include "model/firmwarefile.h"
#include "recognition/mapfinder.h"

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
    // Written while it is produced, keys in the order a QJsonObject keeps them: a JSON
    // document of every candidate would hold a second copy of the list at its largest.
    JsonStream out;
    out.beginObject().key(QLatin1StringView("candidates")).beginArray();
    for (const MapCandidate &c : result.candidates) {
        out.beginObject()
            .key(QLatin1StringView("columns"))
            .value(c.columns)
            .key(QLatin1StringView("dataType"))
            .value(c.element.organisation())
            .key(QLatin1StringView("elementSize"))
            .value(c.element.size)
            .key(QLatin1StringView("evidence"))
            .beginArray();
        for (const QString &line : c.evidence)
            out.value(line);
        out.endArray()
            .key(QLatin1StringView("float"))
            .value(c.element.kind == FinderElement::Float)
            .key(QLatin1StringView("littleEndian"))
            .value(c.element.littleEndian)
            .key(QLatin1StringView("rows"))
            .value(c.rows)
            .key(QLatin1StringView("score"))
            .value(std::round(c.score * 10.0) / 10.0)
            .key(QLatin1StringView("signed"))
            .value(c.element.kind == FinderElement::Signed)
            .key(QLatin1StringView("xAddress"))
            .value(c.xAddress)
            .key(QLatin1StringView("yAddress"))
            .value(c.yAddress)
            .key(QLatin1StringView("zAddress"))
            .value(c.zAddress)
            .endObject();
    }
    out.endArray().endObject();
    return finishOutput(out);
}
