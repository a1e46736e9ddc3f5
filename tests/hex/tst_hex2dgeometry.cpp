#include "hex/hex2dgeometry.h"

#include <QtTest>

class TestHex2DGeometry : public QObject
{
    Q_OBJECT

    static Hex2DGeometry make(qint64 size, int width = 876, int height = 400)
    {
        Hex2DGeometry g;
        g.setWidgetSize(width, height);
        g.setImageSize(size);
        return g;
    }

private slots:
    void initialWindow_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<double>("zoomX");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("end");
        QTest::newRow("tiny 1 byte") << qint64(1) << 1.0 << qint64(0) << qint64(1);
        QTest::newRow("tiny 2 bytes") << qint64(2) << 1.0 << qint64(0) << qint64(2);
        QTest::newRow("4096 whole") << qint64(4096) << 1.0 << qint64(0) << qint64(4096);
        QTest::newRow("1000 whole") << qint64(1000) << 1.0 << qint64(0) << qint64(1000);
        QTest::newRow("8192 half") << qint64(8192) << 2.0 << qint64(2048) << qint64(6144);
        QTest::newRow("1 MiB at 256") << qint64(1 << 20) << 256.0 << qint64(522240)
                                      << qint64(526336);
    }
    void initialWindow()
    {
        QFETCH(qint64, size);
        const Hex2DGeometry g = make(size);
        QCOMPARE(g.zoomX(), g.baseZoom());
        QTEST(g.zoomX(), "zoomX");
        QTEST(g.visibleStart(), "start");
        QTEST(g.visibleEnd(), "end");
        QCOMPARE(g.centre(), 0.5);
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

    void wheelZoomClamps_data()
    {
        QTest::addColumn<int>("steps");
        QTest::addColumn<double>("zoomX");
        QTest::newRow("far out stops at 1") << -60 << 1.0;
        QTest::newRow("far in stops at 100000") << 80 << 100000.0;
    }
    void wheelZoomClamps()
    {
        QFETCH(int, steps);
        Hex2DGeometry g = make(1 << 20);
        for (int i = 0; i < qAbs(steps); ++i)
            g.wheelZoom(steps > 0 ? 1 : -1, 300);
        QTEST(g.zoomX(), "zoomX");
        QVERIFY(g.visibleEnd() > g.visibleStart());
        QVERIFY(g.visibleEnd() <= (1 << 20));
    }

    void wheelKeepsPositionUnderPointer_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("steps");
        QTest::newRow("in at a quarter") << 265 << 1;
        QTest::newRow("out at a quarter") << 265 << -1;
        QTest::newRow("in three at three quarters") << 665 << 3;
    }
    void wheelKeepsPositionUnderPointer()
    {
        QFETCH(int, x);
        QFETCH(int, steps);
        Hex2DGeometry g = make(1 << 20);
        const qint64 before = g.offsetAtX(x);
        g.wheelZoom(steps, x);
        QCOMPARE(g.zoomX(), 256.0 * std::pow(1.35, steps));
        // Within one pixel's share of the wider of the two windows.
        const double tolerance = 4096.0 * std::max(1.0, std::pow(1.35, -steps)) / 800.0 + 1;
        QVERIFY2(qAbs(g.offsetAtX(x) - before) <= tolerance,
                 qPrintable(QStringLiteral("%1 vs %2").arg(g.offsetAtX(x)).arg(before)));
    }

    void userZoomClamps_data()
    {
        QTest::addColumn<double>("factor");
        QTest::addColumn<double>("userZoom");
        QTest::addColumn<double>("zoomX");
        QTest::newRow("one") << 1.0 << 1.0 << 256.0;
        QTest::newRow("quarter floor") << 0.1 << 0.25 << 64.0;
        QTest::newRow("64 ceiling") << 100.0 << 64.0 << 16384.0;
    }
    void userZoomClamps()
    {
        QFETCH(double, factor);
        Hex2DGeometry g = make(1 << 20);
        g.setUserZoomX(factor);
        QTEST(g.userZoomX(), "userZoom");
        QTEST(g.zoomX(), "zoomX");
    }

    void smallImageUserZoomStaysAtOne()
    {
        Hex2DGeometry g = make(1000);
        g.setUserZoomX(0.25);
        QCOMPARE(g.zoomX(), 1.0);
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
    }

    void tinyPlotHasNoPlot()
    {
        QVERIFY(!make(100, 86, 200).hasPlot());
        QVERIFY(make(100, 87, 108).hasPlot());
        QVERIFY(!make(100, 87, 107).hasPlot());
    }
};

QTEST_GUILESS_MAIN(TestHex2DGeometry)
#include "tst_hex2dgeometry.moc"
