#include "onlinecommands.h"

#include "app/driverscancommand.h"
#include "model/firmwareproject.h"
#include "online/apiclient.h"
#include "online/driverrequestdialog.h"
#include "online/driverrequestform.h"
#include "online/signindialog.h"
#include "platform/platform.h"
#include "projects/documenthost.h"

#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

OnlineCommands::OnlineCommands(DocumentHost *host, DriverScanCommand *scanner, QMainWindow *window)
    : QObject(window)
    , m_host(host)
    , m_scanner(scanner)
    , m_window(window)
    , m_client(new ApiClient(ApiClient::defaultServiceUrl(), this))
    , m_update(UpdatePrompt::dialogs(window))
{
    m_update.startUpdater = [](const QString &url) { return Platform::startUpdater(url); };
    // The service panel: the state of the last checks, always in view at the window's foot.
    auto *panel = new QLabel(serviceLines().join(QStringLiteral("   ")), window);
    panel->setObjectName(QStringLiteral("serviceStatusLabel"));
    window->statusBar()->addPermanentWidget(panel);
    connect(this, &OnlineCommands::serviceStateChanged, panel,
            [this, panel] { panel->setText(serviceLines().join(QStringLiteral("   "))); });
    connect(m_client, &ApiClient::healthCheckFinished, this,
            [this](bool ok, const QString &message) {
                m_state = ok ? QStringLiteral("Online")
                             : QStringLiteral("Non raggiungibile - %1").arg(message);
                emit serviceStateChanged();
            });
    connect(m_client, &ApiClient::versionCheckFinished, this,
            [this](bool success, const QString &message, const QString &latest, bool mandatory,
                   const QString &url, const QString &notes) {
                if (success && !latest.isEmpty()) {
                    m_latestVersion = latest;
                    m_updateKind = mandatory ? QStringLiteral("Obbligatorio")
                                             : QStringLiteral("Facoltativo");
                }
                emit serviceStateChanged();
                m_update.handle(success, message, latest, mandatory, url, notes);
            });
}

void OnlineCommands::checkService()
{
    m_client->checkVersion();
    m_client->checkHealth();
}

QStringList OnlineCommands::serviceLines() const
{
    auto known = [](const QString &text) { return text.isEmpty() ? QStringLiteral("-") : text; };
    return {QStringLiteral("Servizio: %1").arg(known(m_state)),
            QStringLiteral("Ultima versione: %1").arg(known(m_latestVersion)),
            QStringLiteral("Aggiornamento: %1").arg(known(m_updateKind))};
}

void OnlineCommands::signIn()
{
    SignInDialog dialog(m_client, m_window);
    if (dialog.exec() == QDialog::Accepted)
        m_host->showStatus(QStringLiteral("Accesso eseguito come %1").arg(m_client->customerCode()),
                           4000);
}

void OnlineCommands::requestDriver(const QString &firmwarePath)
{
    if (m_driverRequestHook) {
        m_driverRequestHook(firmwarePath);
        return;
    }
    DriverRequestDialog dialog(m_client, m_window);
    if (m_message)
        dialog.setMessageHook(m_message);
    dialog.fill(driverRequestFormFor(m_host->activeDocument(), firmwarePath));
    dialog.exec();
}

OnlineDriverSearch::Outcome OnlineCommands::searchDrivers(FirmwareProject *record)
{
    OnlineDriverSearch search(m_client, m_window);
    if (m_message)
        search.setMessageHook(m_message);
    if (m_choose)
        search.setChoiceHook(m_choose);
    search.setManualRequest([this](const QString &path) { requestDriver(path); });
    QByteArray image;
    QString path;
    if (record && record->firmware) {
        const auto &bytes = record->firmware->data();
        image = QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
        path = record->savedFirmwarePath;
    }
    Driver driver;
    const OnlineDriverSearch::Outcome outcome = search.run(image, path, driver);
    if (outcome == OnlineDriverSearch::Outcome::DriverLoaded
        && !(m_scanner && m_scanner->startScan(driver, record))) {
        const QString text = QStringLiteral("Impossibile avviare la scansione del driver.");
        if (m_message)
            m_message(QMessageBox::Warning, QStringLiteral("Driver Scanner"), text);
        else
            QMessageBox::warning(m_window, QStringLiteral("Driver Scanner"), text);
    }
    return outcome;
}
