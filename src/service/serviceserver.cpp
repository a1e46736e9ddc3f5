#include "serviceserver.h"

#include "multipartform.h"
#include "online/onlineprotocol.h"
#include "servicerequest.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

using Status = QHttpServerResponder::StatusCode;
using Method = QHttpServerRequest::Method;

QHttpServerResponse failure(Status status, const QString &message)
{
    return QHttpServerResponse(
        QJsonObject{{QStringLiteral("success"), false}, {QStringLiteral("message"), message}},
        status);
}

QByteArray headerValue(const QHttpServerRequest &request, const QByteArray &name)
{
    for (const auto &header : request.headers()) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second;
    }
    return {};
}

// Stops a client that sends more than a request may hold before the whole body is buffered:
// the HTTP server would otherwise keep reading an endless body into memory. Counts what
// arrives between two answers (clients do not pipeline) and looks at Content-Length as soon
// as a request's headers are in.
class BodyGuard : public QObject
{
public:
    BodyGuard(QTcpSocket *socket, qint64 limit)
        : QObject(socket)
        , m_socket(socket)
        , m_limit(limit)
    {
        connect(socket, &QIODevice::readyRead, this, &BodyGuard::onReadyRead);
        connect(socket, &QIODevice::bytesWritten, this, [this] {
            m_received = 0;
            m_headersChecked = false;
        });
    }

private:
    void onReadyRead()
    {
        const qint64 available = m_socket->bytesAvailable();
        if (!m_headersChecked) {
            const QByteArray head = m_socket->peek(16 * 1024);
            const qsizetype end = head.indexOf("\r\n\r\n");
            if (end >= 0) {
                m_headersChecked = true;
                for (const QByteArray &line : head.left(end).split('\n')) {
                    const qsizetype colon = line.indexOf(':');
                    if (colon > 0
                        && line.left(colon).trimmed().compare("content-length", Qt::CaseInsensitive)
                               == 0) {
                        bool ok = false;
                        const qint64 length = line.mid(colon + 1).trimmed().toLongLong(&ok);
                        if (!ok || length > m_limit)
                            return refuse();
                    }
                }
            } else if (head.size() >= 16 * 1024) {
                return refuse();
            }
        }
        m_received += available;
        if (m_received > m_limit + 16 * 1024)
            refuse();
    }

    void refuse()
    {
        // Nobody else reads this socket any more; the answer goes out, then it closes.
        disconnect(m_socket, &QIODevice::readyRead, nullptr, nullptr);
        const QByteArray body
            = QJsonDocument(QJsonObject{{QStringLiteral("success"), false},
                                        {QStringLiteral("message"),
                                         QStringLiteral("Richiesta troppo grande.")}})
                  .toJson(QJsonDocument::Compact);
        m_socket->write("HTTP/1.1 413 Payload Too Large\r\nContent-Type: application/json\r\n"
                        "Connection: close\r\nContent-Length: "
                        + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        m_socket->disconnectFromHost();
    }

    QTcpSocket *m_socket;
    qint64 m_limit;
    qint64 m_received = 0;
    bool m_headersChecked = false;
};

// Every connection of the server, plain or TLS, gets its guard before anybody reads from it.
template<typename Server>
class Guarded : public Server
{
public:
    Guarded(qint64 limit, QObject *parent)
        : Server(parent)
        , m_limit(limit)
    {
    }
    QTcpSocket *nextPendingConnection() override
    {
        QTcpSocket *socket = Server::nextPendingConnection();
        if (socket)
            new BodyGuard(socket, m_limit);
        return socket;
    }

private:
    qint64 m_limit;
};

QJsonObject driverJson(const ServiceStore::DriverEntry &d)
{
    return {
        {QStringLiteral("driver_id"), d.id},           {QStringLiteral("driver_name"), d.name},
        {QStringLiteral("driver_version"), d.version}, {QStringLiteral("map_count"), d.mapCount},
        {QStringLiteral("vehicle_brand"), d.brand},    {QStringLiteral("vehicle_model"), d.model},
        {QStringLiteral("ecu_family"), d.family}};
}

} // namespace

ServiceServer::ServiceServer(ServiceStore &store, ServiceLimits limits, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_limits(limits)
{
    addRoutes();
}

bool ServiceServer::listen(const QHostAddress &address,
                           quint16 port,
                           const QString &certificateFile,
                           const QString &keyFile,
                           QString *error)
{
    auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    QTcpServer *server = nullptr;
    if (!certificateFile.isEmpty() || !keyFile.isEmpty()) {
        if (certificateFile.isEmpty() || keyFile.isEmpty())
            return fail(QStringLiteral("--tls-cert and --tls-key go together"));
        QFile certFile(certificateFile);
        QFile keyIn(keyFile);
        if (!certFile.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1").arg(certificateFile));
        if (!keyIn.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1").arg(keyFile));
        const QList<QSslCertificate> chain = QSslCertificate::fromData(certFile.readAll());
        const QByteArray keyBytes = keyIn.readAll();
        QSslKey key(keyBytes, QSsl::Rsa);
        if (key.isNull())
            key = QSslKey(keyBytes, QSsl::Ec);
        if (chain.isEmpty() || chain.first().isNull())
            return fail(QStringLiteral("%1 holds no PEM certificate").arg(certificateFile));
        if (key.isNull())
            return fail(QStringLiteral("%1 holds no PEM private key (RSA or EC)").arg(keyFile));
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificateChain(chain);
        tls.setPrivateKey(key);
        tls.setPeerVerifyMode(QSslSocket::VerifyNone); // clients are not asked for certificates
        auto *ssl = new Guarded<QSslServer>(m_limits.maxUploadBody(), this);
        ssl->setSslConfiguration(tls);
        ssl->setHandshakeTimeout(10000);
        server = ssl;
    } else {
        server = new Guarded<QTcpServer>(m_limits.maxUploadBody(), this);
    }
    if (!server->listen(address, port)) {
        const QString text = server->errorString();
        delete server;
        return fail(QStringLiteral("cannot listen on %1:%2: %3")
                        .arg(address.toString())
                        .arg(port)
                        .arg(text));
    }
    m_port = server->serverPort();
    m_http.bind(server);
    return true;
}

void ServiceServer::addRoutes()
{
    struct Route
    {
        const char *path;
        Method method;
        Response (ServiceServer::*handler)(const QHttpServerRequest &);
    };
    const Route routes[] = {
        {"/api/status", Method::Get, &ServiceServer::status},
        {"/api/login", Method::Post, &ServiceServer::login},
        {"/api/version", Method::Get, &ServiceServer::version},
        {"/api/customer/driver-requests", Method::Post, &ServiceServer::driverRequest},
        {"/api/drivers/identity-catalog", Method::Post, &ServiceServer::identityCatalog},
        {"/api/drivers/groups", Method::Post, &ServiceServer::groups},
        {"/api/drivers/available", Method::Post, &ServiceServer::available},
        {"/api/drivers/download", Method::Post, &ServiceServer::download},
    };
    for (const Route &route : routes) {
        const Method method = route.method;
        const auto handler = route.handler;
        m_http.route(QString::fromLatin1(route.path), [this, method,
                                                       handler](const QHttpServerRequest &request) {
            if (request.method() != method)
                return failure(Status::MethodNotAllowed, QStringLiteral("Metodo non consentito."));
            return (this->*handler)(request);
        });
    }
    m_http.setMissingHandler([](const QHttpServerRequest &, QHttpServerResponder &&responder) {
        const QJsonObject body{{QStringLiteral("success"), false},
                               {QStringLiteral("message"), QStringLiteral("Risorsa non trovata.")}};
        responder.write(QJsonDocument(body), Status::NotFound);
    });
}

namespace {

QHttpServerResponse refusalOf(const JsonRequest &request)
{
    return failure(Status(request.status), request.message);
}

} // namespace

std::optional<ServiceStore::Customer> ServiceServer::bearer(const QHttpServerRequest &request) const
{
    const QByteArray header = headerValue(request, "Authorization").trimmed();
    if (!header.startsWith("Bearer "))
        return std::nullopt;
    return m_store.customerOfToken(QString::fromLatin1(header.mid(7).trimmed()));
}

QHttpServerResponse ServiceServer::status(const QHttpServerRequest &)
{
    return QHttpServerResponse(QJsonObject{{QStringLiteral("success"), true},
                                           {QStringLiteral("message"), QStringLiteral("Online")}});
}

QHttpServerResponse ServiceServer::login(const QHttpServerRequest &request)
{
    const JsonRequest read
        = readJsonRequest(request.body(), m_limits.maxJsonBody,
                          {QStringLiteral("customer_code"), QStringLiteral("password")});
    if (!read.accepted())
        return refusalOf(read);
    const auto customer
        = m_store.checkPassword(read.body.value(QStringLiteral("customer_code")).toString(),
                                read.body.value(QStringLiteral("password")).toString());
    if (!customer)
        return failure(Status::Unauthorized,
                       QStringLiteral("Codice cliente o password non validi."));
    QString error;
    const QString token = m_store.createSession(*customer, m_limits.sessionLifetimeSeconds, &error);
    if (token.isEmpty())
        return failure(Status::InternalServerError, error);
    const QJsonObject user{{QStringLiteral("id"), customer->id},
                           {QStringLiteral("customer_code"), customer->code},
                           {QStringLiteral("full_name"), customer->fullName}};
    return QHttpServerResponse(
        QJsonObject{{QStringLiteral("success"), true},
                    {QStringLiteral("message"), QStringLiteral("Accesso eseguito.")},
                    {QStringLiteral("token"), token},
                    {QStringLiteral("expires_in"), m_limits.sessionLifetimeSeconds},
                    {QStringLiteral("user"), user}});
}

QHttpServerResponse ServiceServer::version(const QHttpServerRequest &)
{
    const ServiceStore::Release release = m_store.release();
    return QHttpServerResponse(QJsonObject{
        {QStringLiteral("success"), true},
        {QStringLiteral("message"),
         release.version.isEmpty() ? QStringLiteral("Nessuna versione pubblicata.") : QString()},
        {QStringLiteral("version"), release.version},
        {QStringLiteral("mandatory"), release.mandatory},
        {QStringLiteral("download_url"), release.downloadUrl},
        {QStringLiteral("notes"), release.notes}});
}

QHttpServerResponse ServiceServer::driverRequest(const QHttpServerRequest &request)
{
    const auto customer = bearer(request);
    if (!customer)
        return failure(Status::Unauthorized,
                       QStringLiteral("Sessione non valida o scaduta. Effettua nuovamente "
                                      "l'accesso."));
    if (request.body().size() > m_limits.maxUploadBody())
        return failure(Status::PayloadTooLarge, QStringLiteral("Richiesta troppo grande."));
    const MultipartForm form
        = parseMultipartForm(headerValue(request, "Content-Type"), request.body());
    if (!form.error.isEmpty())
        return failure(Status::BadRequest, QStringLiteral("Modulo non valido: %1").arg(form.error));
    const MultipartPart *firmware = form.part(QStringLiteral("firmware"));
    if (!firmware || !firmware->hasFileName)
        return failure(Status::BadRequest, QStringLiteral("File \"firmware\" mancante."));
    if (firmware->body.isEmpty())
        return failure(Status::BadRequest, QStringLiteral("Il file firmware è vuoto."));
    if (firmware->body.size() > m_limits.maxFirmware)
        return failure(Status::PayloadTooLarge, QStringLiteral("Il file firmware supera %1 MiB.")
                                                    .arg(m_limits.maxFirmware / (1024 * 1024)));
    ServiceStore::DriverRequest entry;
    entry.customerCode = customer->code;
    auto text = [&form](const char *name) {
        const MultipartPart *part = form.part(QString::fromLatin1(name));
        return part ? QString::fromUtf8(part->body).trimmed() : QString();
    };
    entry.manufacturer = text("manufacturer");
    entry.ecuFamily = text("ecu_family");
    entry.notes = text("notes");
    if (entry.manufacturer.isEmpty() || entry.ecuFamily.isEmpty())
        return failure(Status::BadRequest,
                       QStringLiteral("Marca ed ECU / famiglia sono obbligatorie."));
    // Kept only to show the operator; the stored file gets a name of the service's own.
    entry.fileName = firmware->fileName.left(255);
    QString error;
    const int id = m_store.addRequest(entry, firmware->body, &error);
    if (id <= 0)
        return failure(Status::InternalServerError, error);
    const QJsonObject stored{{QStringLiteral("id"), id},
                             {QStringLiteral("manufacturer"), entry.manufacturer},
                             {QStringLiteral("ecu_family"), entry.ecuFamily},
                             {QStringLiteral("notes"), entry.notes},
                             {QStringLiteral("file_name"), entry.fileName},
                             {QStringLiteral("file_size"), qint64(firmware->body.size())}};
    return QHttpServerResponse(
        QJsonObject{{QStringLiteral("success"), true},
                    {QStringLiteral("message"), QStringLiteral("Richiesta registrata.")},
                    {QStringLiteral("request"), stored},
                    {QStringLiteral("request_id"), id}},
        Status::Created);
}

std::optional<ServiceServer::Checked>
ServiceServer::checkCustomerRequest(const QHttpServerRequest &request,
                                    const QStringList &textKeys,
                                    bool needsFirmwareSize,
                                    Response *refusal)
{
    const auto customer = bearer(request);
    if (!customer) {
        *refusal = failure(Status::Unauthorized,
                           QStringLiteral("Sessione non valida o scaduta. Effettua nuovamente "
                                          "l'accesso."));
        return std::nullopt;
    }
    const JsonRequest read = readSearchRequest(request.body(), m_limits.maxJsonBody, textKeys,
                                               customer->code, needsFirmwareSize);
    if (!read.accepted()) {
        *refusal = refusalOf(read);
        return std::nullopt;
    }
    return Checked{read.body, *customer};
}

QHttpServerResponse ServiceServer::identityCatalog(const QHttpServerRequest &request)
{
    Response refusal(Status::BadRequest);
    const auto checked = checkCustomerRequest(request, {}, true, &refusal);
    if (!checked)
        return refusal;
    return QHttpServerResponse(QJsonObject{
        {QStringLiteral("success"), true},
        {QStringLiteral("message"), QString()},
        {QStringLiteral("ecu_families"), QJsonArray::fromStringList(m_store.families())}});
}

QHttpServerResponse ServiceServer::groups(const QHttpServerRequest &request)
{
    Response refusal(Status::BadRequest);
    const auto checked
        = checkCustomerRequest(request, {QStringLiteral("ecu_family")}, true, &refusal);
    if (!checked)
        return refusal;
    QJsonArray groups;
    const auto list = m_store.groups(checked->body.value(QStringLiteral("ecu_family")).toString());
    for (const ServiceStore::Group &g : list) {
        groups.append(QJsonObject{{QStringLiteral("vehicle_brand"), g.brand},
                                  {QStringLiteral("vehicle_model"), g.model},
                                  {QStringLiteral("group_text"), g.text}});
    }
    return QHttpServerResponse(QJsonObject{{QStringLiteral("success"), true},
                                           {QStringLiteral("message"), QString()},
                                           {QStringLiteral("groups"), groups}});
}

QHttpServerResponse ServiceServer::available(const QHttpServerRequest &request)
{
    Response refusal(Status::BadRequest);
    const auto checked
        = checkCustomerRequest(request,
                               {QStringLiteral("vehicle_brand"), QStringLiteral("vehicle_model"),
                                QStringLiteral("ecu_family")},
                               true, &refusal);
    if (!checked)
        return refusal;
    const QJsonObject &body = checked->body;
    QJsonArray drivers;
    const auto list = m_store.drivers(body.value(QStringLiteral("ecu_family")).toString(),
                                      body.value(QStringLiteral("vehicle_brand")).toString(),
                                      body.value(QStringLiteral("vehicle_model")).toString());
    for (const ServiceStore::DriverEntry &d : list)
        drivers.append(driverJson(d));
    return QHttpServerResponse(QJsonObject{{QStringLiteral("success"), true},
                                           {QStringLiteral("message"), QString()},
                                           {QStringLiteral("drivers"), drivers}});
}

QHttpServerResponse ServiceServer::download(const QHttpServerRequest &request)
{
    Response refusal(Status::BadRequest);
    const auto checked
        = checkCustomerRequest(request, {QStringLiteral("driver_id")}, false, &refusal);
    if (!checked)
        return refusal;
    const QString id = checked->body.value(QStringLiteral("driver_id")).toString();
    const auto entry = OnlineProtocol::isPlainIdentifier(id) ? m_store.driver(id) : std::nullopt;
    if (!entry)
        return failure(Status::NotFound, QStringLiteral("Driver non trovato."));
    QFile file(entry->storedFile);
    if (!file.open(QIODevice::ReadOnly))
        return failure(Status::InternalServerError,
                       QStringLiteral("Il file del driver non è disponibile."));
    QHttpServerResponse response(QByteArrayLiteral("application/octet-stream"), file.readAll());
    response.addHeader(QByteArrayLiteral("Content-Disposition"),
                       QByteArrayLiteral("attachment; filename=\"") + entry->id.toLatin1()
                           + QByteArrayLiteral(".ecudrv\""));
    return response;
}
