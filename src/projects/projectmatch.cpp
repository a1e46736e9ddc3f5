#include "projectmatch.h"

#include "model/sha256.h"
#include "projectfiles.h"
#include "projectstore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

using namespace ProjectFiles;

namespace {

bool sameText(const QString &a, const QString &b)
{
    const QString x = a.trimmed();
    const QString y = b.trimmed();
    return !x.isEmpty() && !y.isEmpty() && x.compare(y, Qt::CaseInsensitive) == 0;
}

} // namespace

QList<ProjectMatch> findProjectMatches(const ProjectStore &store,
                                       const QByteArray &image,
                                       qint64 fileSizeOnDisk,
                                       const EcuIdentification &identification)
{
    QList<ProjectMatch> matches;
    const QDir root(store.root());
    if (store.root().isEmpty() || !root.exists())
        return matches;
    const QString fingerprint = QString::fromLatin1(sha256(image).toHex());
    const QStringList names = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        const QString folder = root.absoluteFilePath(name);
        if (!QFileInfo(folder + QLatin1Char('/') + OriginalFolder + QLatin1Char('/') + FirmwareBin)
                 .isFile())
            continue;
        QJsonObject record;
        if (!readJsonObject(folder + QLatin1Char('/') + ProjectJson, &record))
            continue;
        auto text
            = [&record](const char *key) { return record.value(QLatin1String(key)).toString(); };
        const QString original = ProjectStore::originalFingerprint(folder, record);
        const bool identical
            = !original.isEmpty() && original.compare(fingerprint, Qt::CaseInsensitive) == 0;
        int fields = 0;
        fields += sameText(text("ecu"), identification.ecuFamily);
        fields += sameText(text("software"), identification.softwareNumber);
        fields += sameText(text("hardware"), identification.hardwareNumber);
        fields += sameText(text("ecuNumber"), identification.partNumber);
        const bool similar
            = record.value(QStringLiteral("fileSize")).toInteger(-1) == fileSizeOnDisk
              && fields >= 2;
        if (!identical && !similar)
            continue;
        ProjectMatch match;
        match.folder = folder;
        match.name = name;
        match.ecu = text("ecu");
        match.software = text("software");
        match.hardware = text("hardware");
        match.customer = text("customer");
        match.vehicle = text("vehicleBrand") + QLatin1Char(' ') + text("vehicleModel");
        match.label = identical ? QStringLiteral("IDENTICO") : QStringLiteral("SIMILE");
        matches.append(match);
    }
    return matches;
}
