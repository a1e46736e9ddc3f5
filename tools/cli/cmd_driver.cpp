#include "cmd_driver.h"

#include "clisupport.h"
#include "importers/definitionfile.h"
#include "model/mappack.h"
#include "recognition/driverbuilder.h"
#include "recognition/driverfields.h"
#include "recognition/driverfile.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QTextStream>

#include <cstdio>

namespace {

// Keys in the order of the record, which a QJsonObject would sort away.
using RawFields = QList<QPair<QString, QByteArray>>;

QByteArray objectText(const RawFields &fields)
{
    QByteArray text = "{";
    for (const auto &[key, value] : fields) {
        if (text.size() > 1)
            text += ',';
        text += jsonText(key) + ':' + value;
    }
    return text + '}';
}

// A null text or byte string is null, an empty one "".
QByteArray text(const QString &value)
{
    return value.isNull() ? QByteArray("null") : jsonText(value);
}

QByteArray bytes(const QByteArray &value)
{
    return value.isNull() ? QByteArray("null") : jsonText(QString::fromLatin1(value.toHex()));
}

QByteArray number(double value)
{
    return jsonText(value);
}

QByteArray integer(qint64 value)
{
    return jsonText(QJsonValue(value));
}

QByteArray boolean(bool value)
{
    return value ? QByteArray("true") : QByteArray("false");
}

QByteArray numbers(const QList<double> &values)
{
    QByteArray out = "[";
    for (double value : values) {
        if (out.size() > 1)
            out += ',';
        out += number(value);
    }
    return out + ']';
}

QByteArray anchorsText(const QList<DriverAnchor> &anchors)
{
    QByteArray out = "[";
    for (const DriverAnchor &a : anchors) {
        if (out.size() > 1)
            out += ',';
        out += objectText({{QStringLiteral("pattern"), bytes(a.pattern)},
                           {QStringLiteral("delta"), integer(a.delta)},
                           {QStringLiteral("divisor"), integer(a.divisor)},
                           {QStringLiteral("reserved"), integer(a.reserved)}});
    }
    return out + ']';
}

// Collects a record's fields as JSON text in the record's own order.
struct JsonFields
{
    RawFields fields;

    void add(const char *name, const QByteArray &json)
    {
        fields.append({QString::fromLatin1(name), json});
    }
    void field(const char *name, const QString &value) { add(name, text(value)); }
    void field(const char *name, const QByteArray &value) { add(name, bytes(value)); }
    void field(const char *name, double value) { add(name, number(value)); }
    void field(const char *name, qint64 value) { add(name, integer(value)); }
    void field(const char *name, qint32 value) { add(name, integer(value)); }
    void field(const char *name, bool value) { add(name, boolean(value)); }
    void field(const char *name, const QList<double> &values) { add(name, numbers(values)); }
    void field(const char *name, const QList<DriverAnchor> &anchors)
    {
        add(name, anchorsText(anchors));
    }
};

QByteArray mapText(const DriverMap &map)
{
    JsonFields json;
    visitDriverMapFields(json, map);
    return objectText(json.fields);
}

void printLine(const QByteArray &line)
{
    fwrite(line.constData(), 1, size_t(line.size()), stdout);
    fwrite("\n", 1, 1, stdout);
    fflush(stdout);
}

// The loader's own message, alone on its line, as scripts compare it.
int failWith(const QString &message)
{
    QTextStream(stderr) << message << Qt::endl;
    return 1;
}

int showDriver(const QString &path)
{
    Driver driver;
    QString error;
    if (!loadDriverFile(path, driver, &error))
        return failWith(error);
    QByteArray maps = "[";
    for (const DriverMap &map : std::as_const(driver.maps)) {
        if (maps.size() > 1)
            maps += ',';
        maps += mapText(map);
    }
    maps += ']';
    printLine(objectText({{QStringLiteral("formatVersion"), integer(driver.formatVersion)},
                          {QStringLiteral("text1"), text(driver.text1)},
                          {QStringLiteral("text2"), text(driver.text2)},
                          {QStringLiteral("text3"), text(driver.text3)},
                          {QStringLiteral("text4"), text(driver.text4)},
                          {QStringLiteral("text5"), text(driver.text5)},
                          {QStringLiteral("number"), integer(driver.number)},
                          {QStringLiteral("maps"), maps}}));
    return 0;
}

int buildDriverFile(const QString &imagePath, const QString &mapsPath, const QString &outPath)
{
    Firmware firmware;
    QString error;
    if (!loadImage(imagePath, firmware, &error))
        return fail(error);
    const QByteArray image(reinterpret_cast<const char *>(firmware.data().data()),
                           qsizetype(firmware.size()));
    const DefinitionFileResult read = readDefinitionFile(mapsPath, image);
    if (!read.error.isEmpty())
        return fail(read.error);
    const QList<MapDefinition> &maps = read.maps;
    DriverBuildResult built = buildDriver(image, maps);
    if (built.driver.maps.isEmpty())
        return fail(QStringLiteral("%1: no map could be described (%2)")
                        .arg(mapsPath, skippedLines(built).join(QLatin1String("; "))));
    describeBuiltDriver(built.driver, QFileInfo(imagePath).fileName(), image);
    if (!saveDriverFile(built.driver, outPath, &error))
        return fail(QStringLiteral("%1: %2").arg(outPath, error));
    // Maps left out are worth knowing but do not make the build fail.
    const QStringList lines = skippedLines(built);
    for (const QString &line : lines)
        QTextStream(stderr) << "tessamorvandi-cli: skipped " << line << Qt::endl;
    QJsonArray skipped;
    for (const SkippedMap &map : std::as_const(built.skipped))
        skipped.append(QJsonObject{{QStringLiteral("name"), map.name},
                                   {QStringLiteral("reason"), map.reason}});
    printJson({{QStringLiteral("maps"), qint64(built.driver.maps.size())},
               {QStringLiteral("path"), outPath},
               {QStringLiteral("skipped"), skipped}});
    return 0;
}

} // namespace

int runDriver(const QStringList &args)
{
    if (args.size() == 1)
        return showDriver(args.at(0));
    if (args.size() == 4 && args.at(0) == QLatin1String("build"))
        return buildDriverFile(args.at(1), args.at(2), args.at(3));
    return fail(
        QStringLiteral("usage: tessamorvandi-cli driver FILE | driver build IMAGE MAPS OUT"));
}
