#include "hex/hexcells.h"
#include "hex/hexsearch.h"
#include "hex/modifiedoffsets.h"

#include <QRandomGenerator>
#include <QtTest>

class TestHexLogic : public QObject
{
    Q_OBJECT

private slots:
    void stepped_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("delta");
        QTest::addColumn<QByteArray>("result");
        QTest::newRow("+1 8 bit") << QByteArray::fromHex("01FF") << 1 << 1
                                  << QByteArray::fromHex("02FF");
        QTest::newRow("-1 on 00 stays")
            << QByteArray::fromHex("0001") << 1 << -1 << QByteArray::fromHex("0000");
        QTest::newRow("+1 on FFFF stays")
            << QByteArray::fromHex("FFFF") << 2 << 1 << QByteArray::fromHex("FFFF");
        QTest::newRow("+1 16 bit carries")
            << QByteArray::fromHex("FF00") << 2 << 1 << QByteArray::fromHex("0001");
        QTest::newRow("tail shorter than a cell untouched")
            << QByteArray::fromHex("010203") << 2 << 1 << QByteArray::fromHex("020203");
        QTest::newRow("+1 32 bit at limit stays")
            << QByteArray::fromHex("FFFFFFFF") << 4 << 1 << QByteArray::fromHex("FFFFFFFF");
    }
    void stepped()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, width);
        QFETCH(int, delta);
        QFETCH(QByteArray, result);
        QCOMPARE(HexCells::stepped(bytes, width, HexCells::LittleEndian, delta), result);
    }

    void scaled_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<quint32>("value");
        QTest::addColumn<double>("percent");
        QTest::addColumn<quint32>("result");
        QTest::newRow("+10% of 250 clamps") << 1 << 250u << 10.0 << 255u;
        QTest::newRow("-100% gives 0") << 1 << 250u << -100.0 << 0u;
        QTest::newRow("-1000% gives 0") << 2 << 1000u << -1000.0 << 0u;
        QTest::newRow("1001 -50% rounds away") << 2 << 1001u << -50.0 << 501u;
        QTest::newRow("+5% 16 bit") << 2 << 1000u << 5.0 << 1050u;
        QTest::newRow("32 bit clamps at 4294967295") << 4 << 4000000000u << 10.0 << 4294967295u;
    }
    void scaled()
    {
        QFETCH(int, width);
        QFETCH(quint32, value);
        QFETCH(double, percent);
        QFETCH(quint32, result);
        for (int order : {0, 1}) {
            const QByteArray in = HexCells::encode(value, width, order);
            const QByteArray out = HexCells::scaled(in, width, order, percent);
            QCOMPARE(HexCells::read(out.constData(), width, order), result);
        }
    }

    void selectionEditValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("decimal");
        QTest::addColumn<int>("width");
        QTest::addColumn<qint64>("value"); // -1: ignored
        QTest::newRow("1FF clamps to FF in 8 bit") << "1FF" << false << 1 << qint64(255);
        QTest::newRow("70000 clamps in 16 bit") << "70000" << true << 2 << qint64(65535);
        QTest::newRow("32 bit max") << "FFFFFFFF" << false << 4 << qint64(4294967295LL);
        QTest::newRow("too large for 32 bit") << "100000000" << false << 4 << qint64(-1);
        QTest::newRow("not a number") << "xyz" << true << 1 << qint64(-1);
        QTest::newRow("hex digits in decimal") << "1A" << true << 1 << qint64(-1);
    }
    void selectionEditValue()
    {
        QFETCH(QString, text);
        QFETCH(bool, decimal);
        QFETCH(int, width);
        QFETCH(qint64, value);
        const auto v = HexCells::selectionEditValue(text, decimal, width);
        QCOMPARE(v.has_value(), value >= 0);
        if (v)
            QCOMPARE(qint64(*v), value);
    }

    void parseAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value"); // -1: invalid
        QTest::newRow("0x10") << "0x10" << 16;
        QTest::newRow("10") << "10" << 16;
        QTest::newRow("upper 0X") << " 0XfF " << 255;
        QTest::newRow("G1") << "G1" << -1;
        QTest::newRow("only prefix") << "0x" << -1;
        QTest::newRow("beyond 32 bit signed") << "80000000" << -1;
    }
    void parseAddress()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        const auto v = HexCells::parseAddress(text);
        QCOMPARE(v.has_value(), value >= 0);
        if (v)
            QCOMPARE(*v, value);
    }

    void pastedHex_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes"); // empty: ignored
        QTest::newRow("spaced pairs") << "AA bb 01" << QByteArray::fromHex("AABB01");
        QTest::newRow("line break at the end") << "0102\n" << QByteArray::fromHex("0102");
        QTest::newRow("odd digit count") << "ABC" << QByteArray();
        QTest::newRow("non-hex character") << "AZ" << QByteArray();
        QTest::newRow("prefix is not hex") << "0x12" << QByteArray();
        QTest::newRow("empty") << "   " << QByteArray();
    }
    void pastedHex()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        const auto v = HexCells::parsePastedHex(text);
        QCOMPARE(v.has_value(), !bytes.isEmpty());
        if (v)
            QCOMPARE(*v, bytes);
        if (v)
            QCOMPARE(HexCells::parsePastedHex(HexCells::copiedHex(*v)), v);
    }

    void selectionFromAddresses_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::newRow("in order") << 0x10 << 0x20 << 2 << 0x10 << 0x21;
        QTest::newRow("reversed gives the same") << 0x20 << 0x10 << 2 << 0x10 << 0x21;
        QTest::newRow("end clipped to image") << 0x10 << 0xFF << 4 << 0x10 << 0xFF;
        QTest::newRow("start outside") << 0x100 << 0x120 << 1 << -1 << -1;
        QTest::newRow("negative") << -4 << 0x10 << 1 << -1 << -1;
    }
    void selectionFromAddresses()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, width);
        QFETCH(int, start);
        QFETCH(int, end);
        const auto span = HexCells::selectionFromAddresses(from, to, width, 0x100);
        QCOMPARE(span.has_value(), start >= 0);
        if (span) {
            QCOMPARE(span->start, start);
            QCOMPARE(span->end, end);
        }
    }

    void guessByteOrderNeedsEvidence()
    {
        QCOMPARE(HexCells::guessByteOrder("\x00\x01", 2), 0);
        const QByteArray fill(4096, char(0xFF));
        QCOMPARE(HexCells::guessByteOrder(fill.constData(), fill.size()), 0);
        QByteArray small16;
        for (int i = 1; i < 200; ++i)
            small16.append('\0').append(char(i)); // 16-bit big-endian values below 256
        QCOMPARE(HexCells::guessByteOrder(small16.constData(), small16.size()), 1);
    }

    void searchValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<int>("width");
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<QString>("error");
        QTest::newRow("hex with 0x") << "0x1234" << true << 2 << QByteArray::fromHex("3412") << "";
        QTest::newRow("decimal") << "255" << false << 1 << QByteArray::fromHex("FF") << "";
        QTest::newRow("empty") << "  " << true << 1 << QByteArray()
                               << "Inserisci un valore da cercare.";
        QTest::newRow("bad hex") << "XYZ" << true << 1 << QByteArray()
                                 << "Valore esadecimale non valido.";
        QTest::newRow("bad decimal")
            << "1A" << false << 1 << QByteArray() << "Valore decimale non valido.";
        QTest::newRow("over the limit") << "256" << false << 1 << QByteArray()
                                        << "Il valore supera il limite della modalità attiva.\n\n"
                                           "Valore massimo: 255";
    }
    void searchValue()
    {
        QFETCH(QString, text);
        QFETCH(bool, hex);
        QFETCH(int, width);
        QFETCH(QByteArray, pattern);
        QFETCH(QString, error);
        const HexSearch::Pattern p = HexSearch::parseValue(text, hex, width, 0);
        QCOMPARE(p.bytes, pattern);
        QCOMPARE(p.error, error);
    }

    void searchStep_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<int>("hit");
        QTest::addColumn<bool>("wrapped");
        // 1234 in little endian is 34 12; the one at offset 3 is not on a cell boundary.
        const QByteArray odd = QByteArray::fromHex("0000003412000000341200000000");
        QTest::newRow("odd offset skipped")
            << odd << QByteArray::fromHex("3412") << 0 << true << 8 << false;
        QTest::newRow("only match under the cursor wraps to nothing")
            << odd << QByteArray::fromHex("3412") << 8 << true << -1 << true;
        QTest::newRow("backward from the end")
            << odd << QByteArray::fromHex("3412") << 12 << false << 8 << false;
        QTest::newRow("backward wraps to the end")
            << QByteArray::fromHex("00AA00AA") << QByteArray::fromHex("AA") << 0 << false << 3
            << true;
        QTest::newRow("forward wraps to the start")
            << QByteArray::fromHex("AA0000AA00") << QByteArray::fromHex("AA") << 3 << true << 0
            << true;
        QTest::newRow("position rounded down to the cell")
            << QByteArray::fromHex("0000AAAA0000AAAA") << QByteArray::fromHex("AAAA") << 3 << true
            << 6 << false;
        QTest::newRow("32 bit at the very end")
            << QByteArray::fromHex("0000000001020304") << QByteArray::fromHex("01020304") << 0
            << true << 4 << false;
        QTest::newRow("no cursor searches from the start")
            << QByteArray::fromHex("00AA") << QByteArray::fromHex("AA") << -1 << true << 1 << false;
        QTest::newRow("odd size: last whole cell searched backward")
            << QByteArray::fromHex("AAAA000000") << QByteArray::fromHex("AAAA") << 2 << false << 0
            << false;
    }
    void searchStep()
    {
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, pattern);
        QFETCH(int, position);
        QFETCH(bool, forward);
        QFETCH(int, hit);
        QFETCH(bool, wrapped);
        const HexSearch::Step s
            = HexSearch::find(data.constData(), data.size(), pattern, position, forward);
        QCOMPARE(s.hit, hit);
        QCOMPARE(s.wrapped, wrapped);
        QVERIFY(!s.tooShort);
    }

    void searchInTooShortImage()
    {
        const HexSearch::Step s = HexSearch::find("\x01", 1, QByteArray::fromHex("0100"), 0, true);
        QVERIFY(s.tooShort);
        QCOMPARE(s.hit, -1);
    }

    void modifiedOffsetsMatchesByteComparison()
    {
        QRandomGenerator rng(7);
        for (int round = 0; round < 20; ++round) {
            const int n = int(rng.bounded(300));
            const int m = int(rng.bounded(300));
            QByteArray a(n, '\0');
            QByteArray b(m, '\0');
            for (int i = 0; i < n; ++i)
                a[i] = char(rng.bounded(3));
            for (int i = 0; i < m; ++i)
                b[i] = char(rng.bounded(3));
            ModifiedOffsets bits;
            bits.rebuild(a.constData(), n, b.constData(), m);
            qsizetype expected = 0;
            for (int i = 0; i < n; ++i) {
                const bool differs = i >= m || a[i] != b[i];
                expected += differs;
                QCOMPARE(bits.test(i), differs);
            }
            QCOMPARE(bits.count(), expected);
            QVERIFY(!bits.test(n));
            QVERIFY(!bits.test(-1));
            // The word-wise scans agree with the bit-by-bit answer at every start.
            for (int from = -1; from <= n; ++from) {
                qsizetype next = -1;
                for (int i = std::max(from, 0); i < n && next < 0; ++i)
                    if (bits.test(i))
                        next = i;
                QCOMPARE(bits.nextSet(from), next);
                QCOMPARE(bits.anyIn(from, 70), next >= 0 && next < from + 70);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestHexLogic)
#include "tst_hexlogic.moc"
