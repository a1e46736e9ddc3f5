#include "me7image.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

#include "testsupport.h"

using namespace me7image;
using testsupport::readFile;
using testsupport::runCli;

// "checksum IMAGE [--fix OUT]" as scripts use it: stdout, stderr, exit status and files.
class TestChecksumCli : public QObject
{
    Q_OBJECT

    testsupport::TempFolder m_dir;

private slots:
    void report()
    {
        QByteArray image = sealed();
        put16(image, 0x20010, 0x4321);
        const auto r
            = runCli({QStringLiteral("checksum"), m_dir.write(QStringLiteral("in.bin"), image)});
        QCOMPARE(r.exitCode, 0); // wrong checksums are a finding, not a failure
        QVERIFY(r.err.isEmpty());
        QCOMPARE(r.out.count('\n'), 1);
        QCOMPARE(r.json().keys(), (QStringList{"blocks", "module", "ok"}));
        QCOMPARE(r.json().value(QStringLiteral("module")).toString(), QStringLiteral("ME7"));
        QCOMPARE(r.json().value(QStringLiteral("ok")).toBool(), false);
        const QJsonArray blocks = r.json().value(QStringLiteral("blocks")).toArray();
        QCOMPARE(blocks.size(), 13);
        const QJsonObject multipoint{{"kind", "multipoint"},   {"start", 0x20000},
                                     {"end", 0x2ffff},         {"stored", "00001235"},
                                     {"computed", "00004322"}, {"ok", false}};
        QCOMPARE(blocks.at(10).toObject(), multipoint);
    }

    void fix_data()
    {
        testsupport::addColumns<QByteArray, int>({"image", "corrected"});
        QByteArray edited = sealed();
        put16(edited, 0x20010, 0x4321);
        QTest::newRow("two wrong blocks") << edited << 2;
        QTest::newRow("all right already") << sealed() << 0;
    }

    void fix()
    {
        QFETCH(QByteArray, image);
        QFETCH(int, corrected);
        const QString in = m_dir.write(QStringLiteral("fix-in.bin"), image);
        const QString out = m_dir.filePath(QStringLiteral("fix-out.bin"));
        const auto r = runCli({QStringLiteral("checksum"), in, QStringLiteral("--fix"), out});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.err.isEmpty());
        QCOMPARE(r.json().keys(), (QStringList{"blocks", "corrected", "module", "ok"}));
        QCOMPARE(r.json().value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(r.json().value(QStringLiteral("corrected")).toInt(), corrected);
        QCOMPARE(readFile(in), image); // the input is never written
        const QByteArray written = readFile(out);
        QCOMPARE(written.size(), image.size());
        QByteArray expected = image;
        if (corrected > 0) {
            // 0x4321 + 0x0001, and the main program sum with 0x4321 in place of 0x1234.
            putPair(expected, kMultipointTable + 2 * 16 + 8, 0x4322);
            putPair(expected, expected.size() - 0x20, kMainProgram - 0x1234 + 0x4321);
        }
        QCOMPARE(written, expected);
    }

    void failures_data()
    {
        testsupport::addColumns<QStringList, QString>({"args", "mentions"});
        QTest::newRow("not recognised") << QStringList{"checksum", "small.bin"} << "small.bin";
        QTest::newRow("not recognised, with --fix")
            << QStringList{"checksum", "small.bin", "--fix", "never.bin"} << "small.bin";
        QTest::newRow("--fix without a file")
            << QStringList{"checksum", "small.bin", "--fix"} << "usage";
        QTest::newRow("missing image") << QStringList{"checksum", "absent.bin"} << "absent.bin";
        QTest::newRow("no correction makes it whole")
            << QStringList{"checksum", "half-covered.bin", "--fix", "never.bin"}
            << "cannot be corrected";
    }

    void failures()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, mentions);
        m_dir.write(QStringLiteral("small.bin"), QByteArray(1000, '\x42'));
        QByteArray halfCovered = sealed();
        put32(halfCovered, kMultipointTable + 4 * 16 + 4, kBase + 0x1e04b);
        m_dir.write(QStringLiteral("half-covered.bin"), halfCovered);
        for (int i = 1; i < args.size(); ++i)
            if (args.at(i) != QLatin1String("--fix"))
                args[i] = m_dir.filePath(args.at(i));
        const auto r = runCli(args);
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.out.isEmpty());
        QCOMPARE(r.err.count('\n'), 1);
        QVERIFY2(QString::fromUtf8(r.err).contains(mentions), r.err.constData());
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("never.bin"))));
    }
};

QTEST_GUILESS_MAIN(TestChecksumCli)
#include "tst_checksumcli.moc"
