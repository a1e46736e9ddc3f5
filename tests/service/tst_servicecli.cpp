#include "service/servicestore.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

using namespace Qt::StringLiterals;

// The operator commands as scripts use them: the built binary, run as a process.
class TestServiceCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void commands()
    {
        const QString dataDir = data();
        QCOMPARE(run({"add-customer", "--data", dataDir, "DEMO01", "Officina Demo"}, "Demo-2024\n")
                     .exitCode,
                 0);
        const auto driver
            = run({"add-driver", "--data", dataDir, testsupport::example("tessa-demo.ecudrv"),
                   "--family", "EDC17C46", "--brand", "Volkswagen", "--model", "Golf", "--version",
                   "3", "--group-text", "CFFB"});
        QCOMPARE(driver.exitCode, 0);
        QCOMPARE(driver.out, QByteArray("drv-1\n"));
        QCOMPARE(run({"set-version", "--data", dataDir, "1.2.0", "--url", "https://dl/x", "--notes",
                      "Novità", "--mandatory"})
                     .exitCode,
                 0);

        ServiceStore store;
        QString error;
        QVERIFY(store.open(dataDir, QString(), &error));
        QVERIFY(store.checkPassword(u"DEMO01"_s, u"Demo-2024"_s));
        const auto entry = store.driver(u"drv-1"_s);
        QVERIFY(entry);
        QCOMPARE(entry->name, u"tessa-demo"_s);
        QCOMPARE(entry->mapCount, 4);
        QCOMPARE(entry->groupText, u"CFFB"_s);
        const ServiceStore::Release release = store.release();
        QCOMPARE(release.version, u"1.2.0"_s);
        QCOMPARE(release.notes, u"Novità"_s);
        QVERIFY(release.mandatory);

        ServiceStore::DriverRequest request;
        request.customerCode = u"DEMO01"_s;
        request.manufacturer = u"Fiat"_s;
        request.ecuFamily = u"EDC17C69"_s;
        request.notes = u"riga 1\nriga 2"_s;
        request.fileName = u"ori.bin"_s;
        QCOMPARE(store.addRequest(request, QByteArray("abc"), &error), 1);
        const auto listed = run({"list-requests", "--data", dataDir});
        QCOMPARE(listed.exitCode, 0);
        const QList<QByteArray> lines = listed.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.at(0).startsWith("{\"request_id\":1,\"customer_code\":\"DEMO01\","
                                       "\"manufacturer\":\"Fiat\",\"ecu_family\":\"EDC17C69\","
                                       "\"notes\":\"riga 1\\nriga 2\",\"file_name\":\"ori.bin\","
                                       "\"file_size\":3,\"file_sha256\":\"ba7816bf"));
        const QString exported = m_dir.filePath(u"exported.bin"_s);
        QCOMPARE(run({"export-request", "--data", dataDir, "1", exported}).exitCode, 0);
        QCOMPARE(testsupport::readFile(exported), QByteArray("abc"));
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("arguments"); // nothing comes on stdin
        const QString data = m_dir.filePath(u"refusals"_s);
        const QString image = testsupport::example("tessa-demo.bin");
        const QString driver = testsupport::example("tessa-demo.ecudrv");
        const auto row = [](const char *tag, const QStringList &arguments) {
            QTest::newRow(tag) << arguments;
        };
        row("unknown command", {"frobnicate"});
        row("no password", {"add-customer", "--data", data, "C1", "N"});
        row("no data folder", {"set-version", "1.0"});
        row("an image is no driver", {"add-driver", "--data", data, image, "--family", "F",
                                      "--brand", "B", "--model", "M", "--version", "1"});
        row("driver without a model", {"add-driver", "--data", data, driver, "--family", "F",
                                       "--brand", "B", "--version", "1"});
        row("listen without a port", {"serve", "--data", data, "--listen", "127.0.0.1"});
        row("certificate without key",
            {"serve", "--data", data, "--listen", "127.0.0.1:0", "--tls-cert", image});
        row("unknown request", {"export-request", "--data", data, "7", m_dir.filePath(u"x"_s)});
    }

    void refusals()
    {
        QFETCH(QStringList, arguments);
        const auto r = run(arguments);
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
        service.start(QStringLiteral(TESSA_SERVICE_BIN), {u"serve"_s, u"--data"_s, data(), u"--listen"_s,
                                                   u"127.0.0.1:%1"_s.arg(port)});
        QVERIFY(service.waitForReadyRead(10000));
        QCOMPARE(service.readLine(), u"listening on 127.0.0.1:%1\n"_s.arg(port).toLatin1());
        service.terminate();
        QVERIFY(service.waitForFinished(5000));
    }

private:
    static testsupport::ProcessResult run(const QStringList &arguments,
                                          const QByteArray &input = {})
    {
        return testsupport::runProgram(QStringLiteral(TESSA_SERVICE_BIN), arguments, input);
    }
    QString data() const { return m_dir.filePath(u"data"_s); }

    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestServiceCli)
#include "tst_servicecli.moc"
