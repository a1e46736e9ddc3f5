#pragma once

#include "recognition/driver.h"

#include <QJsonObject>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <optional>

class ApiClient;
class QWidget;

// The online driver search of one firmware: the service names the ECU families it knows, the
// one found in the image leads to its vehicles and drivers, the chosen driver is downloaded
// into the cache and loaded. Each request is waited for behind a modal busy dialog. Without a
// driver for the image, the user is led to the manual driver request.
class OnlineDriverSearch : public QObject
{
    Q_OBJECT
public:
    enum class Outcome { Stopped, ManualRequest, DriverLoaded };

    using MessageHook
        = std::function<void(QMessageBox::Icon icon, const QString &title, const QString &text)>;
    // An item choice; the index chosen, or nullopt when cancelled.
    using ChoiceHook = std::function<std::optional<int>(
        const QString &title, const QString &label, const QStringList &items)>;

    static constexpr qint64 maxDriverBytes = 256LL * 1024 * 1024;

    OnlineDriverSearch(ApiClient *client, QWidget *dialogParent);

    void setMessageHook(MessageHook hook) { m_message = std::move(hook); }
    void setChoiceHook(ChoiceHook hook) { m_choose = std::move(hook); }
    // Called with the firmware's path when the search hands over to the manual request.
    void setManualRequest(std::function<void(const QString &firmwarePath)> request)
    {
        m_manualRequest = std::move(request);
    }

    // Runs the whole search; on DriverLoaded, driver holds the downloaded driver.
    Outcome run(const QByteArray &firmware, const QString &firmwarePath, Driver &driver);

    // A stable identifier of this installation, 64 lower-case hexadecimal digits.
    static QString deviceHash();
    // TempLocation + "/Tessamorvandi/drivers".
    static QString cacheFolder();

private:
    struct Answer
    {
        bool ok = false;
        int httpStatus = 0;
        QString responseText;
        bool isJsonObject = false;
        QJsonObject json;
        QByteArray body;
    };
    Answer post(const QString &path,
                const QJsonObject &body,
                const QString &label,
                qint64 maxBytes = 4 * 1024 * 1024);
    void warn(const QString &text);
    Outcome manual(const QString &firmwarePath);

    ApiClient *m_client;
    QPointer<QWidget> m_parent;
    MessageHook m_message;
    ChoiceHook m_choose;
    std::function<void(const QString &)> m_manualRequest;
};
