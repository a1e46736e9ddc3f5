#include "projects/ecuidentification.h"

#include <QtTest>

class TestEcuIdentification : public QObject
{
    Q_OBJECT

private:
    // Each string becomes a printable run closed by a zero byte, between filler bytes.
    static QByteArray imageOf(const QList<QByteArray> &runs, bool closeLast = true)
    {
        QByteArray bytes(16, '\xff');
        for (int i = 0; i < runs.size(); ++i) {
            bytes += runs.at(i);
            if (closeLast || i + 1 < runs.size())
                bytes += '\0' + QByteArray(5, '\x01');
        }
        return bytes;
    }

private slots:
    void identification_data()
    {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QStringList>("expected"); // family, sw, hw, cal, part, engine

        QTest::newRow("software and calibration, greedy eight")
            << imageOf({"1037541778P643A2XKZ"})
            << QStringList{"", "1037541778", "", "P643A2XKZ", "", ""};
        QTest::newRow("seven after P") << imageOf({"xx1037123456PABCDEFG"})
                                       << QStringList{"", "1037123456", "", "PABCDEFG", "", ""};
        QTest::newRow("EDC17C46 alone")
            << imageOf({"EDC17C46"}) << QStringList{"EDC17C46", "", "", "", "", ""};
        QTest::newRow("five-character run ignored")
            << imageOf({"EDC17"}) << QStringList{"", "", "", "", "", ""};
        QTest::newRow("run at image end not examined")
            << imageOf({"EDC17C46"}, false) << QStringList{"", "", "", "", "", ""};
        QTest::newRow("family with dots")
            << imageOf({"Bosch MED17.5.20 x"}) << QStringList{"MED17.5.20", "", "", "", "", ""};
        QTest::newRow("first match wins across runs")
            << imageOf({"ME7.5 unit", "EDC16C34 unit"}) << QStringList{"ME7.5", "", "", "", "", ""};
        QTest::newRow("hardware needs its boundary")
            << imageOf({"X02610123456789Y", "HW 0281017946 "})
            << QStringList{"", "", "0281017946", "", "", ""};
        QTest::newRow("part number with suffix number")
            << imageOf({"03L906018JL  5678"})
            << QStringList{"", "", "", "", "03L906018JL  5678", ""};
        QTest::newRow("engine code is four capitals")
            << imageOf({"ENGINE CFFB 2.0 TDI"}) << QStringList{"", "", "", "", "", "CFFB"};
        QTest::newRow("case-sensitive")
            << imageOf({"edc17c46 cffb"}) << QStringList{"", "", "", "", "", ""};
        QTest::newRow("demo strings")
            << imageOf({"EDC17C46 Tessamorvandi demo image", "1037541778P643A2XK", "HW 0281017946 ",
                        "03L906018JL  5678", "ENGINE CFFB 2.0 TDI"})
            << QStringList{"EDC17C46", "1037541778",        "0281017946",
                           "P643A2XK", "03L906018JL  5678", "CFFB"};
        QTest::newRow("empty image") << QByteArray() << QStringList{"", "", "", "", "", ""};
    }

    void identification()
    {
        QFETCH(QByteArray, image);
        QFETCH(QStringList, expected);
        const EcuIdentification id = identifyEcu(
            image.isEmpty() ? nullptr : reinterpret_cast<const uint8_t *>(image.constData()),
            image.size());
        QCOMPARE(id.ecuFamily, expected.at(0));
        QCOMPARE(id.softwareNumber, expected.at(1));
        QCOMPARE(id.hardwareNumber, expected.at(2));
        QCOMPARE(id.calibrationNumber, expected.at(3));
        QCOMPARE(id.partNumber, expected.at(4));
        QCOMPARE(id.engineCode, expected.at(5));
    }

    // The scan looks at only some of the bytes; it must find exactly the runs that reading
    // every byte finds. "a" is printable, "." is not.
    void printableRuns_data()
    {
        QTest::addColumn<QByteArray>("image");
        QTest::newRow("five then six") << QByteArray("aaaaa.aaaaaa.");
        QTest::newRow("six at the start, seven after one gap") << QByteArray("aaaaaa.aaaaaaa.");
        QTest::newRow("run reaching the end") << QByteArray(".aaaaaaaaa");
        QTest::newRow("whole image printable") << QByteArray(64, 'a');
        // The scan takes 64 bytes at a time: runs that meet the edges of those blocks.
        const QByteArray dots(58, '.');
        QTest::newRow("run closed by the next block's first byte") << dots + "aaaaaa.";
        QTest::newRow("run across a block edge") << dots + "..aaaaaa." + dots;
        QTest::newRow("run filling a block, closed in the next") << QByteArray(64, 'a') + '.';
        QTest::newRow("run over three blocks") << dots + QByteArray(140, 'a') + '.' + dots;
        QTest::newRow("runs across every alignment")
            << QByteArray("a.aa.aaa.aaaa.aaaaa.aaaaaa.aaaaaaa.aaaaaaaa.aaaaaaaaaaaaa.");
        // Generated images from sparse to dense printable bytes, so that runs of 5, 6 and 7
        // bytes fall on every offset relative to the positions the scan looks at.
        quint32 state = 7;
        for (int percent : {20, 50, 80, 90, 97}) {
            QByteArray image(20000, '.');
            for (char &c : image) {
                state = state * 1103515245u + 12345u;
                c = int((state >> 16) % 100) < percent ? 'a' : '.';
            }
            QTest::newRow(qPrintable(QStringLiteral("%1 % printable").arg(percent))) << image;
        }
    }

    void printableRuns()
    {
        QFETCH(QByteArray, image);
        image.replace('.', '\x7f');
        QList<QPair<qint64, qint64>> expected;
        qint64 run = 0;
        for (qint64 i = 0; i < image.size(); ++i) {
            if (image.at(i) == 'a') {
                ++run;
                continue;
            }
            if (run >= 6)
                expected.append({i - run, run});
            run = 0;
        }
        const auto *bytes = reinterpret_cast<const uint8_t *>(image.constData());
        QList<QPair<qint64, qint64>> found;
        forEachPrintableRun(bytes, image.size(), [&found](qint64 start, qint64 length) {
            found.append({start, length});
            return true;
        });
        QCOMPARE(found, expected);
        // A visit that asks to stop ends the scan.
        found.clear();
        forEachPrintableRun(bytes, image.size(), [&found](qint64 start, qint64 length) {
            found.append({start, length});
            return false;
        });
        QCOMPARE(found, expected.mid(0, 1));
    }
};

QTEST_GUILESS_MAIN(TestEcuIdentification)
#include "tst_ecuidentification.moc"
