#include "onlinedriversearch.h"

#include "apiclient.h"
#include "importers/busydialog.h"
#include "onlineprotocol.h"
#include "recognition/driverfile.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QInputDialog>
#include <QJsonArray>
#include <QNetworkReply>
#include <QProgressDialog>
#include <QSaveFile>
#include <QStandardPaths>
#include <QSysInfo>

#include <memory>

namespace {
const QString title = QStringLiteral("Driver Scanner");
const QString searchTitle = QStringLiteral("Ricerca Mappe");
} // namespace

OnlineDriverSearch::OnlineDriverSearch(ApiClient *client, QWidget *dialogParent)
    : QObject(dialogParent)
    , m_client(client)
    , m_parent(dialogParent)
{
    m_choose = [this](const QString &title, const QString &label,
                      const QStringList &items) -> std::optional<int> {
        bool ok = false;
        const QString item = QInputDialog::getItem(m_parent, title, label, items, 0, false, &ok);
        if (!ok || item.isEmpty())
            return std::nullopt;
        return int(items.indexOf(item));
    };
}

QString OnlineDriverSearch::deviceHash()
{
    // The machine's own id where the system has one; the host and user names otherwise.
    QByteArray identity = QSysInfo::machineUniqueId();
    if (identity.isEmpty())
        identity
            = QSysInfo::machineHostName().toUtf8() + '|' + qgetenv("USER") + qgetenv("USERNAME");
    return QString::fromLatin1(QCryptographicHash::hash(QByteArray("Tessamorvandi|" + identity),
                                                        QCryptographicHash::Sha256)
                                   .toHex());
}

QString OnlineDriverSearch::cacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::TempLocation)
           + QStringLiteral("/Tessamorvandi/drivers");
}

void OnlineDriverSearch::warn(const QString &text)
{
    if (m_message)
        m_message(QMessageBox::Warning, title, text);
    else
        QMessageBox::warning(m_parent, title, text);
}

OnlineDriverSearch::Answer OnlineDriverSearch::post(const QString &path,
                                                    const QJsonObject &body,
                                                    const QString &label,
                                                    qint64 maxBytes)
{
    Answer answer;
    bool done = false;
    bool tooLarge = false;
    QEventLoop loop;
    std::unique_ptr<QProgressDialog> busy;
    if (m_parent) {
        busy.reset(createBusyDialog(m_parent, label, Qt::ApplicationModal));
        busy->setWindowTitle(searchTitle);
    }
    QNetworkReply *reply = m_client->postJson(path, body, true, [&](const ApiClient::Reply &r) {
        answer.ok = r.ok && !tooLarge;
        answer.httpStatus = r.httpStatus;
        answer.body = r.body;
        answer.isJsonObject = r.isJsonObject;
        answer.json = r.json;
        const QString message = r.json.value(QStringLiteral("message")).toString().trimmed();
        if (tooLarge)
            answer.responseText
                = QStringLiteral("la risposta supera %1 MiB.").arg(maxBytes / (1024 * 1024));
        else if (!r.ok && !message.isEmpty())
            answer.responseText = message;
        else if (!r.ok && r.body.isEmpty())
            answer.responseText = r.errorText;
        else
            answer.responseText = QString::fromUtf8(r.body.left(500));
        done = true;
        loop.quit();
    });
    if (reply) {
        // A download is capped as it arrives, not once it is all in memory.
        connect(reply, &QNetworkReply::downloadProgress, reply,
                [reply, maxBytes, &tooLarge](qint64 received, qint64 total) {
                    if (received > maxBytes || total > maxBytes) {
                        tooLarge = true;
                        reply->abort();
                    }
                });
    }
    if (!done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return answer;
}

OnlineDriverSearch::Outcome OnlineDriverSearch::manual(const QString &firmwarePath)
{
    const QString text
        = QStringLiteral("Nel database non e' presente un Driver identificabile per "
                         "questo firmware.\n\nProcediamo con una richiesta manuale.");
    if (m_message)
        m_message(QMessageBox::Information, title, text);
    else
        QMessageBox::information(m_parent, title, text);
    if (m_manualRequest)
        m_manualRequest(firmwarePath);
    return Outcome::ManualRequest;
}

OnlineDriverSearch::Outcome
OnlineDriverSearch::run(const QByteArray &firmware, const QString &firmwarePath, Driver &driver)
{
    const QString customer = m_client->customerCode();
    if (customer.isEmpty()) {
        warn(QStringLiteral("Codice cliente non disponibile.\nEffettua prima l'accesso."));
        return Outcome::Stopped;
    }
    if (firmware.isEmpty()) {
        warn(QStringLiteral("Firmware originale non disponibile."));
        return Outcome::Stopped;
    }
    QJsonObject request{{QStringLiteral("customer_code"), customer},
                        {QStringLiteral("device_hash"), deviceHash()},
                        {QStringLiteral("firmware_size"), double(firmware.size())}};
    // A failed request, or an answer that is not a JSON object, ends the search with its text.
    auto usable = [this](const Answer &a, const QString &failedText, const QString &invalidText) {
        if (!a.ok) {
            warn(QStringLiteral("%1\n\nHTTP: %2\nRisposta: %3")
                     .arg(failedText)
                     .arg(a.httpStatus)
                     .arg(a.responseText));
            return false;
        }
        if (!invalidText.isEmpty() && !a.isJsonObject) {
            warn(invalidText);
            return false;
        }
        return true;
    };

    const Answer catalog = post(QStringLiteral("/api/drivers/identity-catalog"), request,
                                QStringLiteral("Identificazione rapida ECU..."));
    if (!usable(catalog, QStringLiteral("Identificazione ECU non riuscita."),
                QStringLiteral("Risposta identificazione ECU non valida.")))
        return Outcome::Stopped;
    if (!catalog.json.value(QStringLiteral("success")).toBool()) {
        const QString message = catalog.json.value(QStringLiteral("message")).toString();
        warn(message.isEmpty() ? QStringLiteral("Identificazione ECU non riuscita.") : message);
        return Outcome::Stopped;
    }
    QStringList names;
    const QJsonArray families = catalog.json.value(QStringLiteral("ecu_families")).toArray();
    for (const QJsonValue &family : families)
        names.append(family.toString());
    const QStringList detected = OnlineProtocol::detectEcuFamilies(firmware, names);
    qDebug().noquote() << "ECU Identifier V6 - firmware:" << firmware.size()
                       << "famiglie rilevate:" << detected.join(QStringLiteral(", "));
    if (detected.size() != 1)
        return manual(firmwarePath);
    const QString family = detected.first();

    request.insert(QStringLiteral("ecu_family"), family);
    const Answer groupAnswer = post(QStringLiteral("/api/drivers/groups"), request,
                                    QStringLiteral("Ricerca veicoli per %1...").arg(family));
    if (!usable(groupAnswer, QStringLiteral("Ricerca gruppo veicolo non riuscita."),
                QStringLiteral("Risposta gruppo veicolo non valida.")))
        return Outcome::Stopped;
    const QJsonArray groups = groupAnswer.json.value(QStringLiteral("groups")).toArray();
    if (groups.isEmpty())
        return manual(firmwarePath);
    int groupIndex = 0;
    if (groups.size() > 1) {
        QStringList items;
        for (const QJsonValue &g : groups)
            items.append(OnlineProtocol::groupItemText(g.toObject()));
        const std::optional<int> chosen = m_choose(
            searchTitle,
            QStringLiteral("ECU identificata: %1\n\nSono presenti piu' veicoli per questa ECU.\n"
                           "Seleziona marca/modello:")
                .arg(family),
            items);
        if (!chosen || *chosen < 0 || *chosen >= groups.size())
            return Outcome::Stopped;
        groupIndex = *chosen;
    }
    const QJsonObject group = groups.at(groupIndex).toObject();

    request.insert(QStringLiteral("vehicle_brand"), group.value(QStringLiteral("vehicle_brand")));
    request.insert(QStringLiteral("vehicle_model"), group.value(QStringLiteral("vehicle_model")));
    const Answer driverAnswer = post(QStringLiteral("/api/drivers/available"), request,
                                     QStringLiteral("Ricerca Driver disponibili..."));
    if (!usable(driverAnswer, QStringLiteral("Ricerca Driver non riuscita."),
                QStringLiteral("Risposta ricerca Driver non valida.")))
        return Outcome::Stopped;
    const QJsonArray drivers = driverAnswer.json.value(QStringLiteral("drivers")).toArray();
    if (drivers.isEmpty())
        return manual(firmwarePath);
    QStringList items;
    for (const QJsonValue &d : drivers)
        items.append(OnlineProtocol::driverItemText(d.toObject()));
    const std::optional<int> chosen
        = m_choose(searchTitle,
                   QStringLiteral("ECU identificata automaticamente: %1\n\nSeleziona il Driver "
                                  "corretto per marca/modello:")
                       .arg(family),
                   items);
    if (!chosen || *chosen < 0 || *chosen >= drivers.size())
        return Outcome::Stopped;
    const QString driverId = OnlineProtocol::driverIdOf(drivers.at(*chosen).toObject());
    // The id becomes part of a file name: anything but a plain identifier is refused.
    if (!OnlineProtocol::isPlainIdentifier(driverId)) {
        warn(QStringLiteral("Identificativo del driver non valido: \"%1\".\nDownload rifiutato.")
                 .arg(driverId.left(80)));
        return Outcome::Stopped;
    }

    const QString folder = cacheFolder();
    if (!QDir().mkpath(folder)) {
        warn(QStringLiteral("Impossibile creare la cache locale del driver."));
        return Outcome::Stopped;
    }
    const QJsonObject download{
        {QStringLiteral("customer_code"), customer},
        {QStringLiteral("device_hash"), request.value(QStringLiteral("device_hash"))},
        {QStringLiteral("driver_id"), driverId}};
    const Answer file = post(QStringLiteral("/api/drivers/download"), download,
                             QStringLiteral("Download del driver..."), maxDriverBytes);
    if (!usable(file, QStringLiteral("Download driver dalla VPS non riuscito."), QString()))
        return Outcome::Stopped;
    const QString path = folder + QStringLiteral("/driver_%1.ecudrv").arg(driverId);
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(file.body) != file.body.size()
        || !out.commit()) {
        warn(QStringLiteral("Errore durante il salvataggio temporaneo del driver."));
        return Outcome::Stopped;
    }
    QString error;
    Driver loaded;
    if (!loadDriverFile(path, loaded, &error)) {
        warn(QStringLiteral("Impossibile caricare il driver:\n%1").arg(error));
        return Outcome::Stopped;
    }
    driver = loaded;
    return Outcome::DriverLoaded;
}
