#include "mapeditor/mapplotcanvas.h"
#include "mapeditor/mapplotpainter.h"
#include "mapeditor/mappropertiesdialog.h"
#include "mapeditor/mapwindow.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

#include "testsupport.h"

#include <memory>

#include "firmwarefixture.h"
#include "messageboxcloser.h"

namespace {

// An image of little-endian 16-bit words 0x0100, 0x0101, ... from offset 0.
QByteArray wordImage(int words)
{
    QByteArray bytes;
    for (int i = 0; i < words; ++i)
        bytes.append(char((0x0100 + i) & 0xFF)).append(char((0x0100 + i) >> 8));
    return bytes;
}

QList<double> wordValues(int count, int first = 0x0100)
{
    QList<double> values;
    for (int i = 0; i < count; ++i)
        values.append(first + i);
    return values;
}

std::unique_ptr<MapWindow> windowFor(const MapDefinition &d, const QByteArray &image)
{
    const auto *data = reinterpret_cast<const uint8_t *>(image.constData());
    const QList<double> values = readMapValues(d, data, image.size());
    // Index axes are numbered by the window (as the document does it).
    const QList<double> x = d.xAxisSource ? readXAxis(d, data, image.size()) : QList<double>();
    const QList<double> y = d.yAxisSource ? readYAxis(d, data, image.size()) : QList<double>();
    return std::make_unique<MapWindow>(d.rows, d.columns, x, y, values, values, image, d.mapOffset,
                                       d.xAxisOffset, d.yAxisOffset, d.headerOffset, nullptr,
                                       d.name, d);
}

MapDefinition definition(int rows, int columns, int offset = 0)
{
    return testsupport::mapGrid(offset, rows, columns, {}, true);
}

void select(MapWindow &w, const QList<QPoint> &cells)
{
    w.table()->clearSelection();
    for (const QPoint &c : cells)
        w.table()->item(c.y(), c.x())->setSelected(true);
}

} // namespace

class TestMapWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void titles()
    {
        MapWindow plain(8, 16, {}, {}, {}, {}, QByteArray(256, '\0'), -1, -1, -1, -1, nullptr,
                        QStringLiteral("   "));
        QCOMPARE(plain.windowTitle(), QStringLiteral("Mappa 16 x 8"));
        QCOMPARE(plain.table()->rowCount(), 8);
        QCOMPARE(plain.table()->columnCount(), 16);
        MapWindow named(1, 1, {}, {}, {}, {}, {}, -1, -1, -1, -1, nullptr,
                        QStringLiteral("  Coppia  "));
        QCOMPARE(named.windowTitle(), QStringLiteral("Coppia"));
    }

    void storageOrderFollowsTheDefinition()
    {
        MapDefinition d = definition(2, 3);
        d.zColumnMajor = true;
        const QByteArray image = wordImage(6);
        auto withDefinition = windowFor(d, image);
        // Row 1, column 2 is index 2 * 2 + 1 = 5 stored column by column.
        QCOMPARE(withDefinition->table()->item(1, 2)->text(), QString::number(0x0105));
        QCOMPARE(withDefinition->table()->item(1, 0)->text(), QString::number(0x0101));
        const QList<double> values = wordValues(6);
        MapWindow without(2, 3, {}, {}, values, values, image, 0, -1, -1, -1);
        QCOMPARE(without.table()->item(1, 0)->text(), QString::number(0x0103));
    }

    void cellsWithoutValuesAreSkipped()
    {
        const QList<double> values = {1, 2, 3, 4};
        MapWindow w(2, 3, {}, {}, values, values, QByteArray(64, '\0'), -1, -1, -1, -1);
        QCOMPARE(w.table()->item(1, 1)->text(), QStringLiteral("-"));
        QSignalSpy blocks(&w, &MapWindow::mapBlockChanged);
        select(w, {QPoint(1, 1), QPoint(2, 1)});
        w.applyAbsoluteValue(9);
        QCOMPARE(blocks.count(), 0);
        QCOMPARE(w.currentValues(), values);
        w.setColorMode(true);
        QVERIFY(!w.table()->item(1, 2)->data(Qt::BackgroundRole).isValid());
    }

    void absurdDefinitionsStayWithinTheImage()
    {
        MapDefinition d = definition(2000000000, 2000000000, 0x10);
        d.xAxisSource = 1;
        d.xAxisOffset = 0x7FFFFFF0;
        const QByteArray image(1024, '\x11');
        auto w = windowFor(d, image);
        QVERIFY(qint64(w->table()->rowCount()) * w->table()->columnCount() <= 512);
        QCOMPARE(w->table()->item(0, 0)->text(), QStringLiteral("-"));
        MapDefinition negative = definition(-3, 5, -20);
        auto n = windowFor(negative, image);
        QCOMPARE(n->table()->rowCount(), 0);
        // The index axis is numbered for the cells built, not for the ones claimed.
        QCOMPARE(w->yAxisValues().size(), w->table()->rowCount());
    }

    void percentAndColourModes()
    {
        const QList<double> original = {200, 0, 0, 100, 100, 100, 100, 100, 100, 100};
        QList<double> current = original;
        current[0] = 210;
        current[2] = 5;
        MapWindow w(1, 10, {}, {}, current, original, QByteArray(64, '\0'), -1, -1, -1, -1);
        w.setPercentMode(true);
        QCOMPARE(w.table()->item(0, 0)->text(), QStringLiteral("5.0%"));
        QCOMPARE(w.table()->item(0, 2)->text(), QStringLiteral("--"));
        QCOMPARE(w.table()->item(0, 0)->foreground().color(), QColor(Qt::red));
        QVERIFY(!w.table()->item(0, 3)->data(Qt::ForegroundRole).isValid());
        w.setPercentMode(false);
        w.setShowOriginal(true);
        QCOMPARE(w.table()->item(0, 0)->text(), QStringLiteral("200"));
        // Colours follow the shown list: the original's zeros get none, its 200 is red.
        w.setColorMode(true);
        QVERIFY(!w.table()->item(0, 1)->data(Qt::BackgroundRole).isValid());
        QCOMPARE(w.table()->item(0, 0)->background().color().hsvHueF(), 0.0f);
        w.setColorMode(false);
        QVERIFY(!w.table()->item(0, 0)->data(Qt::BackgroundRole).isValid());
    }

    void blocksFromSelectedCells()
    {
        MapDefinition d = definition(1, 10, 0x40);
        d.factor = 0.5;
        auto w = windowFor(d, wordImage(0x100)); // cells hold 0x0120, 0x0121, ...
        QSignalSpy blocks(w.get(), &MapWindow::mapBlockChanged);
        select(*w, {QPoint(2, 0), QPoint(7, 0)});
        w->applyAbsoluteValue(0x0A0B);
        QCOMPARE(blocks.count(), 1);
        QCOMPARE(blocks.at(0).at(0).toInt(), 0x40 + 2 * 2);
        const QByteArray data = blocks.at(0).at(1).toByteArray();
        QCOMPARE(data.size(), 12);
        QCOMPARE(data.left(2).toHex(), QByteArray("0b0a"));
        QCOMPARE(data.mid(2, 2).toHex(), QByteArray("2301")); // cells between keep their values
        QCOMPARE(int(w->currentValues().at(7)), 0x0A0B);

        select(*w, {QPoint(1, 0)});
        w->applyPercentChange(10.0); // 0x0121 * 0.5 = 144.5 -> 158.95 -> raw 318
        QCOMPARE(int(w->currentValues().at(1)), 318);
        w->stepSelection(1);
        QCOMPARE(int(w->currentValues().at(1)), 319);
        w->stepSelection(-1);
        QCOMPARE(blocks.count(), 4);
        QCOMPARE(blocks.last().at(1).toByteArray().toHex(), QByteArray("3e01"));
    }

    // Copy with and without axes, a paste at the current cell as one block, and refusals that
    // change nothing.
    void cellsAsText()
    {
        MapDefinition d = definition(2, 3, 0x40);
        d.factor = 0.5;
        d.decimals = 1;
        d.zElementSize = 2;
        auto w = windowFor(d, wordImage(0x100)); // 144.0, 144.5, 145.0 / 145.5, 146.0, 146.5
        QSignalSpy blocks(w.get(), &MapWindow::mapBlockChanged);
        select(*w, {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(1, 1)});
        w->findChild<QAction *>("mapCopyAction")->trigger();
        QCOMPARE(QApplication::clipboard()->text(), "144.0\t144.5\n145.5\t146.0\n");
        w->findChild<QAction *>("mapCopyWithAxesAction")->trigger();
        QCOMPARE(QApplication::clipboard()->text(), "\t1\t2\n1\t144.0\t144.5\n2\t145.5\t146.0\n");

        w->selectCell(0, 1, Qt::NoModifier);
        w->findChild<QAction *>("mapPasteAction")->trigger();
        QCOMPARE(blocks.count(), 1);
        QCOMPARE(w->currentValues(), (QList<double>{288, 288, 289, 291, 291, 292}));
        QCOMPARE(w->table()->selectedItems().size(), 4);

        const QList<double> before = w->currentValues();
        for (const QString &refused : {QStringLiteral("1\t2\t3"), QStringLiteral("40000"),
                                       QStringLiteral("1\tx")}) {
            MessageBoxCloser closer;
            w->selectCell(1, 1, Qt::NoModifier);
            QVERIFY(!w->pasteText(refused));
            QVERIFY(closer.shown());
        }
        QCOMPARE(w->currentValues(), before);
        QCOMPARE(blocks.count(), 1);
    }

    // The other side of a comparison beside the values, and taken over as one write.
    void otherSide()
    {
        auto w = windowFor(definition(1, 3, 0), wordImage(3)); // 256, 257, 258
        QSignalSpy blocks(w.get(), &MapWindow::mapBlockChanged);
        auto *box = w->findChild<QComboBox *>("otherSideViewBox");
        QVERIFY(box && box->isHidden());
        w->setOtherSide({256, 200, 300}, QStringLiteral("ORI"));
        QVERIFY(!box->isHidden());
        box->setCurrentIndex(int(MapCellAppearance::OtherSideView::Difference));
        QCOMPARE(w->table()->item(0, 0)->text(), "256 [=]");
        QCOMPARE(w->table()->item(0, 1)->text(), "257 [+57]");
        QCOMPARE(w->table()->item(0, 2)->text(), "258 [-42]");
        w->table()->clearSelection();
        w->findChild<QPushButton *>("copyOtherSideButton")->click();
        QCOMPARE(blocks.count(), 1);
        QCOMPARE(w->currentValues(), (QList<double>{256, 200, 300}));
        QCOMPARE(w->table()->item(0, 2)->text(), "300 [=]");
    }

    // A 4-byte element takes the edit whole; a 1-byte element never takes more than 255;
    // blocks carry whole elements either way.
    void elementSizes_data()
    {
        // edited (the value cell 1 shows after 0x1234 is entered); stepBlock (+1 on cells 1 and 2);
        // absolute (cell 0 after 300 is entered)
        testsupport::addColumns<int, QByteArray, int, int, QByteArray, int>(
            {"elementSize", "image", "edited", "editOffset", "stepBlock", "absolute"});
        QTest::newRow("32 bit") << 4 << QByteArray::fromHex("0100aaaa0200bbbb0300cccc") << 0x1234
                                << 4 << QByteArray("351200000400cccc") << 300;
        QTest::newRow("8 bit") << 1 << QByteArray::fromHex("0a0bfe") << 255 << 1
                               << QByteArray("ffff") << 255;
    }
    void elementSizes()
    {
        QFETCH(int, elementSize);
        QFETCH(QByteArray, image);
        QFETCH(int, editOffset);
        MapDefinition d = definition(1, 3);
        d.zElementSize = elementSize;
        auto w = windowFor(d, image);
        QCOMPARE(w->zOrganisation(), elementSize == 4 ? 3 : 0);
        QSignalSpy values(w.get(), &MapWindow::mapValueChanged);
        QSignalSpy blocks(w.get(), &MapWindow::mapBlockChanged);
        QVERIFY(w->setCellValue(0, 1, 0x1234));
        QTEST(int(w->currentValues().at(1)), "edited");
        QCOMPARE(values.count(), 1);
        QCOMPARE(values.at(0).at(0).toInt(), editOffset);
        select(*w, {QPoint(1, 0), QPoint(2, 0)});
        w->stepSelection(1);
        QCOMPARE(blocks.count(), 1);
        QCOMPARE(blocks.at(0).at(0).toInt(), editOffset);
        QTEST(blocks.at(0).at(1).toByteArray().toHex(), "stepBlock");
        select(*w, {QPoint(0, 0)});
        w->applyAbsoluteValue(300);
        QTEST(int(w->currentValues().at(0)), "absolute");
    }

    // Each kind of element shows its true value and takes an edit in its own range.
    void valueTypes_data()
    {
        // choice (index of valueTypeChoices()); shown (cell 0); entered (into cell 1)
        testsupport::addColumns<int, double, QByteArray, QString, double, QByteArray>(
            {"choice", "factor", "image", "shown", "entered", "written"});
        QTest::newRow("s8") << 4 << 0.5 << QByteArray::fromHex("fb00") << "-2.5" << -3.5
                            << QByteArray("f9");
        QTest::newRow("u32 HiLo") << 7 << 0.5 << QByteArray::fromHex("ffffffff00000000")
                                  << "2147483647.5" << 3e9 << QByteArray("ffffffff");
        QTest::newRow("f32 LoHi") << 10 << 1.0 << QByteArray::fromHex("0000c03f00000000") << "1.5"
                                  << 0.1 << QByteArray("cdcccc3d");
    }
    void valueTypes()
    {
        QFETCH(int, choice);
        QFETCH(double, factor);
        QFETCH(QByteArray, image);
        QFETCH(double, entered);
        MapDefinition d = definition(1, 2);
        setZValueType(d, valueTypeChoices().at(choice));
        d.factor = factor;
        d.decimals = 1;
        auto w = windowFor(d, image);
        QTEST(w->table()->item(0, 0)->text(), "shown");
        QSignalSpy blocks(w.get(), &MapWindow::mapValueChanged);
        QVERIFY(w->setCellValue(0, 1, entered));
        const int size = elementSizeOfOrganisation(d.dataType);
        QTEST(w->firmwareBytes().mid(size, size).toHex(), "written");
        QCOMPARE(blocks.count(), 1);
        // The properties dialog starts from the map's own type.
        int offered = -1;
        w->setDialogRunner([&](QDialog &dialog) {
            offered
                = static_cast<MapPropertiesDialog &>(dialog).zOrganisationCombo()->currentIndex();
            dialog.reject();
            return int(QDialog::Rejected);
        });
        w->openPropertiesDialog();
        QCOMPARE(offered, choice);
    }

    void valueDialogAndOriginal()
    {
        MapDefinition d = definition(2, 2, 0x10);
        d.littleEndian = false; // "16 Bit (HiLo)"
        QByteArray image(0x20, '\0');
        auto w = windowFor(d, image);
        QCOMPARE(w->zOrganisation(), 2);
        double asked = -1;
        w->setDoubleAsker([&](const QString &title, const QString &, double preset, double, double,
                              int, double *value) {
            asked = preset;
            if (title != QStringLiteral("Modifica valore"))
                return false;
            *value = 70000;
            return true;
        });
        QSignalSpy values(w.get(), &MapWindow::mapValueChanged);
        w->table()->setCurrentCell(1, 1);
        QTest::keyClick(w->table(), Qt::Key_Return);
        QCOMPARE(asked, 0.0);
        QCOMPARE(values.count(), 1);
        QCOMPARE(values.at(0).at(0).toInt(), 0x10 + 3 * 2);
        QCOMPARE(values.at(0).at(1).value<quint16>(), quint16(65535));
        QCOMPARE(w->firmwareBytes().mid(0x16, 2).toHex(), QByteArray("ffff"));
        select(*w, {QPoint(1, 1), QPoint(0, 0)});
        w->restoreOriginalSelection();
        QCOMPARE(values.count(), 3);
        QCOMPARE(int(w->currentValues().at(3)), 0);
    }

    // A number typed on a cell opens its editor holding the keys, as in a spreadsheet; the
    // value is written as the value dialog writes it. Anything else leaves the cell alone.
    void typingANumber_data()
    {
        // raw (-1: no editor opens; -2: the window closes instead)
        testsupport::addColumns<double, QString, int>({"factor", "typed", "raw"});
        QTest::newRow("digits") << 1.0 << "42" << 42;
        QTest::newRow("decimal comma, scaled") << 0.5 << "12,5" << 25;
        QTest::newRow("letters are not typed") << 1.0 << "4x2" << 42;
        QTest::newRow("a letter first") << 1.0 << "x" << -1;
        QTest::newRow("window closed while typing") << 1.0 << "42" << -2; // nothing written
    }
    void typingANumber()
    {
        QFETCH(double, factor);
        QFETCH(QString, typed);
        QFETCH(int, raw);
        MapDefinition d = definition(2, 2, 0x10);
        d.factor = factor;
        auto w = windowFor(d, wordImage(0x20));
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QSignalSpy values(w.get(), &MapWindow::mapValueChanged);
        w->table()->setCurrentCell(1, 0);
        QTest::keyClick(w->table(), typed.at(0).toLatin1());
        auto *editor = w->table()->findChild<QLineEdit *>();
        QCOMPARE(w->table()->currentRow(), 1);
        QCOMPARE(editor != nullptr, raw != -1);
        if (!editor)
            return;
        QTest::keyClicks(editor, typed.mid(1));
        if (raw == -2) {
            w.reset(); // the editor goes with the window, and writes nothing into its remains
            QCOMPARE(values.count(), 0);
            return;
        }
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(values.count(), 1);
        QCOMPARE(values.at(0).at(0).toInt(), 0x10 + 2 * 2);
        QCOMPARE(int(w->currentValues().at(2)), raw);
    }

    void propertiesCancelRestoresOrganisations()
    {
        MapDefinition d = definition(1, 2);
        auto w = windowFor(d, QByteArray::fromHex("01020304"));
        QCOMPARE(w->table()->item(0, 0)->text(), QString::number(0x0201));
        QString whileOpen;
        w->setDialogRunner([&](QDialog &dialog) {
            auto &properties = static_cast<MapPropertiesDialog &>(dialog);
            properties.zOrganisationCombo()->setCurrentIndex(2);
            whileOpen = w->table()->item(0, 0)->text();
            dialog.reject();
            return int(QDialog::Rejected);
        });
        QSignalSpy changed(w.get(), &MapWindow::mapDefinitionChanged);
        w->openPropertiesDialog();
        QCOMPARE(whileOpen, QString::number(0x0102));
        QCOMPARE(w->table()->item(0, 0)->text(), QString::number(0x0201));
        QCOMPARE(w->zOrganisation(), 1);
        QCOMPARE(changed.count(), 0);
    }

    void propertiesAccept()
    {
        MapDefinition d = definition(1, 2);
        d.name = QStringLiteral("Vecchio");
        d.xAxisSource = 1;
        QByteArray image = wordImage(0x2000);
        auto w = windowFor(d, image);
        QSignalSpy names(w.get(), &MapWindow::mapNameChanged);
        QSignalSpy changed(w.get(), &MapWindow::mapDefinitionChanged);
        w->setDialogRunner([&](QDialog &dialog) {
            auto &p = static_cast<MapPropertiesDialog &>(dialog);
            p.nameEdit()->setText(QStringLiteral("   "));
            p.zOrganisationCombo()->setCurrentIndex(2);
            p.factorBox()->setValue(2.0);
            p.xPage().address->setText(QStringLiteral("1A2B"));
            p.yPage().address->setText(QStringLiteral("10")); // index axis: ignored
            dialog.accept();
            return int(QDialog::Accepted);
        });
        w->openPropertiesDialog();
        QCOMPARE(w->windowTitle(), QStringLiteral("Vecchio"));
        QCOMPARE(names.count(), 0);
        QCOMPARE(w->xAxisOffset(), 6699);
        QCOMPARE(w->yAxisOffset(), -1);
        QVERIFY(changed.count() >= 1);
        const MapDefinition last = changed.last().at(0).value<MapDefinition>();
        QCOMPARE(last.dataType, 2);
        QCOMPARE(last.littleEndian, false);
        QCOMPARE(last.factor, 2.0);
        QCOMPARE(last.xAxisOffset, 6699);
        QCOMPARE(last.name, QStringLiteral("Vecchio"));
        QCOMPARE(w->table()->item(0, 0)->text(), QString::number(0x0001 * 2));
    }

    void propertiesOpenOnTheClickedTab()
    {
        auto w = windowFor(definition(2, 2), wordImage(4));
        QList<int> tabs;
        w->setDialogRunner([&](QDialog &dialog) {
            tabs.append(static_cast<MapPropertiesDialog &>(dialog).tabs()->currentIndex());
            return int(QDialog::Rejected);
        });
        emit w->table()->verticalHeader()->sectionDoubleClicked(0);
        emit w->table()->cellDoubleClicked(0, 0);
        emit w->table()->horizontalHeader()->sectionDoubleClicked(1);
        QCOMPARE(tabs, QList<int>({2, 0, 1}));
    }

    void indexAxisAndCursorAddress()
    {
        MapDefinition d = definition(1, 3);
        d.xAxisSource = 1;
        d.xAxisOffset = 6;
        auto w = windowFor(d, wordImage(16));
        QCOMPARE(w->table()->horizontalHeaderItem(0)->text(), QString::number(0x0103));
        QSignalSpy changed(w.get(), &MapWindow::mapDefinitionChanged);
        QSignalSpy cursor(w.get(), &MapWindow::xAxisCursorRequested);
        w->setDialogRunner([&](QDialog &dialog) {
            auto &p = static_cast<MapPropertiesDialog &>(dialog);
            p.xPage().source->setCurrentIndex(0);
            [&] { QCOMPARE(w->table()->horizontalHeaderItem(2)->text(), QStringLiteral("3")); }();
            p.xPage().fromCursor->click();
            w->setXAxisOffset(10); // the owner's answer
            [&] { QCOMPARE(p.xPage().address->text(), QStringLiteral("0000000A")); }();
            return int(QDialog::Rejected);
        });
        w->openPropertiesDialog();
        QCOMPARE(cursor.count(), 1);
        QCOMPARE(w->definition().xAxisOffset, 10);
        QCOMPARE(w->definition().xAxis, QList<double>({0x0105, 0x0106, 0x0107}));
        QVERIFY(changed.count() >= 3);
        w->setXAxisOffset(-4);
        QCOMPARE(w->xAxisOffset(), 10);
    }

    void viewButtons()
    {
        auto w = windowFor(definition(2, 2), wordImage(4));
        w->rotateLeft(); // wraps, and shows the surface
        QCOMPARE(w->rotation(), 3);
        QCOMPARE(w->viewStack()->currentIndex(), 2);
        for (int i = 0; i < 5; ++i)
            w->tiltUp();
        QCOMPARE(w->tilt(), 3);
        w->resetView();
        QVERIFY(w->rotation() == 0 && w->tilt() == 0);
    }

    void selectionFromThePlots()
    {
        auto w = windowFor(definition(3, 3), wordImage(9));
        w->selectCell(0, 0, Qt::NoModifier);
        w->selectCell(1, 1, Qt::ShiftModifier);
        QCOMPARE(w->table()->selectedItems().size(), 4);
        w->selectCell(2, 2, Qt::ControlModifier);
        QCOMPARE(w->table()->selectedItems().size(), 5);
        w->selectCell(2, 2, Qt::ControlModifier);
        QCOMPARE(w->table()->selectedItems().size(), 4);
        w->selectCell(5, 5, Qt::NoModifier); // outside: ignored
        QCOMPARE(w->table()->selectedItems().size(), 4);
        w->selectCell(0, 2, Qt::NoModifier);
        QCOMPARE(w->table()->selectedItems().size(), 1);
        QCOMPARE(w->table()->currentRow(), 0);
        QCOMPARE(w->table()->currentColumn(), 2);
    }

    void plotsSelectCells()
    {
        auto w = windowFor(definition(2, 5), wordImage(10));
        w->resize(900, 600);
        w->show();
        w->viewButtons()->button(1)->click();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        const QRectF area2D = MapPlotGeometry::linePlotArea(QRectF(w->canvas2D()->rect()));
        const QList<QPointF> points = w->plotScene().linePlotPoints(area2D);
        QTest::mouseClick(w->canvas2D(), Qt::LeftButton, {}, points.at(7).toPoint());
        QCOMPARE(w->table()->currentRow(), 1);
        QCOMPARE(w->table()->currentColumn(), 2);
        // A band over the first three plotted values.
        const QRect band = QRectF(QPointF(points.at(0).x() - 5, points.at(2).y() - 5),
                                  QPointF(points.at(2).x() + 5, points.at(0).y() + 5))
                               .toRect();
        QTest::mousePress(w->canvas2D(), Qt::LeftButton, {}, band.topLeft());
        QTest::mouseMove(w->canvas2D(), band.bottomRight());
        QTest::mouseRelease(w->canvas2D(), Qt::LeftButton, {}, band.bottomRight());
        QCOMPARE(w->table()->selectedItems().size(), 3);

        w->viewButtons()->button(2)->click();
        const QRectF area3D = MapPlotGeometry::surfacePlotArea(QRectF(w->canvas3D()->rect()));
        const SurfaceGrid grid = w->plotScene().surfaceGrid(area3D, true);
        QTest::mouseClick(w->canvas3D(), Qt::LeftButton, {}, grid.point(1, 4).toPoint());
        QCOMPARE(w->table()->currentRow(), 1);
        QCOMPARE(w->table()->currentColumn(), 4);
        QCOMPARE(w->table()->selectedItems().size(), 1);
        // Far from the surface: nothing changes.
        QTest::mouseClick(w->canvas3D(), Qt::LeftButton, {}, QPoint(45, 31));
        QCOMPARE(w->table()->currentColumn(), 4);
        QVERIFY(!w->canvas3D()->grab().isNull());
        // A band over the whole surface selects every cell; the last one becomes current.
        const QRect all = area3D.toRect();
        QTest::mousePress(w->canvas3D(), Qt::LeftButton, {}, all.topLeft());
        QTest::mouseMove(w->canvas3D(), all.bottomRight());
        QTest::mouseRelease(w->canvas3D(), Qt::LeftButton, {}, all.bottomRight());
        QCOMPARE(w->table()->selectedItems().size(), 10);
        QCOMPARE(w->table()->currentRow(), 1);
        QCOMPARE(w->table()->currentColumn(), 4);
    }

    void tinyMapsAndBareCanvasesDraw()
    {
        auto w = windowFor(definition(1, 1), wordImage(1));
        w->resize(900, 600);
        QVERIFY(!w->canvas2D()->grab().isNull());
        QVERIFY(!w->canvas3D()->grab().isNull());
        MapPlotCanvas bare; // no callbacks set: a click is ignored
        bare.resize(100, 100);
        QTest::mouseClick(&bare, Qt::LeftButton);
        QVERIFY(!bare.grab().isNull());
    }
};

QTEST_MAIN(TestMapWindow)
#include "tst_mapwindow.moc"
