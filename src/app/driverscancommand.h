#pragma once

#include "recognition/driver.h"
#include "recognition/driverscanresult.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>

class DocumentWindow;
class MainWindow;
class QProgressDialog;

// "Carica driver...": loads a recognition driver from disk and scans the active document with
// it on the thread pool; the recognised maps join the document under "Driver Maps".
class DriverScanCommand : public QObject
{
    Q_OBJECT
public:
    // Every message box goes through here, so tests can answer without a modal dialog.
    using MessageHook
        = std::function<void(QMessageBox::Icon icon, const QString &title, const QString &text)>;
    using FileHook = std::function<QString()>;

    explicit DriverScanCommand(MainWindow *window);

    void setMessageHook(MessageHook hook) { m_message = std::move(hook); }
    void setFileHook(FileHook hook) { m_askFile = std::move(hook); }

    void loadDriverAndScan();
    // Scans the active document with driver; false when none is open or a scan is running.
    bool startScan(const Driver &driver);
    bool isBusy() const { return m_busy; }

    // Adds the loadable matches to the document's maps; returns how many joined.
    int
    applyScanResult(DocumentWindow *document, const Driver &driver, const DriverScanResult &result);

signals:
    void scanFinished();

private:
    void message(QMessageBox::Icon icon, const QString &title, const QString &text);
    void finishScan(DocumentWindow *document, const Driver &driver, const DriverScanResult &result);

    MainWindow *m_window;
    MessageHook m_message;
    FileHook m_askFile;
    QPointer<QProgressDialog> m_busyDialog;
    bool m_busy = false;
};
