#include "app/documentwindow.h"
#include "app/mainwindow.h"
#include "app/mapfindercommand.h"
#include "hex/hex2dview.h"
#include "model/firmwareproject.h"
#include "model/mappack.h"
#include "projects/importwizard.h"
#include "projects/projectcommands.h"
#include "recognition/mapfinderpanel.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableWidget>
#include <QtTest>

// "Cerca mappe potenziali..." on the example image: the panel, adding, and maps already known.
class TestMapFinderCommand : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { m_window = new MainWindow; }
    void cleanup() { delete m_window; }

    void listsMarksAndAddsCandidates()
    {
        FirmwareProject *record = openDemo();
        QVERIFY(record);
        MapFinderPanel *panel = search();
        QVERIFY(panel);
        QTableWidget *table = panel->table();
        QVERIFY(table->rowCount() >= 3);
        const int found = table->rowCount();
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("0x10000"));
        QCOMPARE(table->item(0, 1)->text(), QStringLiteral("12 × 16"));
        QVERIFY(!table->item(0, 5)->icon().isNull());

        // Choosing a row marks its bytes, header and values, in the views.
        table->selectRow(0);
        const MapCandidate first = panel->candidates().first();
        QVERIFY(first.headerStart >= 0);
        const Hex2DView *view2D = m_window->activeDocumentWindow()->hex2DView();
        QCOMPARE(view2D->selectionStart(), int(first.headerStart));
        QCOMPARE(view2D->selectionEnd(), int(first.lastByte()));

        QSignalSpy opened(panel, &MapFinderPanel::openRequested);
        emit table->cellDoubleClicked(0, 0);
        QCOMPARE(opened.size(), 1);
        QVERIFY(record->maps.isEmpty()); // looked at, not added
        QVERIFY(!record->modified);

        table->selectAll();
        for (QPushButton *button : panel->findChildren<QPushButton *>())
            if (button->text() == QStringLiteral("Aggiungi selezionate"))
                button->click();
        QCOMPARE(record->maps.size(), found);
        QCOMPARE(record->maps.first().name, QStringLiteral("Mappa potenziale 12x16 @0x10000"));
        QCOMPARE(record->maps.first().mapOffset, int(first.zAddress));
        QCOMPARE(record->maps.first().xAxisOffset, int(first.xAddress));
        QVERIFY(record->modified);
        QCOMPARE(table->rowCount(), 0);

        // A candidate whose place a map holds does not join twice.
        QCOMPARE(
            m_window->mapFinderCommand()->addCandidates(m_window->activeDocumentWindow(), {first}),
            0);
        QCOMPARE(record->maps.size(), found);
    }

    void leavesOutTheMapsKnown()
    {
        FirmwareProject *record = openDemo();
        QVERIFY(record);
        MapPackData pack;
        QVERIFY(readMapPack(TESSA_SOURCE_DIR "/examples/tessa-demo.tvp", pack));
        m_window->activeDocumentWindow()->setMaps(pack.maps);
        MapFinderPanel *panel = search();
        QVERIFY(panel);
        QCOMPARE(panel->table()->rowCount(), 0);
    }

private:
    FirmwareProject *openDemo()
    {
        m_window->projectCommands()->setWizardRunner(acceptImportWizard);
        if (!m_window->openFirmwareThroughWizard(TESSA_SOURCE_DIR "/examples/tessa-demo.bin"))
            return nullptr;
        return m_window->activeDocument();
    }

    MapFinderPanel *search()
    {
        QSignalSpy finished(m_window->mapFinderCommand(), &MapFinderCommand::searchFinished);
        m_window->action(QStringLiteral("findMapsAction"))->trigger();
        if (!finished.wait(20000))
            return nullptr;
        return m_window->mapFinderCommand()->panel();
    }

    MainWindow *m_window = nullptr;
};

QTEST_MAIN(TestMapFinderCommand)
#include "tst_mapfindercommand.moc"
