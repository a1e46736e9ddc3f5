#include "hex/overviewshade.h"
#include "hex/samplesummary.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cstring>

Q_DECLARE_METATYPE(SampleFormat)

class TestSampleSummary : public QObject
{
    Q_OBJECT

    static QByteArray noise(qint64 size, quint32 seed)
    {
        QByteArray data(size, Qt::Uninitialized);
        QRandomGenerator rng(seed);
        for (qint64 i = 0; i < size; ++i)
            data[i] = char(rng.bounded(256));
        return data;
    }

private slots:
    void sampleValues_data()
    {
        QTest::addColumn<SampleFormat>("format");
        QTest::addColumn<double>("value");
        QTest::newRow("8 bit") << SampleFormat{1, true, false} << double(0x12);
        QTest::newRow("16 LE") << SampleFormat{2, true, false} << double(0x3412);
        QTest::newRow("16 BE") << SampleFormat{2, false, false} << double(0x1234);
        QTest::newRow("32 LE") << SampleFormat{4, true, false} << double(0x3F803412u);
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
        const SampleFormat f{4, true, true};
        SampleSummary summary;
        summary.build(bytes, f);
        const SampleExtremes e = summary.extremes(bytes, 0, 3);
        QCOMPARE(e.minimum, -2.0);
        QCOMPARE(e.maximum, 1.5);
        QVERIFY(summary.extremes(bytes, 1, 2).isEmpty());
    }

    // The curve drawn from the summary must be the curve of the straightforward computation.
    void columnsMatchStraightComputation_data()
    {
        QTest::addColumn<SampleFormat>("format");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("end");
        QTest::addColumn<int>("columns");
        const SampleFormat formats[] = {{1, true, false}, {2, true, false}, {2, false, false},
                                        {4, true, false}, {4, false, true}};
        const char *names[] = {"8", "16LE", "16BE", "32LE", "float BE"};
        for (int i = 0; i < 5; ++i) {
            const QByteArray n(names[i]);
            QTest::newRow(QByteArray(n + " whole").constData()) << formats[i] << qint64(300001) << qint64(0)
                                        << qint64(300001) << 800;
            QTest::newRow(QByteArray(n + " odd window").constData()) << formats[i] << qint64(300001) << qint64(12345)
                                             << qint64(287001) << 777;
            QTest::newRow(QByteArray(n + " narrow").constData()) << formats[i] << qint64(300001) << qint64(4097)
                                         << qint64(9000) << 100;
            // Wide columns reach the second level of the summary.
            QTest::newRow(QByteArray(n + " wide columns").constData())
                << formats[i] << qint64(300001) << qint64(999) << qint64(299000) << 7;
            QTest::newRow(QByteArray(n + " window at end").constData()) << formats[i] << qint64(300001)
                                                << qint64(200003) << qint64(300001) << 333;
        }
    }
    void columnsMatchStraightComputation()
    {
        QFETCH(SampleFormat, format);
        QFETCH(qint64, size);
        QFETCH(qint64, start);
        QFETCH(qint64, end);
        QFETCH(int, columns);
        QByteArray data = noise(size, 7);
        // Flat stretches too, so some columns have equal minimum and maximum.
        std::memset(data.data() + 50000, 0x40, 40000);
        SampleSummary summary;
        summary.build(data, format);
        const auto straight = columnExtremes(data, format, start, end, columns, nullptr);
        const auto fast = columnExtremes(data, format, start, end, columns, &summary);
        QCOMPARE(fast.size(), columns);
        QVERIFY(fast == straight);
    }

    void renewedAfterEdits()
    {
        const SampleFormat format{2, true, false};
        QByteArray data = noise(1 << 18, 3);
        SampleSummary summary;
        summary.build(data, format);
        // A new extreme right in the middle of a large block, and one across a block border.
        data[100001] = char(0xFF);
        data[100000] = char(0xFF);
        summary.update(data, 100000, 100001);
        data[4095] = 0;
        data[4096] = 0;
        summary.update(data, 4095, 4096);
        const auto fast = columnExtremes(data, format, 0, data.size(), 500, &summary);
        QVERIFY(fast == columnExtremes(data, format, 0, data.size(), 500, nullptr));
        QVERIFY(!summary.isBuiltFor(data, {1, true, false}));
        QVERIFY(summary.isBuiltFor(data, format));
    }

    void fewSamplesAreNotReduced()
    {
        const QByteArray data = noise(1000, 1);
        QVERIFY(columnExtremes(data, {1, true, false}, 0, 800, 800, nullptr).isEmpty());
        QVERIFY(columnExtremes(data, {1, true, false}, 0, 1000, 0, nullptr).isEmpty());
        QCOMPARE(columnExtremes(data, {1, true, false}, 0, 801, 800, nullptr).size(), 800);
    }

    void windowSamplesStayInsideImage_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("width");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("end");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("count");
        QTest::newRow("aligned") << qint64(100) << 2 << qint64(10) << qint64(20) << qint64(5)
                                 << qint64(5);
        QTest::newRow("start rounded down") << qint64(100) << 4 << qint64(7) << qint64(20)
                                            << qint64(1) << qint64(4);
        QTest::newRow("partial last word left out") << qint64(7) << 4 << qint64(0) << qint64(7)
                                                    << qint64(0) << qint64(1);
        QTest::newRow("1-byte image, 16 bit") << qint64(1) << 2 << qint64(0) << qint64(1)
                                              << qint64(0) << qint64(0);
    }
    void windowSamplesStayInsideImage()
    {
        QFETCH(qint64, size);
        QFETCH(int, width);
        QFETCH(qint64, start);
        QFETCH(qint64, end);
        qint64 first = -1, count = -1;
        windowSamples(size, {width, true, false}, start, end, &first, &count);
        QTEST(first, "first");
        QTEST(count, "count");
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

QTEST_GUILESS_MAIN(TestSampleSummary)
#include "tst_samplesummary.moc"
