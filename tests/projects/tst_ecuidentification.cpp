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
};

QTEST_GUILESS_MAIN(TestEcuIdentification)
#include "tst_ecuidentification.moc"
