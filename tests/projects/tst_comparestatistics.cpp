#include "projects/comparestatistics.h"

#include <QtTest>

#include "testsupport.h"

namespace {

// `size` zero bytes with the given offsets set to `value`.
QByteArray image(int size, const QList<int> &changed = {}, char value = char(0xFF))
{
    QByteArray bytes(size, 0);
    for (int o : changed)
        bytes[o] = value;
    return bytes;
}

CompareStatistics compare(const QByteArray &ori, const QByteArray &mod)
{
    return compareImages(ori.constData(), mod.constData(), ori.size());
}

} // namespace

class TestCompareStatistics : public QObject
{
    Q_OBJECT

private slots:
    void statistics_data()
    {
        testsupport::addColumns<QByteArray, QByteArray>({"ori", "mod"});
        // bytes, bits, blocks, first, last, interval
        QTest::addColumn<QList<qint64>>("expected");
        auto row
            = [](const char *tag, const QByteArray &ori, const QByteArray &mod,
                 const QList<qint64> &expected) { QTest::newRow(tag) << ori << mod << expected; };
        row("identical", image(0x4000), image(0x4000), {0, 0, 0, -1, -1, 0});
        row("one byte at 0x1A2B", image(0x4000), image(0x4000, {0x1A2B}),
            {1, 8, 1, 0x1A2B, 0x1A2B, 1});
        row("separate 10 and 12", image(100), image(100, {10, 12}), {2, 16, 2, 10, 12, 3});
        row("adjacent 10 and 11", image(100), image(100, {10, 11}), {2, 16, 1, 10, 11, 2});
        // Runs that cross the eight-byte stride and touch both ends of the image.
        row("across stride and ends", image(21), image(21, {0, 7, 8, 15, 16, 20}),
            {6, 48, 4, 0, 20, 21});
        row("run ends at a stride border", image(32), image(32, {6, 7}), {2, 16, 1, 6, 7, 2});
        row("runs either side of an equal stride", image(24), image(24, {7, 16}),
            {2, 16, 2, 7, 16, 10});
        row("only flipped bits counted", QByteArray::fromHex("0f0f"), QByteArray::fromHex("0e1f"),
            {2, 2, 1, 0, 1, 2});
        row("empty images", {}, {}, {0, 0, 0, -1, -1, 0});
    }

    void statistics()
    {
        QFETCH(QByteArray, ori);
        QFETCH(QByteArray, mod);
        const CompareStatistics s = compare(ori, mod);
        const QList<qint64> actual{s.differingBytes, s.differingBits, s.changeBlocks,
                                   s.firstChange,    s.lastChange,    s.affectedInterval()};
        QTEST(actual, "expected");
    }

    void reports_data()
    {
        // level (of both reports)
        testsupport::addColumns<int, QString, QString, int, bool>(
            {"changedOfHundred", "firstNote", "assessment", "level", "proceedDefault"});
        QTest::newRow("identical")
            << 0 << "\nIl file MOD è identico all'ORI."
            << "Nessuna differenza rilevata.\nIl file è identico all'originale."
            << int(CompareReport::Information) << true;
        QTest::newRow("few changes")
            << 9 << "\nSono state rilevate modifiche rispetto all'ORI."
            << "Le differenze sono concentrate in una porzione limitata del firmware."
            << int(CompareReport::Information) << true;
        QTest::newRow("exactly 10 %")
            << 10 << "\nAttenzione: sono presenti molte differenze."
            << "Le modifiche sono molto estese.\nControllare che il MOD appartenga realmente a "
               "questo ORI."
            << int(CompareReport::Warning) << true;
        QTest::newRow("exactly 50 %")
            << 50 << "\nATTENZIONE: il file è fortemente differente dall'ORI."
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
        const CompareStatistics s = compare(ori, mod);
        QCOMPARE(s.differingBytes, qint64(changedOfHundred * 10)); // exactly that share
        const CompareReport first = firstCompareReport(s, QStringLiteral("mod.bin"), 1000, 1000);
        QCOMPARE(first.title, QStringLiteral("Confronto ORI / MOD - Tessamorvandi"));
        QVERIFY(first.text.startsWith(QStringLiteral("File MOD: mod.bin\n\nDimensione ORI: 1000 "
                                                     "byte\nDimensione MOD: 1000 byte\n\n")));
        QVERIFY2(first.text.endsWith(QStringLiteral("%\n") + firstNote), qPrintable(first.text));
        const CompareReport second = secondCompareReport(s, QStringLiteral("mod.bin"));
        QCOMPARE(second.title, QStringLiteral("Analisi differenze ORI / MOD - Tessamorvandi"));
        QVERIFY(second.text.endsWith(QStringLiteral("%\n\n") + assessment));
        for (const CompareReport &report : {first, second}) {
            QTEST(int(report.level), "level");
            QTEST(report.proceedIsDefault, "proceedDefault");
        }
    }

    void reportFiguresAndJson()
    {
        const CompareStatistics one = compare(image(0x4000), image(0x4000, {0x1A2B}));
        const QString second = secondCompareReport(one, QStringLiteral("x.ori")).text;
        QVERIFY(second.contains(QStringLiteral("Prima modifica: 0X1A2B\nUltima modifica: 0X1A2B\n"
                                               "Intervallo interessato: 1 byte")));
        QVERIFY(second.contains(QStringLiteral("Byte modificati totali: 1\nBit modificati totali: "
                                               "8\nBlocchi di modifica rilevati: 1")));
        QVERIFY(second.contains(QStringLiteral("Somiglianza complessiva: 99.9939%")));

        QCOMPARE(compare({}, {}).differencePercent(), 0.0);
        const CompareStatistics same = compare(image(0x4000), image(0x4000));
        QVERIFY(secondCompareReport(same, QStringLiteral("x.ori"))
                    .text.contains(QStringLiteral("Prima modifica: -\nUltima modifica: -\n"
                                                  "Intervallo interessato: 0 byte")));
        QVERIFY(firstCompareReport(same, QStringLiteral("x"), 1, 1)
                    .text.contains(QStringLiteral("Somiglianza file: 100.0000%")));
        const QJsonObject json = compareStatisticsJson(same, 0x4000, 0x4000);
        QVERIFY(json.value(QStringLiteral("firstChange")).isNull());
        QCOMPARE(json.value(QStringLiteral("similarityPercent")).toDouble(), 100.0);
        QCOMPARE(json.size(), 10);
    }
};

QTEST_GUILESS_MAIN(TestCompareStatistics)
#include "tst_comparestatistics.moc"
