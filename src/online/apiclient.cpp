#include "apiclient.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>

namespace {

const QByteArray userAgent = QByteArrayLiteral("Tessamorvandi/1.0");

QString text(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toString();
}

} // namespace

ApiClient::ApiClient(const QUrl &baseUrl, QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_baseUrl(baseUrl)
{
    m_network->setAutoDeleteReplies(false);
}

void ApiClient::setSslConfiguration(const QSslConfiguration &configuration)
{
    m_ssl = configuration;
}

QUrl ApiClient::defaultServiceUrl()
{
    const QByteArray fromEnvironment = qgetenv("TESSAMORVANDI_SERVICE_URL").trimmed();
    if (!fromEnvironment.isEmpty())
        return QUrl(QString::fromUtf8(fromEnvironment));
    return QUrl(QStringLiteral("https://servizi.tessamorvandi.it/"));
}

QString ApiClient::unconfiguredMessage()
{
    return QStringLiteral("API URL non configurato");
}

QString ApiClient::insecureMessage()
{
    return QStringLiteral("Connessione non sicura: credenziali e sessione vengono inviate solo "
                          "via HTTPS.");
}

bool ApiClient::mayCarrySecrets(const QUrl &url)
{
    if (url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0)
        return true;
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

bool ApiClient::configured() const
{
    return m_baseUrl.isValid() && !m_baseUrl.isEmpty() && !m_baseUrl.isRelative();
}

QString ApiClient::authToken() const
{
    return QSettings().value(QLatin1String(ApiSettings::token)).toString();
}

QString ApiClient::customerCode() const
{
    return QSettings().value(QLatin1String(ApiSettings::customerCode)).toString();
}

QNetworkRequest ApiClient::request(const QString &path, bool authenticated) const
{
    // The base may carry a path of its own ("https://host/tessa/"): the API paths sit under it.
    QUrl base = m_baseUrl;
    if (!base.path().endsWith(QLatin1Char('/')))
        base.setPath(base.path() + QLatin1Char('/'));
    QNetworkRequest request(base.resolved(QUrl(path.mid(1))));
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    request.setRawHeader(QByteArrayLiteral("User-Agent"), userAgent);
    request.setTransferTimeout(m_timeoutMs);
    request.setSslConfiguration(m_ssl);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    if (authenticated)
        request.setRawHeader(QByteArrayLiteral("Authorization"),
                             QByteArrayLiteral("Bearer ") + authToken().toUtf8());
    return request;
}

void ApiClient::track(QNetworkReply *reply, std::function<void(const Reply &)> done)
{
    connect(reply, &QNetworkReply::finished, this, [this, reply, done] {
        const QNetworkReply::NetworkError error = reply->error();
        OnlineProtocol::Transport transport = OnlineProtocol::Transport::Answered;
        if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
            transport = OnlineProtocol::Transport::TimedOut;
        else if (error != QNetworkReply::NoError)
            transport = OnlineProtocol::Transport::Failed;
        const Reply outcome = OnlineProtocol::readReply(
            transport, reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
            reply->isOpen() ? reply->readAll() : QByteArray(), reply->errorString(), m_timeoutMs);
        reply->deleteLater();
        done(outcome);
    });
}

QNetworkReply *ApiClient::postJson(const QString &path,
                                   const QJsonObject &body,
                                   bool authenticated,
                                   std::function<void(const Reply &)> done)
{
    Reply refused;
    if (!configured()) {
        refused.errorText = unconfiguredMessage();
        done(refused);
        return nullptr;
    }
    if (authenticated && !mayCarrySecrets(m_baseUrl)) {
        refused.errorText = insecureMessage();
        done(refused);
        return nullptr;
    }
    QNetworkRequest r = request(path, authenticated);
    r.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    QNetworkReply *reply = m_network->post(r, QJsonDocument(body).toJson(QJsonDocument::Compact));
    track(reply, std::move(done));
    return reply;
}

void ApiClient::checkHealth()
{
    if (!configured()) {
        emit healthCheckFinished(false, unconfiguredMessage());
        return;
    }
    track(m_network->get(request(QStringLiteral("/api/status"), false)), [this](const Reply &r) {
        // Any JSON answer of the service means it is there.
        const bool ok = r.ok && r.isJsonObject;
        emit healthCheckFinished(
            ok, ok ? text(r.json, "message")
                   : (r.ok ? QStringLiteral("Risposta non valida dal servizio.") : r.errorText));
    });
}

void ApiClient::login(const QString &customerCode, const QString &password)
{
    if (!configured()) {
        emit loginFinished(false, unconfiguredMessage(), 0, QString(), QString());
        return;
    }
    if (!mayCarrySecrets(m_baseUrl)) {
        emit loginFinished(false, insecureMessage(), 0, QString(), QString());
        return;
    }
    const QJsonObject body{{QStringLiteral("customer_code"), customerCode},
                           {QStringLiteral("password"), password}};
    postJson(QStringLiteral("/api/login"), body, false, [this](const Reply &r) {
        QSettings settings;
        const bool success = r.isJsonObject && r.json.value(QStringLiteral("success")).toBool();
        const QString token = text(r.json, "token");
        const QJsonObject user = r.json.value(QStringLiteral("user")).toObject();
        if (success && !token.isEmpty()) {
            settings.setValue(QLatin1String(ApiSettings::token), token);
            settings.setValue(QLatin1String(ApiSettings::customerCode),
                              text(user, "customer_code"));
        } else {
            settings.remove(QLatin1String(ApiSettings::token));
        }
        QString message = text(r.json, "message");
        if (!r.ok)
            message = r.errorText;
        else if (!r.isJsonObject)
            message = QStringLiteral("Risposta non valida dal servizio.");
        emit loginFinished(success && r.ok, message, user.value(QStringLiteral("id")).toInt(),
                           text(user, "customer_code"), text(user, "full_name"));
    });
}

void ApiClient::checkVersion()
{
    if (!configured()) {
        emit versionCheckFinished(false, unconfiguredMessage(), QString(), false, QString(),
                                  QString());
        return;
    }
    track(m_network->get(request(QStringLiteral("/api/version"), false)), [this](const Reply &r) {
        if (!r.ok || !r.isJsonObject) {
            emit versionCheckFinished(
                false, r.ok ? QStringLiteral("Risposta non valida dal servizio.") : r.errorText,
                QString(), false, QString(), QString());
            return;
        }
        emit versionCheckFinished(r.json.value(QStringLiteral("success")).toBool(),
                                  text(r.json, "message"), text(r.json, "version"),
                                  r.json.value(QStringLiteral("mandatory")).toBool(),
                                  text(r.json, "download_url"), text(r.json, "notes"));
    });
}

void ApiClient::submitDriverRequest(const QString &manufacturer,
                                    const QString &ecuFamily,
                                    const QString &notes,
                                    const QString &filePath)
{
    if (!configured()) {
        emit driverRequestFinished(false, unconfiguredMessage(), 0);
        return;
    }
    if (authToken().isEmpty()) {
        emit driverRequestFinished(
            false,
            QStringLiteral("Sessione cliente non disponibile. Effettua nuovamente l'accesso."), 0);
        return;
    }
    if (!mayCarrySecrets(m_baseUrl)) {
        emit driverRequestFinished(false, insecureMessage(), 0);
        return;
    }
    const QFileInfo info(filePath);
    if (!info.exists() || !info.isFile()) {
        emit driverRequestFinished(false, QStringLiteral("File originale non trovato"), 0);
        return;
    }
    auto *file = new QFile(filePath);
    if (!file->open(QIODevice::ReadOnly)) {
        delete file;
        emit driverRequestFinished(false, QStringLiteral("Impossibile aprire il file originale"),
                                   0);
        return;
    }
    auto *multipart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    const QPair<const char *, QString> fields[]
        = {{"manufacturer", manufacturer}, {"ecu_family", ecuFamily}, {"notes", notes}};
    for (const auto &field : fields) {
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentDispositionHeader,
                       QStringLiteral("form-data; name=\"%1\"").arg(QLatin1String(field.first)));
        part.setBody(field.second.toUtf8());
        multipart->append(part);
    }
    QHttpPart filePart;
    filePart.setHeader(QNetworkRequest::ContentTypeHeader,
                       QByteArrayLiteral("application/octet-stream"));
    // Quotes and line breaks in a file name would break the header; they are not names anyway.
    QString name = info.fileName();
    name.replace(QLatin1Char('"'), QLatin1Char('_'))
        .replace(QLatin1Char('\r'), QLatin1Char('_'))
        .replace(QLatin1Char('\n'), QLatin1Char('_'));
    filePart.setHeader(QNetworkRequest::ContentDispositionHeader,
                       QStringLiteral("form-data; name=\"firmware\"; filename=\"%1\"").arg(name));
    filePart.setBodyDevice(file);
    file->setParent(multipart);
    multipart->append(filePart);

    QNetworkReply *reply = m_network->post(
        request(QStringLiteral("/api/customer/driver-requests"), true), multipart);
    multipart->setParent(reply);
    track(reply, [this](const Reply &r) {
        if (!r.ok || !r.isJsonObject) {
            emit driverRequestFinished(
                false, r.ok ? QStringLiteral("Risposta non valida dal servizio.") : r.errorText, 0);
            return;
        }
        int id = r.json.value(QStringLiteral("request_id")).toInt();
        if (id <= 0)
            id = r.json.value(QStringLiteral("request"))
                     .toObject()
                     .value(QStringLiteral("id"))
                     .toInt();
        emit driverRequestFinished(r.json.value(QStringLiteral("success")).toBool(),
                                   text(r.json, "message"), id);
    });
}
