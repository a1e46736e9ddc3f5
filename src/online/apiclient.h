#pragma once

#include "onlineprotocol.h"

#include <QJsonObject>
#include <QObject>
#include <QSslConfiguration>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// The client of the web service: reachability, sign-in with the session token, the version
// check and driver requests. Every operation returns at once and reports through its signal;
// every request has a time-out, TLS errors are never ignored, and the session token (or a
// password) goes only over HTTPS or to this machine.
class ApiClient : public QObject
{
    Q_OBJECT
public:
    using Reply = OnlineProtocol::Reply;

    explicit ApiClient(const QUrl &baseUrl = {}, QObject *parent = nullptr);

    void setBaseUrl(const QUrl &url) { m_baseUrl = url; }
    QUrl baseUrl() const { return m_baseUrl; }
    // Milliseconds without progress after which a request is given up.
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    int timeout() const { return m_timeoutMs; }
    // The TLS settings of every request (tests trust their own certificate this way).
    void setSslConfiguration(const QSslConfiguration &configuration);

    void checkHealth();
    void login(const QString &customerCode, const QString &password);
    void checkVersion();
    void submitDriverRequest(const QString &manufacturer,
                             const QString &ecuFamily,
                             const QString &notes,
                             const QString &filePath);

    QString authToken() const;
    // The customer code of the last successful sign-in.
    QString customerCode() const;

    // A JSON POST to path; authenticated adds the session token. The callback gets the
    // outcome once; the returned reply (null when nothing was sent) may be aborted.
    QNetworkReply *postJson(const QString &path,
                            const QJsonObject &body,
                            bool authenticated,
                            std::function<void(const Reply &)> done);
    // Whether the token may go to the base URL: HTTPS, or a loopback address.
    static bool mayCarrySecrets(const QUrl &url);

    // The service the application talks to: TESSAMORVANDI_SERVICE_URL when set, else the
    // operator's HTTPS address.
    static QUrl defaultServiceUrl();
    static QString unconfiguredMessage();
    static QString insecureMessage();

signals:
    void healthCheckFinished(bool ok, const QString &message);
    void loginFinished(bool success,
                       const QString &message,
                       int userId,
                       const QString &customerCode,
                       const QString &fullName);
    void versionCheckFinished(bool success,
                              const QString &message,
                              const QString &latestVersion,
                              bool mandatory,
                              const QString &downloadUrl,
                              const QString &notes);
    void driverRequestFinished(bool success, const QString &message, int requestId);

private:
    bool configured() const;
    QNetworkRequest request(const QString &path, bool authenticated) const;
    void track(QNetworkReply *reply, std::function<void(const Reply &)> done);

    QNetworkAccessManager *m_network;
    QUrl m_baseUrl;
    int m_timeoutMs = 30000;
    QSslConfiguration m_ssl = QSslConfiguration::defaultConfiguration();
};

// The settings keys of the service client.
namespace ApiSettings {
inline const char *token = "auth/token";
inline const char *customerCode = "auth/customerCode";
} // namespace ApiSettings
