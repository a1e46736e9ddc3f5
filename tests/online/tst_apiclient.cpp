#include "localservice.h"
#include "online/apiclient.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

#include "testsupport.h"

class TestApiClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("TessamorvandiTest"));
        QCoreApplication::setApplicationName(QStringLiteral("tst_apiclient"));
        QVERIFY(m_dir.isValid());
    }

    void init() { QSettings().clear(); }

    void operations_data()
    {
        QTest::addColumn<bool>("tls");
        QTest::newRow("http") << false;
        QTest::newRow("https") << true;
    }

    void operations()
    {
        QFETCH(bool, tls);
        LocalService service(tls);
        QVERIFY2(service.isReady(), qPrintable(service.error()));
        QString error;
        QVERIFY(
            service.store().setRelease({QStringLiteral("1.2.0"), QStringLiteral("https://dl/1.2.0"),
                                        QStringLiteral("Correzioni"), true},
                                       &error));
        ApiClient client(service.url());
        client.setSslConfiguration(service.clientTls());

        QSignalSpy health(&client, &ApiClient::healthCheckFinished);
        client.checkHealth();
        QVERIFY(health.wait());
        QCOMPARE(health.at(0).at(0).toBool(), true);

        QSettings().setValue(QLatin1String(ApiSettings::token), QStringLiteral("old"));
        QSignalSpy login(&client, &ApiClient::loginFinished);
        client.login(LocalService::customerCode, QStringLiteral("sbagliata"));
        QVERIFY(login.wait());
        QCOMPARE(login.at(0).at(0).toBool(), false);
        QCOMPARE(login.at(0).at(1).toString(),
                 QStringLiteral("Codice cliente o password non validi."));
        QVERIFY(client.authToken().isEmpty());

        client.login(LocalService::customerCode, LocalService::password);
        QVERIFY(login.wait());
        const QList<QVariant> signedIn = login.at(1);
        QCOMPARE(signedIn.at(0).toBool(), true);
        QVERIFY(signedIn.at(2).toInt() > 0);
        QCOMPARE(signedIn.at(3).toString(), LocalService::customerCode);
        QCOMPARE(signedIn.at(4).toString(), QStringLiteral("Officina Rossi"));
        QCOMPARE(client.authToken().size(), 64);
        QCOMPARE(client.customerCode(), LocalService::customerCode);

        QSignalSpy version(&client, &ApiClient::versionCheckFinished);
        client.checkVersion();
        QVERIFY(version.wait());
        QCOMPARE(version.at(0).at(0).toBool(), true);
        QCOMPARE(version.at(0).at(2).toString(), QStringLiteral("1.2.0"));
        QCOMPARE(version.at(0).at(3).toBool(), true);
        QCOMPARE(version.at(0).at(4).toString(), QStringLiteral("https://dl/1.2.0"));
        QCOMPARE(version.at(0).at(5).toString(), QStringLiteral("Correzioni"));

        const QByteArray firmware = QByteArray(70000, '\x5a') + QByteArray("\x00\xff\r\n--", 6);
        const QString path = testsupport::writeFile(
            m_dir.filePath(QStringLiteral("ducato \"2019\".bin")), firmware);
        QSignalSpy request(&client, &ApiClient::driverRequestFinished);
        client.submitDriverRequest(QStringLiteral("Fiat"), QStringLiteral("EDC17C69"),
                                   QStringLiteral("Ducato 2.3\nEuro 6"), path);
        QVERIFY(request.wait());
        client.submitDriverRequest(QStringLiteral("Iveco"), QStringLiteral("EDC17C49"), QString(),
                                   path);
        QVERIFY(request.wait());
        QCOMPARE(request.at(0).at(0).toBool(), true);
        QCOMPARE(request.at(0).at(2).toInt(), 1);
        QCOMPARE(request.at(1).at(2).toInt(), 2);
        const auto stored = service.store().requests();
        QCOMPARE(stored.size(), 2);
        QCOMPARE(stored.at(0).customerCode, LocalService::customerCode);
        QCOMPARE(stored.at(0).manufacturer, QStringLiteral("Fiat"));
        QCOMPARE(stored.at(0).ecuFamily, QStringLiteral("EDC17C69"));
        QCOMPARE(stored.at(0).notes, QStringLiteral("Ducato 2.3\nEuro 6"));
        QCOMPARE(stored.at(0).fileName, QStringLiteral("ducato _2019_.bin"));
        QCOMPARE(stored.at(0).fileSize, qint64(firmware.size()));
        QFile copy(stored.at(0).storedFile);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), firmware);
    }

    void unconfiguredSendsNothing()
    {
        ApiClient client{QUrl()};
        QSignalSpy health(&client, &ApiClient::healthCheckFinished);
        QSignalSpy login(&client, &ApiClient::loginFinished);
        QSignalSpy version(&client, &ApiClient::versionCheckFinished);
        QSignalSpy request(&client, &ApiClient::driverRequestFinished);
        client.checkHealth();
        client.login(QStringLiteral("C"), QStringLiteral("p"));
        client.checkVersion();
        client.submitDriverRequest(QStringLiteral("a"), QStringLiteral("b"), QString(),
                                   QStringLiteral("/nope"));
        const QString expected = QStringLiteral("API URL non configurato");
        QCOMPARE(health.size(), 1);
        QCOMPARE(health.at(0).at(1).toString(), expected);
        QCOMPARE(login.at(0).at(1).toString(), expected);
        QCOMPARE(version.at(0).at(1).toString(), expected);
        QCOMPARE(request.at(0).at(1).toString(), expected);
    }

    void driverRequestRefusedBeforeSending_data()
    {
        testsupport::addColumns<bool, QString, QString>({"signedIn", "file", "message"});
        QTest::newRow("no token, file missing")
            << false << m_dir.filePath(QStringLiteral("missing.bin"))
            << "Sessione cliente non disponibile. Effettua nuovamente l'accesso.";
        QTest::newRow("file missing") << true << m_dir.filePath(QStringLiteral("missing.bin"))
                                      << "File originale non trovato";
        QTest::newRow("a folder") << true << m_dir.path() << "File originale non trovato";
    }

    void driverRequestRefusedBeforeSending()
    {
        QFETCH(bool, signedIn);
        QFETCH(QString, file);
        ScriptedServer server; // every request answered alike
        server.anyPath = ScriptedServer::reply("200 OK", "{\"success\":true}");
        if (signedIn)
            QSettings().setValue(QLatin1String(ApiSettings::token), QStringLiteral("t"));
        ApiClient client(server.url());
        QSignalSpy request(&client, &ApiClient::driverRequestFinished);
        client.submitDriverRequest(QStringLiteral("Fiat"), QStringLiteral("EDC"), QString(), file);
        QCOMPARE(request.size(), 1);
        QCOMPARE(request.at(0).at(0).toBool(), false);
        QTEST(request.at(0).at(1).toString(), "message");
    }

    void failures_data()
    {
        testsupport::addColumns<QByteArray, QString>({"reply", "message"});
        QTest::newRow("HTTP 500 with text")
            << ScriptedServer::reply("500 Internal Server Error", "database down")
            << "HTTP 500: database down";
        QTest::newRow("HTTP 503 with a JSON message") << ScriptedServer::reply(
            "503 Service Unavailable", "{\"success\":false,\"message\":\"Manutenzione\"}")
                                                      << "Manutenzione";
        QTest::newRow("not JSON") << ScriptedServer::reply("200 OK", "<html>ok</html>")
                                  << "Risposta non valida dal servizio.";
        QTest::newRow("JSON array")
            << ScriptedServer::reply("200 OK", "[1,2]") << "Risposta non valida dal servizio.";
        QTest::newRow("never answers") << QByteArray()
                                       << QStringLiteral("Il servizio non ha risposto entro 0.4 "
                                                         "secondi.");
    }

    void failures()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, message);
        ScriptedServer server; // every request answered alike, or never
        server.anyPath = reply;
        ApiClient client(server.url());
        client.setTimeout(400);
        QSignalSpy version(&client, &ApiClient::versionCheckFinished);
        client.checkVersion();
        QVERIFY(version.wait(5000));
        QCOMPARE(version.at(0).at(0).toBool(), false);
        QCOMPARE(version.at(0).at(1).toString(), message);

        QSettings().setValue(QLatin1String(ApiSettings::token), QStringLiteral("t"));
        QSignalSpy request(&client, &ApiClient::driverRequestFinished);
        client.submitDriverRequest(
            QStringLiteral("Fiat"), QStringLiteral("EDC"), QString(),
            testsupport::writeFile(m_dir.filePath(QStringLiteral("f.bin")), "x"));
        QVERIFY(request.wait(5000));
        QCOMPARE(request.at(0).at(0).toBool(), false);
        QCOMPARE(request.at(0).at(1).toString(), message);
    }

    void untrustedCertificateFails()
    {
        LocalService service(true);
        QVERIFY2(service.isReady(), qPrintable(service.error()));
        ApiClient client(service.url()); // the system's trust only
        QSignalSpy health(&client, &ApiClient::healthCheckFinished);
        client.checkHealth();
        QVERIFY(health.wait());
        QCOMPARE(health.at(0).at(0).toBool(), false);
        QVERIFY(!health.at(0).at(1).toString().isEmpty());
    }

    void secretsOnlyOverSafeTransport_data()
    {
        testsupport::addColumns<QString, bool>({"url", "allowed"});
        QTest::newRow("https") << "https://servizi.example.it/" << true;
        QTest::newRow("loopback v4 range") << "http://127.5.0.9:8470/" << true;
        QTest::newRow("loopback v6") << "http://[::1]:8470/" << true;
        QTest::newRow("localhost") << "http://localhost:8470/" << true;
        QTest::newRow("LAN address") << "http://192.168.1.20:8470/" << false;
        QTest::newRow("lookalike name") << "http://127.0.0.1.example.it/" << false;
    }

    void secretsOnlyOverSafeTransport()
    {
        QFETCH(QString, url);
        QFETCH(bool, allowed);
        QCOMPARE(ApiClient::mayCarrySecrets(QUrl(url)), allowed);
        if (allowed)
            return;
        ApiClient client{QUrl(url)};
        QSignalSpy login(&client, &ApiClient::loginFinished);
        client.login(QStringLiteral("C001"), QStringLiteral("pw"));
        QCOMPARE(login.size(), 1); // refused at once, nothing sent
        QCOMPARE(login.at(0).at(1).toString(), ApiClient::insecureMessage());
    }

    void serviceRefusals_data()
    {
        // token ("good", "expired", "none"); what a body must hold is tst_servicerequest's: here,
        // that each route asks for it
        testsupport::addColumns<QString, QByteArray, QString, int>(
            {"path", "body", "token", "status"});

        const QByteArray hash(64, 'a');
        auto json = [&hash](const QByteArray &code, const QByteArray &extra) -> QByteArray {
            return "{\"customer_code\":\"" + code + "\",\"device_hash\":\"" + hash
                   + "\",\"firmware_size\":100" + extra + "}";
        };
        auto row = [](const char *tag, const char *path, const QByteArray &body, const char *token,
                      int status) { QTest::newRow(tag) << path << body << token << status; };
        const char *catalog = "/api/drivers/identity-catalog";
        const char *download = "/api/drivers/download";
        const char *groups = "/api/drivers/groups";
        const QByteArray drv1 = R"(,"driver_id":"drv-1")";
        row("catalog", catalog, json("C001", ""), "good", 200);
        row("no token", catalog, json("C001", ""), "none", 401);
        row("expired token", catalog, json("C001", ""), "expired", 401);
        row("download for another customer", download, json("C002", drv1), "good", 403);
        row("missing key", groups, json("C001", ""), "good", 400);
        row("size as text", catalog, json("C001", "").replace("100", "\"100\""), "good", 400);
        row("download", download, json("C001", drv1), "good", 200);
        row("download climbing out", download, json("C001", ",\"driver_id\":\"../drivers/drv-1\""),
            "good", 404);
        row("unknown path", "/api/nothing", "{}", "none", 404);
    }

    void serviceRefusals()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(QString, token);
        QFETCH(int, status);
        ServiceLimits limits;
        limits.sessionLifetimeSeconds = token == QLatin1String("expired") ? 0 : 600;
        LocalService service(false, limits);
        QVERIFY2(service.isReady(), qPrintable(service.error()));
        QCOMPARE(service.addDriver("ECUD", QStringLiteral("EDC17C46"), QStringLiteral("Fiat"),
                                   QStringLiteral("Ducato")),
                 QStringLiteral("drv-1"));
        QString sessionToken;
        if (token != QLatin1String("none")) {
            const auto customer
                = service.store().checkPassword(LocalService::customerCode, LocalService::password);
            QVERIFY(customer);
            QString error;
            sessionToken
                = service.store().createSession(*customer, limits.sessionLifetimeSeconds, &error);
        }
        QNetworkAccessManager network;
        QNetworkRequest request(service.url().resolved(QUrl(path.mid(1))));
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("application/json"));
        if (!sessionToken.isEmpty())
            request.setRawHeader("Authorization", "Bearer " + sessionToken.toLatin1());
        QNetworkReply *reply = network.post(request, body);
        QSignalSpy finished(reply, &QNetworkReply::finished);
        QVERIFY(finished.wait());
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), status);
        const QByteArray answer = reply->readAll();
        if (status == 200 && path.endsWith(QLatin1String("download"))) {
            QCOMPARE(answer, QByteArray("ECUD"));
        } else {
            const QJsonObject object = QJsonDocument::fromJson(answer).object();
            QCOMPARE(object.value(QStringLiteral("success")).toBool(), status == 200);
            if (status != 200)
                QVERIFY(!object.value(QStringLiteral("message")).toString().isEmpty());
        }
        delete reply;
    }

    void uploadSizeBoundary_data()
    {
        testsupport::addColumns<int, bool>({"size", "accepted"});
        QTest::newRow("at the cap") << 4096 << true;
        QTest::newRow("one byte over") << 4097 << false;
        QTest::newRow("far over the body cap") << 2 * 1024 * 1024 << false;
    }

    void uploadSizeBoundary()
    {
        QFETCH(int, size);
        QFETCH(bool, accepted);
        ServiceLimits limits;
        limits.maxFirmware = 4096;
        LocalService service(false, limits);
        QVERIFY2(service.isReady(), qPrintable(service.error()));
        ApiClient client(service.url());
        QSignalSpy login(&client, &ApiClient::loginFinished);
        client.login(LocalService::customerCode, LocalService::password);
        QVERIFY(login.wait());
        QSignalSpy request(&client, &ApiClient::driverRequestFinished);
        client.submitDriverRequest(QStringLiteral("Fiat"), QStringLiteral("EDC17"), QString(),
                                   testsupport::writeFile(m_dir.filePath(QStringLiteral("big.bin")),
                                                          QByteArray(size, 'b')));
        QVERIFY(request.wait());
        QCOMPARE(request.at(0).at(0).toBool(), accepted);
        QCOMPARE(service.store().requests().size(), accepted ? 1 : 0);
        if (!accepted)
            QVERIFY(!request.at(0).at(1).toString().isEmpty());
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestApiClient)
#include "tst_apiclient.moc"
