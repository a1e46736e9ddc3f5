#include "projects/comparestatistics.h"

#include <QtTest>

class TestCompareStatistics : public QObject
{
    Q_OBJECT

private slots:
    void statistics_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QList<int>>("changed"); // offsets flipped to their complement
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<qint64>("bits");
        QTest::addColumn<qint64>("blocks");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("last");
        QTest::addColumn<qint64>("interval");
        QTest::newRow("identical") << 0x4000 << QList<int>{} << qint64(0) << qint64(0)
                                   << qint64(0) << qint64(-1) << qint64(-1) << qint64(0);
        QTest::newRow("one byte at 0x1A2B") << 0x4000 << QList<int>{0x1A2B} << qint64(1)
                                            << qint64(8) << qint64(1) << qint64(0x1A2B)
                                            << qint64(0x1A2B) << qint64(1);
        QTest::newRow("separate 10 and 12") << 100 << QList<int>{10, 12} << qint64(2)
                                            << qint64(16) << qint64(2) << qint64(10)
                                            << qint64(12) << qint64(3);
        QTest::newRow("adjacent 10 and 11") << 100 << QList<int>{10, 11} << qint64(2)
                                            << qint64(16) << qint64(1) << qint64(10)
                                            << qint64(11) << qint64(2);
        // Runs that cross the eight-byte stride and touch both ends of the image.
        QTest::newRow("across stride and ends") << 21 << QList<int>{0, 7, 8, 15, 16, 20}
                                                << qint64(6) << qint64(48) << qint64(4)
                                                << qint64(0) << qint64(20) << qint64(21);
        QTest::newRow("run ends at a stride border") << 32 << QList<int>{6, 7} << qint64(2)
                                                     << qint64(16) << qint64(1) << qint64(6)
                                                     << qint64(7) << qint64(2);
        QTest::newRow("empty images") << 0 << QList<int>{} << qint64(0) << qint64(0)
                                      << qint64(0) << qint64(-1) << qint64(-1) << qint64(0);
    }
    void statistics()
    {
        QFETCH(int, size);
        QFETCH(QList<int>, changed);
        const QByteArray ori(size, 0);
        QByteArray mod = ori;
        for (int o : changed)
            mod[o] = char(0xFF);
        const CompareStatistics s = compareImages(ori.constData(), mod.constData(), size);
        QTEST(s.differingBytes, "bytes");
        QTEST(s.differingBits, "bits");
        QTEST(s.changeBlocks, "blocks");
        QTEST(s.firstChange, "first");
        QTEST(s.lastChange, "last");
        QTEST(s.affectedInterval(), "interval");
    }

    void bitsCountOnlyFlippedBits()
    {
        const QByteArray ori = QByteArray::fromHex("0f0f");
        const QByteArray mod = QByteArray::fromHex("0e1f");
        QCOMPARE(compareImages(ori.constData(), mod.constData(), 2).differingBits, qint64(2));
    }

    void reports_data()
    {
        QTest::addColumn<int>("changedOfHundred");
        QTest::addColumn<QString>("firstNote");
        QTest::addColumn<int>("firstLevel");
        QTest::addColumn<QString>("assessment");
        QTest::addColumn<int>("secondLevel");
        QTest::addColumn<bool>("proceedDefault");
        QTest::newRow("identical")
            << 0 << "\nIl file MOD è identico all'ORI." << int(CompareReport::Information)
            << "Nessuna differenza rilevata.\nIl file è identico all'originale."
            << int(CompareReport::Information) << true;
        QTest::newRow("few changes")
            << 9 << "\nSono state rilevate modifiche rispetto all'ORI."
            << int(CompareReport::Information)
            << "Le differenze sono concentrate in una porzione limitata del firmware."
            << int(CompareReport::Information) << true;
        QTest::newRow("exactly 10 %")
            << 10 << "\nAttenzione: sono presenti molte differenze." << int(CompareReport::Warning)
            << "Le modifiche sono molto estese.\nControllare che il MOD appartenga realmente a "
               "questo ORI."
            << int(CompareReport::Warning) << true;
        QTest::newRow("exactly 50 %")
            << 50 << "\nATTENZIONE: il file è fortemente differente dall'ORI."
            << int(CompareReport::Critical)
            << "ATTENZIONE:\nil file risulta molto diverso dall'ORI.\nPotrebbe trattarsi di un "
               "firmware differente."
            << int(CompareReport::Critical) << false;
    }
    void reports()
    {
        QFETCH(int, changedOfHundred);
        QFETCH(QString, firstNote);
        QFETCH(QString, assessment);
        const QByteArray ori(1000, 0x11);
        QByteArray mod = ori;
        for (int i = 0; i < changedOfHundred * 10; ++i)
            mod[i * 100 / changedOfHundred % 1000] = 0x10; // spread, one bit each
        const CompareStatistics s = compareImages(ori.constData(), mod.constData(), 1000);
        QCOMPARE(s.differingBytes, qint64(changedOfHundred * 10));
        const CompareReport first = firstCompareReport(s, QStringLiteral("mod.bin"), 1000, 1000);
        QCOMPARE(first.title, QStringLiteral("Confronto ORI / MOD - Tessamorvandi"));
        QVERIFY(first.text.startsWith(QStringLiteral("File MOD: mod.bin\n\nDimensione ORI: 1000 "
                                                     "byte\nDimensione MOD: 1000 byte\n\n")));
        QVERIFY2(first.text.endsWith(QLatin1Char('%') + QLatin1Char('\n') + firstNote),
                 qPrintable(first.text));
        QTEST(int(first.level), "firstLevel");
        QTEST(first.proceedIsDefault, "proceedDefault");
        const CompareReport second = secondCompareReport(s, QStringLiteral("mod.bin"));
        QCOMPARE(second.title, QStringLiteral("Analisi differenze ORI / MOD - Tessamorvandi"));
        QVERIFY(second.text.endsWith(QStringLiteral("%\n\n") + assessment));
        QTEST(int(second.level), "secondLevel");
        QTEST(second.proceedIsDefault, "proceedDefault");
    }

    void reportFigures()
    {
        QByteArray ori(0x4000, 0);
        QByteArray mod = ori;
        mod[0x1A2B] = char(0xFF);
        const CompareStatistics s = compareImages(ori.constData(), mod.constData(), ori.size());
        const QString second = secondCompareReport(s, QStringLiteral("x.ori")).text;
        QVERIFY(second.contains(QStringLiteral("Prima modifica: 0X1A2B\nUltima modifica: 0X1A2B\n"
                                               "Intervallo interessato: 1 byte")));
        QVERIFY(second.contains(QStringLiteral("Byte modificati totali: 1\nBit modificati totali: "
                                               "8\nBlocchi di modifica rilevati: 1")));
        QVERIFY(second.contains(QStringLiteral("Somiglianza complessiva: 99.9939%")));
        const CompareStatistics same = compareImages(ori.constData(), ori.constData(), ori.size());
        const QString identical = secondCompareReport(same, QStringLiteral("x.ori")).text;
        QVERIFY(identical.contains(QStringLiteral("Prima modifica: -\nUltima modifica: -\n"
                                                  "Intervallo interessato: 0 byte")));
        QVERIFY(firstCompareReport(same, QStringLiteral("x"), 1, 1)
                    .text.contains(QStringLiteral("Somiglianza file: 100.0000%")));
    }

    void json()
    {
        const QByteArray ori(10, 0);
        const QJsonObject none = compareStatisticsJson(
            compareImages(ori.constData(), ori.constData(), 10), 10, 10);
        QVERIFY(none.value(QStringLiteral("firstChange")).isNull());
        QCOMPARE(none.value(QStringLiteral("similarityPercent")).toDouble(), 100.0);
        QCOMPARE(none.size(), 10);
    }
};

QTEST_GUILESS_MAIN(TestCompareStatistics)
#include "tst_comparestatistics.moc"
