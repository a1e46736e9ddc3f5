#include "hex/hexmodel.h"

#include <QSignalSpy>
#include <QtTest>

#include <cstring>

namespace {

QByteArray sequence(int n)
{
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = char(i);
    return b;
}

QByteArray floatBytes(float f)
{
    QByteArray b(4, '\0');
    std::memcpy(b.data(), &f, 4); // little endian host
    return b;
}

} // namespace

class TestHexModel : public QObject
{
    Q_OBJECT

private slots:
    void geometry_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("origin");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("rowStart0");
        QTest::addColumn<int>("rows");
        QTest::newRow("8 bit, no origin") << 0 << 0 << 0 << 0 << 1 << 0 << 13;
        QTest::newRow("8 bit, origin 3: offset 0 in column 6") << 0 << 3 << 0 << 0 << 6 << -5 << 14;
        QTest::newRow("8 bit, origin 3: offset 3 starts row 1")
            << 0 << 3 << 3 << 1 << 1 << -5 << 14;
        QTest::newRow("8 bit, origin -2 wraps to 6") << 0 << -2 << 0 << 0 << 3 << -2 << 13;
        QTest::newRow("16 bit, origin 5 becomes 4") << 1 << 5 << 4 << 1 << 1 << -12 << 7;
        QTest::newRow("16 bit, last byte") << 1 << 0 << 99 << 6 << 2 << 0 << 7;
        QTest::newRow("32 bit, origin 6 becomes 4") << 2 << 6 << 4 << 1 << 1 << -28 << 4;
    }
    void geometry()
    {
        QFETCH(int, width);
        QFETCH(int, origin);
        QFETCH(int, offset);
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(int, rowStart0);
        QFETCH(int, rows);
        HexModel m;
        m.setFirmware(sequence(100));
        m.setWidthMode(width);
        m.setRowOrigin(origin);
        const QModelIndex idx = m.indexForOffset(offset);
        QCOMPARE(idx.row(), row);
        QCOMPARE(idx.column(), column);
        QCOMPARE(m.rowStart(0), qint64(rowStart0));
        QCOMPARE(m.rowCount(), rows);
        QCOMPARE(m.offsetForIndex(idx), offset - offset % m.cellBytes());
        QCOMPARE(m.columnCount(), 10);
    }

    void leadingCellsAreEmpty()
    {
        HexModel m;
        m.setFirmware(sequence(20));
        m.setRowOrigin(3);
        for (int c = 1; c <= 5; ++c)
            QVERIFY(!m.data(m.index(0, c)).isValid());
        QCOMPARE(m.data(m.index(0, 6)).toString(), QStringLiteral("00"));
        QCOMPARE(m.data(m.index(0, 9)).toString(), QStringLiteral("     ..."));
        QCOMPARE(m.headerData(2, Qt::Horizontal).toString(), QStringLiteral("01"));
    }

    void widthChangeKeepsOriginOnCellBoundary()
    {
        HexModel m;
        m.setFirmware(sequence(64));
        m.setRowOrigin(5);
        m.setWidthMode(HexModel::Width16);
        QCOMPARE(m.rowOrigin(), 4);
        QCOMPARE(m.headerData(3, Qt::Horizontal).toString(), QStringLiteral("04"));
    }

    void texts_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("decimal");
        QTest::addColumn<bool>("isFloat");
        QTest::addColumn<int>("order");
        QTest::addColumn<QString>("text");
        const QByteArray be = QByteArray::fromHex("12345678");
        QTest::newRow("8 hex") << be << 0 << false << false << 0 << "12";
        QTest::newRow("8 dec padded")
            << QByteArray::fromHex("07") << 0 << true << false << 0 << "007";
        QTest::newRow("16 hex LE") << be << 1 << false << false << 0 << "3412";
        QTest::newRow("16 hex BE") << be << 1 << false << false << 1 << "1234";
        QTest::newRow("16 dec") << QByteArray::fromHex("0100") << 1 << true << false << 0
                                << "00001";
        QTest::newRow("32 hex LE") << be << 2 << false << false << 0 << "78563412";
        QTest::newRow("32 dec max")
            << QByteArray::fromHex("FFFFFFFF") << 2 << true << false << 0 << "4294967295";
        QTest::newRow("float hex shows raw bits")
            << floatBytes(1.5f) << 2 << false << true << 0 << "3FC00000";
        QTest::newRow("float decimal") << floatBytes(-2.125f) << 2 << true << true << 0 << "-2.13";
        QTest::newRow("float NaN")
            << QByteArray::fromHex("0000C07F") << 2 << true << true << 0 << "NaN";
        QTest::newRow("float +Inf")
            << QByteArray::fromHex("0000807F") << 2 << true << true << 0 << "+Inf";
        QTest::newRow("float -Inf")
            << QByteArray::fromHex("000080FF") << 2 << true << true << 0 << "-Inf";
    }
    void texts()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, width);
        QFETCH(bool, decimal);
        QFETCH(bool, isFloat);
        QFETCH(int, order);
        QFETCH(QString, text);
        HexModel m;
        m.setFirmware(bytes);
        m.setByteOrderExplicit(true);
        m.setByteOrder(order);
        m.setWidthMode(width);
        m.setFloatMode(isFloat);
        m.setDecimal(decimal);
        QCOMPARE(m.data(m.index(0, 1)).toString(), text);
    }

    void partialCellHasNoText()
    {
        HexModel m;
        m.setFirmware(sequence(3));
        m.setWidthMode(HexModel::Width16);
        QVERIFY(m.data(m.index(0, 1)).isValid());
        QVERIFY(!m.data(m.index(0, 2)).isValid());
    }

    void percentTexts_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<QByteArray>("current");
        QTest::addColumn<QString>("text");
        QTest::newRow("0 -> 0") << 0 << QByteArray::fromHex("00") << QByteArray::fromHex("00")
                                << "0.0%";
        QTest::newRow("0 -> 5") << 0 << QByteArray::fromHex("00") << QByteArray::fromHex("05")
                                << "--";
        QTest::newRow("200 -> 150")
            << 0 << QByteArray::fromHex("C8") << QByteArray::fromHex("96") << "-25.0%";
        QTest::newRow("unchanged")
            << 1 << QByteArray::fromHex("1027") << QByteArray::fromHex("1027") << "0.0%";
        QTest::newRow("10000 -> 10001 rounds")
            << 1 << QByteArray::fromHex("1027") << QByteArray::fromHex("1127") << "0.0%";
        QTest::newRow("100 -> 150")
            << 1 << QByteArray::fromHex("6400") << QByteArray::fromHex("9600") << "50.0%";
    }
    void percentTexts()
    {
        QFETCH(int, width);
        QFETCH(QByteArray, original);
        QFETCH(QByteArray, current);
        QFETCH(QString, text);
        HexModel m;
        m.setByteOrderExplicit(true);
        m.setFirmware(original);
        m.setCurrentData(current);
        m.setWidthMode(width);
        m.setPercentMode(true);
        m.setShowOriginal(true); // percent always compares current with original
        QCOMPARE(m.data(m.index(0, 1)).toString(), text);
    }

    void inPlaceEdit_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("decimal");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QByteArray>("result");
        const QByteArray zero = QByteArray(4, '\0');
        QTest::newRow("8 hex FF") << 0 << false << "FF" << true << QByteArray::fromHex("FF000000");
        QTest::newRow("8 hex 100 too big") << 0 << false << "100" << false << zero;
        QTest::newRow("8 dec 255") << 0 << true << "255" << true << QByteArray::fromHex("FF000000");
        QTest::newRow("8 dec 256") << 0 << true << "256" << false << zero;
        QTest::newRow("negative") << 0 << true << "-1" << false << zero;
        QTest::newRow("garbage") << 0 << false << "G1" << false << zero;
        QTest::newRow("16 hex") << 1 << false << "ABCD" << true << QByteArray::fromHex("CDAB0000");
        QTest::newRow("16 dec 65536") << 1 << true << "65536" << false << zero;
        QTest::newRow("32 dec 4294967295 rejected") << 2 << true << "4294967295" << false << zero;
        QTest::newRow("32 hex 7FFFFFFF")
            << 2 << false << "7FFFFFFF" << true << QByteArray::fromHex("FFFFFF7F");
    }
    void inPlaceEdit()
    {
        QFETCH(int, width);
        QFETCH(bool, decimal);
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(QByteArray, result);
        HexModel m;
        m.setFirmware(QByteArray(4, '\0'));
        m.setWidthMode(width);
        m.setDecimal(decimal);
        QSignalSpy modified(&m, &HexModel::dataModified);
        QCOMPARE(m.setData(m.index(0, 1), text, Qt::EditRole), accepted);
        QCOMPARE(m.currentData(), result);
        QCOMPARE(modified.count(), accepted ? 1 : 0);
        QCOMPARE(m.undoStack().size(), accepted ? 1 : 0);
        QCOMPARE(m.isModified(0, 4), accepted);
        QVERIFY(!m.setData(m.index(0, 0), text, Qt::EditRole));
        QVERIFY(!m.setData(m.index(0, 1), text, Qt::DisplayRole));
    }

    void editingBackToOriginalClearsMark()
    {
        HexModel m;
        m.setFirmware(QByteArray::fromHex("1020"));
        QVERIFY(m.setData(m.index(0, 1), "11", Qt::EditRole));
        QVERIFY(m.isModified(0, 1));
        QCOMPARE(m.compareWithOriginal(0, 1), 1);
        QVERIFY(m.setData(m.index(0, 1), "10", Qt::EditRole));
        QVERIFY(!m.isModified(0, 1));
        QCOMPARE(m.modifiedOffsets().count(), 0);
    }

    void undoRedo()
    {
        HexModel m;
        m.setFirmware(QByteArray(4, '\0'));
        QSignalSpy modified(&m, &HexModel::dataModified);
        QVERIFY(m.writeBytesAt(0, QByteArray::fromHex("AA")));
        QVERIFY(m.writeBytesAt(0, QByteArray::fromHex("BB")));
        m.undo();
        QCOMPARE(m.currentData().at(0), char(0xAA));
        QCOMPARE(m.redoStack().size(), 1);
        m.redo();
        QCOMPARE(m.currentData().at(0), char(0xBB));
        m.undo();
        m.undo();
        QCOMPARE(m.currentData(), QByteArray(4, '\0'));
        QVERIFY(!m.isModified(0, 4));
        QCOMPARE(m.redoStack().size(), 2);
        QVERIFY(m.writeBytesAt(1, QByteArray::fromHex("CC")));
        QVERIFY(m.redoStack().isEmpty());
        m.redo(); // nothing left to redo
        QCOMPARE(m.currentData(), QByteArray::fromHex("00CC0000"));
        QCOMPARE(modified.count(), 7);
        QCOMPARE(modified.last().at(0).toByteArray(), m.currentData());
        QCOMPARE(m.originalData(), QByteArray(4, '\0'));
    }

    void writeBytesAtBounds_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("ok");
        QTest::newRow("inside") << 2 << QByteArray("ab") << true;
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

    void selectionValue_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("result");
        QTest::newRow("8 bit, three cells")
            << 0 << 1 << 3 << true << QByteArray::fromHex("0007070700000000");
        QTest::newRow("16 bit, 3 bytes refused") << 1 << 0 << 2 << false << QByteArray(8, '\0');
        QTest::newRow("16 bit, two cells")
            << 1 << 2 << 5 << true << QByteArray::fromHex("0000070007000000");
    }
    void selectionValue()
    {
        QFETCH(int, width);
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(bool, ok);
        QFETCH(QByteArray, result);
        HexModel m;
        m.setFirmware(QByteArray(8, '\0'));
        m.setByteOrderExplicit(true);
        m.setWidthMode(width);
        m.setSelection(end, start);
        QCOMPARE(m.selectionStart(), start);
        QCOMPARE(m.setSelectionValue(7), ok);
        QCOMPARE(m.currentData(), result);
    }

    void blockSelectionWritesOnlyTheRectangle_data()
    {
        QTest::addColumn<int>("anchor");
        QTest::addColumn<int>("current");
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

    void replaceSelectionNeedsMatchingLength()
    {
        HexModel m;
        m.setFirmware(QByteArray(8, '\0'));
        QVERIFY(!m.replaceSelection(QByteArray(1, 'a'))); // no selection
        m.setSelection(2, 4);
        QVERIFY(!m.replaceSelection(QByteArray(2, 'a')));
        QVERIFY(m.undoStack().isEmpty());
        QVERIFY(m.replaceSelection(QByteArray(3, 'a')));
    }

    void setCurrentDataMarksDifferencesAndTail()
    {
        HexModel m;
        QByteArray original(200, 'x');
        m.setFirmware(original);
        QByteArray current = original + QByteArray(5, 'x');
        current[0] = 'y';
        current[63] = 'y';
        current[64] = 'y';
        current[199] = 'y';
        m.setCurrentData(current);
        QCOMPARE(m.modifiedOffsets().count(), 4 + 5);
        QVERIFY(m.isModified(63, 1));
        QVERIFY(m.isModified(64, 1));
        QVERIFY(!m.isModified(65, 1));
        QVERIFY(m.isModified(204, 1));
        QCOMPARE(m.selectedOriginalBytes(), QByteArray());
        m.setSelection(198, 202);
        QCOMPARE(m.selectedOriginalBytes(), QByteArray("xx"));
    }

    void savedMapKinds_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("map");
        QTest::addColumn<int>("kind");
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
        QFETCH(int, map);
        QFETCH(int, kind);
        HexModel m;
        m.setFirmware(QByteArray(64, '\0'));
        m.addOrUpdateSavedMap({{20, 35}, {12, 15}, {16, 19}, {10, 11}});
        m.addOrUpdateSavedMap({{40, 50}, {}, {}, {}});
        QCOMPARE(m.savedMapAt(offset, length), map);
        QCOMPARE(m.savedMapKindAt(offset, length), kind);
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
        QTest::addColumn<int>("offset");
        QTest::addColumn<bool>("any");
        QTest::addColumn<bool>("top");
        QTest::addColumn<bool>("bottom");
        QTest::addColumn<bool>("left");
        QTest::addColumn<bool>("right");
        // 4 columns of 8 bit; active map data = 5..10 (rows 1 and 2).
        QTest::newRow("first cell") << 5 << true << true << false << true << false;
        QTest::newRow("row end") << 7 << true << true << true << false << true;
        QTest::newRow("second row first column") << 8 << true << true << true << true << false;
        QTest::newRow("last cell") << 10 << true << false << true << false << true;
        QTest::newRow("outside") << 11 << false << false << false << false << false;
    }
    void activeMapEdges()
    {
        QFETCH(int, offset);
        QFETCH(bool, any);
        QFETCH(bool, top);
        QFETCH(bool, bottom);
        QFETCH(bool, left);
        QFETCH(bool, right);
        HexModel m;
        m.setFirmware(QByteArray(16, '\0'));
        m.setColumnCount(4);
        m.addOrUpdateSavedMap({{5, 10}, {}, {}, {}});
        m.setActiveSavedMap(5);
        const ActiveMapEdges e = m.activeMapEdges(offset, 1);
        QCOMPARE(e.any, any);
        QCOMPARE(e.top, top);
        QCOMPARE(e.bottom, bottom);
        QCOMPARE(e.left, left);
        QCOMPARE(e.right, right);
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
    }
};

QTEST_GUILESS_MAIN(TestHexModel)
#include "tst_hexmodel.moc"
