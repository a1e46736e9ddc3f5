#include "../online/localservice.h"

#include <QElapsedTimer>
#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

#include "testsupport.h"

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// One connection driven by hand, for what an HTTP library would never send.
class RawClient
{
public:
    explicit RawClient(quint16 port)
    {
        QObject::connect(&m_socket, &QIODevice::readyRead,
                         [this] { m_answer += m_socket.readAll(); });
        m_socket.connectToHost(QHostAddress::LocalHost, port);
    }
    void send(const QByteArray &bytes) { m_socket.write(bytes); }
    // Waits up to ms for the server to close the connection (or for an answer when untilAnswer).
    void wait(int ms, bool untilAnswer = false)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms && m_socket.state() != QAbstractSocket::UnconnectedState
               && !(untilAnswer && answered()))
            QTest::qWait(20);
    }
    bool closed() const { return m_socket.state() == QAbstractSocket::UnconnectedState; }
    bool answered() const
    {
        const qsizetype end = m_answer.indexOf("\r\n\r\n");
        return end >= 0 && m_answer.size() >= end + 4 + header("Content-Length").toInt();
    }
    int status() const { return m_answer.startsWith("HTTP/1.") ? m_answer.mid(9, 3).toInt() : 0; }
    QByteArray header(const QByteArray &name) const
    {
        for (const QByteArray &line : m_answer.left(m_answer.indexOf("\r\n\r\n")).split('\n')) {
            if (line.toLower().startsWith(QByteArray(name.toLower() + ':')))
                return line.mid(name.size() + 1).trimmed();
        }
        return {};
    }
    QString message() const
    {
        return QJsonDocument::fromJson(m_answer.mid(m_answer.indexOf("\r\n\r\n") + 4))
            .object()
            .value(u"message"_s)
            .toString();
    }
    void clear() { m_answer.clear(); }

private:
    QTcpSocket m_socket;
    QByteArray m_answer;
};

QByteArray post(const QByteArray &path, qint64 length, const QByteArray &extra = {})
{
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
           + extra + "Content-Length: " + QByteArray::number(length) + "\r\n\r\n";
}

QByteArray loginBody(const QString &code, const QString &password)
{
    return QJsonDocument(QJsonObject{{u"customer_code"_s, code}, {u"password"_s, password}})
        .toJson(QJsonDocument::Compact);
}

const QByteArray status = "GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

} // namespace

// The service as a client that misbehaves meets it: heads, lengths, stalls, floods.
class TestServiceServer : public QObject
{
    Q_OBJECT

private slots:
    void heads_data()
    {
        // status (0: no answer yet, the body is awaited)
        testsupport::addColumns<QByteArray, int, bool>({"request", "status", "closed"});
        const ServiceLimits limits = testLimits();
        const QByteArray upload = "/api/customer/driver-requests";
        const QByteArray bearer = "Authorization: Bearer TOKEN\r\n";
        const auto row = [](const char *tag, const QByteArray &request, int status, bool closed) {
            QTest::newRow(tag) << request << status << closed;
        };
        const auto padded = [](int bytes) {
            return QByteArray(status).insert(status.size() - 2,
                                             "X-Pad: " + QByteArray(bytes, 'p') + "\r\n");
        };
        row("HTTP/1.1 stays open", status, 200, false);
        row("Connection: close closes", "GET /api/status HTTP/1.1\r\nConnection: close\r\n\r\n",
            200, true);
        row("two different lengths", post("/api/login", 2, "Content-Length: 3\r\n") + "{}", 400,
            true);
        row("JSON body at its cap", post("/api/login", limits.maxJsonBody), 0, false);
        row("JSON body one byte over", post("/api/login", limits.maxJsonBody + 1), 413, true);
        row("upload at its cap", post(upload, limits.maxUploadBody(), bearer), 0, false);
        row("upload one byte over", post(upload, limits.maxUploadBody() + 1, bearer), 413, true);
        row("upload without a session", post(upload, 100), 401, true);
        row("head of 15 KiB", padded(15000), 200, false);
        row("head of 17 KiB", padded(17000), 431, true);
        row("endless chunked body",
            "POST /api/login HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n20000\r\n"
                + QByteArray(0x20000, '{'),
            413, true);
    }

    void heads()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(bool, closed);
        LocalService service(false, testLimits());
        QVERIFY2(service.isReady(), qPrintable(service.error()));
        RawClient client(service.url().port());
        client.send(request.replace("TOKEN", token(service).toLatin1()));
        client.wait(status == 0 ? 500 : 5000, !closed);
        QCOMPARE(client.status(), status);
        if (status == 0)
            QVERIFY(!client.closed());
        else
            QVERIFY(!client.message().isEmpty());
        client.wait(closed ? 5000 : 300);
        QCOMPARE(client.closed(), closed);
        if (closed || status == 0)
            return;
        // A connection left open takes the next request.
        client.clear();
        client.send(::status);
        client.wait(5000, true);
        QCOMPARE(client.status(), 200);
    }

    // Uploads being received at once hold the service's memory: past the budget a new one is
    // refused, and the budget comes back when one goes.
    void uploadBudget()
    {
        ServiceLimits limits = testLimits();
        limits.uploadBudget = 2 * limits.maxUploadBody();
        LocalService service(false, limits);
        QVERIFY2(service.isReady(), qPrintable(service.error()));
        const QByteArray head = post("/api/customer/driver-requests", limits.maxUploadBody(),
                                     "Authorization: Bearer " + token(service).toLatin1() + "\r\n");
        std::vector<std::unique_ptr<RawClient>> clients;
        for (int i = 0; i < 3; ++i) {
            clients.push_back(std::make_unique<RawClient>(service.url().port()));
            clients.back()->send(head);
            clients.back()->wait(i < 2 ? 300 : 5000, true);
        }
        QCOMPARE(clients.at(0)->status(), 0);
        QCOMPARE(clients.at(1)->status(), 0);
        QCOMPARE(clients.at(2)->status(), 503);
        clients.erase(clients.begin()); // the first one gives up
        QTest::qWait(1000);
        RawClient again(service.url().port());
        again.send(head);
        again.wait(500, true);
        QCOMPARE(again.status(), 0);
        QVERIFY(!again.closed());
    }

    void idleConnections()
    {
        ServiceLimits limits = testLimits();
        limits.idleTimeoutMs = 1000;
        LocalService service(false, limits);
        QVERIFY2(service.isReady(), qPrintable(service.error()));
        RawClient stalled(service.url().port());
        stalled.send("GET /api/status HTTP/1.1\r\n");
        RawClient slow(service.url().port());
        // Slower in all than the time-out, but never silent for as long.
        for (qsizetype at = 0; at < status.size(); at += 10) {
            slow.send(status.mid(at, 10));
            QTest::qWait(300);
        }
        slow.wait(5000, true);
        QCOMPARE(slow.status(), 200);
        stalled.wait(5000);
        QVERIFY(stalled.closed());
        QCOMPARE(stalled.status(), 0);
    }

    // Password checks run beside the event loop: the status is answered while sign-ins,
    // sent before it, are still being checked.
    void statusWhileSigningIn()
    {
        LocalService service(false, testLimits());
        QVERIFY2(service.isReady(), qPrintable(service.error()));
        std::vector<std::unique_ptr<RawClient>> logins;
        for (int i = 0; i < 4; ++i) {
            const QByteArray body = loginBody(u"X%1"_s.arg(i), u"no"_s);
            logins.push_back(std::make_unique<RawClient>(service.url().port()));
            logins.back()->send(post("/api/login", body.size()) + body);
        }
        QTest::qWait(50); // every sign-in is in before the status is asked
        RawClient status(service.url().port());
        status.send(::status);
        status.wait(5000, true);
        QCOMPARE(status.status(), 200);
        QVERIFY(std::any_of(logins.begin(), logins.end(),
                            [](const auto &login) { return !login->answered(); }));
        for (const auto &login : logins) {
            login->wait(10000, true);
            QCOMPARE(login->status(), 401);
        }
    }

    // A head that comes in pieces is judged whole: its length still counts.
    void headInPieces()
    {
        LocalService service(false, testLimits());
        QVERIFY2(service.isReady(), qPrintable(service.error()));
        RawClient client(service.url().port());
        client.send("POST /api/login HTTP/1.1\r\nContent-Length: 99999\r\n");
        QTest::qWait(200);
        client.send("Host: 127.0.0.1\r\n\r\n");
        client.wait(5000);
        QCOMPARE(client.status(), 413);
        QVERIFY(client.closed());
    }

    // Repeated failures wait, with a message saying how long; other customers do not.
    void signInThrottle()
    {
        ServiceLimits limits = testLimits();
        limits.throttle.perCode = 2;
        LocalService service(false, limits);
        QVERIFY2(service.isReady(), qPrintable(service.error()));
        RawClient client(service.url().port());
        auto login = [&client](const QString &code, const QString &password) {
            const QByteArray body = loginBody(code, password);
            client.clear();
            client.send(post("/api/login", body.size()) + body);
            client.wait(10000, true);
            return client.status();
        };
        QCOMPARE(login(LocalService::customerCode, u"no"_s), 401);
        QCOMPARE(login(LocalService::customerCode, u"no"_s), 401);
        QCOMPARE(login(LocalService::customerCode, LocalService::password), 429);
        QVERIFY2(client.message().startsWith(u"Troppi tentativi di accesso: riprova tra "_s),
                 qPrintable(client.message()));
        const int wait = client.header("Retry-After").toInt();
        QVERIFY(wait > 0 && wait <= 60);
        QVERIFY(client.message().contains(u" %1 second"_s.arg(wait)));
        QCOMPARE(login(u"C002"_s, u"altra"_s), 200);
    }

    // A driver request's texts up to their caps are kept whole; one character more is refused.
    void requestTextCaps_data()
    {
        testsupport::addColumns<QString, int, int>({"field", "length", "status"});
        for (const auto &[field, cap] : {std::pair{"manufacturer", 128}, {"notes", 4096}})
            for (const int length : {cap, cap + 1})
                QTest::addRow("%s at %d", field, length)
                    << QString::fromLatin1(field) << length << (length == cap ? 201 : 400);
    }

    void requestTextCaps()
    {
        QFETCH(QString, field);
        QFETCH(int, length);
        QFETCH(int, status);
        LocalService service(false, testLimits());
        QVERIFY2(service.isReady(), qPrintable(service.error()));
        QHash<QString, QString> texts{
            {u"manufacturer"_s, u"Fiat"_s}, {u"ecu_family"_s, u"EDC17"_s}, {u"notes"_s, QString()}};
        texts[field] = QString(length, QChar(0xE0));
        auto *form = new QHttpMultiPart(QHttpMultiPart::FormDataType);
        for (auto it = texts.cbegin(); it != texts.cend(); ++it) {
            QHttpPart part;
            part.setHeader(QNetworkRequest::ContentDispositionHeader,
                           u"form-data; name=\"%1\""_s.arg(it.key()));
            part.setBody(it.value().toUtf8());
            form->append(part);
        }
        QHttpPart file;
        file.setHeader(QNetworkRequest::ContentDispositionHeader,
                       u"form-data; name=\"firmware\"; filename=\"ori.bin\""_s);
        file.setBody(QByteArray(100, 'f'));
        form->append(file);
        QNetworkAccessManager network;
        QNetworkRequest request(service.url().resolved(QUrl(u"api/customer/driver-requests"_s)));
        request.setRawHeader("Authorization", "Bearer " + token(service).toLatin1());
        QNetworkReply *reply = network.post(request, form);
        form->setParent(reply);
        QSignalSpy finished(reply, &QNetworkReply::finished);
        QVERIFY(finished.wait());
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), status);
        const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
        const auto stored = service.store().requests();
        if (status == 201) {
            QCOMPARE(stored.size(), 1);
            QCOMPARE(field == QLatin1String("notes") ? stored.at(0).notes
                                                     : stored.at(0).manufacturer,
                     texts.value(field == QLatin1String("notes") ? field : u"manufacturer"_s));
        } else {
            QVERIFY(stored.isEmpty());
            QCOMPARE(answer.value(u"message"_s).toString(),
                     u"Il campo \"%1\" supera %2 caratteri."_s.arg(field).arg(length - 1));
        }
        delete reply;
    }

private:
    static ServiceLimits testLimits()
    {
        ServiceLimits limits;
        limits.maxFirmware = 4096; // keeps the upload cap small enough to send
        return limits;
    }

    static QString token(LocalService &service)
    {
        const auto customer
            = service.store().checkPassword(LocalService::customerCode, LocalService::password);
        QString error;
        return customer ? service.store().createSession(*customer, 600, &error) : QString();
    }
};

QTEST_GUILESS_MAIN(TestServiceServer)
#include "tst_serviceserver.moc"
