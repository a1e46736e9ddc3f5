#pragma once

#include "servicestore.h"

#include <QHostAddress>
#include <QHttpServer>
#include <QJsonObject>
#include <QObject>

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
};

// The web service of the application: sign-in, version, driver requests, and the driver
// catalog with its download. Every answer is JSON (but the driver download); a refusal is
// {"success": false, "message": ...} with the HTTP status that says why.
class ServiceServer : public QObject
{
    Q_OBJECT
public:
    ServiceServer(ServiceStore &store, ServiceLimits limits = {}, QObject *parent = nullptr);

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
    Response login(const QHttpServerRequest &request);
    Response version(const QHttpServerRequest &request);
    Response driverRequest(const QHttpServerRequest &request);
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

    ServiceStore &m_store;
    ServiceLimits m_limits;
    QHttpServer m_http;
    quint16 m_port = 0;
};
