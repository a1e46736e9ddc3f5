#pragma once

#include "importers/a2lparser.h"
#include "importers/mapfilterdialog.h"
#include "importers/olsparser.h"
#include "importers/xdfparser.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>

class DocumentHost;
class Firmware;
struct FirmwareProject;
class QProgressDialog;
class QTreeWidgetItem;
class QWidget;

// The description-import commands: "Importa A2L / DAMOS...", "Importa XDF...", "Importa
// progetto OLS..." (and dropped ".ols" files), "Esporta XDF..." and "FILTRO MAPPE". The parsers
// run on the global thread pool behind a busy dialog; their results come back here on the GUI
// thread. They reach the documents through the DocumentHost that holds them: the document a
// command acts on is handed in, and the image of a WinOLS project opens as a new document of
// the host.
class DescriptionImporter : public QObject
{
    Q_OBJECT
public:
    // Every message box goes through here, so tests can answer without a modal dialog.
    using MessageHook
        = std::function<void(QMessageBox::Icon icon, const QString &title, const QString &text)>;
    // Asks a question with the given answers; the index of the one chosen, -1 when cancelled.
    using ChoiceHook = std::function<int(const QString &title, const QString &text,
                                         const QStringList &answers)>;
    // Asks for a file to open; empty when cancelled.
    using FileHook = std::function<QString(const QString &title, const QString &filter)>;
    // Asks where to save, proposing a name; empty when cancelled.
    using SaveFileHook = std::function<QString(
        const QString &title, const QString &proposed, const QString &filter)>;
    // Sets a new document's views to the byte order a WinOLS project's vendor implies.
    using ByteOrderHook = std::function<void(FirmwareProject *document, bool littleEndian)>;
    // The "Mappe" branch of the document's map list, as it is now.
    using MapsItemFinder = std::function<QTreeWidgetItem *()>;

    // dialogParent owns the dialogs and message boxes.
    DescriptionImporter(DocumentHost *host, QWidget *dialogParent);

    void setMessageHook(MessageHook hook) { m_message = std::move(hook); }
    void setChoiceHook(ChoiceHook hook) { m_choose = std::move(hook); }
    void setFileHook(FileHook hook) { m_askFile = std::move(hook); }
    void setSaveFileHook(SaveFileHook hook) { m_askSaveFile = std::move(hook); }
    void setByteOrderHook(ByteOrderHook hook) { m_byteOrder = std::move(hook); }

    // "Importa A2L / DAMOS..." for document (null when none is open).
    void importA2L(FirmwareProject *document);
    // Parses an A2L / DAMOS file for document; false when there is none or a parse runs.
    bool startA2LImport(FirmwareProject *document, const QString &path);
    // "Importa XDF..." for document: its tables become the document's maps, grouped by their
    // categories; what was left out is listed in the summary.
    void importXdf(FirmwareProject *document);
    bool startXdfImport(FirmwareProject *document, const QString &path);
    // "Esporta XDF...": the document's maps as an XDF that reads back to the same maps.
    void exportXdf(FirmwareProject *document);
    void importOLS();
    void startOLSImport(const QString &path);
    // "FILTRO MAPPE" over document's map list (null when none is open); the dialog, or null
    // when none opened. Whoever changes the maps calls its applyFilter() again.
    MapFilterDialog *openMapFilter(FirmwareProject *document, MapsItemFinder mapsItem);

    bool isBusy() const { return m_busy; }
    MapFilterDialog *mapFilterDialog() const { return m_filterDialog; }

    // The handlers the future watchers call; public so that a result can be applied directly.
    void applyA2LResult(FirmwareProject *document, const A2LParser::Result &result);
    void applyOLSResult(const OLSParser::Result &result);
    void applyXdfResult(FirmwareProject *document, const XdfParser::Result &result);

signals:
    void a2lImportFinished();
    void olsImportFinished();
    void xdfImportFinished();

private:
    void message(QMessageBox::Icon icon, const QString &title, const QString &text);
    QString askFile(const QString &title, const QString &filter);
    int choose(const QString &title, const QString &text, const QStringList &answers);
    void closeBusyDialog();
    bool isOpen(const FirmwareProject *document) const;

    DocumentHost *m_host;
    QWidget *m_parent;
    MessageHook m_message;
    ChoiceHook m_choose;
    FileHook m_askFile;
    SaveFileHook m_askSaveFile;
    ByteOrderHook m_byteOrder;
    QPointer<QProgressDialog> m_busyDialog;
    QPointer<MapFilterDialog> m_filterDialog;
    bool m_busy = false;
};
