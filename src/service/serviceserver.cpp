#include "serviceserver.h"

#include "multipartform.h"
#include "online/onlineprotocol.h"
#include "servicerequest.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

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

const QString sessionRefusal
    = QStringLiteral("Sessione non valida o scaduta. Effettua nuovamente l'accesso.");
const QByteArray uploadPath = QByteArrayLiteral("/api/customer/driver-requests");
constexpr qint64 maxHead = 16 * 1024;

} // namespace

// What every connection's guard needs to know of the service.
struct ConnectionRules
{
    ServiceLimits limits;
    std::function<bool(const QByteArray &authorization)> mayUpload;
    qint64 reserved = 0; // of limits.uploadBudget
    int open = 0;        // connections
};

namespace {

// Stands in front of the HTTP server on one connection and reads each request's head as it
// arrives, before the server buffers its body: a body larger than its route takes, a head
// that could be read two ways, an upload without a session or beyond the uploads the service
// can hold at once are refused there and the connection is closed. It also closes the
// connection after the answer when the client asked for that (HTTP/1.0, "Connection: close")
// and when it has been idle too long. Clients do not pipeline: one request, then its answer.
class ConnectionGuard : public QObject
{
public:
    ConnectionGuard(QTcpSocket *socket, std::shared_ptr<ConnectionRules> rules)
        : QObject(socket)
        , m_socket(socket)
        , m_rules(std::move(rules))
    {
        ++m_rules->open;
        m_idle.setSingleShot(true);
        m_idle.setInterval(m_rules->limits.idleTimeoutMs);
        connect(&m_idle, &QTimer::timeout, socket, &QAbstractSocket::abort);
        m_idle.start();
        connect(socket, &QIODevice::readyRead, this, &ConnectionGuard::onReadyRead);
        connect(socket, &QIODevice::bytesWritten, this, &ConnectionGuard::onBytesWritten);
        // The HTTP server forgets a connection it could not parse; it still goes when closed.
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    }
    ~ConnectionGuard() override
    {
        release();
        --m_rules->open;
    }

private:
    void onReadyRead()
    {
        m_idle.start();
        // Runs before the HTTP server's reader, which takes everything there is each time:
        // what is available now arrived since the last call.
        const qint64 available = m_socket->bytesAvailable();
        m_requestBytes += available;
        if (m_bodyStart < 0) {
            m_head += m_socket->peek(qMin(available, maxHead + 4 - m_head.size()));
            const qsizetype end = m_head.indexOf("\r\n\r\n");
            if (end < 0) {
                if (m_head.size() > maxHead)
                    refuse(431, QStringLiteral("Intestazioni della richiesta troppo grandi."));
                return;
            }
            m_bodyStart = end + 4;
            if (!admit(readRequestHead(m_head.left(end))))
                return;
        }
        // A body longer than announced, or an endless chunked one.
        const qint64 body = m_requestBytes - m_bodyStart;
        if (body > (m_length >= 0 ? m_length : m_cap) + maxHead)
            refuse(413, QStringLiteral("Richiesta troppo grande."));
    }

    bool admit(const RequestHead &head)
    {
        if (!head.accepted()) {
            refuse(head.status, head.message);
            return false;
        }
        const ServiceLimits &limits = m_rules->limits;
        const bool upload = head.path == uploadPath && head.method == "POST";
        m_closeAfterAnswer = head.closeAfterAnswer;
        m_length = head.contentLength;
        m_cap = upload ? limits.maxUploadBody() : limits.maxJsonBody;
        if (m_length > m_cap) {
            refuse(413, QStringLiteral("Richiesta troppo grande."));
            return false;
        }
        if (upload && (m_length > 0 || head.chunked)) {
            if (!m_rules->mayUpload(head.authorization)) {
                refuse(401, sessionRefusal);
                return false;
            }
            const qint64 need = m_length >= 0 ? m_length : m_cap;
            if (m_rules->reserved + need > limits.uploadBudget) {
                refuse(503, QStringLiteral("Troppi caricamenti in corso: riprova tra qualche "
                                           "minuto."));
                return false;
            }
            m_reserved = need;
            m_rules->reserved += need;
        }
        return true;
    }

    void onBytesWritten()
    {
        m_idle.start();
        if (m_socket->bytesToWrite() > 0)
            return;
        if (m_refused) {
            // The client may still be sending the body it announced; closing at once could
            // reset the connection before it reads the refusal. It gets a moment to stop.
            QTimer::singleShot(1000, m_socket, &QAbstractSocket::disconnectFromHost);
            return;
        }
        // The answer is out: the next request starts afresh.
        release();
        m_head.clear();
        m_requestBytes = 0;
        m_bodyStart = -1;
        m_length = -1;
        if (m_closeAfterAnswer)
            m_socket->disconnectFromHost();
    }

    void release()
    {
        m_rules->reserved -= m_reserved;
        m_reserved = 0;
    }

    void refuse(int status, const QString &message)
    {
        m_refused = true;
        release();
        // The HTTP server reads no more of this connection: what still comes is dropped
        // unread, the answer goes out, then the connection closes.
        disconnect(m_socket, &QIODevice::readyRead, nullptr, nullptr);
        if (m_socket->isTransactionStarted())
            m_socket->commitTransaction();
        m_socket->skip(m_socket->bytesAvailable());
        connect(m_socket, &QIODevice::readyRead, this, [this] {
            m_idle.start();
            m_socket->skip(m_socket->bytesAvailable());
        });
        static const QHash<int, QByteArray> reasons{{400, "Bad Request"},
                                                    {401, "Unauthorized"},
                                                    {413, "Payload Too Large"},
                                                    {431, "Request Header Fields Too Large"},
                                                    {503, "Service Unavailable"}};
        const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("success"), false},
                                                          {QStringLiteral("message"), message}})
                                    .toJson(QJsonDocument::Compact);
        m_socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reasons.value(status)
                        + "\r\nContent-Type: application/json\r\nConnection: close\r\n"
                          "Content-Length: "
                        + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    }

    QTcpSocket *m_socket;
    std::shared_ptr<ConnectionRules> m_rules;
    QTimer m_idle;
    QByteArray m_head;
    qint64 m_requestBytes = 0;
    qint64 m_bodyStart = -1; // offset of the body in the request, -1 until the head is in
    qint64 m_length = -1;
    qint64 m_cap = 0;
    qint64 m_reserved = 0;
    bool m_closeAfterAnswer = false;
    bool m_refused = false;
};

// Every connection of the server, plain or TLS, gets its guard before anybody reads from it;
// beyond the service's connection cap new ones are closed at once.
template<typename Server>
class Guarded : public Server
{
public:
    Guarded(std::shared_ptr<ConnectionRules> rules, QObject *parent)
        : Server(parent)
        , m_rules(std::move(rules))
    {
    }
    QTcpSocket *nextPendingConnection() override
    {
        while (QTcpSocket *socket = Server::nextPendingConnection()) {
            if (m_rules->open < m_rules->limits.maxConnections) {
                new ConnectionGuard(socket, m_rules);
                return socket;
            }
            socket->abort();
            socket->deleteLater();
        }
        return nullptr;
    }

private:
    std::shared_ptr<ConnectionRules> m_rules;
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
    , m_throttle(limits.throttle)
    , m_rules(std::make_shared<ConnectionRules>())
{
    m_clock.start();
    m_hashPool.setMaxThreadCount(qMax(1, limits.hashThreads));
    m_uploadPool.setMaxThreadCount(2);
    m_rules->limits = limits;
    m_rules->mayUpload
        = [this](const QByteArray &authorization) { return bearer(authorization).has_value(); };
    addRoutes();
}

ServiceServer::~ServiceServer()
{
    // A guard that outlives the server must not ask it about sessions.
    m_rules->mayUpload = [](const QByteArray &) { return false; };
    m_hashPool.waitForDone();
    m_uploadPool.waitForDone();
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
        auto *ssl = new Guarded<QSslServer>(m_rules, this);
        ssl->setSslConfiguration(tls);
        ssl->setHandshakeTimeout(10000);
        server = ssl;
    } else {
        server = new Guarded<QTcpServer>(m_rules, this);
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
    // Sign-in answers once its password check, on a worker thread, is done.
    m_http.route(QStringLiteral("/api/login"),
                 [this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
                     if (request.method() != Method::Post)
                         failure(Status::MethodNotAllowed, QStringLiteral("Metodo non consentito."))
                             .write(std::move(responder));
                     else
                         login(request, std::move(responder));
                 });
    // A driver request answers once its firmware, on a worker thread, is stored.
    m_http.route(QStringLiteral("/api/customer/driver-requests"),
                 [this](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
                     if (request.method() != Method::Post)
                         failure(Status::MethodNotAllowed, QStringLiteral("Metodo non consentito."))
                             .write(std::move(responder));
                     else
                         driverRequest(request, std::move(responder));
                 });
    const Route routes[] = {
        {"/api/status", Method::Get, &ServiceServer::status},
        {"/api/version", Method::Get, &ServiceServer::version},
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
    return bearer(headerValue(request, "Authorization"));
}

std::optional<ServiceStore::Customer> ServiceServer::bearer(const QByteArray &authorization) const
{
    const QByteArray header = authorization.trimmed();
    if (!header.startsWith("Bearer "))
        return std::nullopt;
    return m_store.customerOfToken(QString::fromLatin1(header.mid(7).trimmed()));
}

QHttpServerResponse ServiceServer::status(const QHttpServerRequest &)
{
    return QHttpServerResponse(QJsonObject{{QStringLiteral("success"), true},
                                           {QStringLiteral("message"), QStringLiteral("Online")}});
}

void ServiceServer::login(const QHttpServerRequest &request, QHttpServerResponder &&responder)
{
    const JsonRequest read
        = readJsonRequest(request.body(), m_limits.maxJsonBody,
                          {QStringLiteral("customer_code"), QStringLiteral("password")});
    if (!read.accepted())
        return refusalOf(read).write(std::move(responder));
    const QString code = read.body.value(QStringLiteral("customer_code")).toString();
    const QString password = read.body.value(QStringLiteral("password")).toString();
    const QString address = request.remoteAddress().toString();
    const int wait = m_throttle.waitSeconds(code, address, m_clock.elapsed());
    if (wait > 0) {
        QHttpServerResponse refusal
            = failure(Status::TooManyRequests, LoginThrottle::message(wait));
        refusal.addHeader(QByteArrayLiteral("Retry-After"), QByteArray::number(wait));
        return refusal.write(std::move(responder));
    }
    m_throttle.attempt(code, address, m_clock.elapsed());
    const ServiceStore::PasswordRecord record = m_store.passwordRecord(code);
    // The responder writes straight to its connection: it is used only while that lives.
    auto pending = std::make_shared<QHttpServerResponder>(std::move(responder));
    QPointer<QTcpSocket> socket = pending->socket();
    // The destructor waits for the pool, so `this` outlives every task and what it posts.
    m_hashPool.start([this, record, password, code, address, pending, socket] {
        const auto customer = ServiceStore::verifyPassword(record, password);
        QMetaObject::invokeMethod(
            this,
            [this, customer, code, address, pending, socket] {
                if (socket && socket->state() == QAbstractSocket::ConnectedState)
                    signedIn(customer, code, address).write(std::move(*pending));
            },
            Qt::QueuedConnection);
    });
}

QHttpServerResponse ServiceServer::signedIn(const std::optional<ServiceStore::Customer> &customer,
                                            const QString &code,
                                            const QString &address)
{
    if (!customer)
        return failure(Status::Unauthorized,
                       QStringLiteral("Codice cliente o password non validi."));
    m_throttle.succeeded(code, address);
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

namespace {

// A driver request form taken apart, checked and its firmware staged in the files folder: the
// part of a driver request that takes time and needs no database, run on a worker thread.
struct StagedUpload
{
    int status = 0; // the HTTP status of the refusal; 0 when staged
    QString message;
    ServiceStore::DriverRequest entry;
    QString stagedFile;
};

StagedUpload stageUpload(const QByteArray &contentType,
                         const QByteArray &body,
                         qint64 maxFirmware,
                         const QString &filesFolder)
{
    StagedUpload upload;
    auto refuse = [&upload](int status, const QString &message) {
        upload.status = status;
        upload.message = message;
        return upload;
    };
    const MultipartForm form = parseMultipartForm(contentType, body);
    if (!form.error.isEmpty())
        return refuse(400, QStringLiteral("Modulo non valido: %1").arg(form.error));
    const MultipartPart *firmware = form.part(QStringLiteral("firmware"));
    if (!firmware || !firmware->hasFileName)
        return refuse(400, QStringLiteral("File \"firmware\" mancante."));
    if (firmware->body.isEmpty())
        return refuse(400, QStringLiteral("Il file firmware è vuoto."));
    if (firmware->body.size() > maxFirmware)
        return refuse(
            413,
            QStringLiteral("Il file firmware supera %1 MiB.").arg(maxFirmware / (1024 * 1024)));
    ServiceStore::DriverRequest &entry = upload.entry;
    auto text = [&form](const char *name) {
        const MultipartPart *part = form.part(QString::fromLatin1(name));
        return part ? QString::fromUtf8(part->body).trimmed() : QString();
    };
    entry.manufacturer = text("manufacturer");
    entry.ecuFamily = text("ecu_family");
    entry.notes = text("notes");
    if (entry.manufacturer.isEmpty() || entry.ecuFamily.isEmpty())
        return refuse(400, QStringLiteral("Marca ed ECU / famiglia sono obbligatorie."));
    for (const auto &[key, value] : {std::pair{QStringLiteral("manufacturer"), entry.manufacturer},
                                     std::pair{QStringLiteral("ecu_family"), entry.ecuFamily},
                                     std::pair{QStringLiteral("notes"), entry.notes}}) {
        const QString tooLong = textRefusal(key, value);
        if (!tooLong.isEmpty())
            return refuse(400, tooLong);
    }
    // Kept only to show the operator; the stored file gets a name of the service's own.
    entry.fileName = firmware->fileName.left(255);
    QString error;
    upload.stagedFile = ServiceStore::stageFirmware(filesFolder, firmware->body, entry, &error);
    if (upload.stagedFile.isEmpty())
        return refuse(500, error);
    return upload;
}

} // namespace

void ServiceServer::driverRequest(const QHttpServerRequest &request,
                                  QHttpServerResponder &&responder)
{
    const auto customer = bearer(request);
    if (!customer)
        return failure(Status::Unauthorized, sessionRefusal).write(std::move(responder));
    if (request.body().size() > m_limits.maxUploadBody())
        return failure(Status::PayloadTooLarge, QStringLiteral("Richiesta troppo grande."))
            .write(std::move(responder));
    auto pending = std::make_shared<QHttpServerResponder>(std::move(responder));
    QPointer<QTcpSocket> socket = pending->socket();
    const QByteArray contentType = headerValue(request, "Content-Type");
    const QByteArray body = request.body();
    const QString code = customer->code;
    // Taking the form apart, hashing and writing up to 32 MiB is left to a worker thread; the
    // destructor waits for the pool, so `this` outlives every task and what it posts.
    m_uploadPool.start([this, contentType, body, code, pending, socket,
                        maxFirmware = m_limits.maxFirmware, folder = m_store.filesFolder()] {
        StagedUpload upload = stageUpload(contentType, body, maxFirmware, folder);
        upload.entry.customerCode = code;
        QMetaObject::invokeMethod(
            this,
            [this, upload, pending, socket] {
                if (!socket || socket->state() != QAbstractSocket::ConnectedState) {
                    // Nobody waits for the answer: the request is not kept.
                    if (!upload.stagedFile.isEmpty())
                        QFile::remove(upload.stagedFile);
                    return;
                }
                storeUpload(upload.status, upload.message, upload.entry, upload.stagedFile)
                    .write(std::move(*pending));
            },
            Qt::QueuedConnection);
    });
}

QHttpServerResponse ServiceServer::storeUpload(int status,
                                               const QString &message,
                                               const ServiceStore::DriverRequest &entry,
                                               const QString &stagedFile)
{
    if (status != 0)
        return failure(Status(status), message);
    QString error;
    const int id = m_store.addStagedRequest(entry, stagedFile, &error);
    if (id <= 0)
        return failure(Status::InternalServerError, error);
    const QJsonObject stored{{QStringLiteral("id"), id},
                             {QStringLiteral("manufacturer"), entry.manufacturer},
                             {QStringLiteral("ecu_family"), entry.ecuFamily},
                             {QStringLiteral("notes"), entry.notes},
                             {QStringLiteral("file_name"), entry.fileName},
                             {QStringLiteral("file_size"), entry.fileSize}};
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
        *refusal = failure(Status::Unauthorized, sessionRefusal);
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
