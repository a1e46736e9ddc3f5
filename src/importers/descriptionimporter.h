#pragma once

#include "importers/a2lparser.h"
#include "importers/mapfilterdialog.h"
#include "importers/olsparser.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>

class DocumentWindow;
class MainWindow;
class QProgressDialog;

// The main window's description-import commands: "Importa A2L / DAMOS...", "Importa progetto
// OLS..." (and dropped ".ols" files), and "FILTRO MAPPE". The parsers run on the global
// thread pool behind a busy dialog; their results come back here on the GUI thread.
class DescriptionImporter : public QObject
{
    Q_OBJECT
public:
    // Every message box goes through here, so tests can answer without a modal dialog.
    using MessageHook
        = std::function<void(QMessageBox::Icon icon, const QString &title, const QString &text)>;
    // Asks for a file to open; empty when cancelled.
    using FileHook = std::function<QString(const QString &title, const QString &filter)>;
    // Sets a new document's views to the byte order a WinOLS project's vendor implies.
    using ByteOrderHook = std::function<void(DocumentWindow *document, bool littleEndian)>;

    explicit DescriptionImporter(MainWindow *window);

    void setMessageHook(MessageHook hook) { m_message = std::move(hook); }
    void setFileHook(FileHook hook) { m_askFile = std::move(hook); }
    void setByteOrderHook(ByteOrderHook hook) { m_byteOrder = std::move(hook); }

    void importA2L();
    // Parses an A2L / DAMOS file for the active document; false when none is open.
    bool startA2LImport(const QString &path);
    void importOLS();
    void startOLSImport(const QString &path);
    void openMapFilter();

    bool isBusy() const { return m_busy; }
    MapFilterDialog *mapFilterDialog() const { return m_filterDialog; }

    // The handlers the future watchers call; public so that a result can be applied directly.
    void applyA2LResult(DocumentWindow *document, const A2LParser::Result &result);
    void applyOLSResult(const OLSParser::Result &result);

signals:
    void a2lImportFinished();
    void olsImportFinished();

private:
    void message(QMessageBox::Icon icon, const QString &title, const QString &text);
    QString askFile(const QString &title, const QString &filter);
    void closeBusyDialog();

    MainWindow *m_window;
    MessageHook m_message;
    FileHook m_askFile;
    ByteOrderHook m_byteOrder;
    QPointer<QProgressDialog> m_busyDialog;
    QPointer<MapFilterDialog> m_filterDialog;
    bool m_busy = false;
};
