#include "hex/createselectiondialog.h"
#include "hex/hexmodel.h"
#include "hex/hexoverview.h"
#include "hex/hexsearchdialog.h"
#include "hex/hexviewer.h"

#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

#include "firmwarefixture.h"
#include "testsupport.h"

namespace {

// Answers the viewer's questions from a script and records its notices.
struct ScriptedPrompts
{
    QList<QVariant> answers; // an invalid QVariant cancels
    QStringList notices;

    template<typename T>
    std::optional<T> ask(const QString &note)
    {
        notices << note;
        const QVariant v = answers.isEmpty() ? QVariant() : answers.takeFirst();
        return v.isValid() ? std::optional<T>(v.value<T>()) : std::nullopt;
    }
    HexPrompts prompts()
    {
        HexPrompts p;
        p.integer = [this](QWidget *, const QString &title, const QString &, int, int, int max) {
            const auto v = ask<int>(QStringLiteral("ask %1 max %2").arg(title).arg(max));
            return v ? std::optional<int>(std::min(*v, max)) : v;
        };
        p.number = [this](QWidget *, const QString &title, const QString &, double, double, double,
                          int) { return ask<double>(QStringLiteral("ask ") + title); };
        p.text = [this](QWidget *, const QString &title, const QString &, const QString &text) {
            return ask<QString>(QStringLiteral("ask %1 [%2]").arg(title, text));
        };
        p.warning = [this](QWidget *, const QString &, const QString &text) {
            notices << QStringLiteral("warning: ") + text;
        };
        p.information = [this](QWidget *, const QString &, const QString &text) {
            notices << QStringLiteral("info: ") + text;
        };
        return p;
    }
};

using testsupport::countingBytes;

} // namespace

class TestHexViewer : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<HexViewer> m_viewer;
    ScriptedPrompts m_script;

    QPoint cellCenter(int row, int column) const
    {
        return m_viewer->tableView()->visualRect(m_viewer->model()->index(row, column)).center();
    }
    QWidget *viewport() const { return m_viewer->tableView()->viewport(); }
    HexModel *model() const { return m_viewer->model(); }
    void answer(const QList<QVariant> &answers)
    {
        m_script.answers = answers;
        m_viewer->setPrompts(m_script.prompts());
    }

private slots:
    void init()
    {
        m_viewer = std::make_unique<HexViewer>();
        m_script = ScriptedPrompts();
        m_viewer->setPrompts(m_script.prompts());
        m_viewer->resize(800, 400);
        m_viewer->setFirmware(countingBytes(256));
        model()->setByteOrderExplicit(true);
        m_viewer->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_viewer.get()));
    }
    void cleanup() { m_viewer.reset(); }

    void mouseSelection_data()
    {
        // press ((column, row) of the table)
        testsupport::addColumns<int, QPoint, QPoint, QPoint, bool>(
            {"columns", "press", "release", "selection", "block"});
        QTest::newRow("click a cell")
            << 8 << QPoint(3, 1) << QPoint(3, 1) << QPoint(10, 10) << false;
        QTest::newRow("offset column: row")
            << 8 << QPoint(0, 2) << QPoint(0, 2) << QPoint(16, 23) << false;
        QTest::newRow("drag a rectangle")
            << 4 << QPoint(2, 0) << QPoint(3, 2) << QPoint(1, 10) << true;
        QTest::newRow("drag from offsets")
            << 8 << QPoint(0, 0) << QPoint(3, 2) << QPoint() << false;
    }
    void mouseSelection()
    {
        QFETCH(int, columns);
        QFETCH(QPoint, press);
        QFETCH(QPoint, release);
        QFETCH(bool, block);
        model()->setColumnCount(columns);
        QTest::mousePress(viewport(), Qt::LeftButton, {}, cellCenter(press.y(), press.x()));
        QTest::mouseMove(viewport(), cellCenter(release.y(), release.x()));
        QTest::mouseRelease(viewport(), Qt::LeftButton, {}, cellCenter(release.y(), release.x()));
        if (press.x() > 0 || press == release) // a drag from the offsets only must stay linear
            QTEST(QPoint(model()->selectionStart(), model()->selectionEnd()), "selection");
        QCOMPARE(model()->isBlockSelection(), block);
        if (block) {
            QVERIFY(model()->isSelected(5, 1));
            QVERIFY(!model()->isSelected(4, 1));
        }
    }

    void clickActivatesMapAndArrowsMove()
    {
        model()->addOrUpdateSavedMap({{8, 15}, {}, {}, {}});
        QSignalSpy active(m_viewer.get(), &HexViewer::activeSavedMapChanged);
        QSignalSpy offsets(m_viewer.get(), &HexViewer::viewOffsetChanged);
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, cellCenter(1, 3));
        QCOMPARE(m_viewer->currentOffset(), 10);
        QCOMPARE(active.count(), 1);
        QCOMPARE(active.last().at(0).toInt(), 8);
        QCOMPARE(model()->activeSavedMap(), 8);
        QCOMPARE(offsets.last().at(0).toInt(), 10);
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, cellCenter(3, 1));
        QCOMPARE(active.last().at(0).toInt(), -1);
        QTest::keyClick(m_viewer->tableView(), Qt::Key_Right);
        QTest::keyClick(m_viewer->tableView(), Qt::Key_Down);
        QCOMPARE(m_viewer->currentOffset(), 33);
        QCOMPARE(model()->selectionStart(), 33);
        QCOMPARE(model()->selectionEnd(), 33);
        QCOMPARE(m_viewer->anchorOffset(), 33);
    }

    void keys()
    {
        QSignalSpy origin(m_viewer.get(), &HexViewer::rowOriginChangeRequested);
        QSignalSpy map(m_viewer.get(), &HexViewer::createMapRequested);
        m_viewer->focusTable();
        QTest::keyClick(m_viewer->tableView(), Qt::Key_Left, Qt::ControlModifier);
        QTest::keyClick(m_viewer->tableView(), Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(origin, (QList<QList<QVariant>>{{-2}, {2}}));
        QCOMPARE(model()->rowOrigin(), 0); // the owner moves the origin, not the view
        model()->setSelection(5, 5);
        QTest::keyClick(m_viewer->tableView(), Qt::Key_K); // one byte makes no map
        model()->setSelection(5, 9);
        QTest::keyClick(m_viewer->tableView(), Qt::Key_K);
        QCOMPARE(map, (QList<QList<QVariant>>{{5, 9}}));
    }

    void returnEditsTheCellOrAsksForTheSelection()
    {
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, cellCenter(0, 2));
        QTest::keyClick(m_viewer->tableView(), Qt::Key_Return);
        auto *editor = m_viewer->tableView()->findChild<QLineEdit *>();
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("01"));
        editor->setText(QStringLiteral("AB"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(quint8(model()->currentData().at(1)), quint8(0xAB));
        QVERIFY(model()->isModified(1, 1));

        model()->setSelection(0, 3);
        answer({QStringLiteral("1FF")});
        QTest::keyClick(m_viewer->tableView(), Qt::Key_Return);
        QCOMPARE(m_script.notices.value(0), QStringLiteral("ask Modifica selezione []"));
        QCOMPARE(model()->currentData().left(5).toHex(), QByteArray("ffffffff04"));
    }

    // A digit typed on a cell opens its editor holding the digit; the table's keyboard search
    // (a jump to another cell starting with that text) never runs.
    void typingStartsAnEdit_data()
    {
        // value (the cell after Return; -1: no editor opened)
        testsupport::addColumns<bool, char, int>({"decimal", "key", "value"});
        QTest::newRow("hex letter") << false << 'c' << 0x0C;
        QTest::newRow("decimal digit") << true << '9' << 9;
        QTest::newRow("letter in decimal") << true << 'c' << -1;
    }
    void typingStartsAnEdit()
    {
        QFETCH(bool, decimal);
        QFETCH(char, key);
        QFETCH(int, value);
        m_viewer->setDecimal(decimal);
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, cellCenter(0, 2));
        model()->setSelection(1, 4);
        QTest::keyClick(m_viewer->tableView(), key);
        auto *editor = m_viewer->tableView()->findChild<QLineEdit *>();
        QCOMPARE(m_viewer->currentOffset(), 1);
        QCOMPARE(editor != nullptr && editor->isVisible(), value >= 0);
        if (value < 0) {
            QCOMPARE(model()->selectionEnd(), 4);
            return;
        }
        QCOMPARE(editor->text(), QString(QLatin1Char(key)));
        QCOMPARE(model()->selectionEnd(), 1); // the typed cell alone
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(int(quint8(model()->currentData().at(1))), value);
    }

    void contextMenu()
    {
        QVERIFY(!m_viewer->createContextMenu(cellCenter(0, 1))); // no selection, no map
        model()->addOrUpdateSavedMap({{0, 3}, {}, {}, {}});
        std::unique_ptr<QMenu> menu(m_viewer->createContextMenu(cellCenter(0, 2)));
        QVERIFY(menu);
        QStringList texts;
        for (QAction *a : menu->actions())
            texts << (a->isSeparator() ? QStringLiteral("|") : a->text());
        QCOMPARE(texts.join(QLatin1Char(',')),
                 QStringLiteral("Modifica assoluta...,Modifica in percentuale...,|,+1,-1,|,"
                                "Valore originale,|,Elimina mappa"));
        QSignalSpy deleted(m_viewer.get(), &HexViewer::deleteMapRequested);
        QVERIFY(menu->actions().last()->isEnabled());
        menu->actions().last()->trigger();
        QCOMPARE(deleted.value(0).value(0).toInt(), 0);
        model()->setSelection(20, 21);
        std::unique_ptr<QMenu> plain(m_viewer->createContextMenu(cellCenter(5, 1)));
        QVERIFY(plain);
        QVERIFY(!plain->actions().last()->isEnabled());
    }

    void editDialogs()
    {
        m_viewer->setFirmware(QByteArray::fromHex("00000000e9030000"));
        m_viewer->setWidthMode(HexModel::Width32);
        model()->setSelection(0, 3);
        answer({INT_MAX, QVariant()}); // more than the dialog allows, then a cancel
        m_viewer->absoluteEdit();
        m_viewer->setWidthMode(HexModel::Width16);
        model()->setSelection(4, 5);
        m_viewer->percentageEdit();
        QCOMPARE(model()->currentData(), QByteArray::fromHex("ffffff7fe9030000"));
        answer({-50.0});
        m_viewer->percentageEdit();
        QCOMPARE(model()->currentData(), QByteArray::fromHex("ffffff7ff5010000"));
        QCOMPARE(m_script.notices,
                 (QStringList{"ask Modifica assoluta max 2147483647", "ask Modifica in percentuale",
                              "ask Modifica in percentuale"}));
    }

    void originalValueRestoresSelection()
    {
        QVERIFY(model()->writeBytesAt(4, QByteArray("abcd")));
        model()->setSelection(5, 6);
        m_viewer->originalValue();
        QCOMPARE(model()->currentData().mid(4, 4), QByteArray("a\x05\x06"
                                                              "d"));
        QVERIFY(!model()->isModified(5, 2));
        model()->setSelection(250, 260); // reaches past the end: not written
        m_viewer->originalValue();
        QCOMPARE(model()->undoStack().size(), 2);
    }

    void goToAddress_data()
    {
        testsupport::addColumns<QString, int, QString>({"typed", "offset", "notice"});
        QTest::newRow("0x10") << "0x10" << 16 << "";
        QTest::newRow("outside") << "100" << -1 << "warning: L'indirizzo è fuori dal firmware.";
    }
    void goToAddress()
    {
        QFETCH(QString, typed);
        QFETCH(int, offset);
        answer({typed});
        QSignalSpy offsets(m_viewer.get(), &HexViewer::viewOffsetChanged);
        // A double click on the offset column asks, pre-filled with the row's offset.
        // A real double click: press and release, then the double-click event.
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, cellCenter(3, 0));
        QTest::mouseDClick(viewport(), Qt::LeftButton, {}, cellCenter(3, 0));
        QCOMPARE(m_script.notices.value(0), QStringLiteral("ask Vai all'indirizzo [00000018]"));
        QTEST(m_script.notices.value(1), "notice");
        if (offset >= 0) {
            QCOMPARE(m_viewer->currentOffset(), offset);
            QCOMPARE(model()->selectionStart(), offset);
            QCOMPARE(offsets.last().at(0).toInt(), offset);
        }
    }

    void doubleClickOnMapAsksToOpenIt()
    {
        model()->addOrUpdateSavedMap({{40, 47}, {}, {}, {}});
        QSignalSpy open(m_viewer.get(), &HexViewer::openSavedMapRequested);
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, cellCenter(5, 2));
        QTest::mouseDClick(viewport(), Qt::LeftButton, {}, cellCenter(5, 2));
        QCOMPARE(open.count(), 1);
        QCOMPARE(open.last().at(0).toInt(), 40);
    }

    void modeChangesKeepTopOffset()
    {
        m_viewer->setFirmware(QByteArray(64 * 1024, '\x11'));
        m_viewer->scrollToOffsetTop(0x1000);
        QCOMPARE(m_viewer->topOffset(), 0x1000);
        m_viewer->setWidthMode(HexModel::Width32);
        QCOMPARE(m_viewer->topOffset(), 0x1000);
        m_viewer->setDecimal(true);
        QCOMPARE(m_viewer->topOffset(), 0x1000);
        m_viewer->setFloatMode(true);
        QCOMPARE(model()->widthMode(), int(HexModel::Width32));
        m_viewer->setColumnCount(9, 0x2000);
        QCOMPARE(model()->columns(), 9);
        QCOMPARE(m_viewer->topOffset() / 36, 0x2000 / 36); // its row is at the top
    }

    void viewRange()
    {
        m_viewer->setFirmware(QByteArray(64 * 1024, '\x22'));
        model()->addOrUpdateSavedMap({{0x8000, 0x80FF}, {}, {}, {}});
        QSignalSpy ranges(m_viewer.get(), &HexViewer::viewRangeChanged);
        m_viewer->setActiveSavedMap(0x8000); // scrolls the map into view without reporting it
        QCOMPARE(model()->activeSavedMap(), 0x8000);
        QVERIFY(ranges.isEmpty());
        const QModelIndex cell = model()->indexForOffset(0x8000);
        QVERIFY(viewport()->rect().contains(m_viewer->tableView()->visualRect(cell).center()));
        // Scrolling by the user reports the new range.
        m_viewer->tableView()->verticalScrollBar()->setValue(0);
        QCOMPARE(ranges.count(), 1);
        QCOMPARE(ranges.last().at(0).toInt(), 0);
        // A small image's range ends at its last byte.
        m_viewer->setFirmware(countingBytes(40));
        m_viewer->resize(800, 800);
        m_viewer->syncView();
        QCOMPARE(ranges.last(), (QList<QVariant>{0, 17})); // min(size, 0 + 16 + cellBytes)
    }

    void searchAndSelectionDialogs()
    {
        // 34 12 at offset 3 (odd) and at offset 8.
        m_viewer->setFirmware(QByteArray::fromHex("0000003412000000341200000000"));
        m_viewer->goToOffset(0);
        HexSearchDialog dialog(m_viewer.get(), true, [] { return 2; });
        dialog.valueEdit()->setText(QStringLiteral("0x1234"));
        QVERIFY(dialog.searchStep(true));
        QCOMPARE(m_viewer->currentOffset(), 8);
        QVERIFY(!dialog.searchStep(true)); // the only match is under the cursor
        QCOMPARE(m_script.notices,
                 QStringList({QStringLiteral("info: Raggiunta la fine del file.\n"
                                             "La ricerca riparte dall'inizio."),
                              QStringLiteral("info: Valore non trovato nel firmware.")}));
        dialog.valueEdit()->setText(QStringLiteral("12G"));
        QVERIFY(!dialog.searchStep(true));
        QCOMPARE(m_script.notices.value(2),
                 QStringLiteral("warning: Valore esadecimale non valido."));

        CreateSelectionDialog selection(m_viewer.get(),
                                        [this] { return m_viewer->currentOffset(); });
        selection.setAttribute(Qt::WA_DeleteOnClose, false);
        selection.fromEdit()->setText(QStringLiteral("9"));
        selection.toEdit()->setText(QStringLiteral("2"));
        QVERIFY(selection.apply());
        QCOMPARE(model()->selectionStart(), 2);
        QCOMPARE(model()->selectionEnd(), 9);
        selection.toEdit()->setText(QStringLiteral("zz"));
        QVERIFY(!selection.apply());
        QCOMPARE(m_script.notices.value(3),
                 QStringLiteral("warning: Inserire indirizzi HEX validi."));
    }

    void cellColours_data()
    {
        testsupport::addColumns<int, QColor>({"offset", "colour"});
        QTest::newRow("raised value is red") << 1 << QColor(220, 40, 40);
        QTest::newRow("lowered value is green") << 2 << QColor(35, 160, 70);
        QTest::newRow("selected cell") << 3 << QColor(0, 120, 215);
        QTest::newRow("saved map tint over white") << 9 << QColor(215, 228, 247);
        QTest::newRow("plain cell") << 12 << QColor(255, 255, 255);
    }
    void cellColours()
    {
        QFETCH(int, offset);
        QFETCH(QColor, colour);
        QVERIFY(model()->writeBytesAt(1, QByteArray::fromHex("FF00")));
        model()->addOrUpdateSavedMap({{8, 10}, {}, {}, {}});
        model()->setSelection(3, 3);
        QPalette white = m_viewer->tableView()->palette();
        white.setColor(QPalette::Base, Qt::white);
        m_viewer->tableView()->setPalette(white);
        const QImage image = viewport()->grab().toImage();
        const QRect cell = m_viewer->tableView()->visualRect(model()->indexForOffset(offset));
        const QColor seen = image.pixelColor(cell.topLeft() + QPoint(4, 4));
        QVERIFY2(qAbs(seen.red() - colour.red()) <= 3 && qAbs(seen.green() - colour.green()) <= 3
                     && qAbs(seen.blue() - colour.blue()) <= 3,
                 qPrintable(seen.name()));
    }

    void overviewStripKeepsFillRowsBlank()
    {
        QByteArray data(1000, char(0xFF));
        data.append(countingBytes(200));
        QVERIFY(!HexOverview::rowColor(data, 0, 10).isValid());
        QVERIFY(!HexOverview::rowColor(QByteArray(1000, '\0'), 3, 10).isValid());
        QVERIFY(HexOverview::rowColor(data, 9, 10).isValid());
    }
};

QTEST_MAIN(TestHexViewer)
#include "tst_hexviewer.moc"
