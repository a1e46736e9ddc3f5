#include "projects/ecuidentification.h"

#include <QtTest>

#include "testsupport.h"

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
        // expected (family, sw, hw, cal, part, engine)
        testsupport::addColumns<QByteArray, QStringList>({"image", "expected"});

        // Fields in order, split by '|': family, sw, hw, cal, part, engine.
        auto row = [](const char *tag, const QByteArray &image, const QString &fields) {
            QTest::newRow(tag) << image << fields.split(QLatin1Char('|'));
        };
        row("software and calibration, greedy eight", imageOf({"1037541778P643A2XKZ"}),
            "|1037541778||P643A2XKZ||");
        row("seven after P", imageOf({"xx1037123456PABCDEFG"}), "|1037123456||PABCDEFG||");
        row("EDC17C46 alone", imageOf({"EDC17C46"}), "EDC17C46|||||");
        row("five-character run ignored", imageOf({"EDC17"}), "|||||");
        row("run at image end not examined", imageOf({"EDC17C46"}, false), "|||||");
        row("family with dots", imageOf({"Bosch MED17.5.20 x"}), "MED17.5.20|||||");
        row("first match wins across runs", imageOf({"ME7.5 unit", "EDC16C34 unit"}), "ME7.5|||||");
        row("hardware needs its boundary", imageOf({"X02610123456789Y", "HW 0281017946 "}),
            "||0281017946|||");
        row("part number with suffix number", imageOf({"03L906018JL  5678"}),
            "||||03L906018JL  5678|");
        row("engine code is four capitals", imageOf({"ENGINE CFFB 2.0 TDI"}), "|||||CFFB");
        row("case-sensitive", imageOf({"edc17c46 cffb"}), "|||||");
        row("demo strings",
            imageOf({"EDC17C46 Tessamorvandi demo image", "1037541778P643A2XK", "HW 0281017946 ",
                     "03L906018JL  5678", "ENGINE CFFB 2.0 TDI"}),
            "EDC17C46|1037541778|0281017946|P643A2XK|03L906018JL  5678|CFFB");
        row("empty image", QByteArray(), "|||||");
    }

    void identification()
    {
        QFETCH(QByteArray, image);
        const EcuIdentification id = identifyEcu(
            image.isEmpty() ? nullptr : reinterpret_cast<const uint8_t *>(image.constData()),
            image.size());
        const QStringList actual{id.ecuFamily,         id.softwareNumber, id.hardwareNumber,
                                 id.calibrationNumber, id.partNumber,     id.engineCode};
        QTEST(actual, "expected");
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
        // A visit that asks to stop ends the scan.
        for (const bool goOn : {true, false}) {
            QList<QPair<qint64, qint64>> found;
            forEachPrintableRun(bytes, image.size(), [&](qint64 start, qint64 length) {
                found.append({start, length});
                return goOn;
            });
            QCOMPARE(found, goOn ? expected : expected.mid(0, 1));
        }
    }
};

QTEST_GUILESS_MAIN(TestEcuIdentification)
#include "tst_ecuidentification.moc"
