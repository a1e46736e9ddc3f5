#include "descriptionimporter.h"

#include "importers/busydialog.h"
#include "importers/mapfilterdialog.h"
#include "importers/xdfwriter.h"
#include "model/firmwareproject.h"
#include "projects/documenthost.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QPushButton>
#include <QtConcurrent/QtConcurrentRun>

DescriptionImporter::DescriptionImporter(DocumentHost *host, QWidget *dialogParent)
    : QObject(dialogParent)
    , m_host(host)
    , m_parent(dialogParent)
{
}

bool DescriptionImporter::isOpen(const FirmwareProject *document) const
{
    return document && m_host
           && m_host->documents().contains(const_cast<FirmwareProject *>(document));
}

void DescriptionImporter::message(QMessageBox::Icon icon, const QString &title, const QString &text)
{
    if (m_message) {
        m_message(icon, title, text);
        return;
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok, m_parent);
    box.exec();
}

int DescriptionImporter::choose(const QString &title, const QString &text,
                                const QStringList &answers)
{
    if (m_choose)
        return m_choose(title, text, answers);
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, m_parent);
    QList<QAbstractButton *> buttons;
    for (const QString &answer : answers)
        buttons.append(box.addButton(answer, QMessageBox::AcceptRole));
    box.addButton(QStringLiteral("Annulla"), QMessageBox::RejectRole);
    box.exec();
    return int(buttons.indexOf(box.clickedButton()));
}

QString DescriptionImporter::askFile(const QString &title, const QString &filter)
{
    if (m_askFile)
        return m_askFile(title, filter);
    return QFileDialog::getOpenFileName(m_parent, title, QString(), filter);
}

void DescriptionImporter::closeBusyDialog()
{
    if (m_busyDialog) {
        m_busyDialog->close();
        m_busyDialog->deleteLater();
    }
    m_busy = false;
}

void DescriptionImporter::importA2L(FirmwareProject *document)
{
    if (m_busy)
        return;
    if (!document) {
        message(QMessageBox::Warning, QStringLiteral("Importa A2L"),
                QStringLiteral("Apri prima il firmware associato."));
        return;
    }
    const QString path = askFile(QStringLiteral("Importa A2L / DAMOS"),
                                 QStringLiteral("A2L / DAMOS (*.a2l *.A2L);;Tutti i file (*.*)"));
    if (!path.isEmpty())
        startA2LImport(document, path);
}

bool DescriptionImporter::startA2LImport(FirmwareProject *document, const QString &path)
{
    if (m_busy || !document)
        return false;
    m_busy = true;
    m_busyDialog = createBusyDialog(
        m_parent,
        QStringLiteral("Analisi file A2L / DAMOS...\n\nLettura struttura file...\n"
                       "Ricerca mappe e assi..."),
        Qt::WindowModal);
    auto *watcher = new QFutureWatcher<A2LParser::Result>(this);
    // Only compared with the open documents when the parse ends: it may be gone by then.
    FirmwareProject *target = document;
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, target] {
        const A2LParser::Result result = watcher->result();
        closeBusyDialog();
        watcher->deleteLater();
        applyA2LResult(target, result);
        emit a2lImportFinished();
    });
    watcher->setFuture(QtConcurrent::run(&A2LParser::parse, path));
    return true;
}

void DescriptionImporter::applyA2LResult(FirmwareProject *document, const A2LParser::Result &result)
{
    if (result.maps.isEmpty() && !result.errorMessage.isEmpty()) {
        message(QMessageBox::Warning, QStringLiteral("Errore A2L"),
                result.errorMessage + A2LParser::refusalSummary(result.refused));
        return;
    }
    // The document may have been closed while the file was read; its maps went with it.
    if (!isOpen(document))
        return;
    // The host replaces the list; the tree and the views' marks follow it.
    m_host->setDocumentMaps(document, result.maps);
    message(QMessageBox::Information, QStringLiteral("A2L caricato"),
            QStringLiteral("File analizzato correttamente.\n\nMappe trovate: %1")
                    .arg(result.maps.size())
                + A2LParser::refusalSummary(result.refused));
}

void DescriptionImporter::importXdf(FirmwareProject *document)
{
    if (m_busy)
        return;
    if (!document) {
        message(QMessageBox::Warning, QStringLiteral("Importa XDF"),
                QStringLiteral("Apri prima il firmware associato."));
        return;
    }
    const QString path
        = askFile(QStringLiteral("Importa XDF"),
                  QStringLiteral("Definizioni XDF (*.xdf *.XDF);;Tutti i file (*.*)"));
    if (!path.isEmpty())
        startXdfImport(document, path);
}

bool DescriptionImporter::startXdfImport(FirmwareProject *document, const QString &path)
{
    if (m_busy || !document)
        return false;
    m_busy = true;
    m_busyDialog = createBusyDialog(
        m_parent, QStringLiteral("Analisi file XDF...\n\nLettura tabelle, assi e categorie..."),
        Qt::WindowModal);
    auto *watcher = new QFutureWatcher<XdfParser::Result>(this);
    FirmwareProject *target = document;
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, target] {
        const XdfParser::Result result = watcher->result();
        closeBusyDialog();
        watcher->deleteLater();
        applyXdfResult(target, result);
        emit xdfImportFinished();
    });
    // Tables are checked against the image as it is now; the parse itself never reads it.
    const qint64 imageSize = qint64(document->firmware->size());
    watcher->setFuture(QtConcurrent::run(
        [path, imageSize] { return XdfParser::parse(path, imageSize); }));
    return true;
}

void DescriptionImporter::applyXdfResult(FirmwareProject *document,
                                         const XdfParser::Result &result)
{
    if (result.maps.isEmpty()) {
        message(QMessageBox::Warning, QStringLiteral("Errore XDF"), result.errorMessage);
        return;
    }
    // The document may have been closed while the file was read; its maps went with it.
    if (!isOpen(document))
        return;
    // Maps the document already has (cut by hand, imported before) are not dropped unasked.
    QList<MapDefinition> maps = result.maps;
    const QList<MapDefinition> &existing = document->maps;
    if (!existing.isEmpty()) {
        const int answer = choose(
            QStringLiteral("Importa XDF"),
            QStringLiteral("Il documento ha già %1 mappe. Sostituirle con le %2 del file XDF "
                           "o aggiungere queste a quelle?")
                .arg(existing.size())
                .arg(result.maps.size()),
            {QStringLiteral("Sostituisci"), QStringLiteral("Aggiungi")});
        if (answer < 0)
            return;
        if (answer == 1)
            maps = existing + result.maps;
    }
    m_host->setDocumentMaps(document, maps);
    message(QMessageBox::Information, QStringLiteral("XDF caricato"),
            XdfParser::summaryText(result));
}

void DescriptionImporter::exportXdf(FirmwareProject *document)
{
    if (!document) {
        message(QMessageBox::Warning, QStringLiteral("Esporta XDF"),
                QStringLiteral("Apri prima il firmware associato."));
        return;
    }
    const FirmwareProject *record = document;
    if (record->maps.isEmpty()) {
        message(QMessageBox::Information, QStringLiteral("Esporta XDF"),
                QStringLiteral("Non sono presenti mappe da esportare."));
        return;
    }
    const QString title = QFileInfo(record->fileName).completeBaseName();
    const QString proposed = title + QStringLiteral(".xdf");
    const QString filter = QStringLiteral("Definizioni XDF (*.xdf);;Tutti i file (*.*)");
    const QString path = m_askSaveFile
                             ? m_askSaveFile(QStringLiteral("Esporta XDF"), proposed, filter)
                             : QFileDialog::getSaveFileName(m_parent, QStringLiteral("Esporta XDF"),
                                                            proposed, filter);
    if (path.isEmpty())
        return;
    QString error;
    QStringList skipped;
    if (!XdfWriter::writeFile(path, record->maps, title, qint64(record->firmware->size()), &error,
                              &skipped)) {
        message(QMessageBox::Critical, QStringLiteral("Esporta XDF"),
                QStringLiteral("Impossibile scrivere il file XDF:\n%1").arg(error));
        return;
    }
    QString text = QStringLiteral("File XDF esportato.\n\nMappe scritte: %1")
                       .arg(record->maps.size() - skipped.size());
    if (!skipped.isEmpty())
        text += QStringLiteral("\nNon esportate: %1\n\n%2")
                    .arg(skipped.size())
                    .arg(skipped.mid(0, 20).join(u'\n'));
    message(QMessageBox::Information, QStringLiteral("Esporta XDF"), text);
}

void DescriptionImporter::importOLS()
{
    if (m_busy)
        return;
    const QString path
        = askFile(QStringLiteral("Importa progetto WinOLS"),
                  QStringLiteral("Progetti WinOLS (*.ols *.OLS);;Tutti i file (*.*)"));
    if (!path.isEmpty())
        startOLSImport(path);
}

void DescriptionImporter::startOLSImport(const QString &path)
{
    if (m_busy)
        return;
    m_busy = true;
    m_busyDialog = createBusyDialog(
        m_parent,
        QStringLiteral("Analisi progetto WinOLS...\n\nLettura e identificazione mappe in corso."),
        Qt::ApplicationModal);
    auto *watcher = new QFutureWatcher<OLSParser::Result>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        const OLSParser::Result result = watcher->result();
        closeBusyDialog();
        watcher->deleteLater();
        applyOLSResult(result);
        emit olsImportFinished();
    });
    watcher->setFuture(QtConcurrent::run(&OLSParser::parse, path));
}

void DescriptionImporter::applyOLSResult(const OLSParser::Result &result)
{
    if (!result.valid) {
        message(QMessageBox::Warning, QStringLiteral("Errore OLS"), result.error);
        return;
    }
    if (result.firmware.isEmpty()) {
        message(QMessageBox::Warning, QStringLiteral("Errore OLS"),
                QStringLiteral("Il progetto OLS non contiene un firmware valido."));
        return;
    }
    if (!m_host)
        return;
    auto *firmware = new Firmware;
    firmware->setData(result.firmware.constData(), std::size_t(result.firmware.size()));
    firmware->setFilePath(result.projectName.toStdString());
    FirmwareProject *document = m_host->createDocument(firmware, result.maps);
    if (result.vendorKnown && m_byteOrder && document)
        m_byteOrder(document, result.littleEndian);
    message(QMessageBox::Information, QStringLiteral("OLS caricato"),
            QStringLiteral("Progetto WinOLS analizzato.\n\nRecord mappa trovati: %1")
                .arg(result.maps.size()));
}

MapFilterDialog *DescriptionImporter::openMapFilter(FirmwareProject *document,
                                                    MapsItemFinder mapsItem)
{
    if (!isOpen(document)) {
        message(QMessageBox::Information, QStringLiteral("Filtro mappe"),
                QStringLiteral("Apri prima un firmware con mappe A2L / DAMOS."));
        return nullptr;
    }
    if (document->maps.isEmpty()) {
        message(QMessageBox::Information, QStringLiteral("Filtro mappe"),
                QStringLiteral("Non sono presenti mappe da filtrare."));
        return nullptr;
    }
    if (m_filterDialog)
        m_filterDialog->close();
    // The dialog outlives nothing it reads: a closed document yields no maps and no branch.
    auto maps = [this, document]() -> const QList<MapDefinition> * {
        return isOpen(document) ? &document->maps : nullptr;
    };
    m_filterDialog = new MapFilterDialog(
        maps,
        [maps, mapsItem = std::move(mapsItem)]() -> QTreeWidgetItem * {
            return maps() && mapsItem ? mapsItem() : nullptr;
        },
        m_parent);
    m_filterDialog->show();
    m_filterDialog->raise();
    m_filterDialog->activateWindow();
    return m_filterDialog;
}
