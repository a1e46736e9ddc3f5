#include "postgrescluster.h"

#include <QCryptographicHash>
#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QtTest>

#include "testsupport.h"

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString Service = QStringLiteral(TESSA_SERVICE_BIN);
const QString DemoDriver = QStringLiteral(TESSA_SOURCE_DIR "/examples/tessa-demo.ecudrv");

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

// An operator who outgrows one machine: two services on one PostgreSQL database and one
// shared files folder, each with a data folder of its own, taking requests at once.
class TestServiceCluster : public QObject
{
    Q_OBJECT

private slots:
    void twoServicesOneDatabase()
    {
        PostgresCluster postgres;
        if (!postgres.hasBinaries())
            QSKIP("PostgreSQL server binaries (initdb, pg_ctl) not installed: Debian package "
                  "postgresql");
        QVERIFY2(postgres.isRunning(), qPrintable(postgres.reason()));
        QVERIFY(m_dir.isValid());
        const QString files = m_dir.filePath(u"shared"_s);
        // A command of the operator's on the machine whose data folder is data.
        auto command = [&](const QString &name, const QString &data, const QStringList &more = {}) {
            const QStringList where{"--data", m_dir.filePath(data), "--database", postgres.url()};
            return QStringList{name} + where + QStringList{"--files", files} + more;
        };
        QCOMPARE(run(command("add-customer", "a", {"C001", "Officina"}), "segreto\n").exitCode, 0);
        QStringList drivers;
        for (const char *family : {"EDC17C46", "MED17.5"}) {
            const auto added = run(command("add-driver", "a",
                                           {DemoDriver, "--family", QString::fromLatin1(family),
                                            "--brand", "VW", "--model", "Golf", "--version", "1"}));
            QCOMPARE(added.exitCode, 0);
            drivers << QString::fromLatin1(added.out.trimmed());
        }

        // Both services start at once on the same database.
        std::vector<std::unique_ptr<QProcess>> services;
        QList<QUrl> urls;
        for (const QString &data : {u"a"_s, u"b"_s}) {
            const quint16 port = freePort();
            services.push_back(std::make_unique<QProcess>());
            services.back()->start(
                Service, command("serve", data, {"--listen", u"127.0.0.1:%1"_s.arg(port)}));
            urls << QUrl(u"http://127.0.0.1:%1/"_s.arg(port));
        }
        for (const auto &service : services) {
            QVERIFY(service->waitForReadyRead(20000));
            QVERIFY(service->readLine().startsWith("listening on"));
        }

        // A session made by one service is good on the other.
        QNetworkAccessManager network;
        const QJsonObject signedIn = send(network, urls.at(0), "api/login",
                                          R"({"customer_code":"C001","password":"segreto"})", {});
        const QByteArray token = signedIn.value(u"token"_s).toString().toLatin1();
        QVERIFY(!token.isEmpty());

        // Twelve requests, six through each service, all in flight together.
        QHash<QNetworkReply *, QByteArray> sent;
        for (int i = 0; i < 12; ++i) {
            QByteArray firmware(20000 + i, char('a' + i));
            auto *form = new QHttpMultiPart(QHttpMultiPart::FormDataType);
            for (const auto &[name, value] : {std::pair{"manufacturer", QByteArray("Fiat")},
                                              std::pair{"ecu_family", QByteArray("EDC17C69")},
                                              std::pair{"notes", QByteArray::number(i)}}) {
                QHttpPart part;
                part.setHeader(QNetworkRequest::ContentDispositionHeader,
                               u"form-data; name=\"%1\""_s.arg(QLatin1String(name)));
                part.setBody(value);
                form->append(part);
            }
            QHttpPart file;
            file.setHeader(QNetworkRequest::ContentDispositionHeader,
                           u"form-data; name=\"firmware\"; filename=\"ori.bin\""_s);
            file.setBody(firmware);
            form->append(file);
            QNetworkRequest request(
                urls.at(i % 2).resolved(QUrl(u"api/customer/driver-requests"_s)));
            request.setRawHeader("Authorization", "Bearer " + token);
            QNetworkReply *reply = network.post(request, form);
            form->setParent(reply);
            sent.insert(reply, firmware);
        }
        QHash<int, QByteArray> byId;
        for (auto it = sent.cbegin(); it != sent.cend(); ++it) {
            QNetworkReply *reply = it.key();
            if (!reply->isFinished())
                QVERIFY(QSignalSpy(reply, &QNetworkReply::finished).wait(30000));
            QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 201);
            const int id
                = QJsonDocument::fromJson(reply->readAll()).object().value(u"request_id"_s).toInt();
            QVERIFY2(!byId.contains(id), "two requests got one number");
            byId.insert(id, it.value());
            reply->deleteLater();
        }
        QCOMPARE(byId.size(), 12);

        // A third machine's view: every request listed once, with the bytes that were sent.
        const auto listed = run(command("list-requests", "c"));
        QCOMPARE(listed.exitCode, 0);
        QSet<int> seen;
        for (const QByteArray &line : listed.out.trimmed().split('\n')) {
            const QJsonObject row = QJsonDocument::fromJson(line).object();
            const int id = row.value(u"request_id"_s).toInt();
            QVERIFY2(!seen.contains(id), "a request listed twice");
            seen.insert(id);
            QVERIFY(byId.contains(id));
            QCOMPARE(row.value(u"file_sha256"_s).toString().toLatin1(),
                     QCryptographicHash::hash(byId.value(id), QCryptographicHash::Sha256).toHex());
            const QString exported = m_dir.filePath(u"export-%1.bin"_s.arg(id));
            QCOMPARE(run(command("export-request", "c", {QString::number(id), exported})).exitCode,
                     0);
            QCOMPARE(testsupport::readFile(exported), byId.value(id));
        }
        QCOMPARE(seen.size(), 12);

        // Every driver is served by either service.
        const QByteArray driverBytes = testsupport::readFile(DemoDriver);
        for (const QUrl &url : std::as_const(urls)) {
            for (const QString &driver : std::as_const(drivers)) {
                const QByteArray body
                    = QJsonDocument(QJsonObject{{u"customer_code"_s, u"C001"_s},
                                                {u"device_hash"_s, QString(64, QLatin1Char('a'))},
                                                {u"driver_id"_s, driver}})
                          .toJson(QJsonDocument::Compact);
                QByteArray raw;
                send(network, url, "api/drivers/download", body, token, &raw);
                QCOMPARE(raw, driverBytes);
            }
        }
        for (const auto &service : services) {
            service->terminate();
            service->waitForFinished(5000);
        }
    }

private:
    static testsupport::ProcessResult run(const QStringList &arguments,
                                          const QByteArray &input = {})
    {
        return testsupport::runProgram(Service, arguments, input);
    }

    static QJsonObject send(QNetworkAccessManager &network,
                            const QUrl &base,
                            const char *path,
                            const QByteArray &body,
                            const QByteArray &token,
                            QByteArray *raw = nullptr)
    {
        QNetworkRequest request(base.resolved(QUrl(QString::fromLatin1(path))));
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QByteArrayLiteral("application/json"));
        if (!token.isEmpty())
            request.setRawHeader("Authorization", "Bearer " + token);
        std::unique_ptr<QNetworkReply> reply(network.post(request, body));
        QSignalSpy(reply.get(), &QNetworkReply::finished).wait(30000);
        const QByteArray bytes = reply->readAll();
        if (raw)
            *raw = bytes;
        return QJsonDocument::fromJson(bytes).object();
    }

    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestServiceCluster)
#include "tst_servicecluster.moc"
