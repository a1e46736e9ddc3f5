// tessamorvandi-cli: batch work on firmware images without the GUI, on the same library code.
// Every command prints one JSON object on success; on failure one line on stderr, exit 1.
#include "clisupport.h"
#include "cmd_driver.h"
#include "cmd_checksum.h"
#include "cmd_xdf.h"
#include "importers/a2lparser.h"
#include "importers/olsparser.h"
#include "model/fingerprint.h"
#include "model/firmware.h"
#include "model/firmwarefile.h"
#include "model/mappack.h"
#include "importers/definitionfile.h"
#include "projects/comparestatistics.h"
#include "projects/mapcomparison.h"
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
int runTransfer(const QStringList &args); // cmd_transfer.cpp
int runFind(const QStringList &args); // cmd_find.cpp

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
    FirmwareFile firmware;
    QString error;
    if (!loadImage(args.at(0), firmware, &error))
        return fail(error);
    QJsonArray warnings;
    for (const std::string &text : firmware.loadWarnings())
        warnings.append(QString::fromStdString(text));
    const EcuIdentification id = identifyEcu(firmware.data(), qint64(firmware.size()));
    const QJsonObject ecu{{QStringLiteral("ecuFamily"), id.ecuFamily},
                          {QStringLiteral("softwareNumber"), id.softwareNumber},
                          {QStringLiteral("hardwareNumber"), id.hardwareNumber},
                          {QStringLiteral("calibrationNumber"), id.calibrationNumber},
                          {QStringLiteral("partNumber"), id.partNumber},
                          {QStringLiteral("engineCode"), id.engineCode}};
    return printResult(
        {{QStringLiteral("file"), QString::fromStdString(firmware.fileName())},
         {QStringLiteral("format"),
          firmware.isIntelHex() ? QStringLiteral("intel-hex") : QStringLiteral("raw")},
         {QStringLiteral("size"), qint64(firmware.size())},
         {QStringLiteral("sha256"), imageFingerprint(firmware.data(), qint64(firmware.size()))},
         {QStringLiteral("ecu"), ecu},
         {QStringLiteral("warnings"), warnings}});
}

int runMapPack(const QStringList &args)
{
    MapPackData pack;
    if (!readMapPack(args.at(0), pack))
        return fail(QStringLiteral("%1: %2").arg(args.at(0), pack.errorMessage));
    int compatible = -1;
    if (args.size() > 1) {
        FirmwareFile firmware;
        QString error;
        if (!loadImage(args.at(1), firmware, &error))
            return fail(error);
        const QByteArray image = QByteArray::fromRawData(
            reinterpret_cast<const char *>(firmware.data()), qsizetype(firmware.size()));
        compatible = isCompatible(pack, image) ? 1 : 0;
    }
    JsonStream out;
    out.beginObject();
    out.key(QLatin1StringView("formatVersion")).value(pack.formatVersion);
    out.key(QLatin1StringView("firmwareSize")).value(double(pack.firmwareSize));
    out.key(QLatin1StringView("firmwareSha256"))
        .value(QString::fromLatin1(pack.firmwareSha256.toHex()));
    writeMaps(out, pack.maps, false);
    if (compatible >= 0)
        out.key(QLatin1StringView("compatible")).value(compatible == 1);
    out.endObject();
    return finishOutput(out);
}

int runConvert(const QStringList &args)
{
    FirmwareFile firmware;
    QString error;
    if (!loadImage(args.at(0), firmware, &error))
        return fail(error);
    std::string writeError;
    if (!Firmware::writeImage(args.at(1).toStdString(), firmware.data(), firmware.size(),
                              &writeError))
        return fail(QStringLiteral("%1: cannot write (%2)")
                        .arg(args.at(1), QString::fromStdString(writeError)));
    return printResult(
        {{QStringLiteral("file"), args.at(1)},
         {QStringLiteral("size"), qint64(firmware.size())},
         {QStringLiteral("sha256"), imageFingerprint(firmware.data(), qint64(firmware.size()))}});
}

int runCompare(const QStringList &args)
{
    QStringList paths;
    QString definitions;
    for (int i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--maps") && i + 1 < args.size())
            definitions = args.at(++i);
        else if (!args.at(i).startsWith(QLatin1String("--")) && paths.size() < 2)
            paths.append(args.at(i));
        else
            return fail(QStringLiteral("usage: tessamorvandi-cli compare ORI MOD [--maps DEFS]"));
    }
    if (paths.size() != 2)
        return fail(QStringLiteral("usage: tessamorvandi-cli compare ORI MOD [--maps DEFS]"));
    FirmwareFile ori, mod;
    QString error;
    if (!loadImage(paths.at(0), ori, &error) || !loadImage(paths.at(1), mod, &error))
        return fail(error);
    if (ori.size() != mod.size())
        return fail(QStringLiteral("ORI and MOD differ in size (ORI: %1 bytes, MOD: %2 bytes)")
                        .arg(qulonglong(ori.size()))
                        .arg(qulonglong(mod.size())));
    const CompareStatistics statistics
        = compareImages(reinterpret_cast<const char *>(ori.data()),
                        reinterpret_cast<const char *>(mod.data()), qint64(ori.size()));
    const QJsonObject json = compareStatisticsJson(statistics, qint64(ori.size()), qint64(mod.size()));
    Fields fields;
    for (const char *key : {"oriSize", "modSize", "differingBytes", "differingBits", "changeBlocks",
                            "firstChange", "lastChange", "affectedInterval", "differencePercent",
                            "similarityPercent"})
        fields.append({QString::fromLatin1(key), json.value(QLatin1String(key))});
    if (!definitions.isEmpty()) {
        const QByteArray image = QByteArray::fromRawData(
            reinterpret_cast<const char *>(ori.data()), qsizetype(ori.size()));
        const DefinitionFileResult read = readDefinitionFile(definitions, image);
        if (!read.error.isEmpty())
            return fail(read.error);
        const QJsonObject maps = mapComparisonJson(compareMaps(read.maps, ori.data(), mod.data(),
                                                               qint64(ori.size())));
        for (const char *key : {"maps", "outsideMaps"})
            fields.append({QString::fromLatin1(key), maps.value(QLatin1String(key))});
    }
    return printResult(fields);
}

int runA2l(const QStringList &args)
{
    const A2LParser::Result result = A2LParser::parse(args.at(0));
    if (result.maps.isEmpty())
        return fail(QStringLiteral("%1: %2").arg(args.at(0), result.errorMessage));
    JsonStream out;
    out.beginObject();
    writeMaps(out, result.maps, true);
    out.key(QLatin1StringView("error")).value(result.errorMessage);
    // Characteristics left out for their 64-bit values, named only when there are some.
    if (!result.refused.isEmpty()) {
        out.key(QLatin1StringView("refused")).beginArray();
        for (const QString &line : result.refused)
            out.value(line);
        out.endArray();
    }
    out.endObject();
    return finishOutput(out);
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
    const bool ok = result.valid && !result.firmware.isEmpty();
    QString writeError;
    if (ok && !firmwareOut.isEmpty()) {
        QSaveFile file(firmwareOut);
        if (!file.open(QIODevice::WriteOnly)
            || file.write(result.firmware) != result.firmware.size() || !file.commit())
            writeError
                = QStringLiteral("%1: cannot write (%2)").arg(firmwareOut, file.errorString());
    }
    // The JSON comes out whatever the outcome, so a script sees what the project holds.
    JsonStream out;
    out.beginObject();
    out.key(QLatin1StringView("valid")).value(result.valid);
    out.key(QLatin1StringView("vendorKnown")).value(result.vendorKnown);
    out.key(QLatin1StringView("littleEndian")).value(result.littleEndian);
    out.key(QLatin1StringView("vendor")).value(result.vendor);
    out.key(QLatin1StringView("projectName")).value(result.projectName);
    out.key(QLatin1StringView("firmwareSize")).value(qint64(result.firmware.size()));
    out.key(QLatin1StringView("firmwareSha256"))
        .value(result.firmware.isEmpty() ? QString() : imageFingerprint(result.firmware));
    writeMaps(out, result.maps, true);
    out.key(QLatin1StringView("error")).value(result.error);
    out.endObject();
    if (finishOutput(out) != 0)
        return 1;
    if (!writeError.isEmpty())
        return fail(writeError);
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
        {QStringLiteral("xdf"),
         {"xdf FILE [IMAGE] | xdf --export PACK|A2L|XDF IMAGE OUT",
          "map definitions of an XDF file (checked against IMAGE); --export: maps as an XDF", 1,
          4, runXdf}},
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
         {"compare ORI MOD [--maps DEFS]",
          "byte and bit differences of a modified image from its original; with DEFS (map "
          "pack or A2L), the maps it changed and the bytes changed outside every map",
          2, 4, runCompare}},
        {QStringLiteral("driver"),
         {"driver FILE | driver build IMAGE MAPS OUT",
          "a recognition driver as JSON; build: a driver from an image and its maps (.tvp, "
          ".xdf or A2L / DAMOS)",
          1, 4, runDriver}},
        {QStringLiteral("checksum"),
         {"checksum IMAGE [--fix OUT]",
          "checksum blocks of an image; OUT receives the image with them corrected", 1, 3,
          runChecksum}},
        {QStringLiteral("find"),
         {"find IMAGE [--known DEFS] [--min-score N]",
          "places of an image that read like maps, best first (DEFS: map pack, XDF or A2L)", 1, 5,
          runFind}},
        {QStringLiteral("scan"),
         {"scan IMAGE DRIVER", "the maps of a recognition driver found in an image", 2, 2,
          runScan}},
        {QStringLiteral("transfer"),
         {"transfer REF_ORI REF_MOD DEFS TARGET OUT [--mode M]",
          "carry the map changes of a reference pair to another software version; M: values, "
          "difference or percent",
          5, 7, runTransfer}},
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
