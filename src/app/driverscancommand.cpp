#include "driverscancommand.h"

#include "importers/busydialog.h"
#include "model/firmwareproject.h"
#include "projects/documenthost.h"
#include "recognition/driverfile.h"
#include "recognition/drivermapdefinition.h"
#include "recognition/driverscanner.h"
#include "recognition/mapcategory.h"

#include <QFileDialog>
#include <QFutureWatcher>
#include <QMdiSubWindow>
#include <QProgressDialog>
#include <QTreeWidgetItem>
#include <QtConcurrent/QtConcurrentRun>

DriverScanCommand::DriverScanCommand(DocumentHost *host, QWidget *dialogParent)
    : QObject(dialogParent)
    , m_host(host)
    , m_parent(dialogParent)
{
}

void DriverScanCommand::message(QMessageBox::Icon icon, const QString &title, const QString &text)
{
    if (m_message) {
        m_message(icon, title, text);
        return;
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok, m_parent);
    box.exec();
}

void DriverScanCommand::loadDriverAndScan()
{
    if (m_busy)
        return;
    if (!m_host->activeDocument()) {
        message(QMessageBox::Warning, QStringLiteral("Carica driver"),
                QStringLiteral("Nessun firmware attivo."));
        return;
    }
    const QString path
        = m_askFile ? m_askFile()
                    : QFileDialog::getOpenFileName(
                        m_parent, QStringLiteral("Carica driver"), QString(),
                        QStringLiteral("Driver Tessamorvandi (*.ecudrv);;Tutti i file (*.*)"));
    if (path.isEmpty())
        return;
    Driver driver;
    QString error;
    if (!loadDriverFile(path, driver, &error)) {
        message(QMessageBox::Warning, QStringLiteral("Carica driver"),
                QStringLiteral("Impossibile caricare il driver:\n%1").arg(error));
        return;
    }
    startScan(driver);
}

bool DriverScanCommand::startScan(const Driver &driver, FirmwareProject *document)
{
    if (!document)
        document = m_host->activeDocument();
    if (m_busy || !document || !document->firmware || !m_host->documents().contains(document))
        return false;
    m_busy = true;
    m_busyDialog = createBusyDialog(
        m_parent, QStringLiteral("Scansione driver in corso...\n\nRicerca e confronto mappe ECU."),
        Qt::ApplicationModal);
    m_busyDialog->setWindowTitle(QStringLiteral("Driver Scanner"));

    // The worker gets copies: the document may change or close while it runs.
    const Firmware &firmware = *document->firmware;
    const QByteArray image(reinterpret_cast<const char *>(firmware.data().data()),
                           qsizetype(firmware.size()));
    auto *watcher = new QFutureWatcher<DriverScanResult>(this);
    // Only compared with the open documents when the scan ends: it may be gone by then.
    FirmwareProject *target = document;
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, target, driver] {
        const DriverScanResult result = watcher->result();
        watcher->deleteLater();
        finishScan(target, driver, result);
    });
    watcher->setFuture(QtConcurrent::run([image, driver] { return scanDriver(image, driver); }));
    return true;
}

void DriverScanCommand::finishScan(FirmwareProject *document,
                                   const Driver &driver,
                                   const DriverScanResult &result)
{
    if (m_busyDialog) {
        m_busyDialog->close();
        m_busyDialog->deleteLater();
    }
    m_busy = false;
    // The document may have been closed while the scan ran; its maps went with it. A closed
    // window waits for its deletion hidden, and a result arriving then is as late.
    const bool open = document && m_host->documents().contains(document);
    const QWidget *subWindow = open ? document->subWindow : nullptr;
    if (!open || (subWindow && subWindow->isHidden())) {
        message(QMessageBox::Warning, QStringLiteral("Driver Maps"),
                QStringLiteral("Impossibile accedere al database mappe."));
        emit scanFinished();
        return;
    }
    const int loaded = applyScanResult(document, driver, result);
    message(QMessageBox::Information, QStringLiteral("Driver Scanner"),
            QStringLiteral("Scansione completata.\n\nMappe nel driver: %1\nMappe riconosciute: "
                           "%2\nMappe caricate: %3\nConfidence media: %4%")
                .arg(result.mapCount)
                .arg(result.recognisedCount)
                .arg(loaded)
                .arg(QString::number(result.averageConfidence, 'f', 1)));
    emit scanFinished();
}

int DriverScanCommand::applyScanResult(FirmwareProject *record,
                                       const Driver &driver,
                                       const DriverScanResult &result)
{
    QList<MapDefinition> maps = record->maps;
    int loaded = 0;
    for (qsizetype i = 0; i < result.matches.size() && i < driver.maps.size(); ++i) {
        const DriverMapMatch &match = result.matches.at(i);
        if (!isLoadableMatch(match))
            continue;
        MapDefinition definition = mapDefinitionFromMatch(match, driver.maps.at(i));
        // A driver that leaves a map's category open (-1) leaves it to the classifier.
        double score = 0.0;
        const int category = match.category >= 0 ? match.category : classify(match, score);
        record->driverMapOrigins.insert(definition.mapOffset,
                                        {category, match.confidence, driverMapItemText(match)});
        maps.append(definition);
        ++loaded;
    }
    if (loaded > 0) {
        // The host renews the views' marks and the tree from the list.
        m_host->setDocumentMaps(record, maps);
        record->modified = true;
    }
    emit driverMapsAdded(record);
    return loaded;
}
