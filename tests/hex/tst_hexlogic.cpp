#include "hex/hexcells.h"
#include "hex/hexsearch.h"
#include "hex/modifiedoffsets.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// The optional answers as one comparable value: -1 for "refused".
template<typename T>
qint64 orMinusOne(const std::optional<T> &v)
{
    return v ? qint64(*v) : -1;
}

struct SearchCase
{
    const char *data, *pattern;
    int position;
    bool forward;
    int hit;
    bool wrapped;
};

} // namespace

Q_DECLARE_METATYPE(SearchCase)

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
        QTest::newRow("+1 8 bit") << hex("01FF") << 1 << 1 << hex("02FF");
        QTest::newRow("-1 on 00 stays") << hex("0001") << 1 << -1 << hex("0000");
        QTest::newRow("+1 on FFFF stays") << hex("FFFF") << 2 << 1 << hex("FFFF");
        QTest::newRow("+1 16 bit carries") << hex("FF00") << 2 << 1 << hex("0001");
        QTest::newRow("short tail untouched") << hex("010203") << 2 << 1 << hex("020203");
        QTest::newRow("+1 32 bit at limit stays") << hex("FFFFFFFF") << 4 << 1 << hex("FFFFFFFF");
    }
    void stepped()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, width);
        QFETCH(int, delta);
        QTEST(HexCells::stepped(bytes, width, HexCells::LittleEndian, delta), "result");
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
        QTest::newRow("32 bit clamps at 4294967295") << 4 << 4000000000u << 10.0 << 4294967295u;
    }
    void scaled()
    {
        QFETCH(int, width);
        QFETCH(quint32, value);
        QFETCH(double, percent);
        for (int order : {0, 1}) {
            const QByteArray in = HexCells::encode(value, width, order);
            const QByteArray out = HexCells::scaled(in, width, order, percent);
            QTEST(HexCells::read(out.constData(), width, order), "result");
        }
    }

    // Typed texts: the value of "Modifica selezione", go-to addresses and selection ranges.
    void typedValues_data()
    {
        QTest::addColumn<bool>("address"); // a go-to address, else a value for the selection
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("decimal");
        QTest::addColumn<int>("width");
        QTest::addColumn<qint64>("value"); // -1: refused
        QTest::newRow("1FF clamps to FF") << false << "1FF" << false << 1 << qint64(255);
        QTest::newRow("70000 clamps, 16 bit") << false << "70000" << true << 2 << qint64(65535);
        QTest::newRow("32 bit max") << false << "FFFFFFFF" << false << 4 << qint64(4294967295LL);
        QTest::newRow("over 32 bit") << false << "100000000" << false << 4 << qint64(-1);
        QTest::newRow("not a number") << false << "xyz" << true << 1 << qint64(-1);
        QTest::newRow("hex in decimal") << false << "1A" << true << 1 << qint64(-1);
        QTest::newRow("@0x10") << true << "0x10" << false << 0 << qint64(16);
        QTest::newRow("@ 0XfF ") << true << " 0XfF " << false << 0 << qint64(255);
        QTest::newRow("@0x") << true << "0x" << false << 0 << qint64(-1);
        QTest::newRow("@80000000") << true << "80000000" << false << 0 << qint64(-1);
    }
    void typedValues()
    {
        QFETCH(bool, address);
        QFETCH(QString, text);
        QFETCH(bool, decimal);
        QFETCH(int, width);
        if (address)
            QTEST(orMinusOne(HexCells::parseAddress(text)), "value");
        else
            QTEST(orMinusOne(HexCells::selectionEditValue(text, decimal, width)), "value");
    }

    void pastedHex_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes"); // empty: ignored
        QTest::newRow("spaced pairs") << "AA bb 01" << hex("AABB01");
        QTest::newRow("line break at the end") << "0102\n" << hex("0102");
        QTest::newRow("odd digit count") << "ABC" << QByteArray();
        QTest::newRow("non-hex character") << "AZ" << QByteArray();
        QTest::newRow("prefix is not hex") << "0x12" << QByteArray();
        QTest::newRow("empty") << "   " << QByteArray();
    }
    void pastedHex()
    {
        QFETCH(QString, text);
        const auto v = HexCells::parsePastedHex(text);
        QTEST(v.value_or(QByteArray()), "bytes");
        if (v)
            QCOMPARE(HexCells::parsePastedHex(HexCells::copiedHex(*v)), v);
    }

    void selectionFromAddresses_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("width");
        QTest::addColumn<QPoint>("span"); // start, end; (-1, -1): refused
        QTest::newRow("reversed gives the same") << 0x20 << 0x10 << 2 << QPoint(0x10, 0x21);
        QTest::newRow("end clipped to image") << 0x10 << 0xFF << 4 << QPoint(0x10, 0xFF);
        QTest::newRow("start outside") << 0x100 << 0x120 << 1 << QPoint(-1, -1);
        QTest::newRow("negative") << -4 << 0x10 << 1 << QPoint(-1, -1);
    }
    void selectionFromAddresses()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, width);
        const auto span = HexCells::selectionFromAddresses(from, to, width, 0x100);
        QTEST(span ? QPoint(int(span->start), int(span->end)) : QPoint(-1, -1), "span");
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
        QTest::newRow("hex with 0x") << "0x1234" << true << 2 << hex("3412") << "";
        QTest::newRow("decimal") << "255" << false << 1 << hex("FF") << "";
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
        const HexSearch::Pattern p = HexSearch::parseValue(text, hex, width, 0);
        QTEST(p.bytes, "pattern");
        QTEST(p.error, "error");
    }

    void searchStep_data()
    {
        QTest::addColumn<SearchCase>("c");
        // 1234 in little endian is 34 12; the one at offset 3 is not on a cell boundary.
        const char *odd = "0000003412000000341200000000";
        QTest::newRow("odd offset skipped") << SearchCase{odd, "3412", 0, true, 8, false};
        QTest::newRow("only match under cursor") << SearchCase{odd, "3412", 8, true, -1, true};
        QTest::newRow("backward from the end") << SearchCase{odd, "3412", 12, false, 8, false};
        QTest::newRow("backward wraps") << SearchCase{"00AA00AA", "AA", 0, false, 3, true};
        QTest::newRow("forward wraps") << SearchCase{"AA0000AA00", "AA", 3, true, 0, true};
        QTest::newRow("cursor rounded to cell")
            << SearchCase{"0000AAAA0000AAAA", "AAAA", 3, true, 6, false};
        QTest::newRow("32 bit at the end")
            << SearchCase{"0000000001020304", "01020304", 0, true, 4, false};
        QTest::newRow("no cursor") << SearchCase{"00AA", "AA", -1, true, 1, false};
        QTest::newRow("odd size, backward") << SearchCase{"AAAA000000", "AAAA", 2, false, 0, false};
        QTest::newRow("image too short") << SearchCase{"01", "0100", 0, true, -1, false};
    }
    void searchStep()
    {
        QFETCH(SearchCase, c);
        const QByteArray data = hex(c.data);
        const HexSearch::Step s
            = HexSearch::find(data.constData(), data.size(), hex(c.pattern), c.position, c.forward);
        QCOMPARE(s.hit, c.hit);
        QCOMPARE(s.wrapped, c.wrapped);
        QCOMPARE(s.tooShort, data.size() < qsizetype(qstrlen(c.pattern) / 2));
    }

    void modifiedOffsetsMatchesByteComparison()
    {
        QRandomGenerator rng(7);
        for (int round = 0; round < 20; ++round) {
            QByteArray a(int(rng.bounded(300)), '\0');
            QByteArray b(int(rng.bounded(300)), '\0');
            const int n = a.size();
            for (char &c : a)
                c = char(rng.bounded(3));
            for (char &c : b)
                c = char(rng.bounded(3));
            ModifiedOffsets bits;
            bits.rebuild(a.constData(), n, b.constData(), b.size());
            qsizetype expected = 0;
            for (int i = 0; i < n; ++i) {
                const bool differs = i >= b.size() || a[i] != b[i];
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
