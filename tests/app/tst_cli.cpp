#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

using testsupport::runCli;

// Runs the built command-line tool as a script would and checks its whole contract:
// stdout, stderr and exit status.
class TestCli : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QByteArray m_image;

    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_image = QByteArray::fromHex("00112233445566778899aabbccddeeff");
        const QList<QPair<QString, QByteArray>> files
            = {{QStringLiteral("dump.bin"), m_image},
               {QStringLiteral("dump.hex"),
                ":020000048000FA\n:1000000000112233445566778899AABBCCDDEEFF"
                "78\n:00000001FF\n"},
               {QStringLiteral("empty.hex"), ":00000001FF\n"},
               // the data of dump.hex with a damaged line and no end record
               {QStringLiteral("damaged.hex"),
                ":020000048000FA\n:1000000000112233445566778899AABBCCDDEEFF"
                "78\n:0400100011ZZ\n"}};
        for (const auto &[name, content] : files)
            QVERIFY(!testsupport::writeFile(path(name), content).isEmpty());
    }

    void info_data()
    {
        testsupport::addColumns<QString, QStringList, QString>({"file", "warnings", "format"});
        QTest::newRow("raw dump") << "dump.bin" << QStringList() << "raw";
        QTest::newRow("Intel HEX") << "dump.hex" << QStringList() << "intel-hex";
        QTest::newRow("damaged Intel HEX")
            << "damaged.hex"
            << QStringList{"Righe Intel HEX scartate perché non valide: 1 (la prima è la riga 3).",
                           "Manca il record di fine file Intel HEX: il file potrebbe essere "
                           "troncato."}
            << "intel-hex";
    }

    void info()
    {
        QFETCH(QString, file);
        QFETCH(QString, format);
        QFETCH(QStringList, warnings);
        const auto r = runCli({QStringLiteral("info"), path(file)});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.err.isEmpty());
        QVERIFY(r.out.endsWith('\n'));
        QCOMPARE(r.out.count('\n'), 1);
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(r.out, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(o.keys().size(), 6);
        QCOMPARE(o.value(QStringLiteral("warnings")).toVariant().toStringList(), warnings);
        QVERIFY(o.value(QStringLiteral("ecu")).isObject());
        QCOMPARE(o.value(QStringLiteral("file")).toString(), file);
        QCOMPARE(o.value(QStringLiteral("format")).toString(), format);
        QCOMPARE(o.value(QStringLiteral("size")).toInteger(), m_image.size());
        QCOMPARE(o.value(QStringLiteral("sha256")).toString(),
                 QString::fromLatin1(
                     QCryptographicHash::hash(m_image, QCryptographicHash::Sha256).toHex()));
    }

    void convertWritesRawImage()
    {
        const QString out = path(QStringLiteral("converted.bin"));
        const auto r = runCli({QStringLiteral("convert"), path(QStringLiteral("dump.hex")), out});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.err.isEmpty());
        QCOMPARE(testsupport::readFile(out), m_image);
    }

    // With --maps the changed maps and the bytes outside them join the byte statistics;
    // without it the output keeps its keys.
    void compareByMaps()
    {
        const QString examples = QStringLiteral(TESSA_SOURCE_DIR "/examples/");
        QByteArray mod = testsupport::readFile(examples + QStringLiteral("tessa-demo.bin"));
        QVERIFY(mod.size() > 0x20000);
        mod[0x10000] = char(mod.at(0x10000) ^ 0x01); // first cell of Coppia_richiesta
        mod[0x1FFF0] = char(mod.at(0x1FFF0) ^ 0x40); // no map there
        const QString modPath = testsupport::writeFile(path(QStringLiteral("mod.bin")), mod);
        const QStringList base{QStringLiteral("compare"), examples + QStringLiteral("tessa-demo.bin"),
                               modPath};
        const auto plain = runCli(base);
        QCOMPARE(plain.exitCode, 0);
        QVERIFY(!plain.json().contains(QStringLiteral("maps")));
        const auto byMaps = runCli(base + QStringList{QStringLiteral("--maps"),
                                                      examples + QStringLiteral("tessa-demo.a2l")});
        QCOMPARE(byMaps.exitCode, 0);
        const QJsonObject o = byMaps.json();
        QCOMPARE(o.value(QStringLiteral("differingBytes")).toInt(), 2);
        const QJsonArray maps = o.value(QStringLiteral("maps")).toArray();
        QCOMPARE(maps.size(), 1);
        QCOMPARE(maps.at(0)[QStringLiteral("name")].toString(), QStringLiteral("Coppia_richiesta"));
        QCOMPARE(maps.at(0)[QStringLiteral("changedCells")].toInt(), 1);
        QCOMPARE(o.value(QStringLiteral("outsideMaps"))[QStringLiteral("bytes")].toInt(), 1);
        const auto badMaps = runCli(base + QStringList{QStringLiteral("--maps"), modPath});
        QCOMPARE(badMaps.exitCode, 1);
    }

    // Help goes to stdout with success, not to stderr as a failure would.
    void helpGoesToStdout()
    {
        const auto r = runCli({QStringLiteral("--help")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.err.isEmpty() && r.out.contains("info FILE"));
    }

    void failures_data()
    {
        testsupport::addColumns<QStringList, QString>({"args", "mentions"});
        QTest::newRow("no command") << QStringList{} << "command";
        QTest::newRow("unknown command") << QStringList{"explode"} << "explode";
        QTest::newRow("missing file") << QStringList{"info", "absent.bin"} << "absent.bin";
        QTest::newRow("Intel HEX without data") << QStringList{"info", "empty.hex"} << "empty.hex";
        QTest::newRow("too few arguments") << QStringList{"convert", "dump.bin"} << "usage";
        QTest::newRow("too many arguments") << QStringList{"info", "dump.bin", "x"} << "usage";
        QTest::newRow("unwritable output")
            << QStringList{"convert", "dump.bin", "no/such/folder/out.bin"} << "out.bin";
    }

    void failures()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, mentions);
        // File arguments are given relative to the test folder.
        for (int i = 1; i < args.size(); ++i)
            args[i] = path(args.at(i));
        const auto r = runCli(args);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.out.isEmpty(), r.out.constData());
        QCOMPARE(r.err.count('\n'), 1);
        QVERIFY2(QString::fromUtf8(r.err).contains(mentions), r.err.constData());
        QVERIFY(!QFile::exists(path(QStringLiteral("no/such/folder/out.bin"))));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
