// tessamorvandi-cli find: the JSON a script reads, and refusals of what cannot be used.
#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

#include "testsupport.h"

class TestFindCli : public QObject
{
    Q_OBJECT
private slots:
    void listsCandidatesBestFirst()
    {
        // Two tables with 8-bit counts and axes in erased flash; the larger one scores higher.
        QByteArray image(0x1000, char(0xFF));
        auto table = [&](int at, int rows, int columns) {
            image[at] = char(rows);
            image[at + 1] = char(columns);
            int p = at + 2;
            for (int n : {rows, columns})
                for (int i = 0; i < n; ++i)
                    image[p++] = char(10 + 200 * i / (n - 1));
            for (int r = 0; r < rows; ++r)
                for (int c = 0; c < columns; ++c)
                    image[p++] = char(20 + 8 * r + c * c / 2);
            return p - rows * columns;
        };
        const int big = table(0x100, 12, 16), small = table(0x800, 6, 8);
        testsupport::TempFolder dir;
        const QString path = dir.write("image.bin", image);
        const testsupport::ProcessResult run = testsupport::runCli({"find", path});
        QCOMPARE(run.exitCode, 0);
        const QJsonArray candidates = run.json().value("candidates").toArray();
        QCOMPARE(candidates.size(), 2);
        const QJsonObject first = candidates.at(0).toObject();
        for (const char *key : {"zAddress", "rows", "columns", "dataType", "signed", "littleEndian",
                                "xAddress", "yAddress", "score", "evidence"})
            QVERIFY2(first.contains(QLatin1String(key)), key);
        QCOMPARE(first.value("zAddress").toInteger(), big);
        QCOMPARE(first.value("xAddress").toInteger(), 0x102 + 12);
        QCOMPARE(first.value("yAddress").toInteger(), 0x102);
        QCOMPARE(candidates.at(1).toObject().value("zAddress").toInteger(), small);
        QCOMPARE(candidates.at(1).toObject().value("elementSize").toInt(), 1);
        QVERIFY(first.value("score").toDouble()
                >= candidates.at(1).toObject().value("score").toDouble());
        // A score floor above both leaves none.
        const testsupport::ProcessResult high
            = testsupport::runCli({"find", path, "--min-score", "99.9"});
        QCOMPARE(high.exitCode, 0);
        QVERIFY(high.json().value("candidates").toArray().isEmpty());
        // A definition that describes the larger table leaves it out.
        const QString xdf = dir.write(
            "known.xdf",
            QStringLiteral("<XDFFORMAT version=\"1.70\"><XDFTABLE uniqueid=\"0x1\"><title>K</title>"
                           "<XDFAXIS id=\"z\"><EMBEDDEDDATA mmedaddress=\"0x%1\" "
                           "mmedelementsizebits=\"8\" mmedrowcount=\"12\" mmedcolcount=\"16\"/>"
                           "</XDFAXIS></XDFTABLE></XDFFORMAT>")
                .arg(big, 0, 16)
                .toUtf8());
        const QJsonArray rest = testsupport::runCli({"find", path, "--known", xdf})
                                    .json()
                                    .value("candidates")
                                    .toArray();
        QVERIFY(!rest.isEmpty());
        for (const QJsonValue &c : rest)
            QVERIFY(c.toObject().value("zAddress").toInteger() != big);
        QCOMPARE(rest.at(0).toObject().value("zAddress").toInteger(), small);
    }

    void refusesWhatCannotBeUsed_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("no image") << QStringList{"find", "/nonexistent/image.bin"};
        QTest::newRow("score not a number") << QStringList{"find", "x.bin", "--min-score", "high"};
        QTest::newRow("score above 100") << QStringList{"find", "x.bin", "--min-score", "101"};
        QTest::newRow("known without a file") << QStringList{"find", "x.bin", "--known"};
        QTest::newRow("known not a pack")
            << QStringList{"find", "x.bin", "--known", "/nonexistent.tvp"};
        QTest::newRow("two images") << QStringList{"find", "a.bin", "b.bin"};
    }

    void refusesWhatCannotBeUsed()
    {
        QFETCH(QStringList, arguments);
        const testsupport::ProcessResult run = testsupport::runCli(arguments);
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.out.isEmpty());
        QCOMPARE(run.err.count('\n'), 1);
    }
};

QTEST_GUILESS_MAIN(TestFindCli)
#include "tst_findcli.moc"
