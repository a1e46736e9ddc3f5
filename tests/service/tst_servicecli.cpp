#include "service/servicestore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

// The operator commands as scripts use them: the built binary, run as a process.
class TestServiceCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void commands()
    {
        const QString dataDir = data();
        QCOMPARE(run({QStringLiteral("add-customer"), QStringLiteral("--data"), dataDir,
                      QStringLiteral("DEMO01"), QStringLiteral("Officina Demo")},
                     "Demo-2024\n")
                     .exitCode,
                 0);
        const auto driver
            = run({QStringLiteral("add-driver"), QStringLiteral("--data"), dataDir,
                   QStringLiteral(TESSA_SOURCE_DIR "/examples/tessa-demo.ecudrv"),
                   QStringLiteral("--family"), QStringLiteral("EDC17C46"),
                   QStringLiteral("--brand"), QStringLiteral("Volkswagen"),
                   QStringLiteral("--model"), QStringLiteral("Golf"), QStringLiteral("--version"),
                   QStringLiteral("3"), QStringLiteral("--group-text"), QStringLiteral("CFFB")});
        QCOMPARE(driver.exitCode, 0);
        QCOMPARE(driver.out, QByteArray("drv-1\n"));
        QCOMPARE(run({QStringLiteral("set-version"), QStringLiteral("--data"), dataDir,
                      QStringLiteral("1.2.0"), QStringLiteral("--url"),
                      QStringLiteral("https://dl/x"), QStringLiteral("--notes"),
                      QStringLiteral("Novità"), QStringLiteral("--mandatory")})
                     .exitCode,
                 0);

        ServiceStore store;
        QString error;
        QVERIFY(store.open(dataDir, QString(), &error));
        QVERIFY(store.checkPassword(QStringLiteral("DEMO01"), QStringLiteral("Demo-2024")));
        const auto entry = store.driver(QStringLiteral("drv-1"));
        QVERIFY(entry);
        QCOMPARE(entry->name, QStringLiteral("tessa-demo"));
        QCOMPARE(entry->mapCount, 4);
        QCOMPARE(entry->groupText, QStringLiteral("CFFB"));
        const ServiceStore::Release release = store.release();
        QCOMPARE(release.version, QStringLiteral("1.2.0"));
        QCOMPARE(release.notes, QStringLiteral("Novità"));
        QVERIFY(release.mandatory);

        ServiceStore::DriverRequest request;
        request.customerCode = QStringLiteral("DEMO01");
        request.manufacturer = QStringLiteral("Fiat");
        request.ecuFamily = QStringLiteral("EDC17C69");
        request.notes = QStringLiteral("riga 1\nriga 2");
        request.fileName = QStringLiteral("ori.bin");
        QCOMPARE(store.addRequest(request, QByteArray("abc"), &error), 1);
        const auto listed
            = run({QStringLiteral("list-requests"), QStringLiteral("--data"), dataDir});
        QCOMPARE(listed.exitCode, 0);
        const QList<QByteArray> lines = listed.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.at(0).startsWith("{\"request_id\":1,\"customer_code\":\"DEMO01\","
                                       "\"manufacturer\":\"Fiat\",\"ecu_family\":\"EDC17C69\","
                                       "\"notes\":\"riga 1\\nriga 2\",\"file_name\":\"ori.bin\","
                                       "\"file_size\":3,\"file_sha256\":\"ba7816bf"));
        const QString exported = m_dir.filePath(QStringLiteral("exported.bin"));
        QCOMPARE(run({QStringLiteral("export-request"), QStringLiteral("--data"), dataDir,
                      QStringLiteral("1"), exported})
                     .exitCode,
                 0);
        QCOMPARE(testsupport::readFile(exported), QByteArray("abc"));
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        const QString dataDir = m_dir.filePath(QStringLiteral("refusals"));
        const QString image = QStringLiteral(TESSA_SOURCE_DIR "/examples/tessa-demo.bin");
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << QByteArray();
        QTest::newRow("no password")
            << QStringList{QStringLiteral("add-customer"), QStringLiteral("--data"), dataDir,
                           QStringLiteral("C1"), QStringLiteral("N")}
            << QByteArray();
        QTest::newRow("no data folder") << QStringList{"set-version", "1.0"} << QByteArray();
        QTest::newRow("an image is no driver") << QStringList{QStringLiteral("add-driver"),
                                                              QStringLiteral("--data"),
                                                              dataDir,
                                                              image,
                                                              QStringLiteral("--family"),
                                                              QStringLiteral("F"),
                                                              QStringLiteral("--brand"),
                                                              QStringLiteral("B"),
                                                              QStringLiteral("--model"),
                                                              QStringLiteral("M"),
                                                              QStringLiteral("--version"),
                                                              QStringLiteral("1")}
                                               << QByteArray();
        QTest::newRow("driver without a model")
            << QStringList{QStringLiteral("add-driver"),
                           QStringLiteral("--data"),
                           dataDir,
                           QStringLiteral(TESSA_SOURCE_DIR "/examples/tessa-demo.ecudrv"),
                           QStringLiteral("--family"),
                           QStringLiteral("F"),
                           QStringLiteral("--brand"),
                           QStringLiteral("B"),
                           QStringLiteral("--version"),
                           QStringLiteral("1")}
            << QByteArray();
        QTest::newRow("listen without a port")
            << QStringList{QStringLiteral("serve"), QStringLiteral("--data"), dataDir,
                           QStringLiteral("--listen"), QStringLiteral("127.0.0.1")}
            << QByteArray();
        QTest::newRow("certificate without key") << QStringList{QStringLiteral("serve"),
                                                                QStringLiteral("--data"),
                                                                dataDir,
                                                                QStringLiteral("--listen"),
                                                                QStringLiteral("127.0.0.1:0"),
                                                                QStringLiteral("--tls-cert"),
                                                                image}
                                                 << QByteArray();
        QTest::newRow("unknown request")
            << QStringList{QStringLiteral("export-request"), QStringLiteral("--data"), dataDir,
                           QStringLiteral("7"), m_dir.filePath(QStringLiteral("x"))}
            << QByteArray();
    }

    void refusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        const auto r = run(arguments, input);
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.out.isEmpty());
        QVERIFY(r.err.startsWith("tessamorvandi-service: "));
        QCOMPARE(r.err.count('\n'), 1);
    }

    void serveAnnouncesItself()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        QProcess service;
        service.start(QStringLiteral(TESSA_SERVICE_BIN),
                      {QStringLiteral("serve"), QStringLiteral("--data"), data(),
                       QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port)});
        QVERIFY(service.waitForReadyRead(10000));
        QCOMPARE(service.readLine(),
                 QStringLiteral("listening on 127.0.0.1:%1\n").arg(port).toLatin1());
        service.terminate();
        QVERIFY(service.waitForFinished(5000));
    }

private:
    static testsupport::ProcessResult run(const QStringList &arguments,
                                          const QByteArray &input = {})
    {
        return testsupport::runProgram(QStringLiteral(TESSA_SERVICE_BIN), arguments, input);
    }
    QString data() const { return m_dir.filePath(QStringLiteral("data")); }

    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestServiceCli)
#include "tst_servicecli.moc"
