#include "app/documentwindow.h"
#include "app/mainwindow.h"
#include "app/mapwindowopener.h"
#include "hex/hex2dview.h"
#include "mapeditor/mapinfodialog.h"
#include "mapeditor/mappropertiesdialog.h"
#include "mapeditor/mapwindow.h"
#include "model/firmware.h"
#include "model/firmwareproject.h"

#include <QAction>
#include <QApplication>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>

#include "firmwarefixture.h"

#include <memory>

namespace {

MapDefinition map(const QString &name, int offset, int rows, int columns, int elementSize = 2)
{
    MapDefinition d = testsupport::mapGrid(offset, rows, columns, name, true);
    d.zElementSize = elementSize;
    return d;
}

Firmware *image()
{
    return testsupport::firmwareOf(testsupport::countingBytes(0x1000, 7),
                                   QStringLiteral("demo.bin"));
}

QByteArray bytesAt(const FirmwareProject *record, int offset, int length)
{
    return QByteArray(reinterpret_cast<const char *>(record->firmware->data().data()) + offset,
                      length);
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

} // namespace

class TestMapWindowOwner : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<MainWindow> m_main;
    FirmwareProject *m_record = nullptr;

    QTreeWidgetItem *mapItem(int i) const { return m_main->mapsItemOf(m_record)->child(i); }
    MapWindow *openFromTree(int i)
    {
        emit m_main->databaseTree()->itemDoubleClicked(mapItem(i), 0);
        const QList<MapWindow *> windows
            = mapWindowsOf(m_main->documentWindowOf(m_record), mapItem(i)->data(0, 266).toInt());
        return windows.isEmpty() ? nullptr : windows.constFirst();
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        qApp->setProperty("ecuColorMode", false);
        qApp->setProperty("ecuPercentMode", false);
        m_main = std::make_unique<MainWindow>();
        m_main->setExitQuestion([] { return MainWindow::ExitChoice::Discard; });
        m_record = m_main->createDocumentFromFirmware(
            image(), {map(QStringLiteral("Coppia"), 0x100, 2, 4),
                      map(QStringLiteral("Limitatore"), 0x200, 1, 10),
                      map(QStringLiteral("Larga <32>"), 0x300, 2, 2, 4)});
        m_main->documentWindowOf(m_record)->setMapRemovalQuestion(
            [](const MapDefinition &) { return true; });
    }

    void cleanup()
    {
        m_main.reset();
        flushDeletes();
    }

    void editsLandInTheFirmware()
    {
        MapWindow *window = openFromTree(1);
        QVERIFY(window);
        QVERIFY(qobject_cast<QMdiSubWindow *>(window->parentWidget()));
        QCOMPARE(window->windowTitle(), QStringLiteral("Limitatore"));
        QCOMPARE(int(window->currentValues().at(0)), 0x0700); // bytes 00 07 at 0x200
        window->table()->item(0, 2)->setSelected(true);
        window->table()->item(0, 4)->setSelected(true);
        window->applyAbsoluteValue(0xBEEF);
        QCOMPARE(bytesAt(m_record, 0x204, 6).toHex(),
                 QByteArray("efbe") + bytesAt(m_record, 0x206, 2).toHex() + "efbe");
        QVERIFY(m_record->modified);
        // The original bytes are the reference and never change.
        QCOMPARE(int(window->originalValues().at(2)), 0x231C);
        QVERIFY(window->setCellValue(0, 9, 5));
        QCOMPARE(bytesAt(m_record, 0x212, 2).toHex(), QByteArray("0500"));
        window->table()->clearSelection();
        window->table()->item(0, 9)->setSelected(true);
        window->restoreOriginalSelection();
        QCOMPARE(bytesAt(m_record, 0x212, 2), m_record->originalBytes.mid(0x212, 2));

        // Another view changes cell 3; a later block over it carries that change.
        QVERIFY(m_main->documentWindowOf(m_record)->writeBytes(0x206, QByteArray::fromHex("3412")));
        window->table()->clearSelection();
        window->table()->item(0, 1)->setSelected(true);
        window->table()->item(0, 5)->setSelected(true);
        window->applyAbsoluteValue(1);
        QCOMPARE(bytesAt(m_record, 0x206, 2).toHex(), QByteArray("3412"));
        QCOMPARE(int(window->currentValues().at(3)), 0x1234);
        QCOMPARE(window->table()->item(0, 3)->text(), QString::number(0x1234));
        QCOMPARE(bytesAt(m_record, 0x202, 2).toHex(), QByteArray("0100"));
    }

    void oneWindowPerMapAndMaximised()
    {
        m_record->subWindow->showMaximized();
        MapWindow *first = openFromTree(0);
        QVERIFY(first);
        QVERIFY(first->parentWidget()->isMaximized());
        emit m_main->documentWindowOf(m_record)->openMapRequested(0);
        QCOMPARE(mapWindowsOf(m_main->documentWindowOf(m_record)).size(), 1);
        emit m_main->documentWindowOf(m_record)->openMapRequested(1);
        QCOMPARE(mapWindowsOf(m_main->documentWindowOf(m_record)).size(), 2);
        // No such map: nothing opens.
        QVERIFY(!openMapWindow(m_main->documentWindowOf(m_record), 3));
        QVERIFY(!openMapWindow(m_main->documentWindowOf(m_record), -1));
    }

    // A map cut at the address of another is a map of its own: its window, its edits, its
    // deletion never reach the other one.
    void mapsAtOneAddressKeepTheirOwnWindows()
    {
        DocumentWindow *document = m_main->documentWindowOf(m_record);
        document->hex2DView()->setSelection(0x100, 0x10F);
        document->hex2DView()->createMapFromSelection();
        QCOMPARE(m_record->maps.size(), 4);
        QCOMPARE(m_record->maps.at(3).mapOffset, 0x100);
        auto *cut = qobject_cast<MapWindow *>(m_main->documentArea()->activeSubWindow()->widget());
        QVERIFY(cut);
        QCOMPARE(cut->windowTitle(), QStringLiteral("Mappa 8 x 1"));
        QCOMPARE(openFromTree(3), cut);
        MapWindow *coppia = openFromTree(0);
        QVERIFY(coppia && coppia != cut);
        QCOMPARE(coppia->windowTitle(), QStringLiteral("Coppia"));
        QCOMPARE(mapWindowsOf(document).size(), 2);
        // A view knows only the address: the user picks which map is meant.
        QList<int> offered;
        document->setMapChooser([&](const QList<int> &indices) {
            offered = indices;
            return indices.last();
        });
        document->openMapWindow(0x100);
        QCOMPARE(offered, (QList<int>{0, 3}));
        QCOMPARE(m_main->documentArea()->activeSubWindow()->widget(), cut);

        cut->setDialogRunner([](QDialog &dialog) {
            static_cast<MapPropertiesDialog &>(dialog).nameEdit()->setText(QStringLiteral("Mia"));
            dialog.accept();
            return int(QDialog::Accepted);
        });
        cut->openPropertiesDialog();
        QCOMPARE(m_record->maps.at(0).name, QStringLiteral("Coppia"));
        QCOMPARE(m_record->maps.at(3).name, QStringLiteral("Mia"));

        // Deleting the first map leaves the other's window open and still its own.
        QPointer<MapWindow> stays = cut;
        QVERIFY(m_main->deleteMapOfItem(mapItem(0)));
        flushDeletes();
        QVERIFY(stays);
        QCOMPARE(mapWindowsOf(document, 2), QList<MapWindow *>{cut});
        cut->openPropertiesDialog();
        QCOMPARE(m_record->maps.at(2).name, QStringLiteral("Mia"));
        QCOMPARE(m_record->maps.at(0).name, QStringLiteral("Limitatore"));

        // "Elimina mappa" answered no keeps the map and its window.
        document->setMapRemovalQuestion([](const MapDefinition &) { return false; });
        m_record->modified = false;
        QVERIFY(!m_main->deleteMapOfItem(mapItem(2)));
        QCOMPARE(m_record->maps.size(), 3);
        QVERIFY(!m_record->modified);
        flushDeletes();
        QVERIFY(stays);
    }

    void modesReachMapWindows()
    {
        qApp->setProperty("ecuColorMode", true);
        MapWindow *window = openFromTree(0);
        QVERIFY(window->colorMode());
        QVERIFY(!window->percentMode());
        m_main->action(QStringLiteral("percentAction"))->setChecked(true);
        QVERIFY(window->percentMode());
        m_main->action(QStringLiteral("originalAction"))->setChecked(true);
        QVERIFY(window->showOriginal() && !window->percentMode());
        m_main->action(QStringLiteral("colorAction"))->setChecked(true);
        m_main->action(QStringLiteral("colorAction"))->setChecked(false);
        QVERIFY(!window->colorMode());
    }

    void propertiesUpdateRecordAndTree()
    {
        MapWindow *window = openFromTree(0);
        window->setDialogRunner([](QDialog &dialog) {
            auto &p = static_cast<MapPropertiesDialog &>(dialog);
            p.nameEdit()->setText(QStringLiteral(" Coppia massima "));
            p.factorBox()->setValue(0.5);
            dialog.accept();
            return int(QDialog::Accepted);
        });
        window->openPropertiesDialog();
        QCOMPARE(m_record->maps.at(0).name, QStringLiteral("Coppia massima"));
        QCOMPARE(m_record->maps.at(0).factor, 0.5);
        QCOMPARE(mapItem(0)->text(0), QStringLiteral("Coppia massima"));
        QCOMPARE(window->parentWidget()->windowTitle(), QStringLiteral("Coppia massima"));
    }

    void deletionAndClosingCloseMapWindows()
    {
        QPointer<MapWindow> window = openFromTree(1);
        QVERIFY(window);
        QVERIFY(m_main->deleteMapOfItem(mapItem(1)));
        flushDeletes();
        QVERIFY(!window);
        QTreeWidgetItem *maps = m_main->mapsItemOf(m_record);
        QCOMPARE(m_record->maps.size(), 2);
        // Neither the "Mappe" item nor the document item is a map.
        QVERIFY(!m_main->deleteMapOfItem(maps));
        QVERIFY(!m_main->deleteMapOfItem(maps->parent()));
        QCOMPARE(m_record->maps.size(), 2);
        // Removed by another view: the window goes too.
        QPointer<MapWindow> other = openFromTree(1);
        QVERIFY(other);
        QVERIFY(m_main->documentWindowOf(m_record)->removeMap(0x300));
        flushDeletes();
        QVERIFY(!other);
        // Closing the document closes its map windows.
        window = openFromTree(0);
        QVERIFY(window);
        m_record->modified = false;
        m_record->subWindow->close();
        flushDeletes();
        QVERIFY(!window);
    }

    void hoverCardAndInformationDialog()
    {
        m_main->showMapHoverCard(mapItem(2), QPoint(10, 10));
        QLabel *card = m_main->mapHoverCard();
        QVERIFY(card->isVisible());
        QVERIFY(card->text().contains(QStringLiteral("<b>Nome:</b> Larga &lt;32&gt;<br>")));
        QVERIFY(card->text().startsWith(QStringLiteral("<b>Indirizzo Z:</b> 0x00000300")));
        m_main->showMapHoverCard(m_main->mapsItemOf(m_record), QPoint(10, 10));
        QVERIFY(!card->isVisible());

        MapDefinition d = map(QStringLiteral("Coppia"), 0x10000, 8, 16);
        d.yAxisOffset = 0xFFC4;
        MapInfoDialog dialog(d);
        QCOMPARE(dialog.fieldText(QStringLiteral("Dimensione:")), QStringLiteral("8 x 16"));
        QCOMPARE(dialog.fieldText(QStringLiteral("Indirizzo Z:")), QStringLiteral("0x00010000"));
        QCOMPARE(dialog.fieldText(QStringLiteral("Indirizzo X:")), QStringLiteral("-"));
        QCOMPARE(dialog.fieldText(QStringLiteral("Indirizzo Y:")), QStringLiteral("0x0000FFC4"));
    }
};

QTEST_MAIN(TestMapWindowOwner)
#include "tst_mapwindowowner.moc"
