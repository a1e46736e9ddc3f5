#include "clisupport.h"

#include "model/mapdefinition.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <cstdio>

int fail(const QString &message)
{
    QString oneLine = message;
    oneLine.replace(QLatin1Char('\n'), QLatin1Char(' '));
    QTextStream(stderr) << "tessamorvandi-cli: " << oneLine << Qt::endl;
    return 1;
}

QByteArray jsonText(const QJsonValue &value)
{
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2); // drop the "[" and "]"
}

void printJson(const Fields &fields)
{
    QByteArray line = "{";
    for (const auto &[key, value] : fields) {
        if (line.size() > 1)
            line += ',';
        line += jsonText(key) + ':' + jsonText(value);
    }
    line += "}\n";
    fwrite(line.constData(), 1, size_t(line.size()), stdout);
    fflush(stdout);
}

bool loadImage(const QString &path, Firmware &firmware, QString *error)
{
    if (!QFileInfo(path).isFile()) {
        *error = QStringLiteral("%1: no such file").arg(path);
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
    return firmware.format() == Firmware::Format::IntelHex;
}

QJsonArray mapsJson(const QList<MapDefinition> &maps)
{
    QJsonArray array;
    for (const MapDefinition &map : maps) {
        QJsonObject o = toJson(map);
        o.insert(QStringLiteral("sourceKind"), map.sourceKind);
        array.append(o);
    }
    return array;
}

