#include "olsprojectbuilder.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

#include "testsupport.h"

class TestImporterCli : public QObject
{
    Q_OBJECT
private slots:
    // The demo's whole output is tst_clijson's a2lCommandAsBefore.
    void a2lWithoutMaps()
    {
        QCOMPARE(run({"a2l", m_dir.write("none.a2l", "/begin MODULE M \"\" /end MODULE")}), 1);
        QVERIFY(m_error.contains("Nessuna CHARACTERISTIC compatibile trovata."));
    }

    void xdf()
    {
        const QString image = m_dir.write("image.bin", QByteArray(0x20000, '\x01'));
        const QString xdf
            = m_dir.write("d.xdf", "<XDFFORMAT><XDFHEADER><CATEGORY index=\"0x0\" name=\"Turbo\" />"
                                   "</XDFHEADER><XDFTABLE><title>Mappa</title>"
                                   "<CATEGORYMEM index=\"0\" category=\"1\" /><XDFAXIS id=\"z\">"
                                   "<EMBEDDEDDATA mmedaddress=\"0x10\" mmedelementsizebits=\"8\" "
                                   "mmedrowcount=\"2\" mmedcolcount=\"3\" /></XDFAXIS></XDFTABLE>"
                                   "<XDFFLAG><title>Bit</title></XDFFLAG></XDFFORMAT>");
        QCOMPARE(run({"xdf", xdf, image}), 0);
        const QJsonArray maps = m_json.value("maps").toArray();
        QCOMPARE(maps.size(), 1);
        QCOMPARE(maps.first()["group"].toString(), QStringLiteral("Turbo"));
        QCOMPARE(maps.first()["sourceKind"].toInt(), 3);
        QCOMPARE(m_json.value("notes").toArray().first()["kind"].toString(),
                 QStringLiteral("notImported"));

        // Exported and read back: the same maps, from an XDF and from an A2L description.
        const QString out = m_dir.filePath("out.xdf");
        QCOMPARE(run({"xdf", "--export", xdf, image, out}), 0);
        QCOMPARE(m_json.value("maps").toInt(), 1);
        QCOMPARE(run({"xdf", out, image}), 0);
        QCOMPARE(m_json.value("maps").toArray(), maps);
        QCOMPARE(run({"xdf", "--export", TESSA_SOURCE_DIR "/examples/tessa-demo.a2l", image, out}),
                 0);
        QCOMPARE(run({"xdf", out}), 0);
        QCOMPARE(m_json.value("maps").toArray().size(), 5);

        QCOMPARE(run({"xdf", m_dir.write("bad.xdf", "<XDFFORMAT><XDFTABLE>")}), 1);
        QVERIFY(m_error.contains("XDF non valido"));
        QCOMPARE(run({"xdf", xdf, m_dir.write("small.bin", QByteArray(8, '\0'))}), 1);
        QVERIFY(m_error.contains("Mappa: fuori"));
    }

    void ols_data()
    {
        testsupport::addColumns<QByteArray, int, bool, int>({"bytes", "exitCode", "valid", "maps"});
        const QByteArray image(0x10000, 'A');
        QTest::newRow("project with a map")
            << OlsProjectBuilder::project("Marelli")
                   .conversion({"Mappa", 2, 2, 1, 0, 0x10, 0x18, ""})
                   .raw(image)
                   .bytes()
            << 0 << true << 1;
        QTest::newRow("firmware without maps")
            << OlsProjectBuilder::project().raw(image).bytes() << 0 << true << 0;
        QTest::newRow("no firmware size")
            << OlsProjectBuilder().zeros(64).bytes() << 1 << true << 0;
        QTest::newRow("not a project") << QByteArray(64, 'x') << 1 << false << 0;
    }

    void ols()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, exitCode);
        QFETCH(bool, valid);
        QFETCH(int, maps);
        const QString out = m_dir.filePath("p.bin");
        QFile::remove(out);
        QCOMPARE(run({"ols", m_dir.write("p.ols", bytes), "--firmware-out", out}), exitCode);
        // The JSON comes out whatever the outcome.
        QCOMPARE(m_json.value("valid").toBool(), valid);
        QCOMPARE(m_json.value("maps").toArray().size(), maps);
        QVERIFY(m_json.contains("vendorKnown") && m_json.contains("littleEndian"));
        const QByteArray image = exitCode == 0 ? bytes.right(0x10000) : QByteArray();
        QCOMPARE(m_json.value("firmwareSize").toInteger(), image.size());
        QCOMPARE(m_json.value("projectName").toString(), QLatin1String(image.isEmpty() ? "" : "p"));
        QCOMPARE(m_json.value("firmwareSha256").toString().isEmpty(), image.isEmpty());
        if (!image.isEmpty()) {
            QCOMPARE(m_json.value("firmwareSha256").toString(),
                     QString::fromLatin1(
                         QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex()));
            QFile written(out);
            QVERIFY(written.open(QIODevice::ReadOnly));
            QCOMPARE(written.readAll(), image);
        }
    }

private:
    int run(const QStringList &arguments)
    {
        const auto result = testsupport::runCli(arguments);
        m_json = result.json();
        m_error = result.err;
        return result.exitCode;
    }

    testsupport::TempFolder m_dir;
    QJsonObject m_json;
    QByteArray m_error;
};

QTEST_GUILESS_MAIN(TestImporterCli)
#include "tst_importercli.moc"
