#include "olsprojectbuilder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run
{
    int exitCode = -1;
    QJsonObject json;
    QByteArray error;
};

Run runCli(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(TESSA_CLI), arguments);
    Run run;
    if (!process.waitForFinished(30000))
        return run;
    run.exitCode = process.exitCode();
    run.json = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    run.error = process.readAllStandardError();
    return run;
}

} // namespace

class TestImporterCli : public QObject
{
    Q_OBJECT
private slots:
    void a2lPrintsMaps();
    void a2lFailure();
    void olsValidity_data();
    void olsValidity();
    void olsWritesFirmware();

private:
    QTemporaryDir m_dir;
};

void TestImporterCli::a2lPrintsMaps()
{
    const Run run = runCli(
        {QStringLiteral("a2l"), QStringLiteral(TESSA_SOURCE_DIR "/examples/tessa-demo.a2l")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.json.value(QStringLiteral("error")).toString(), QString());
    const QJsonArray maps = run.json.value(QStringLiteral("maps")).toArray();
    QCOMPARE(maps.size(), 5);
    const QJsonObject first = maps.first().toObject();
    QCOMPARE(first.value(QStringLiteral("name")).toString(), QStringLiteral("Coppia_richiesta"));
    QCOMPARE(first.value(QStringLiteral("sourceKind")).toInt(), 1);
    QCOMPARE(first.value(QStringLiteral("mapOffset")).toInt(), 0x10000);
    QCOMPARE(first.size(), 51);
}

void TestImporterCli::a2lFailure()
{
    const QString path = m_dir.filePath(QStringLiteral("none.a2l"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("/begin MODULE M \"\" /end MODULE");
    file.close();
    const Run run = runCli({QStringLiteral("a2l"), path});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.error.contains("Nessuna CHARACTERISTIC compatibile trovata."));
}

void TestImporterCli::olsValidity_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("firmwareSize");
    OlsProjectBuilder good;
    good.zeros(8).string("Marelli").string("010000").zeros(8);
    good.conversionRecord("Mappa", 2, 2, "", 1, 0, 0x10, 0x18).firmware(QByteArray(0x10000, 'A'));
    QTest::newRow("project with a map") << good.bytes() << 0 << true << qint64(0x10000);
    OlsProjectBuilder empty;
    empty.zeros(8).string("010000").zeros(8).firmware(QByteArray(0x10000, 'A'));
    QTest::newRow("firmware without maps") << empty.bytes() << 0 << true << qint64(0x10000);
    QTest::newRow("no firmware size")
        << OlsProjectBuilder().zeros(64).bytes() << 1 << true << qint64(0);
    QTest::newRow("not a project") << QByteArray(64, 'x') << 1 << false << qint64(0);
}

void TestImporterCli::olsValidity()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, exitCode);
    QFETCH(bool, valid);
    QFETCH(qint64, firmwareSize);
    const QString path = m_dir.filePath(QStringLiteral("p.ols"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();
    const Run run = runCli({QStringLiteral("ols"), path});
    QCOMPARE(run.exitCode, exitCode);
    // The JSON comes out whatever the outcome.
    QCOMPARE(run.json.value(QStringLiteral("valid")).toBool(), valid);
    QCOMPARE(run.json.value(QStringLiteral("firmwareSize")).toInteger(), firmwareSize);
    QVERIFY(run.json.contains(QStringLiteral("vendorKnown")));
    QVERIFY(run.json.contains(QStringLiteral("firmwareSha256")));
    QCOMPARE(run.json.value(QStringLiteral("projectName")).toString(),
             firmwareSize > 0 ? QStringLiteral("p") : QString());
}

void TestImporterCli::olsWritesFirmware()
{
    OlsProjectBuilder b;
    const QByteArray image(0x10000, 'Z');
    b.zeros(8).string("010000").zeros(8).firmware(image);
    const QString path = m_dir.filePath(QStringLiteral("w.ols"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(b.bytes());
    file.close();
    const QString out = m_dir.filePath(QStringLiteral("w.bin"));
    const Run run = runCli({QStringLiteral("ols"), path, QStringLiteral("--firmware-out"), out});
    QCOMPARE(run.exitCode, 0);
    QFile written(out);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), image);
    QCOMPARE(
        run.json.value(QStringLiteral("firmwareSha256")).toString(),
        QString::fromLatin1(QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex()));
}

QTEST_GUILESS_MAIN(TestImporterCli)
#include "tst_importercli.moc"
