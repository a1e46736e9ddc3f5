// tessamorvandi-cli scan IMAGE DRIVER: the maps of a driver found in an image, with the
// category suggestions of the recognised ones.
#include "clisupport.h"
#include "recognition/driverfile.h"
#include "recognition/driverscanner.h"
#include "recognition/mapcategory.h"

#include <QJsonObject>

namespace {

QJsonObject matchJson(const DriverMapMatch &match)
{
    return QJsonObject{{QStringLiteral("mapKey"), match.mapKey},
                       {QStringLiteral("description"), match.description},
                       {QStringLiteral("unit"), match.unit},
                       {QStringLiteral("compuMethod"), match.compuMethod},
                       {QStringLiteral("displayName"), match.displayName},
                       {QStringLiteral("category"), match.category},
                       {QStringLiteral("enabled"), match.enabled},
                       {QStringLiteral("excluded"), match.excluded},
                       {QStringLiteral("refZAddress"), match.refZAddress},
                       {QStringLiteral("refXAddress"), match.refXAddress},
                       {QStringLiteral("refYAddress"), match.refYAddress},
                       {QStringLiteral("zAddress"), match.zAddress},
                       {QStringLiteral("xAddress"), match.xAddress},
                       {QStringLiteral("yAddress"), match.yAddress},
                       {QStringLiteral("rows"), match.rows},
                       {QStringLiteral("columns"), match.columns},
                       {QStringLiteral("zElementSize"), match.zElementSize},
                       {QStringLiteral("xElementSize"), match.xElementSize},
                       {QStringLiteral("yElementSize"), match.yElementSize},
                       {QStringLiteral("confidence"), match.confidence},
                       {QStringLiteral("zFound"), match.zFound},
                       {QStringLiteral("xFound"), match.xFound},
                       {QStringLiteral("yFound"), match.yFound},
                       {QStringLiteral("recognised"), match.recognised},
                       {QStringLiteral("status"), match.status}};
}

QJsonObject suggestionJson(const CategorySuggestion &suggestion)
{
    return QJsonObject{{QStringLiteral("mapKey"), suggestion.mapKey},
                       {QStringLiteral("description"), suggestion.description},
                       {QStringLiteral("unit"), suggestion.unit},
                       {QStringLiteral("compuMethod"), suggestion.compuMethod},
                       {QStringLiteral("displayName"), suggestion.displayName},
                       {QStringLiteral("zAddress"), suggestion.zAddress},
                       {QStringLiteral("xAddress"), suggestion.xAddress},
                       {QStringLiteral("yAddress"), suggestion.yAddress},
                       {QStringLiteral("rows"), suggestion.rows},
                       {QStringLiteral("columns"), suggestion.columns},
                       {QStringLiteral("confidence"), suggestion.confidence},
                       {QStringLiteral("status"), suggestion.status},
                       {QStringLiteral("category"), suggestion.category},
                       {QStringLiteral("priority"), suggestion.priority}};
}

} // namespace

int runScan(const QStringList &args)
{
    Firmware firmware;
    QString error;
    if (!loadImage(args.at(0), firmware, &error))
        return fail(error);
    Driver driver;
    if (!loadDriverFile(args.at(1), driver, &error))
        return fail(QStringLiteral("%1: %2").arg(args.at(1), error));

    // The per-map log lines would bury the one JSON object the command prints.
    QLoggingCategory::setFilterRules(
        QStringLiteral("%1=false").arg(QLatin1String(lcDriverScanner().categoryName())));
    const QByteArray image(reinterpret_cast<const char *>(firmware.data().data()),
                           qsizetype(firmware.data().size()));
    const DriverScanResult result = scanDriver(image, driver);

    QJsonArray matches;
    for (const DriverMapMatch &match : result.matches)
        matches.append(matchJson(match));
    QJsonArray suggestions;
    for (const CategorySuggestion &suggestion : buildCategorySuggestions(result))
        suggestions.append(suggestionJson(suggestion));
    printJson({{QStringLiteral("mapCount"), result.mapCount},
               {QStringLiteral("recognisedCount"), result.recognisedCount},
               {QStringLiteral("averageConfidence"), result.averageConfidence},
               {QStringLiteral("foreignImage"), result.foreignImage},
               {QStringLiteral("imageVerdict"), result.imageVerdict},
               {QStringLiteral("matches"), matches},
               {QStringLiteral("suggestions"), suggestions}});
    return 0;
}
