#include "app/documentwindow.h"
#include "app/driverscancommand.h"
#include "app/mainwindow.h"
#include "mapeditor/mapwindow.h"
#include "model/firmwareproject.h"
#include "model/mappack.h"
#include "projects/importwizard.h"
#include "projects/projectcommands.h"
#include "recognition/driverbuilder.h"
#include "recognition/driverfile.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

class TestDriverScanCommand : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        MapPackData pack;
        QVERIFY(readMapPack(TESSA_SOURCE_DIR "/examples/tessa-demo.tvp", pack));
        QFile image(TESSA_SOURCE_DIR "/examples/tessa-demo.bin");
        QVERIFY(image.open(QIODevice::ReadOnly));
        m_driver = buildDriver(image.readAll(), pack.maps).driver;
        QCOMPARE(m_driver.maps.size(), 4);
        m_driver.maps[0].category = 2;
        m_driver.maps[1].category = 2;
        m_driver.maps[3].excluded = true;
        // Left open, the category comes from the classifier: "temperatura" is a Temperature word.
        m_driver.maps[2].category = -1;
        m_driver.maps[1].displayName.clear();
    }

    void init()
    {
        m_window = new MainWindow;
        m_shown.clear();
        command()->setMessageHook([this](QMessageBox::Icon, const QString &title,
                                         const QString &text) { m_shown << title + ": " + text; });
        command()->setFileHook([this] { return m_nextFile; });
    }

    void cleanup() { delete m_window; }
    void loadsRecognisedMapsByCategory()
    {
        FirmwareProject *record = openDemo();
        QVERIFY(record);
        // A map of the document's own at the very address where the scan puts a driver map:
        // it stays under "Mappe", whatever the scan adds or its user deletes.
        MapDefinition own;
        own.name = QStringLiteral("Propria");
        own.mapOffset = int(m_driver.maps[0].zAddress);
        m_window->activeDocumentWindow()->setMaps({own});
        record->modified = false;

        const QString path = m_dir.filePath(QStringLiteral("demo.ecudrv"));
        QVERIFY(saveDriverFile(m_driver, path));
        m_nextFile = path;
        QSignalSpy finished(command(), &DriverScanCommand::scanFinished);
        m_window->action(QStringLiteral("loadDriverAction"))->trigger();
        auto *busy = m_window->findChild<QProgressDialog *>();
        QVERIFY(busy);
        QVERIFY(finished.wait(20000));

        QCOMPARE(m_shown.size(), 1);
        QVERIFY2(m_shown.first().startsWith(
                     "Driver Scanner: Scansione completata.\n\nMappe nel driver: 4\nMappe "
                     "riconosciute: 4\nMappe caricate: 3\nConfidence media: "),
                 qPrintable(m_shown.first()));
        QVERIFY(record->modified);
        QCOMPARE(record->maps.size(), 4);

        QTreeWidgetItem *driverItem = m_window->driverMapsItemOf(record);
        QVERIFY(driverItem && driverItem->isExpanded());
        QCOMPARE(driverItem->childCount(), 2);
        QCOMPARE(driverItem->child(0)->text(0), QStringLiteral("Torque Limiters"));
        QCOMPARE(driverItem->child(1)->text(0), QStringLiteral("Temperature Limiters"));
        QCOMPARE(m_window->mapsItemOf(record)->childCount(), 1);
        QTreeWidgetItem *limiters = driverItem->child(0);
        QCOMPARE(limiters->childCount(), 2);
        for (int i = 0; i < 2; ++i) {
            QTreeWidgetItem *item = limiters->child(i);
            const int index = item->data(0, 266).toInt();
            QCOMPARE(index, i + 1);
            QCOMPARE(item->data(0, Qt::UserRole).toInt(), record->maps.at(index).mapOffset);
            QCOMPARE(item->data(0, 276).toString(), QStringLiteral("DRIVER_MAP"));
            QCOMPARE(item->data(0, 277).toInt(), 2);
            QVERIFY(item->data(0, 278).toDouble() >= 74.0);
        }
        // Without a display name the item falls back to the description.
        QCOMPARE(limiters->child(1)->text(0), m_driver.maps[1].description);
        QCOMPARE(record->maps.at(1).mapOffset, int(m_driver.maps[0].zAddress));

        // A driver map opens in the map window like any other.
        const int windows = m_window->documentArea()->subWindowList().size();
        m_window->openMapOfItem(limiters->child(0));
        QCOMPARE(m_window->documentArea()->subWindowList().size(), windows + 1);

        // Deleting one renumbers the rest, in both branches.
        m_window->activeDocumentWindow()->setMapRemovalQuestion(
            [](const MapDefinition &) { return true; });
        QVERIFY(m_window->deleteMapOfItem(limiters->child(0)));
        driverItem = m_window->driverMapsItemOf(record);
        QCOMPARE(driverItem->child(0)->childCount(), 1);
        QCOMPARE(driverItem->child(0)->child(0)->data(0, 266).toInt(), 1);
        QCOMPARE(driverItem->child(1)->child(0)->data(0, 266).toInt(), 2);
        QCOMPARE(m_window->mapsItemOf(record)->childCount(), 1);
        QCOMPARE(m_window->mapsItemOf(record)->child(0)->text(0), own.name);
    }

    void cancelledScanLoadsNothing()
    {
        FirmwareProject *record = openDemo();
        QVERIFY(record);
        record->modified = false;
        const QList<MapDefinition> before = record->maps;
        const QStringList shown = m_shown;
        QSignalSpy finished(command(), &DriverScanCommand::scanFinished);
        QVERIFY(command()->startScan(m_driver));
        auto *busy = m_window->findChild<QProgressDialog *>();
        QVERIFY(busy);
        QPushButton *cancel = busy->findChild<QPushButton *>();
        QVERIFY(cancel);
        cancel->click();
        QVERIFY(finished.wait(20000));
        QCOMPARE(m_shown, shown);
        QCOMPARE(record->maps, before);
        QVERIFY(!record->modified);
        QVERIFY(!m_window->driverMapsItemOf(record));
        QVERIFY(!command()->isBusy());
    }

    void refusesWithoutDocumentOrDriver()
    {
        m_window->action(QStringLiteral("loadDriverAction"))->trigger();
        QCOMPARE(m_shown, QStringList{"Carica driver: Nessun firmware attivo."});
        QVERIFY(openDemo());
        m_nextFile = m_dir.filePath(QStringLiteral("missing.ecudrv"));
        m_window->action(QStringLiteral("loadDriverAction"))->trigger();
        QCOMPARE(
            m_shown.constLast(),
            "Carica driver: Impossibile caricare il driver:\nImpossibile aprire il file driver.");
        QVERIFY(!command()->isBusy());
    }

    void documentClosedDuringScan()
    {
        FirmwareProject *record = openDemo();
        QVERIFY(record);
        QSignalSpy finished(command(), &DriverScanCommand::scanFinished);
        QVERIFY(command()->startScan(m_driver));
        QVERIFY(!command()->startScan(m_driver)); // one scan at a time
        record->subWindow->close();
        // The scan ends before the closed window is deleted, as it may on a fast machine.
        QThread::msleep(300);
        QTRY_VERIFY(m_window->documents().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
        QCOMPARE(m_shown.constLast(), "Driver Maps: Impossibile accedere al database mappe.");
        QVERIFY(!command()->isBusy());
    }

private:
    FirmwareProject *openDemo()
    {
        m_window->projectCommands()->setWizardRunner(acceptImportWizard);
        if (!m_window->openFirmwareThroughWizard(TESSA_SOURCE_DIR "/examples/tessa-demo.bin"))
            return nullptr;
        return m_window->activeDocument();
    }

    DriverScanCommand *command() const { return m_window->driverScanCommand(); }

    QTemporaryDir m_dir;
    MainWindow *m_window = nullptr;
    QStringList m_shown;
    QString m_nextFile;
    Driver m_driver;
};

QTEST_MAIN(TestDriverScanCommand)
#include "tst_driverscancommand.moc"
