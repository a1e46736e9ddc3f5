#pragma once

#include "online/onlinedriversearch.h"
#include "online/updateprompt.h"

#include <QMessageBox>
#include <QObject>

#include <functional>

class ApiClient;
class DocumentHost;
class DriverScanCommand;
struct FirmwareProject;
class QMainWindow;

// The online commands of the main window: the service client and its state, the update
// prompt, sign-in, the driver request and the online driver search after an import. They
// reach the documents through their DocumentHost; a driver found is scanned by scanner.
class OnlineCommands : public QObject
{
    Q_OBJECT
public:
    using MessageHook = OnlineDriverSearch::MessageHook;

    // window owns the dialogs and shows the service's state at the foot of its status bar.
    OnlineCommands(DocumentHost *host, DriverScanCommand *scanner, QMainWindow *window);

    ApiClient *client() const { return m_client; }
    // Asks the service for its state and the latest version.
    void checkService();

    void signIn();
    // The driver request dialog, filled from the active document; a non-empty path is the file.
    void requestDriver(const QString &firmwarePath = {});
    // The online driver search for a document; the driver found is scanned at once.
    OnlineDriverSearch::Outcome searchDrivers(FirmwareProject *record);

    // The about dialog's service lines.
    QStringList serviceLines() const;

    // Tests answer without modal dialogs.
    void setMessageHook(MessageHook hook) { m_message = std::move(hook); }
    void setChoiceHook(OnlineDriverSearch::ChoiceHook hook) { m_choose = std::move(hook); }
    void setUpdatePrompt(const UpdatePrompt &prompt) { m_update = prompt; }
    // Replaces the driver request dialog (the search hands over to it).
    void setDriverRequestHook(std::function<void(const QString &path)> hook)
    {
        m_driverRequestHook = std::move(hook);
    }

signals:
    void serviceStateChanged();

private:
    DocumentHost *m_host;
    DriverScanCommand *m_scanner;
    QMainWindow *m_window;
    ApiClient *m_client;
    UpdatePrompt m_update;
    MessageHook m_message;
    OnlineDriverSearch::ChoiceHook m_choose;
    std::function<void(const QString &)> m_driverRequestHook;
    QString m_state;         // empty until the health check answered
    QString m_latestVersion; // likewise for the version check
    QString m_updateKind;
};
