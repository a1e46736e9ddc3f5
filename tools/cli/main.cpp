// tessamorvandi-cli: batch work on firmware images without the GUI, on the same library code.
// Every command prints one JSON object on success; on failure one line on stderr, exit 1.
#include "model/fingerprint.h"
#include "model/firmware.h"
#include "model/mappack.h"
#include "projects/ecuidentification.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTextStream>

#include <cstdio>
#include <functional>
#include <map>

namespace {

struct Command
{
    const char *usage;
    const char *summary;
    int minArgs;
    int maxArgs;
    std::function<int(const QStringList &)> run;
};

int fail(const QString &message)
{
    QTextStream(stderr) << "tessamorvandi-cli: " << message << Qt::endl;
    return 1;
}

void printJson(const QJsonObject &object)
{
    QTextStream(stdout) << QJsonDocument(object).toJson(QJsonDocument::Compact) << Qt::endl;
}

bool loadImage(const QString &path, Firmware &firmware, QString *error)
{
    if (!QFileInfo(path).isFile()) {
        *error = QStringLiteral("%1: file not found").arg(path);
        return false;
    }
    if (!firmware.load(path.toStdString())) {
        *error = QStringLiteral("%1: cannot load firmware (%2)")
                     .arg(path, QString::fromStdString(firmware.errorString()));
        return false;
    }
    return true;
}

bool isIntelHex(const Firmware &firmware)
{
    const QString ext = QString::fromStdString(firmware.extension()).toLower();
    return ext == QLatin1String("hex") || ext == QLatin1String("ihx");
}

int runInfo(const QStringList &args)
{
    Firmware firmware;
    QString error;
    if (!loadImage(args.at(0), firmware, &error))
        return fail(error);
    QJsonObject o;
    o.insert(QStringLiteral("file"), QString::fromStdString(firmware.fileName()));
    o.insert(QStringLiteral("format"),
             isIntelHex(firmware) ? QStringLiteral("intel-hex") : QStringLiteral("raw"));
    o.insert(QStringLiteral("size"), qint64(firmware.size()));
    o.insert(QStringLiteral("sha256"), imageFingerprint(firmware.data()));
    const EcuIdentification id = identifyEcu(firmware);
    o.insert(QStringLiteral("ecu"),
             QJsonObject{{QStringLiteral("ecuFamily"), id.ecuFamily},
                         {QStringLiteral("softwareNumber"), id.softwareNumber},
                         {QStringLiteral("hardwareNumber"), id.hardwareNumber},
                         {QStringLiteral("calibrationNumber"), id.calibrationNumber},
                         {QStringLiteral("partNumber"), id.partNumber},
                         {QStringLiteral("engineCode"), id.engineCode}});
    printJson(o);
    return 0;
}

int runMapPack(const QStringList &args)
{
    MapPackData pack;
    if (!readMapPack(args.at(0), pack))
        return fail(QStringLiteral("%1: %2").arg(args.at(0), pack.errorMessage));
    QJsonObject o;
    o.insert(QStringLiteral("formatVersion"), pack.formatVersion);
    o.insert(QStringLiteral("firmwareSize"), double(pack.firmwareSize));
    o.insert(QStringLiteral("firmwareSha256"), QString::fromLatin1(pack.firmwareSha256.toHex()));
    QJsonArray maps;
    for (const MapDefinition &map : std::as_const(pack.maps))
        maps.append(toJson(map));
    o.insert(QStringLiteral("maps"), maps);
    if (args.size() > 1) {
        Firmware firmware;
        QString error;
        if (!loadImage(args.at(1), firmware, &error))
            return fail(error);
        const QByteArray image(reinterpret_cast<const char *>(firmware.data().data()),
                               qsizetype(firmware.size()));
        o.insert(QStringLiteral("compatible"), isCompatible(pack, image));
    }
    printJson(o);
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
    QJsonObject o;
    o.insert(QStringLiteral("file"), args.at(1));
    o.insert(QStringLiteral("size"), qint64(firmware.size()));
    o.insert(QStringLiteral("sha256"), imageFingerprint(firmware.data()));
    printJson(o);
    return 0;
}

// Subcommands by name; later features add their own entries here.
const std::map<QString, Command> &commands()
{
    static const std::map<QString, Command> table = {
        {QStringLiteral("info"),
         {"info FILE", "size, format, SHA-256 and ECU identification of a firmware image", 1, 1,
          runInfo}},
        {QStringLiteral("mappack"),
         {"mappack PACK [IMAGE]",
          "the maps of a .tvp map pack; with IMAGE, whether the pack fits that image", 1, 2,
          runMapPack}},
        {QStringLiteral("convert"),
         {"convert FILE OUT", "write the image of FILE (raw or Intel HEX) as raw binary", 2, 2,
          runConvert}},
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
    if (args.isEmpty())
        return printHelp(), fail(QStringLiteral("no command given"));
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
        return fail(QStringLiteral("usage: tessamorvandi-cli %1").arg(QString::fromLatin1(command.usage)));
    return command.run(args);
}
