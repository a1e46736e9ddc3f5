#pragma once

#include "loginthrottle.h"
#include "servicestore.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QHttpServer>
#include <QJsonObject>
#include <QObject>
#include <QThreadPool>

#include <memory>
#include <optional>

class QHttpServerRequest;
class QHttpServerResponse;

struct ServiceLimits
{
    qint64 maxJsonBody = 64 * 1024;
    qint64 maxFirmware = 32 * 1024 * 1024;
    // A multipart body carries the firmware and a few short fields.
    qint64 maxUploadBody() const { return maxFirmware + 256 * 1024; }
    qint64 sessionLifetimeSeconds = 12 * 3600;
    // A connection that neither sends nor takes a byte for this long is closed.
    int idleTimeoutMs = 30000;
    // The upload bodies being received at once, by their announced lengths: the server holds
    // each one whole (twice, while it reads it) before it can look at it.
    qint64 uploadBudget = 48 * 1024 * 1024;
    int maxConnections = 256;
    int hashThreads = 2; // the PBKDF2 of sign-ins runs there, never on the event loop
    LoginThrottle::Rules throttle;
};

struct ConnectionRules;

// The web service of the application: sign-in, version, driver requests, and the driver
// catalog with its download. Every answer is JSON (but the driver download); a refusal is
// {"success": false, "message": ...} with the HTTP status that says why.
class ServiceServer : public QObject
{
    Q_OBJECT
public:
    ServiceServer(ServiceStore &store, ServiceLimits limits = {}, QObject *parent = nullptr);
    ~ServiceServer() override;

    // Listens on address:port (0 picks a free port); with a certificate and key, HTTPS only.
    bool listen(const QHostAddress &address,
                quint16 port,
                const QString &certificateFile,
                const QString &keyFile,
                QString *error);
    quint16 port() const { return m_port; }

private:
    using Response = QHttpServerResponse;
    void addRoutes();
    Response status(const QHttpServerRequest &request);
    void login(const QHttpServerRequest &request, QHttpServerResponder &&responder);
    Response signedIn(const std::optional<ServiceStore::Customer> &customer,
                      const QString &code,
                      const QString &address);
    Response version(const QHttpServerRequest &request);
    void driverRequest(const QHttpServerRequest &request, QHttpServerResponder &&responder);
    Response storeUpload(int status,
                         const QString &message,
                         const ServiceStore::DriverRequest &entry,
                         const QString &stagedFile);
    Response identityCatalog(const QHttpServerRequest &request);
    Response groups(const QHttpServerRequest &request);
    Response available(const QHttpServerRequest &request);
    Response download(const QHttpServerRequest &request);

    // The JSON body of a driver search request from the signed-in customer it names (see
    // readSearchRequest), or the refusal to answer with.
    struct Checked
    {
        QJsonObject body;
        ServiceStore::Customer customer;
    };
    std::optional<Checked> checkCustomerRequest(const QHttpServerRequest &request,
                                                const QStringList &textKeys,
                                                bool needsFirmwareSize,
                                                Response *refusal);
    std::optional<ServiceStore::Customer> bearer(const QHttpServerRequest &request) const;
    std::optional<ServiceStore::Customer> bearer(const QByteArray &authorization) const;

    ServiceStore &m_store;
    ServiceLimits m_limits;
    LoginThrottle m_throttle;
    QElapsedTimer m_clock;
    QThreadPool m_hashPool;
    QThreadPool m_uploadPool; // driver requests' forms and files
    // Shared with the guard of every connection, which may outlive this object by a moment.
    std::shared_ptr<ConnectionRules> m_rules;
    QHttpServer m_http;
    quint16 m_port = 0;
};
