#include "hex/hexcells.h"
#include "hex/hexmodel.h"
#include "hex/hexsearch.h"
#include "hex/modifiedoffsets.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include "firmwarefixture.h"
#include "testsupport.h"

namespace {

using testsupport::countingBytes;

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

struct Geometry
{
    int width, origin, offset, row, column, rowStart0, rows;
};

// Bytes as hex; mode letters: d decimal, f float, b big endian, p percent against `original`.
struct CellText
{
    const char *current, *original;
    int bits;
    const char *mode, *text;
};

struct InPlaceEdit
{
    int bits;
    bool decimal;
    const char *typed, *result; // result empty: refused
};

int widthMode(int bits)
{
    return bits == 8 ? HexModel::Width8 : bits == 16 ? HexModel::Width16 : HexModel::Width32;
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

Q_DECLARE_METATYPE(Geometry)
Q_DECLARE_METATYPE(CellText)
Q_DECLARE_METATYPE(InPlaceEdit)
Q_DECLARE_METATYPE(SearchCase)

class TestHexModel : public QObject
{
    Q_OBJECT

private slots:
    void geometry_data()
    {
        QTest::addColumn<Geometry>("g"); // width mode, origin, offset -> row, column, rows
        QTest::newRow("8 bit, no origin") << Geometry{0, 0, 0, 0, 1, 0, 13};
        QTest::newRow("8 bit, origin 3: offset 0 in column 6") << Geometry{0, 3, 0, 0, 6, -5, 14};
        QTest::newRow("8 bit, origin 3: offset 3 starts row 1") << Geometry{0, 3, 3, 1, 1, -5, 14};
        QTest::newRow("8 bit, origin -2 wraps to 6") << Geometry{0, -2, 0, 0, 3, -2, 13};
        QTest::newRow("16 bit, origin 5 becomes 4") << Geometry{1, 5, 4, 1, 1, -12, 7};
        QTest::newRow("16 bit, last byte") << Geometry{1, 0, 99, 6, 2, 0, 7};
        QTest::newRow("32 bit, origin 6 becomes 4") << Geometry{2, 6, 4, 1, 1, -28, 4};
    }
    void geometry()
    {
        QFETCH(Geometry, g);
        HexModel m;
        m.setFirmware(countingBytes(100));
        m.setWidthMode(g.width);
        m.setRowOrigin(g.origin);
        const QModelIndex idx = m.indexForOffset(g.offset);
        QCOMPARE(idx.row(), g.row);
        QCOMPARE(idx.column(), g.column);
        QCOMPARE(m.rowStart(0), qint64(g.rowStart0));
        QCOMPARE(m.rowCount(), g.rows);
        QCOMPARE(m.offsetForIndex(idx), g.offset - g.offset % m.cellBytes());
    }

    void leadingAndPartialCellsAreEmpty()
    {
        HexModel m;
        m.setFirmware(countingBytes(20));
        m.setRowOrigin(3);
        for (int c = 1; c <= 5; ++c)
            QVERIFY(!m.data(m.index(0, c)).isValid());
        QCOMPARE(m.data(m.index(0, 6)).toString(), QStringLiteral("00"));
        QCOMPARE(m.data(m.index(0, 9)).toString(), QStringLiteral("     ..."));
        QCOMPARE(m.headerData(2, Qt::Horizontal).toString(), QStringLiteral("01"));
        m.setFirmware(countingBytes(3));
        m.setRowOrigin(0);
        m.setWidthMode(HexModel::Width16);
        QVERIFY(m.data(m.index(0, 1)).isValid());
        QVERIFY(!m.data(m.index(0, 2)).isValid()); // one byte left: no whole cell
    }

    void texts_data()
    {
        QTest::addColumn<CellText>("t");
        QTest::newRow("8 hex") << CellText{"12345678", "", 8, "", "12"};
        QTest::newRow("8 dec padded") << CellText{"07", "", 8, "d", "007"};
        QTest::newRow("16 hex LE") << CellText{"12345678", "", 16, "", "3412"};
        QTest::newRow("16 hex BE") << CellText{"12345678", "", 16, "b", "1234"};
        QTest::newRow("16 dec") << CellText{"0100", "", 16, "d", "00001"};
        QTest::newRow("32 hex LE") << CellText{"12345678", "", 32, "", "78563412"};
        QTest::newRow("32 dec max") << CellText{"FFFFFFFF", "", 32, "d", "4294967295"};
        QTest::newRow("float hex shows raw bits") << CellText{"0000C03F", "", 32, "f", "3FC00000"};
        QTest::newRow("float decimal") << CellText{"000008C0", "", 32, "fd", "-2.13"};
        QTest::newRow("float NaN") << CellText{"0000C07F", "", 32, "fd", "NaN"};
        QTest::newRow("float +Inf") << CellText{"0000807F", "", 32, "fd", "+Inf"};
        QTest::newRow("float -Inf") << CellText{"000080FF", "", 32, "fd", "-Inf"};
        QTest::newRow("percent 0 -> 0") << CellText{"00", "00", 8, "p", "0.0%"};
        QTest::newRow("percent 0 -> 5") << CellText{"05", "00", 8, "p", "--"};
        QTest::newRow("percent 200 -> 150") << CellText{"96", "C8", 8, "p", "-25.0%"};
        QTest::newRow("percent 10000 -> 10001 rounds") << CellText{"1127", "1027", 16, "p", "0.0%"};
        QTest::newRow("percent 100 -> 150") << CellText{"9600", "6400", 16, "p", "50.0%"};
    }
    void texts()
    {
        QFETCH(CellText, t);
        const QByteArray mode(t.mode);
        HexModel m;
        m.setByteOrderExplicit(true);
        m.setFirmware(hex(*t.original ? t.original : t.current));
        m.setCurrentData(hex(t.current));
        m.setByteOrder(mode.contains('b') ? 1 : 0);
        m.setWidthMode(widthMode(t.bits));
        m.setFloatMode(mode.contains('f'));
        m.setDecimal(mode.contains('d'));
        m.setPercentMode(mode.contains('p'));
        m.setShowOriginal(mode.contains('p')); // percent always compares current with original
        QCOMPARE(m.data(m.index(0, 1)).toString(), QString::fromLatin1(t.text));
    }

    void inPlaceEdit_data()
    {
        QTest::addColumn<InPlaceEdit>("e");
        QTest::newRow("8 hex FF") << InPlaceEdit{8, false, "FF", "FF000000"};
        QTest::newRow("8 hex 100 too big") << InPlaceEdit{8, false, "100", ""};
        QTest::newRow("8 dec 255") << InPlaceEdit{8, true, "255", "FF000000"};
        QTest::newRow("8 dec 256") << InPlaceEdit{8, true, "256", ""};
        QTest::newRow("negative") << InPlaceEdit{8, true, "-1", ""};
        QTest::newRow("garbage") << InPlaceEdit{8, false, "G1", ""};
        QTest::newRow("16 dec 65536") << InPlaceEdit{16, true, "65536", ""};
        QTest::newRow("32 dec 4294967295 rejected") << InPlaceEdit{32, true, "4294967295", ""};
        QTest::newRow("32 hex 7FFFFFFF") << InPlaceEdit{32, false, "7FFFFFFF", "FFFFFF7F"};
    }
    void inPlaceEdit()
    {
        QFETCH(InPlaceEdit, e);
        const QString typed = QString::fromLatin1(e.typed);
        const bool accepted = *e.result;
        HexModel m;
        m.setFirmware(QByteArray(4, '\0'));
        m.setWidthMode(widthMode(e.bits));
        m.setDecimal(e.decimal);
        QSignalSpy modified(&m, &HexModel::dataModified);
        QCOMPARE(m.setData(m.index(0, 1), typed, Qt::EditRole), accepted);
        QCOMPARE(m.currentData(), accepted ? hex(e.result) : QByteArray(4, '\0'));
        QCOMPARE(modified.count(), accepted ? 1 : 0);
        QCOMPARE(m.undoStack().size(), accepted ? 1 : 0);
        QCOMPARE(m.isModified(0, 4), accepted);
        QVERIFY(!m.setData(m.index(0, 0), typed, Qt::EditRole));
        QVERIFY(!m.setData(m.index(0, 1), typed, Qt::DisplayRole));
    }

    void undoRedoAndMarks()
    {
        HexModel m;
        m.setFirmware(QByteArray(4, '\0'));
        QSignalSpy modified(&m, &HexModel::dataModified);
        QVERIFY(m.writeBytesAt(0, hex("AA")));
        QVERIFY(m.writeBytesAt(0, hex("BB")));
        m.undo();
        QCOMPARE(m.currentData().at(0), char(0xAA));
        m.redo();
        QCOMPARE(m.currentData().at(0), char(0xBB));
        m.undo();
        m.undo();
        QCOMPARE(m.currentData(), QByteArray(4, '\0'));
        QVERIFY(!m.isModified(0, 4));
        QCOMPARE(m.redoStack().size(), 2);
        QVERIFY(m.writeBytesAt(1, hex("CC"))); // a new edit drops what could be redone
        QVERIFY(m.redoStack().isEmpty());
        m.redo();
        QCOMPARE(m.currentData(), hex("00CC0000"));
        QCOMPARE(modified.count(), 7);
        QCOMPARE(modified.last().at(0).toByteArray(), m.currentData());
        QCOMPARE(m.originalData(), QByteArray(4, '\0'));
        QCOMPARE(m.compareWithOriginal(1, 1), 1);
        // Typed back to its original value, the cell is no longer marked.
        QVERIFY(m.setData(m.index(0, 2), "00", Qt::EditRole));
        QVERIFY(!m.isModified(1, 1));
        QCOMPARE(m.modifiedOffsets().count(), 0);
    }

    void writeBytesAtBounds_data()
    {
        testsupport::addColumns<int, QByteArray, bool>({"offset", "bytes", "ok"});
        QTest::newRow("ends at size") << 3 << QByteArray("a") << true;
        QTest::newRow("past the end") << 3 << QByteArray("ab") << false;
        QTest::newRow("negative") << -1 << QByteArray("a") << false;
        QTest::newRow("empty") << 0 << QByteArray() << false;
    }
    void writeBytesAtBounds()
    {
        QFETCH(int, offset);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, ok);
        HexModel m;
        m.setFirmware(QByteArray(4, '\0'));
        QCOMPARE(m.writeBytesAt(offset, bytes), ok);
        QCOMPARE(m.undoStack().size(), ok ? 1 : 0);
        if (!ok)
            QCOMPARE(m.currentData(), QByteArray(4, '\0'));
    }

    void blockSelectionWritesOnlyTheRectangle_data()
    {
        testsupport::addColumns<int, int>({"anchor", "current"});
        QTest::newRow("down right") << 1 << 10;
        // Dragged towards the lower left: the cells left of the anchor in its row are inside the
        // rectangle too and must be written.
        QTest::newRow("down left") << 2 << 9;
    }
    void blockSelectionWritesOnlyTheRectangle()
    {
        QFETCH(int, anchor);
        QFETCH(int, current);
        HexModel m;
        m.setFirmware(QByteArray(16, '\0'));
        m.setColumnCount(4); // rows of 4 bytes: rectangle = columns 2..3, rows 0..2
        QSignalSpy selection(&m, &HexModel::selectionChanged);
        m.extendSelection(anchor, current);
        QVERIFY(m.isBlockSelection());
        QCOMPARE(selection.count(), 1);
        QCOMPARE(m.selectionStart(), 1);
        QCOMPARE(m.selectionEnd(), 10);
        QVERIFY(m.isSelected(5, 1));
        QVERIFY(!m.isSelected(4, 1));
        QVERIFY(!m.isSelected(3, 1));
        QVERIFY(m.replaceSelection(QByteArray(10, char(0xEE))));
        QCOMPARE(m.currentData().toHex(), QByteArray("00eeee0000eeee0000eeee0000000000"));
        QCOMPARE(m.modifiedOffsets().count(), 6);
        m.undo();
        QCOMPARE(m.currentData(), QByteArray(16, '\0'));
    }

    void selectionWritesNeedWholeCells()
    {
        HexModel m;
        m.setFirmware(QByteArray(8, '\0'));
        m.setByteOrderExplicit(true);
        QVERIFY(!m.replaceSelection(QByteArray(1, 'a'))); // no selection
        m.setSelection(4, 2);
        QCOMPARE(m.selectionStart(), 2);
        QVERIFY(!m.replaceSelection(QByteArray(2, 'a')));
        m.setWidthMode(HexModel::Width16);
        QVERIFY(!m.setSelectionValue(7)); // 3 bytes are no whole number of cells
        QVERIFY(m.undoStack().isEmpty());
        m.setSelection(2, 5);
        QVERIFY(m.setSelectionValue(7));
        QCOMPARE(m.currentData(), hex("0000070007000000"));
        m.setSelection(2, 4);
        QVERIFY(m.replaceSelection(QByteArray(3, 'a')));
    }

    void setCurrentDataMarksDifferencesAndTail()
    {
        HexModel m;
        QByteArray original(200, 'x');
        m.setFirmware(original);
        QByteArray current = original + QByteArray(5, 'x');
        for (int i : {0, 63, 64, 199})
            current[i] = 'y';
        m.setCurrentData(current);
        QCOMPARE(m.modifiedOffsets().count(), 4 + 5); // the bytes past the original's end too
        QVERIFY(m.isModified(204, 1));
        QCOMPARE(m.selectedOriginalBytes(), QByteArray());
        m.setSelection(198, 202);
        QCOMPARE(m.selectedOriginalBytes(), QByteArray("xx"));
    }

    void savedMapKinds_data()
    {
        testsupport::addColumns<int, int, int, int>({"offset", "length", "map", "kind"});
        QTest::newRow("header") << 10 << 1 << 20 << 1;
        QTest::newRow("x axis") << 13 << 2 << 20 << 2;
        QTest::newRow("y axis") << 17 << 1 << 20 << 3;
        QTest::newRow("data") << 25 << 1 << 20 << 4;
        QTest::newRow("cell straddling axis and data") << 19 << 2 << 20 << 4;
        QTest::newRow("second map") << 41 << 1 << 40 << 4;
        QTest::newRow("outside") << 60 << 4 << -1 << 0;
    }
    void savedMapKinds()
    {
        QFETCH(int, offset);
        QFETCH(int, length);
        HexModel m;
        m.setFirmware(QByteArray(64, '\0'));
        m.addOrUpdateSavedMap({{20, 35}, {12, 15}, {16, 19}, {10, 11}});
        m.addOrUpdateSavedMap({{40, 50}, {}, {}, {}});
        QTEST(m.savedMapAt(offset, length), "map");
        QTEST(m.savedMapKindAt(offset, length), "kind");
    }

    void savedMapUpdateAndRemove()
    {
        HexModel m;
        m.setFirmware(QByteArray(64, '\0'));
        m.addOrUpdateSavedMap({{20, 35}, {}, {}, {}});
        m.addOrUpdateSavedMap({{20, 21}, {}, {}, {}});
        QCOMPARE(m.savedMapRegions().size(), 1);
        QVERIFY(!m.isInSavedMap(30, 1));
        m.setActiveSavedMap(20);
        m.removeSavedMap(20);
        QCOMPARE(m.activeSavedMap(), -1);
        QVERIFY(!m.isInSavedMap(20, 1));
    }

    void activeMapEdges_data()
    {
        // edges (any, top, bottom, left, right)
        testsupport::addColumns<int, QString>({"offset", "edges"});
        // 4 columns of 8 bit; active map data = 5..10 (rows 1 and 2).
        QTest::newRow("first cell") << 5 << "ATL";
        QTest::newRow("row end") << 7 << "ATBR";
        QTest::newRow("second row first column") << 8 << "ATBL";
        QTest::newRow("last cell") << 10 << "ABR";
        QTest::newRow("outside") << 11 << "";
    }
    void activeMapEdges()
    {
        QFETCH(int, offset);
        HexModel m;
        m.setFirmware(QByteArray(16, '\0'));
        m.setColumnCount(4);
        m.addOrUpdateSavedMap({{5, 10}, {}, {}, {}});
        m.setActiveSavedMap(5);
        const ActiveMapEdges e = m.activeMapEdges(offset, 1);
        QString edges;
        for (auto [on, letter] :
             {std::pair{e.any, 'A'}, {e.top, 'T'}, {e.bottom, 'B'}, {e.left, 'L'}, {e.right, 'R'}})
            if (on)
                edges += QLatin1Char(letter);
        QTEST(edges, "edges");
    }

    void autoByteOrderFollowsTheBytes()
    {
        QByteArray little;
        QByteArray big;
        for (int i = 1; i <= 300; ++i) {
            const quint32 v = quint32(i * 37);
            little.append(char(v & 0xFF)).append(char(v >> 8)).append('\0').append('\0');
            big.append('\0').append('\0').append(char(v >> 8)).append(char(v & 0xFF));
        }
        HexModel m;
        m.setFirmware(big);
        QCOMPARE(m.effectiveByteOrder(), 1);
        m.setByteOrderExplicit(true);
        QCOMPARE(m.effectiveByteOrder(), 0);
        m.setByteOrderExplicit(false);
        m.setCurrentData(little);
        QCOMPARE(m.effectiveByteOrder(), 0);
        QByteArray small16;
        for (int i = 1; i < 200; ++i)
            small16.append('\0').append(char(i)); // 16-bit big-endian values below 256
        QCOMPARE(HexCells::guessByteOrder(small16.constData(), small16.size()), 1);
        // Too little evidence, or none, keeps little endian.
        QCOMPARE(HexCells::guessByteOrder("\x00\x01", 2), 0);
        const QByteArray fill(4096, char(0xFF));
        QCOMPARE(HexCells::guessByteOrder(fill.constData(), fill.size()), 0);
    }

    void stepped_data()
    {
        testsupport::addColumns<QByteArray, int, int, QByteArray>(
            {"bytes", "width", "delta", "result"});
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
        testsupport::addColumns<int, quint32, double, quint32>(
            {"width", "value", "percent", "result"});
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
        // address (a go-to address, else a value for the selection); value (-1: refused)
        testsupport::addColumns<bool, QString, bool, int, qint64>(
            {"address", "text", "decimal", "width", "value"});
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

    // Which typed key starts editing a cell (the rest go to the table).
    void cellEditKeys_data()
    {
        testsupport::addColumns<QString, int, bool, bool>(
            {"typed", "modifiers", "decimal", "starts"});
        QTest::newRow("0 hex") << "0" << 0 << false << true;
        QTest::newRow("9 decimal") << "9" << 0 << true << true;
        QTest::newRow("f hex") << "f" << 0 << false << true;
        QTest::newRow("Shift+A hex") << "A" << int(Qt::ShiftModifier) << false << true;
        QTest::newRow("keypad 5") << "5" << int(Qt::KeypadModifier) << true << true;
        QTest::newRow("g hex") << "g" << 0 << false << false;
        QTest::newRow("a decimal") << "a" << 0 << true << false;
        QTest::newRow("Ctrl+1") << "1" << int(Qt::ControlModifier) << false << false;
        QTest::newRow("Arabic-Indic 3") << QStringLiteral("\u0663") << 0 << true << false;
        QTest::newRow("no text") << "" << 0 << false << false;
    }
    void cellEditKeys()
    {
        QFETCH(QString, typed);
        QFETCH(int, modifiers);
        QFETCH(bool, decimal);
        QTEST(HexCells::startsCellEdit(typed, Qt::KeyboardModifiers(modifiers), decimal), "starts");
    }

    void pastedHex_data()
    {
        // bytes (empty: ignored)
        testsupport::addColumns<QString, QByteArray>({"text", "bytes"});
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
        // span (start, end; (-1, -1): refused)
        testsupport::addColumns<int, int, int, QPoint>({"from", "to", "width", "span"});
        QTest::newRow("reversed gives the same") << 0x20 << 0x10 << 2 << QPoint(0x10, 0x21);
        QTest::newRow("end clipped to image") << 0x10 << 0xFF << 4 << QPoint(0x10, 0xFF);
        QTest::newRow("end at a word's first byte") << 0x10 << 0x1E << 2 << QPoint(0x10, 0x1F);
        QTest::newRow("end at a word's last byte") << 0x10 << 0x1F << 2 << QPoint(0x10, 0x1F);
        QTest::newRow("end inside a long word") << 0x10 << 0x1D << 4 << QPoint(0x10, 0x1F);
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

    void searchValue_data()
    {
        testsupport::addColumns<QString, bool, int, QByteArray, QString>(
            {"text", "hex", "width", "pattern", "error"});
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
                for (int length : {1, 63, 64, 70, 130}) {
                    const bool inside = next >= 0 && next < from + length;
                    QCOMPARE(bits.anyIn(from, length), inside);
                    QCOMPARE(bits.nextSet(from, from + length), inside ? next : -1);
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestHexModel)
#include "tst_hexmodel.moc"
