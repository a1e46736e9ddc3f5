#include "hex/hex2dgeometry.h"
#include "hex/overviewshade.h"
#include "hex/samplesummary.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cstring>

Q_DECLARE_METATYPE(SampleFormat)

namespace {

// A view 876 pixels wide (plot 800) over an image of `size` bytes.
Hex2DGeometry make(qint64 size, int width = 876, int height = 400)
{
    Hex2DGeometry g;
    g.setWidgetSize(width, height);
    g.setImageSize(size);
    return g;
}

QByteArray noise(qint64 size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator rng(seed);
    for (qint64 i = 0; i < size; ++i)
        data[i] = char(rng.bounded(256));
    return data;
}

} // namespace

class TestHex2DGeometry : public QObject
{
    Q_OBJECT

private slots:
    void initialWindow_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<double>("zoomX");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("end");
        QTest::newRow("tiny 1 byte") << qint64(1) << 1.0 << qint64(0) << qint64(1);
        QTest::newRow("tiny 2 bytes") << qint64(2) << 1.0 << qint64(0) << qint64(2);
        QTest::newRow("1000 whole") << qint64(1000) << 1.0 << qint64(0) << qint64(1000);
        QTest::newRow("8192 half") << qint64(8192) << 2.0 << qint64(2048) << qint64(6144);
        QTest::newRow("1 MiB at 256")
            << qint64(1 << 20) << 256.0 << qint64(522240) << qint64(526336);
    }
    void initialWindow()
    {
        QFETCH(qint64, size);
        const Hex2DGeometry g = make(size);
        QTEST(g.zoomX(), "zoomX");
        QTEST(g.visibleStart(), "start");
        QTEST(g.visibleEnd(), "end");
    }

    void offsetUnderPixel_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("x");
        QTest::addColumn<qint64>("offset");
        // Plot width 800: 4096 bytes over 800 pixels.
        QTest::newRow("left edge") << qint64(4096) << 65 << qint64(0);
        QTest::newRow("left of plot clamps") << qint64(4096) << 10 << qint64(0);
        QTest::newRow("middle") << qint64(4096) << 465 << qint64(2048);
        QTest::newRow("right edge keeps a word") << qint64(4096) << 865 << qint64(4094);
        QTest::newRow("far right clamps") << qint64(4096) << 2000 << qint64(4094);
        QTest::newRow("1-byte image") << qint64(1) << 500 << qint64(0);
        QTest::newRow("2-byte image") << qint64(2) << 865 << qint64(0);
        QTest::newRow("empty image") << qint64(0) << 300 << qint64(-1);
    }
    void offsetUnderPixel()
    {
        QFETCH(qint64, size);
        QFETCH(int, x);
        QTEST(make(size).offsetAtX(x), "offset");
    }

    void wheelZoom_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("steps");
        QTest::addColumn<double>("zoomX"); // 0: 256 × 1.35^steps
        QTest::newRow("in at a quarter") << 265 << 1 << 0.0;
        QTest::newRow("in three at three quarters") << 665 << 3 << 0.0;
        QTest::newRow("far out stops at 1") << 300 << -60 << 1.0;
        QTest::newRow("far in stops at 100000") << 300 << 80 << 100000.0;
    }
    void wheelZoom()
    {
        QFETCH(int, x);
        QFETCH(int, steps);
        QFETCH(double, zoomX);
        Hex2DGeometry g = make(1 << 20);
        const qint64 before = g.offsetAtX(x);
        for (int i = 0; i < qAbs(steps); ++i)
            g.wheelZoom(steps > 0 ? 1 : -1, x);
        QVERIFY(g.visibleEnd() > g.visibleStart());
        QVERIFY(g.visibleEnd() <= (1 << 20));
        if (zoomX > 0) {
            QCOMPARE(g.zoomX(), zoomX);
            return;
        }
        QCOMPARE(g.zoomX(), 256.0 * std::pow(1.35, steps));
        // The byte under the pointer stays there, within one pixel's share of the wider window.
        const double tolerance = 4096.0 * std::max(1.0, std::pow(1.35, -steps)) / 800.0 + 1;
        QVERIFY2(qAbs(g.offsetAtX(x) - before) <= tolerance,
                 qPrintable(QStringLiteral("%1 vs %2").arg(g.offsetAtX(x)).arg(before)));
    }

    void userZoomClamps_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<double>("factor");
        QTest::addColumn<double>("zoomX");
        QTest::newRow("one") << qint64(1 << 20) << 1.0 << 256.0;
        QTest::newRow("quarter floor") << qint64(1 << 20) << 0.1 << 64.0;
        QTest::newRow("64 ceiling") << qint64(1 << 20) << 100.0 << 16384.0;
        QTest::newRow("small image stays at 1") << qint64(1000) << 0.25 << 1.0;
    }
    void userZoomClamps()
    {
        QFETCH(qint64, size);
        QFETCH(double, factor);
        Hex2DGeometry g = make(size);
        g.setUserZoomX(factor);
        QTEST(g.zoomX(), "zoomX");
        g.setUserZoomY(50.0);
        QCOMPARE(g.zoomY(), 10.0);
        g.setUserZoomY(0.01);
        QCOMPARE(g.zoomY(), 0.1);
    }

    void centreStaysInsideImage_data()
    {
        QTest::addColumn<double>("centre");
        QTest::addColumn<qint64>("start");
        QTest::newRow("below start") << -3.0 << qint64(0);
        QTest::newRow("past end") << 7.0 << qint64(8192 - 1024);
        QTest::newRow("inside") << 0.5 << qint64(4096 - 512);
    }
    void centreStaysInsideImage()
    {
        QFETCH(double, centre);
        Hex2DGeometry g = make(8192);
        g.setZoomX(8);
        g.setCentre(centre);
        QTEST(g.visibleStart(), "start");
        QCOMPARE(g.visibleEnd() - g.visibleStart(), qint64(1024));
    }

    void scrollBarAndNavigation()
    {
        Hex2DGeometry g = make(1 << 20); // plot width 800, window 4096 of 1 MiB
        QCOMPARE(g.scrollBarRect(), QRect(QPoint(65, 371), QPoint(864, 394)));
        QCOMPARE(g.thumbWidth(), 4); // 3 pixels of share, widened to 4
        QCOMPARE(g.thumbLeft(), 65 + 398);
        g.dragThumbTo(65);
        QCOMPARE(g.visibleStart(), qint64(0));
        g.pageBy(+1, 0.9);
        QCOMPARE(g.visibleStart(), qint64(3686));
        g.goToEnd();
        QCOMPARE(g.visibleEnd(), qint64(1 << 20));
        g.stepPart(+1);
        QCOMPARE(g.visibleEnd(), qint64(1 << 20));
        g.stepPart(-1);
        QCOMPARE(g.visibleEnd(), qint64((1 << 20) - 205)); // 5 % of 4096 = 204.8 bytes
        g.goToStart();
        QCOMPARE(g.visibleStart(), qint64(0));
        g.nudge(+1);
        QCOMPARE(g.visibleStart(), qint64(49)); // 1.2 % of the 4096-byte window
        g.pan(+400); // dragging right by half the plot moves back half a window
        QCOMPARE(g.visibleStart(), qint64(0));
        g.pan(-400);
        QCOMPARE(g.visibleStart(), qint64(2048));
        QVERIFY(!make(100, 86, 200).hasPlot());
        QVERIFY(make(100, 87, 108).hasPlot());
        QVERIFY(!make(100, 87, 107).hasPlot());
    }

    void sampleValues_data()
    {
        QTest::addColumn<SampleFormat>("format");
        QTest::addColumn<double>("value");
        QTest::newRow("16 BE") << SampleFormat{2, false, false} << double(0x1234);
        QTest::newRow("32 BE") << SampleFormat{4, false, false} << double(0x1234803Fu);
    }
    void sampleValues()
    {
        QFETCH(SampleFormat, format);
        const QByteArray bytes = QByteArray::fromHex("1234803f");
        QTEST(sampleValue(bytes.constData(), 0, format), "value");
    }

    void floatsLeaveOutNonFinite()
    {
        QByteArray bytes(12, 0);
        const float values[3] = {1.5f, std::numeric_limits<float>::quiet_NaN(), -2.0f};
        std::memcpy(bytes.data(), values, sizeof values);
        SampleSummary summary;
        summary.build(bytes, {4, true, true});
        const SampleExtremes e = summary.extremes(bytes, 0, 3);
        QCOMPARE(e.minimum, -2.0);
        QCOMPARE(e.maximum, 1.5);
        QVERIFY(summary.extremes(bytes, 1, 2).isEmpty());
    }

    // The curve drawn from the summary must be the curve of the straightforward computation.
    void columnsMatchStraightComputation_data()
    {
        QTest::addColumn<SampleFormat>("format");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("end");
        QTest::addColumn<int>("columns");
        const SampleFormat formats[] = {{1, true, false},
                                        {2, true, false},
                                        {2, false, false},
                                        {4, true, false},
                                        {4, false, true}};
        const char *names[] = {"8", "16LE", "16BE", "32LE", "float BE"};
        const struct
        {
            const char *name;
            qint64 start, end;
            int columns;
        } windows[] = {{"whole", 0, 300001, 800},
                       {"odd window", 12345, 287001, 777},
                       {"narrow", 4097, 9000, 100},
                       {"wide columns reach the second level", 999, 299000, 7},
                       {"window at end", 200003, 300001, 333}};
        for (int i = 0; i < 5; ++i)
            for (const auto &w : windows)
                QTest::addRow("%s %s", names[i], w.name)
                    << formats[i] << w.start << w.end << w.columns;
    }
    void columnsMatchStraightComputation()
    {
        QFETCH(SampleFormat, format);
        QFETCH(qint64, start);
        QFETCH(qint64, end);
        QFETCH(int, columns);
        QByteArray data = noise(300001, 7);
        // Flat stretches too, so some columns have equal minimum and maximum.
        std::memset(data.data() + 50000, 0x40, 40000);
        SampleSummary summary;
        summary.build(data, format);
        const auto fast = columnExtremes(data, format, start, end, columns, &summary);
        QCOMPARE(fast.size(), columns);
        QVERIFY(fast == columnExtremes(data, format, start, end, columns, nullptr));
    }

    void summaryRenewedAfterEdits()
    {
        const SampleFormat format{2, true, false};
        QByteArray data = noise(1 << 18, 3);
        SampleSummary summary;
        summary.build(data, format);
        // A new extreme right in the middle of a large block, and one across a block border.
        data[100001] = data[100000] = char(0xFF);
        summary.update(data, 100000, 100001);
        data[4095] = data[4096] = 0;
        summary.update(data, 4095, 4096);
        const auto fast = columnExtremes(data, format, 0, data.size(), 500, &summary);
        QVERIFY(fast == columnExtremes(data, format, 0, data.size(), 500, nullptr));
        QVERIFY(!summary.isBuiltFor(data, {1, true, false}));
        QVERIFY(summary.isBuiltFor(data, format));
    }

    void samplesStayInsideImage_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("width");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("end");
        QTest::addColumn<QPoint>("samples"); // first, count
        QTest::newRow("aligned") << qint64(100) << 2 << qint64(10) << qint64(20) << QPoint(5, 5);
        QTest::newRow("rounded down")
            << qint64(100) << 4 << qint64(7) << qint64(20) << QPoint(1, 4);
        QTest::newRow("partial word out")
            << qint64(7) << 4 << qint64(0) << qint64(7) << QPoint(0, 1);
        QTest::newRow("1 byte, 16 bit") << qint64(1) << 2 << qint64(0) << qint64(1) << QPoint(0, 0);
    }
    void samplesStayInsideImage()
    {
        QFETCH(qint64, size);
        QFETCH(int, width);
        QFETCH(qint64, start);
        QFETCH(qint64, end);
        qint64 first = -1, count = -1;
        windowSamples(size, {width, true, false}, start, end, &first, &count);
        QTEST(QPoint(int(first), int(count)), "samples");
    }

    void fewSamplesAreNotReduced()
    {
        const QByteArray data = noise(1000, 1); // fewer samples than columns: drawn one by one
        QVERIFY(columnExtremes(data, {1, true, false}, 0, 800, 800, nullptr).isEmpty());
        QVERIFY(columnExtremes(data, {1, true, false}, 0, 1000, 0, nullptr).isEmpty());
        QCOMPARE(columnExtremes(data, {1, true, false}, 0, 801, 800, nullptr).size(), 800);
    }

    void overviewShades()
    {
        const QByteArray ff(4096, char(0xFF));
        QVERIFY(overviewShade(ff, 3, 100, 1, true).background);
        QVERIFY(overviewShade(QByteArray(4096, 0), 3, 100, 2, true).background);
        const OverviewShade busy = overviewShade(noise(4096, 2), 3, 100, 1, true);
        QVERIFY(!busy.background);
        QVERIFY(busy.hue >= 0.0 && busy.hue <= 0.72);
        QVERIFY(overviewShade(QByteArray(), 0, 100, 1, true).background);
        // A 1-byte image read as 16-bit words has no whole sample.
        QVERIFY(overviewShade(QByteArray(1, 5), 0, 100, 2, true).background);
    }
};

QTEST_GUILESS_MAIN(TestHex2DGeometry)
#include "tst_hex2dgeometry.moc"
