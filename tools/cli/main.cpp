// tessamorvandi-cli: batch work on firmware images without the GUI, on the same library code.
// Every command prints one JSON object on success; on failure one line on stderr, exit 1.
#include "clisupport.h"
#include "cmd_driver.h"
#include "importers/a2lparser.h"
#include "importers/olsparser.h"
#include "model/fingerprint.h"
#include "model/firmware.h"
#include "model/mappack.h"
#include "projects/comparestatistics.h"
#include "projects/ecuidentification.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonObject>
#include <QSaveFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QPair>
#include <QStringList>
#include <QTextStream>

#include <cstdio>
#include <functional>
#include <map>

int runScan(const QStringList &args); // cmd_scan.cpp

namespace {

struct Command
{
    const char *usage;
    const char *summary;
    int minArgs;
    int maxArgs;
    std::function<int(const QStringList &)> run;
};

int runInfo(const QStringList &args)
{
    Firmware firmware;
    QString error;
    if (!loadImage(args.at(0), firmware, &error))
        return fail(error);
    QJsonArray warnings;
    for (const std::string &text : firmware.loadWarnings())
        warnings.append(QString::fromStdString(text));
    const EcuIdentification id = identifyEcu(firmware);
    const QJsonObject ecu{{QStringLiteral("ecuFamily"), id.ecuFamily},
                          {QStringLiteral("softwareNumber"), id.softwareNumber},
                          {QStringLiteral("hardwareNumber"), id.hardwareNumber},
                          {QStringLiteral("calibrationNumber"), id.calibrationNumber},
                          {QStringLiteral("partNumber"), id.partNumber},
                          {QStringLiteral("engineCode"), id.engineCode}};
    printJson({{QStringLiteral("file"), QString::fromStdString(firmware.fileName())},
               {QStringLiteral("format"),
                isIntelHex(firmware) ? QStringLiteral("intel-hex") : QStringLiteral("raw")},
               {QStringLiteral("size"), qint64(firmware.size())},
               {QStringLiteral("sha256"), imageFingerprint(firmware.data())},
               {QStringLiteral("ecu"), ecu},
               {QStringLiteral("warnings"), warnings}});
    return 0;
}

int runMapPack(const QStringList &args)
{
    MapPackData pack;
    if (!readMapPack(args.at(0), pack))
        return fail(QStringLiteral("%1: %2").arg(args.at(0), pack.errorMessage));
    QJsonArray maps;
    for (const MapDefinition &map : std::as_const(pack.maps))
        maps.append(toJson(map));
    Fields fields{{QStringLiteral("formatVersion"), pack.formatVersion},
                  {QStringLiteral("firmwareSize"), double(pack.firmwareSize)},
                  {QStringLiteral("firmwareSha256"), QString::fromLatin1(pack.firmwareSha256.toHex())},
                  {QStringLiteral("maps"), maps}};
    if (args.size() > 1) {
        Firmware firmware;
        QString error;
        if (!loadImage(args.at(1), firmware, &error))
            return fail(error);
        const QByteArray image(reinterpret_cast<const char *>(firmware.data().data()),
                               qsizetype(firmware.size()));
        fields.append({QStringLiteral("compatible"), isCompatible(pack, image)});
    }
    printJson(fields);
    return 0;
}

int runConvert(const QStringList &args)
{
    Firmware firmware;
    QString error;
    if (!loadImage(args.at(0), firmware, &error))
        return fail(error);
    if (!firmware.save(args.at(1).toStdString()))
        return fail(QStringLiteral("%1: cannot write (%2)")
                        .arg(args.at(1), QString::fromStdString(firmware.errorString())));
    printJson({{QStringLiteral("file"), args.at(1)},
               {QStringLiteral("size"), qint64(firmware.size())},
               {QStringLiteral("sha256"), imageFingerprint(firmware.data())}});
    return 0;
}

int runCompare(const QStringList &args)
{
    Firmware ori, mod;
    QString error;
    if (!loadImage(args.at(0), ori, &error) || !loadImage(args.at(1), mod, &error))
        return fail(error);
    if (ori.size() != mod.size())
        return fail(QStringLiteral("ORI and MOD differ in size (ORI: %1 bytes, MOD: %2 bytes)")
                        .arg(qulonglong(ori.size()))
                        .arg(qulonglong(mod.size())));
    const CompareStatistics statistics =
        compareImages(reinterpret_cast<const char *>(ori.data().data()),
                      reinterpret_cast<const char *>(mod.data().data()), qint64(ori.size()));
    const QJsonObject json = compareStatisticsJson(statistics, qint64(ori.size()), qint64(mod.size()));
    Fields fields;
    for (const char *key : {"oriSize", "modSize", "differingBytes", "differingBits", "changeBlocks",
                            "firstChange", "lastChange", "affectedInterval", "differencePercent",
                            "similarityPercent"})
        fields.append({QString::fromLatin1(key), json.value(QLatin1String(key))});
    printJson(fields);
    return 0;
}

int runA2l(const QStringList &args)
{
    const A2LParser::Result result = A2LParser::parse(args.at(0));
    if (result.maps.isEmpty())
        return fail(QStringLiteral("%1: %2").arg(args.at(0), result.errorMessage));
    Fields o;
    o.append({QStringLiteral("maps"), QJsonValue(mapsJson(result.maps))});
    o.append({QStringLiteral("error"), QJsonValue(result.errorMessage)});
    printJson(o);
    return 0;
}

int runOls(const QStringList &args)
{
    QString path;
    QString firmwareOut;
    for (int i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--firmware-out")) {
            if (i + 1 >= args.size())
                return fail(QStringLiteral("--firmware-out needs a file name"));
            firmwareOut = args.at(++i);
        } else if (path.isEmpty()) {
            path = args.at(i);
        } else {
            return fail(QStringLiteral("usage: tessamorvandi-cli ols FILE [--firmware-out OUT]"));
        }
    }
    if (path.isEmpty())
        return fail(QStringLiteral("usage: tessamorvandi-cli ols FILE [--firmware-out OUT]"));
    const OLSParser::Result result = OLSParser::parse(path);
    Fields o;
    o.append({QStringLiteral("valid"), QJsonValue(result.valid)});
    o.append({QStringLiteral("vendorKnown"), QJsonValue(result.vendorKnown)});
    o.append({QStringLiteral("littleEndian"), QJsonValue(result.littleEndian)});
    o.append({QStringLiteral("vendor"), QJsonValue(result.vendor)});
    o.append({QStringLiteral("projectName"), QJsonValue(result.projectName)});
    o.append({QStringLiteral("firmwareSize"), QJsonValue(qint64(result.firmware.size()))});
    const QString sha256 = result.firmware.isEmpty() ? QString() : imageFingerprint(result.firmware);
    o.append({QStringLiteral("firmwareSha256"), QJsonValue(sha256)});
    o.append({QStringLiteral("maps"), QJsonValue(mapsJson(result.maps))});
    o.append({QStringLiteral("error"), QJsonValue(result.error)});
    const bool ok = result.valid && !result.firmware.isEmpty();
    if (ok && !firmwareOut.isEmpty()) {
        QSaveFile out(firmwareOut);
        if (!out.open(QIODevice::WriteOnly) || out.write(result.firmware) != result.firmware.size()
            || !out.commit()) {
            printJson(o);
            return fail(
                QStringLiteral("%1: cannot write (%2)").arg(firmwareOut, out.errorString()));
        }
    }
    printJson(o);
    return ok ? 0 : 1;
}

// Subcommands by name; later features add their own entries here.
const std::map<QString, Command> &commands()
{
    static const std::map<QString, Command> table = {
        {QStringLiteral("info"),
         {"info FILE", "size, format, SHA-256 and ECU identification of a firmware image", 1, 1,
          runInfo}},
        {QStringLiteral("a2l"),
         {"a2l FILE", "map definitions described by an A2L / DAMOS file", 1, 1, runA2l}},
        {QStringLiteral("ols"),
         {"ols FILE [--firmware-out OUT]",
          "firmware and maps of a WinOLS project; OUT receives the firmware", 1, 3, runOls}},
        {QStringLiteral("mappack"),
         {"mappack PACK [IMAGE]",
          "the maps of a .tvp map pack; with IMAGE, whether the pack fits that image", 1, 2,
          runMapPack}},
        {QStringLiteral("convert"),
         {"convert FILE OUT", "write the image of FILE (raw or Intel HEX) as raw binary", 2, 2,
          runConvert}},
        {QStringLiteral("compare"),
         {"compare ORI MOD", "byte and bit differences of a modified image from its original", 2,
          2, runCompare}},
        {QStringLiteral("driver"),
         {"driver FILE | driver build IMAGE MAPS OUT",
          "a recognition driver as JSON; build: a driver from an image and its maps (.tvp or "
          "A2L / DAMOS)",
          1, 4, runDriver}},
        {QStringLiteral("scan"),
         {"scan IMAGE DRIVER", "the maps of a recognition driver found in an image", 2, 2,
          runScan}},
    };
    return table;
}

void printHelp()
{
    QTextStream out(stdout);
    out << "usage: tessamorvandi-cli COMMAND [ARGS]\n\ncommands:\n";
    for (const auto &[name, command] : commands())
        out << "  " << QString::fromLatin1(command.usage).leftJustified(28) << ' '
            << QString::fromLatin1(command.summary) << '\n';
    out << "\nOn success one JSON object is printed; on failure one line goes to stderr and the "
           "exit status is 1.\n";
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessamorvandi-cli"));
    QStringList args = QCoreApplication::arguments().mid(1);
    // A failure never writes to stdout, so scripts can trust whatever appears there.
    if (args.isEmpty())
        return fail(QStringLiteral("no command given (see --help)"));
    const QString name = args.takeFirst();
    if (name == QLatin1String("--help") || name == QLatin1String("-h")
        || name == QLatin1String("help")) {
        printHelp();
        return 0;
    }
    const auto it = commands().find(name);
    if (it == commands().end())
        return fail(QStringLiteral("unknown command '%1' (see --help)").arg(name));
    const Command &command = it->second;
    if (args.size() < command.minArgs || args.size() > command.maxArgs)
        return fail(
            QStringLiteral("usage: tessamorvandi-cli %1").arg(QString::fromLatin1(command.usage)));
    return command.run(args);
}
