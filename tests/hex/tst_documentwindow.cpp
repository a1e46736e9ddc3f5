#include "app/documentwindow.h"
#include "app/mainwindow.h"
#include "hex/hex2dview.h"
#include "hex/hexdelegate.h"
#include "hex/hexmodel.h"
#include "hex/hexviewer.h"
#include "model/firmwareproject.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSignalSpy>
#include <QTableView>
#include <QTreeWidgetItem>
#include <QtTest>

#include "firmwarefixture.h"
#include "testsupport.h"

namespace {

// A 2 x 4 map of 16-bit values.
MapDefinition map(const char *name, int offset)
{
    return testsupport::mapGrid(offset, 2, 4, QString::fromLatin1(name));
}

QByteArray imageOf(const FirmwareProject *record)
{
    const auto &d = record->firmware->data();
    return QByteArray(reinterpret_cast<const char *>(d.data()), qsizetype(d.size()));
}

} // namespace

class TestDocumentWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MainWindow> m_window;

    // A document of `size` bytes counting up from 0.
    FirmwareProject *
    open(int size, const QList<MapDefinition> &maps = {}, const char *path = "image.bin")
    {
        return m_window->createDocumentFromFirmware(
            testsupport::firmwareOf(testsupport::countingBytes(size), QString::fromLatin1(path)),
            maps);
    }
    void trigger(const char *name) { m_window->action(QString::fromLatin1(name))->trigger(); }
    bool checked(const char *name)
    {
        return m_window->action(QString::fromLatin1(name))->isChecked();
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        qApp->setProperty("ecuPercentMode", false);
        qApp->setProperty("ecuColorMode", false);
        m_window = std::make_unique<MainWindow>();
        m_window->setExitQuestion([] { return MainWindow::ExitChoice::Discard; });
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void cleanup() { m_window.reset(); }

    void editsReachTheFirmware()
    {
        FirmwareProject *record = open(64);
        HexViewer *viewer = record->hexViewer;
        const QByteArray original = record->originalBytes;
        QVERIFY(viewer->model()->setData(viewer->model()->index(0, 3), "EE", Qt::EditRole));
        QCOMPARE(quint8(record->firmware->data()[2]), quint8(0xEE));
        QVERIFY(record->modified);
        QCOMPARE(record->originalBytes, original);
        QCOMPARE(viewer->model()->originalData(), original);
        viewer->undo();
        QCOMPARE(imageOf(record), original);
    }

    void deletingAMapRenumbersTheTree()
    {
        FirmwareProject *record = open(256, {map("A", 0x10), map("B", 0x40), map("C", 0x80)});
        QTreeWidgetItem *maps = m_window->mapsItemOf(record);
        HexViewer *viewer = record->hexViewer;
        // "Elimina mappa" from the context menu over the second map, confirmed.
        QStringList asked;
        m_window->documentWindowOf(record)->setMapRemovalQuestion([&](const MapDefinition &m) {
            asked << m.name;
            return true;
        });
        viewer->resize(800, 600);
        const QModelIndex cell = viewer->model()->indexForOffset(0x41);
        viewer->tableView()->scrollTo(cell);
        std::unique_ptr<QMenu> menu(
            viewer->createContextMenu(viewer->tableView()->visualRect(cell).center()));
        QVERIFY(menu);
        menu->actions().last()->trigger();
        QCOMPARE(asked, QStringList{QStringLiteral("B")});
        QCOMPARE(record->maps.size(), 2);
        QCOMPARE(maps->childCount(), 2);
        QCOMPARE(maps->child(0)->data(0, Qt::UserRole + 10).toInt(), 0);
        QCOMPARE(maps->child(1)->data(0, Qt::UserRole + 10).toInt(), 1);
        QCOMPARE(maps->child(1)->data(0, Qt::UserRole).toInt(), 0x80);
        QCOMPARE(viewer->model()->savedMapAt(0x40, 1), -1);
        QCOMPARE(viewer->model()->savedMapAt(0x80, 1), 0x80);
    }

    void addAndReplaceMapsMarkTheView()
    {
        FirmwareProject *record = open(256);
        DocumentWindow *document = m_window->documentWindowOf(record);
        MapDefinition withAxis = map("X", 0x20);
        withAxis.xAxisOffset = 0x18;
        withAxis.xElementSize = 2;
        document->addMap(withAxis);
        HexModel *model = document->hexViewer()->model();
        QCOMPARE(model->savedMapKindAt(0x18, 1), 2);
        QCOMPARE(model->savedMapKindAt(0x30, 1), 0);
        withAxis.rows = 4; // grows to 0x3F
        QVERIFY(document->replaceMap(withAxis));
        QCOMPARE(model->savedMapKindAt(0x30, 1), 4);
        QVERIFY(!document->replaceMap(map("none", 0x99)));
        document->setMaps({map("Y", 0x60)});
        QCOMPARE(model->savedMapAt(0x20, 1), -1);
        QCOMPARE(model->savedMapAt(0x60, 1), 0x60);
    }

    void columnAndOriginCommands()
    {
        FirmwareProject *record = open(4096);
        HexViewer *viewer = record->hexViewer;
        HexModel *model = viewer->model();
        trigger("moreColumnsAction");
        QCOMPARE(model->columns(), 9);
        for (int i = 0; i < 10; ++i)
            trigger("fewerColumnsAction");
        QCOMPARE(model->columns(), 1);
        viewer->goToOffset(0x800);
        viewer->scrollToOffsetTop(0x700);
        trigger("rowOriginLeftAction");
        QCOMPARE(model->rowOrigin(), -2);
        QCOMPARE(viewer->currentOffset(), 0x800);
        QCOMPARE(viewer->topOffset(), 0x700);
        emit viewer->rowOriginChangeRequested(2); // the viewer's Ctrl+Right
        QCOMPARE(model->rowOrigin(), 0);

        m_window->activateWindow();
        if (!QTest::qWaitForWindowActive(m_window.get()))
            QSKIP("the platform gives no active window");
        viewer->focusTable();
        QTest::keyClick(viewer->tableView(), Qt::Key_M);
        QCOMPARE(model->columns(), 2);
        QTest::keyClick(viewer->tableView(), Qt::Key_W);
        QCOMPARE(model->columns(), 1);
        QTest::keyClick(viewer->tableView(), Qt::Key_Left, Qt::ControlModifier);
        QCOMPARE(model->rowOrigin(), -2);
    }

    void copyAndPaste_data()
    {
        // written (empty: nothing written)
        testsupport::addColumns<QString, QByteArray>({"clipboard", "written"});
        QTest::newRow("hex pairs") << "AA BB" << QByteArray::fromHex("AABB");
        QTest::newRow("text ignored") << "hello" << QByteArray();
        QTest::newRow("too long for the image ignored") << "01020304050607" << QByteArray();
    }
    void copyAndPaste()
    {
        QFETCH(QString, clipboard);
        QFETCH(QByteArray, written);
        FirmwareProject *record = open(16);
        record->hexViewer->setSelectionRange(10, 12); // anchor 10
        trigger("copyAction");
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("0A 0B 0C"));
        QGuiApplication::clipboard()->setText(clipboard);
        trigger("pasteAction");
        QCOMPARE(record->modified, !written.isEmpty());
        QCOMPARE(record->hexViewer->model()->undoStack().isEmpty(), written.isEmpty());
        if (!written.isEmpty())
            QCOMPARE(imageOf(record).mid(10, written.size()), written);
    }

    void toolbarFollowsTheActiveViewer()
    {
        FirmwareProject *first = open(64, {}, "a.bin");
        trigger("decAction");
        trigger("bigEndianAction");
        trigger("widthFloatAction");
        HexModel *model = first->hexViewer->model();
        QVERIFY(model->isDecimal());
        QCOMPARE(model->effectiveByteOrder(), 1);
        QVERIFY(model->floatMode());
        QCOMPARE(model->widthMode(), 2);

        FirmwareProject *second = open(64, {}, "b.bin");
        QCOMPARE(second->hexViewer->model()->widthMode(), 0);
        QVERIFY(checked("width8Action") && checked("hexAction") && checked("autoByteOrderAction"));
        m_window->documentArea()->setActiveSubWindow(first->subWindow);
        QVERIFY(checked("widthFloatAction") && checked("decAction") && checked("bigEndianAction"));
        // A command acts on the document in front only.
        trigger("width16Action");
        QCOMPARE(model->widthMode(), 1);
        QCOMPARE(second->hexViewer->model()->widthMode(), 0);
    }

    void applicationWideModes()
    {
        FirmwareProject *a = open(64, {}, "a.bin");
        FirmwareProject *b = open(64, {}, "b.bin");
        trigger("percentAction");
        QVERIFY(a->hexViewer->model()->percentMode());
        QVERIFY(b->hexViewer->model()->percentMode());
        QVERIFY(!b->hexViewer->model()->showOriginal());
        QCOMPARE(qApp->property("ecuPercentMode").toBool(), true);
        trigger("colorAction");
        QCOMPARE(b->hexViewer->delegate()->property("darkColorMode").toBool(), true);
        // A document opened later starts in the application's modes.
        FirmwareProject *c = open(64, {}, "c.bin");
        QVERIFY(c->hexViewer->model()->percentMode());
        QCOMPARE(c->hexViewer->delegate()->property("darkColorMode").toBool(), true);
    }

    void editMenuActsOnThePageShown()
    {
        FirmwareProject *record = open(64);
        DocumentWindow *document = m_window->documentWindowOf(record);
        record->hexViewer->setSelectionRange(4, 5);
        trigger("plusOneAction");
        QCOMPARE(imageOf(record).mid(4, 2), QByteArray("\x05\x06", 2));
        trigger("originalValueAction");
        QCOMPARE(imageOf(record).mid(4, 2), QByteArray("\x04\x05", 2));
        // On the 2D page the same command is the graph's word edit, on the same selection,
        // and it is undone like any other edit.
        document->show2DPage();
        QCOMPARE(record->hexViewer->property("initial2DSyncDone").toBool(), true);
        record->hex2DView->setLittleEndian(true);
        trigger("minusOneAction");
        QCOMPARE(imageOf(record).mid(4, 2), QByteArray("\x03\x05", 2));
        document->showTextPage();
        trigger("undoAction");
        QCOMPARE(imageOf(record).mid(4, 2), QByteArray("\x04\x05", 2));
        trigger("undoAction");
        trigger("undoAction");
        trigger("redoAction");
        QCOMPARE(imageOf(record).mid(4, 2), QByteArray("\x05\x06", 2));
    }
};

QTEST_MAIN(TestDocumentWindow)
#include "tst_documentwindow.moc"
