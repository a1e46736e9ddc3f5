#include "mappack.h"

#include "sha256.h"
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cmath>

namespace {

const QLatin1String Magic("TESSAMORVANDI_MAP_PACK");
constexpr int FormatVersion = 1;
// A pack carries definitions only; anything near this size is not one.
constexpr qint64 MaxPackFileSize = 256 * 1024 * 1024;

QString setError(QString *target, const QString &text)
{
    if (target)
        *target = text;
    return text;
}

qint64 sizeFromJson(const QJsonValue &value)
{
    const double d = value.toDouble();
    // Out-of-range doubles cannot be truncated safely; -1 never equals an image size.
    if (!std::isfinite(d) || d < -9.0e18 || d > 9.0e18)
        return -1;
    return qint64(d);
}

} // namespace

QByteArray mapPackBytes(const QList<MapDefinition> &maps, const QByteArray &firmwareBytes)
{
    QJsonArray array;
    for (const MapDefinition &map : maps)
        array.append(toJson(map));
    QJsonObject root;
    root.insert(QStringLiteral("magic"), Magic);
    root.insert(QStringLiteral("formatVersion"), FormatVersion);
    root.insert(QStringLiteral("firmwareSize"), double(firmwareBytes.size()));
    root.insert(QStringLiteral("firmwareSha256"),
                QString::fromLatin1(sha256(firmwareBytes).toHex()));
    root.insert(QStringLiteral("maps"), array);
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

bool writeMapPack(const QString &path,
                  const QList<MapDefinition> &maps,
                  const QByteArray &firmwareBytes,
                  QString *errorMessage)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        setError(errorMessage, QStringLiteral("Impossibile creare il pacchetto mappe."));
        return false;
    }
    const QByteArray text = mapPackBytes(maps, firmwareBytes);
    if (file.write(text) != text.size() || !file.commit()) {
        file.cancelWriting();
        setError(errorMessage, QStringLiteral("Errore durante la scrittura del pacchetto mappe."));
        return false;
    }
    return true;
}

bool readMapPack(const QString &path, MapPackData &result)
{
    result = MapPackData();
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        result.errorMessage = QStringLiteral("Impossibile aprire il pacchetto mappe.");
        return false;
    }
    if (file.size() > MaxPackFileSize) {
        result.errorMessage = QStringLiteral("Pacchetto mappe non valido o danneggiato.");
        return false;
    }
    return readMapPackBytes(file.readAll(), result);
}

bool readMapPackBytes(const QByteArray &bytes, MapPackData &result)
{
    result = MapPackData();
    if (bytes.size() > MaxPackFileSize) {
        result.errorMessage = QStringLiteral("Pacchetto mappe non valido o danneggiato.");
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        result.errorMessage = QStringLiteral("Pacchetto mappe non valido o danneggiato.");
        return false;
    }
    if (!document.isObject()) {
        result.errorMessage = QStringLiteral("Formato pacchetto mappe non valido.");
        return false;
    }
    const QJsonObject root = document.object();
    const QJsonValue magic = root.value(QStringLiteral("magic"));
    if (!magic.isString() || magic.toString() != Magic) {
        result.errorMessage = QStringLiteral("Il file non è un pacchetto mappe Tessamorvandi.");
        return false;
    }
    const int version = root.value(QStringLiteral("formatVersion")).toInt(0);
    if (version != FormatVersion) {
        result.errorMessage = QStringLiteral("Versione del pacchetto mappe non supportata.");
        return false;
    }
    result.formatVersion = version;
    result.firmwareSize = sizeFromJson(root.value(QStringLiteral("firmwareSize")));
    result.firmwareSha256
        = QByteArray::fromHex(root.value(QStringLiteral("firmwareSha256")).toString().toLatin1());
    const QJsonArray maps = root.value(QStringLiteral("maps")).toArray();
    result.maps.reserve(maps.size());
    for (const QJsonValue &value : maps) {
        if (value.isObject())
            result.maps.append(fromJson(value.toObject()));
    }
    return true;
}

bool isCompatible(const MapPackData &pack, const QByteArray &firmwareBytes)
{
    return pack.firmwareSize == firmwareBytes.size()
           && pack.firmwareSha256 == sha256(firmwareBytes);
}

QString proposedMapPackName(const QString &firmwareFileName)
{
    const QString base = QFileInfo(firmwareFileName).completeBaseName();
    if (firmwareFileName.isEmpty() || base.isEmpty())
        return QStringLiteral("Tessamorvandi_MapPack.tvp");
    return base + QStringLiteral(".tvp");
}

QString withMapPackSuffix(const QString &path)
{
    if (path.endsWith(QLatin1String(".tvp"), Qt::CaseInsensitive))
        return path;
    return path + QStringLiteral(".tvp");
}
