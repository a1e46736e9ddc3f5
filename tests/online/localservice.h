#pragma once

// The real service, in this process, on a free loopback port: a fresh SQLite store with one
// customer, a small catalog and a release. With tls, HTTPS with a certificate made by openssl
// for 127.0.0.1 that only the clients of the test trust.
#include "service/serviceserver.h"
#include "service/servicestore.h"

#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrl>

#include "testsupport.h"

#include <memory>

class LocalService
{
public:
    static inline const QString customerCode = QStringLiteral("C001");
    static inline const QString password = QStringLiteral("Prova-2024!");

    explicit LocalService(bool tls, ServiceLimits limits = {})
        : m_tls(tls)
    {
        if (!m_dir.isValid())
            return;
        QString error;
        if (!m_store.open(m_dir.filePath(QStringLiteral("data")), QString(), &error)
            || !m_store.addCustomer(customerCode, QStringLiteral("Officina Rossi"), password,
                                    &error)
            || !m_store.addCustomer(QStringLiteral("C002"), QStringLiteral("Garage Bianchi"),
                                    QStringLiteral("altra"), &error)) {
            m_error = error;
            return;
        }
        QString cert;
        QString key;
        if (tls) {
            cert = m_dir.filePath(QStringLiteral("cert.pem"));
            key = m_dir.filePath(QStringLiteral("key.pem"));
            QProcess openssl;
            openssl.start(
                QStringLiteral("openssl"),
                {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                 QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"),
                 key, QStringLiteral("-out"), cert, QStringLiteral("-days"), QStringLiteral("2"),
                 QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                 QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1")});
            if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0) {
                m_error = QStringLiteral("openssl could not make a certificate");
                return;
            }
            QFile certFile(cert);
            certFile.open(QIODevice::ReadOnly);
            m_certificates = QSslCertificate::fromData(certFile.readAll());
        }
        m_server = std::make_unique<ServiceServer>(m_store, limits);
        if (!m_server->listen(QHostAddress::LocalHost, 0, cert, key, &error)) {
            m_error = error;
            m_server.reset();
        }
    }

    bool isReady() const { return m_server != nullptr; }
    QString error() const { return m_error; }
    ServiceStore &store() { return m_store; }
    QString dataFolder() const { return m_store.dataFolder(); }
    QUrl url() const
    {
        return QUrl(QStringLiteral("%1://127.0.0.1:%2/")
                        .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"))
                        .arg(m_server ? m_server->port() : 0));
    }
    // Trusts the test's certificate besides the system's.
    QSslConfiguration clientTls() const
    {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(m_certificates);
        return tls;
    }
    // Adds a driver file with the given bytes to the catalog; returns its id.
    QString addDriver(const QByteArray &bytes,
                      const QString &family,
                      const QString &brand,
                      const QString &model,
                      const QString &groupText = {},
                      const QString &name = QStringLiteral("Driver"))
    {
        const QString path = m_dir.filePath(QStringLiteral("incoming.ecudrv"));
        testsupport::writeFile(path, bytes);
        ServiceStore::DriverEntry entry;
        entry.family = family;
        entry.brand = brand;
        entry.model = model;
        entry.groupText = groupText;
        entry.name = name;
        entry.version = QStringLiteral("2");
        entry.mapCount = 5;
        QString error;
        const QString id = m_store.addDriver(path, entry, &error);
        if (id.isEmpty())
            qWarning("%s", qPrintable(error));
        return id;
    }

private:
    bool m_tls;
    QTemporaryDir m_dir;
    ServiceStore m_store;
    std::unique_ptr<ServiceServer> m_server;
    QList<QSslCertificate> m_certificates;
    QString m_error;
};

// Answers each path with its scripted reply, or with anyPath when that is set; a request
// without a reply never gets an answer.
class ScriptedServer : public QTcpServer
{
public:
    QHash<QByteArray, QByteArray> replies;
    QByteArray anyPath;

    ScriptedServer()
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    QByteArray &buffer = m_buffers[socket];
                    buffer += socket->readAll();
                    const qsizetype end = buffer.indexOf("\r\n\r\n");
                    if (end < 0)
                        return;
                    const QByteArray path = buffer.split(' ').value(1);
                    buffer.clear(); // the client sends small bodies at once with the headers
                    if (const QByteArray reply = replies.value(path, anyPath); !reply.isEmpty())
                        socket->write(reply);
                });
            }
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(serverPort())); }

    static QByteArray
    reply(const char *status, const QByteArray &body, const QByteArray &contentLength = {})
    {
        return "HTTP/1.1 " + QByteArray(status) + "\r\nContent-Type: application/json\r\n"
               + "Content-Length: "
               + (contentLength.isEmpty() ? QByteArray::number(body.size()) : contentLength)
               + "\r\n\r\n" + body;
    }

private:
    QHash<QTcpSocket *, QByteArray> m_buffers;
};
