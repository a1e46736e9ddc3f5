#pragma once

#include "recognition/driver.h"
#include "recognition/driverscanresult.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>

class DocumentHost;
struct FirmwareProject;
class QProgressDialog;
class QWidget;

// "Carica driver...": loads a recognition driver from disk and scans the active document with
// it on the thread pool; the recognised maps join the document under "Driver Maps". It reaches
// the documents through their DocumentHost.
class DriverScanCommand : public QObject
{
    Q_OBJECT
public:
    // Every message box goes through here, so tests can answer without a modal dialog.
    using MessageHook
        = std::function<void(QMessageBox::Icon icon, const QString &title, const QString &text)>;
    using FileHook = std::function<QString()>;

    // dialogParent owns the dialogs and message boxes.
    DriverScanCommand(DocumentHost *host, QWidget *dialogParent);

    void setMessageHook(MessageHook hook) { m_message = std::move(hook); }
    void setFileHook(FileHook hook) { m_askFile = std::move(hook); }

    void loadDriverAndScan();
    // Scans document (the active one when null) with driver; false when there is none or a
    // scan is running.
    bool startScan(const Driver &driver, FirmwareProject *document = nullptr);
    bool isBusy() const { return m_busy; }

    // Adds the loadable matches to the document's maps; returns how many joined.
    int applyScanResult(FirmwareProject *document,
                        const Driver &driver,
                        const DriverScanResult &result);

signals:
    void scanFinished();
    // A scan's maps joined the document: its "Driver Maps" branch should be shown.
    void driverMapsAdded(FirmwareProject *document);

private:
    void message(QMessageBox::Icon icon, const QString &title, const QString &text);
    void
    finishScan(FirmwareProject *document, const Driver &driver, const DriverScanResult &result);

    DocumentHost *m_host;
    QWidget *m_parent;
    MessageHook m_message;
    FileHook m_askFile;
    QPointer<QProgressDialog> m_busyDialog;
    bool m_busy = false;
};
