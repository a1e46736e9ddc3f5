#include "app/databasepanelwidths.h"
#include "app/documentwindow.h"
#include "app/mainwindow.h"
#include "app/mapwindowopener.h"
#include "app/windowmenu.h"
#include "app/zoomspinbox.h"
#include "hex/hex2dview.h"
#include "importers/a2lparser.h"
#include "importers/descriptionimporter.h"
#include "mapeditor/mappropertiesdialog.h"
#include "mapeditor/mapwindow.h"
#include "model/firmwareproject.h"
#include "model/mappack.h"
#include "projects/importwizard.h"
#include "projects/projectcommands.h"

#include <QAction>
#include <QApplication>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include "firmwarefixture.h"
#include "messageboxcloser.h"
#include "testsupport.h"

#include <memory>

namespace {

FirmwareProject *
open(MainWindow &window, const char *name, int size, QList<MapDefinition> maps = {})
{
    const QString path = QStringLiteral("/dumps/") + QLatin1String(name);
    return window.createDocumentFromFirmware(testsupport::firmwareOf(QByteArray(size, 0x11), path),
                                             maps);
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    testsupport::TempFolder m_dir;

    static bool dragAccepted(MainWindow &window, const QUrl &url)
    {
        QMimeData mime;
        mime.setUrls({url});
        QDragEnterEvent event(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        event.setAccepted(false);
        QApplication::sendEvent(&window, &event);
        return event.isAccepted();
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
    }

    // Box steps (up doubles, down halves) and the menu's zoom in / out, with their limits.
    void zoom_data()
    {
        // step (a menu action, or a number of box steps)
        testsupport::addColumns<QString, bool, int, int>({"step", "xBox", "start", "expected"});
        QTest::newRow("up twice from 100") << "2" << true << 100 << 400;
        QTest::newRow("down from 25 stays at the minimum") << "-1" << true << 25 << 25;
        QTest::newRow("down halves with integer division") << "-1" << true << 75 << 37;
        QTest::newRow("up clamps at the X maximum") << "1" << true << 5000 << 6400;
        // The view shows at most ten times the default height, and the box says no more.
        QTest::newRow("Y box reaches 1000") << "1" << false << 500 << 1000;
        QTest::newRow("Y box stops at 1000") << "1" << false << 800 << 1000;
        QTest::newRow("Y box minimum is 50") << "-1" << false << 60 << 50;
        QTest::newRow("in from 6000 stops at 6400") << "zoomInAction" << true << 6000 << 6400;
        QTest::newRow("out from 30 stops at 25") << "zoomOutAction" << true << 30 << 25;
        QTest::newRow("in rounds half away from zero") << "zoomInAction" << true << 30 << 41;
        QTest::newRow("out from 100") << "zoomOutAction" << true << 100 << 74;
    }

    void zoom()
    {
        QFETCH(QString, step);
        QFETCH(bool, xBox);
        QFETCH(int, start);
        MainWindow window;
        ZoomSpinBox *box = xBox ? window.zoomXBox() : window.zoomYBox();
        box->setValue(start);
        bool isNumber = false;
        const int steps = step.toInt(&isNumber);
        if (isNumber)
            box->stepBy(steps);
        else
            window.action(step)->trigger();
        QTEST(box->value(), "expected");
        if (!isNumber)
            QCOMPARE(window.zoomYBox()->value(), 100); // the menu zooms X only
    }

    void percentAndOriginalExclude()
    {
        MainWindow window;
        QAction *percent = window.action(QStringLiteral("percentAction"));
        QAction *original = window.action(QStringLiteral("originalAction"));
        original->setChecked(true);
        percent->setChecked(true);
        QVERIFY(!original->isChecked());
        QVERIFY(qApp->property("ecuPercentMode").toBool());

        original->setChecked(true);
        QVERIFY(!percent->isChecked());
        QVERIFY(original->isChecked());
        // Unchecking "%" through "ORG" switches the application-wide percent mode off too.
        QVERIFY(!qApp->property("ecuPercentMode").toBool());
    }

    void reopenedPanelWidth_data()
    {
        testsupport::addColumns<int, int, int>({"remembered", "total", "panel"});
        QTest::newRow("narrow memory widened to 180") << 120 << 1300 << 180;
        QTest::newRow("small window leaves 100 to documents") << 120 << 250 << 150;
        QTest::newRow("wide memory kept") << 400 << 1300 << 400;
        QTest::newRow("tiny window gives the panel nothing") << 250 << 60 << 0;
    }

    void reopenedPanelWidth()
    {
        QFETCH(int, remembered);
        QFETCH(int, total);
        const auto [panelWidth, documentWidth] = DatabasePanelWidths::reopened(remembered, total);
        QTEST(panelWidth, "panel");
        QCOMPARE(panelWidth + documentWidth, qMax(total, 0));
    }

    void panelCollapseAndReopen()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *collapse = window.findChild<QToolButton *>(QStringLiteral("databaseCollapseButton"));
        QVERIFY(collapse);
        // The panel cannot be dragged below what its buttons need; 120 -> 180 is checked above.
        const QList<int> sizes = window.splitter()->sizes();
        window.splitter()->setSizes({300, sizes.value(0) + sizes.value(1) - 300});
        QCOMPARE(window.splitter()->sizes().constFirst(), 300);

        collapse->click();
        QVERIFY(window.isDatabaseCollapsed());
        QCOMPARE(window.rememberedDatabaseWidth(), 300);
        QVERIFY(!window.databaseTree()->isVisible());
        QCoreApplication::processEvents();
        QCOMPARE(window.splitter()->sizes().constFirst(), 24);

        collapse->click();
        QVERIFY(!window.isDatabaseCollapsed());
        QVERIFY(window.databaseTree()->isVisible());
        QCOMPARE(window.splitter()->sizes().constFirst(), 300);
    }

    void dragAcceptance_data()
    {
        // fileName (a local file unless it is a full URL)
        testsupport::addColumns<QString, bool>({"fileName", "accepted"});
        QTest::newRow("a2l refused") << "desc.a2l" << false;
        QTest::newRow("A2L refused in upper case") << "DESC.A2L" << false;
        QTest::newRow("ols accepted") << "project.ols" << true;
        QTest::newRow("no suffix accepted") << "dump" << true;
        QTest::newRow("a2l only as a suffix") << "a2l.bin" << true;
        QTest::newRow("remote URL refused") << "https://example.org/dump.bin" << false;
    }

    void dragAcceptance()
    {
        QFETCH(QString, fileName);
        MainWindow window;
        const QUrl url = fileName.contains(QLatin1String("://"))
                             ? QUrl(fileName)
                             : QUrl::fromLocalFile(m_dir.filePath(fileName));
        QTEST(dragAccepted(window, url), "accepted");
    }

    void dropOpensFirmware()
    {
        MainWindow window;
        window.projectCommands()->setWizardRunner(acceptImportWizard);
        const QString path = m_dir.write(QStringLiteral("dropped.ori"), QByteArray(300, '\x5a'));
        // A drop reaches only the window that took the drag when it entered.
        QVERIFY(dragAccepted(window, QUrl::fromLocalFile(path)));
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path)});
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(window.documents().size(), 1);
        FirmwareProject *record = window.documents().constFirst();
        QCOMPARE(record->fileSize, qint64(300));
        QCOMPARE(record->savedFirmwarePath, path);
        // A document: sub-window, tree branch with its "Mappe" child, status bar text.
        QCOMPARE(window.activeDocument(), record);
        QCOMPARE(record->subWindow->windowTitle(), QStringLiteral("dropped.ori"));
        QCOMPARE(record->subWindow->widget()->property("firmwarePtr").value<void *>(),
                 static_cast<void *>(record->firmware.get()));
        QCOMPARE(window.statusBar()->currentMessage(),
                 QStringLiteral("Firmware caricato: dropped.ori"));
        QCOMPARE(window.databaseTree()->topLevelItemCount(), 1);
        QTreeWidgetItem *branch = window.databaseTree()->topLevelItem(0);
        QCOMPARE(branch->text(0), QStringLiteral("dropped.ori"));
        QCOMPARE(window.mapsItemOf(record)->parent(), branch);
        QCOMPARE(window.mapsItemOf(record)->text(0), QStringLiteral("Mappe"));
    }

    // Quitting right after a document window closed, before its deferred deletion ran.
    void destroyedRightAfterClosingADocument()
    {
        auto window = std::make_unique<MainWindow>();
        FirmwareProject *record = open(*window, "a.bin", 16);
        open(*window, "b.bin", 16);
        QVERIFY(record->subWindow->close());
        window.reset();
    }

    void unreadableFirmwareCreatesNoDocument()
    {
        MainWindow window;
        MessageBoxCloser closer;
        QVERIFY(!window.openFirmwareThroughWizard(m_dir.filePath(QStringLiteral("absent.bin"))));
        QVERIFY(closer.shown());
        QVERIFY(closer.text().startsWith(QStringLiteral("Impossibile caricare il firmware.")));
        QVERIFY(window.documents().isEmpty());
        QCOMPARE(window.databaseTree()->topLevelItemCount(), 0);
    }

    void closingSubWindows()
    {
        MainWindow window;
        FirmwareProject *kept = open(window, "kept.bin", 16);
        FirmwareProject *closed = open(window, "closed.bin", 16);
        window.documentWindowOf(kept)->writeBytes(0, QByteArray("\x01", 1));

        // When its save fails (here: refused), the modified document stays open.
        window.setProjectSaver([](FirmwareProject &) { return false; });
        QVERIFY(!kept->subWindow->close());
        QVERIFY(closed->subWindow->close());
        QTRY_COMPARE(window.documents(), QList<FirmwareProject *>{kept});
        QCOMPARE(window.databaseTree()->topLevelItemCount(), 1);
        QCOMPARE(window.databaseTree()->topLevelItem(0)->text(0), QStringLiteral("kept.bin"));
    }

    // Behind a maximised map window the documents stay reachable: from "Finestre", from
    // their item in the tree, and with Ctrl+Tab / Ctrl+Shift+Tab, which go round the list.
    void windowsMenu_data()
    {
        // front (the window brought to the front)
        testsupport::addColumns<QString, QString>({"way", "front"});
        using testsupport::addRow;
        addRow("menu entry", {"menu", "a&b.bin"});
        addRow("tree item", {"tree", "a&b.bin"});
        addRow("Ctrl+Tab goes round to the first", {"next", "a&b.bin"});
        addRow("Ctrl+Shift+Tab", {"previous", "c.bin"});
    }
    void windowsMenu()
    {
        QFETCH(QString, way);
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const MapDefinition map = testsupport::mapGrid(0, 2, 2, QStringLiteral("Coppia"));
        FirmwareProject *a = open(window, "a&b.bin", 16, {map});
        open(window, "c.bin", 16);
        QVERIFY(openMapWindow(window.documentWindowOf(a), 0));
        QMdiSubWindow *mapSub = window.documentArea()->activeSubWindow();
        QVERIFY(mapSub->isMaximized());

        QTreeWidget *tree = window.databaseTree();
        QMenu *menu = window.windowMenu()->menu();
        emit menu->aboutToShow();
        QStringList entries;
        for (QAction *action : menu->actions())
            if (action->isCheckable())
                entries << action->text()
                               + (action->isChecked() ? QStringLiteral(" *") : QString());
        QCOMPARE(entries, (QStringList{"&1 a&&b.bin", "&2 c.bin", "&3 Coppia *"}));

        if (way == QLatin1String("menu")) {
            menu->actions().at(menu->actions().size() - 3)->trigger();
        } else if (way == QLatin1String("tree")) {
            // The press of a double click, then the double click, as the view receives them.
            const QPoint item = tree->visualItemRect(tree->topLevelItem(0)).center();
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, item);
            QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, item);
        } else if (way == QLatin1String("next")) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
        } else {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab,
                            Qt::ControlModifier | Qt::ShiftModifier);
        }
        QMdiSubWindow *front = window.documentArea()->activeSubWindow();
        QTEST(front->windowTitle(), "front");
        QVERIFY(front->isMaximized());
        QVERIFY(tree->topLevelItem(0)->isExpanded()); // its maps stay in view
    }

    void exitQuestion_data()
    {
        testsupport::addColumns<bool, int, QList<bool>, bool, bool, int, bool>(
            {"modified", "choice", "saveResults", "closes", "asked", "saves", "warned"});
        using C = MainWindow::ExitChoice;
        auto row = [](const char *tag, bool modified, C choice, const QList<bool> &saveResults,
                      bool closes, bool asked, int saves, bool warned) {
            QTest::newRow(tag) << modified << int(choice) << saveResults << closes << asked << saves
                               << warned;
        };
        row("nothing modified closes at once", false, C::Cancel, {}, true, false, 0, false);
        row("Annulla keeps the window", true, C::Cancel, {}, false, true, 0, false);
        row("Esci senza salvare closes without saving", true, C::Discard, {}, true, true, 0, false);
        row("Salva tutto saves both and closes", true, C::SaveAll, {true, true}, true, true, 2,
            false);
        row("first save fails: window open, second unsaved", true, C::SaveAll, {false, true}, false,
            true, 1, true);
        row("second save fails: window open", true, C::SaveAll, {true, false}, false, true, 2,
            true);
    }

    void exitQuestion()
    {
        QFETCH(bool, modified);
        QFETCH(int, choice);
        QFETCH(QList<bool>, saveResults);
        QFETCH(int, saves);
        QFETCH(bool, warned);

        MainWindow window;
        window.show();
        FirmwareProject *first = open(window, "a.bin", 32);
        FirmwareProject *second = open(window, "b.bin", 32);
        if (modified) {
            window.documentWindowOf(first)->writeBytes(0, QByteArray("\x01", 1));
            window.documentWindowOf(second)->writeBytes(0, QByteArray("\x02", 1));
        }
        bool questionAsked = false;
        window.setExitQuestion([&] {
            questionAsked = true;
            return MainWindow::ExitChoice(choice);
        });
        QList<FirmwareProject *> saved;
        window.setProjectSaver([&](FirmwareProject &record) {
            const bool ok = saveResults.value(saved.size(), false);
            saved.append(&record);
            if (ok) {
                record.modified = false;
                record.hasBeenSaved = true;
            }
            return ok;
        });

        MessageBoxCloser closer;
        QTEST(window.close(), "closes");
        QTEST(questionAsked, "asked");
        QCOMPARE(saved.size(), saves);
        if (saves > 0)
            QCOMPARE(saved.constFirst(), first); // in the order the documents were opened
        QCOMPARE(closer.shown(), warned);
        if (warned) {
            QCOMPARE(closer.text(),
                     QStringLiteral("Non è stato possibile salvare uno dei progetti."));
            QVERIFY(window.isVisible());
        }
        if (saves == 1)
            QVERIFY(second->modified && !second->hasBeenSaved);
    }

    // Every way a user changes the maps marks the document (what quitting a marked document
    // asks is exitQuestion's). The maps a document opens with are no change.
    void mapWorkMarksTheDocument_data()
    {
        testsupport::addColumns<QString, bool>({"route", "changes"});
        for (const char *route :
             {"A2L import", "map pack import", "cut in the 2D view", "delete from the tree",
              "rename in the properties", "scaling in the properties"})
            QTest::newRow(route) << QString::fromLatin1(route) << true;
        QTest::newRow("properties accepted as they were") << "properties unchanged" << false;
        QTest::newRow("the same pack imported again") << "same pack" << false;
    }

    void mapWorkMarksTheDocument()
    {
        QFETCH(QString, route);
        QFETCH(bool, changes);
        const QString demo = QStringLiteral(TESSA_SOURCE_DIR "/examples/");
        MapPackData pack;
        QVERIFY(readMapPack(demo + QStringLiteral("tessa-demo.tvp"), pack));
        auto *firmware = new Firmware;
        QVERIFY(firmware->load(QString(demo + QStringLiteral("tessa-demo.bin")).toStdString()));

        MainWindow window;
        window.show();
        FirmwareProject *record = window.createDocumentFromFirmware(firmware, pack.maps);
        DocumentWindow *document = window.documentWindowOf(record);
        QCOMPARE(window.mapsItemOf(record)->childCount(), pack.maps.size());
        QVERIFY(!record->modified);

        UserPrompts prompts;
        QStringList messages;
        prompts.message
            = [&](QMessageBox::Icon, const QString &, const QString &text) { messages << text; };
        prompts.openFile = [&](const QString &, const QString &) -> QString {
            return demo + QStringLiteral("tessa-demo.tvp");
        };
        window.projectCommands()->setPrompts(prompts);
        auto properties = [&](const std::function<void(MapPropertiesDialog &)> &edit) {
            MapWindow *map = openMapWindow(document, 1);
            map->setDialogRunner([&](QDialog &dialog) {
                edit(static_cast<MapPropertiesDialog &>(dialog));
                dialog.accept();
                return int(QDialog::Accepted);
            });
            map->openPropertiesDialog();
        };
        if (route == QLatin1String("A2L import")) {
            window.descriptionImporter()->setMessageHook(
                [](QMessageBox::Icon, const QString &, const QString &) {});
            window.descriptionImporter()->applyA2LResult(
                record, A2LParser::parse(demo + QStringLiteral("tessa-demo.a2l")));
        } else if (route == QLatin1String("map pack import")
                   || route == QLatin1String("same pack")) {
            if (route == QLatin1String("map pack import"))
                document->setMaps({});
            record->modified = false;
            window.action(QStringLiteral("importMapPackAction"))->trigger();
            QCOMPARE(messages.size(), 1);
            QVERIFY2(messages.constFirst().startsWith(QStringLiteral("Pacchetto mappe importato")),
                     qPrintable(messages.constFirst()));
            QCOMPARE(record->maps, pack.maps);
        } else if (route == QLatin1String("cut in the 2D view")) {
            document->hex2DView()->setSelection(0x30000, 0x3001F);
            document->hex2DView()->createMapFromSelection();
            QCOMPARE(record->maps.size(), pack.maps.size() + 1);
        } else if (route == QLatin1String("delete from the tree")) {
            document->setMapRemovalQuestion([](const MapDefinition &) { return true; });
            QVERIFY(window.deleteMapOfItem(window.mapsItemOf(record)->child(0)));
        } else if (route == QLatin1String("rename in the properties")) {
            properties([](MapPropertiesDialog &d) { d.nameEdit()->setText(QStringLiteral("Z")); });
            QCOMPARE(record->maps.at(1).name, QStringLiteral("Z"));
        } else if (route == QLatin1String("scaling in the properties")) {
            properties([](MapPropertiesDialog &d) { d.factorBox()->setValue(0.25); });
            QCOMPARE(record->maps.at(1).factor, 0.25);
        } else {
            properties([](MapPropertiesDialog &) {});
        }
        QCOMPARE(record->modified, changes);
    }

    void exportFirmware_data()
    {
        testsupport::addColumns<bool, QString, QString>({"withDocument", "target", "error"});
        const QString failed = QStringLiteral("Errore durante l'esportazione del firmware.");
        QTest::newRow("written") << true << "exported.bin" << QString();
        QTest::newRow("missing folder") << true << "missing/folder/exported.bin" << failed;
        QTest::newRow("target is a folder") << true << "." << failed;
        QTest::newRow("no document") << false << "nothing.bin"
                                     << "Nessun firmware attivo.";
    }

    void exportFirmware()
    {
        QFETCH(bool, withDocument);
        QFETCH(QString, target);
        QFETCH(QString, error);
        QTemporaryDir dir;
        MainWindow window;
        if (withDocument) {
            FirmwareProject *record = open(window, "src.bin", 64);
            window.documentWindowOf(record)->writeBytes(1, QByteArray("\x33", 1));
        }
        const QString path = dir.filePath(target);
        QString message;
        QCOMPARE(window.exportFirmware(path, &message), error.isEmpty());
        QCOMPARE(message, error);
        if (error.isEmpty()) {
            QByteArray expected(64, '\x11');
            expected[1] = '\x33'; // the current image, edits included
            QCOMPARE(testsupport::readFile(path), expected);
        } else if (target != QLatin1String(".")) {
            QVERIFY(!QFileInfo::exists(path));
        }
    }

    void calculator_data()
    {
        testsupport::addColumns<QString, bool>({"program", "warned"});
        QTest::newRow("none on the PATH") << QString() << true;
        QTest::newRow("xcalc alone on the PATH") << "xcalc" << false;
    }

    void calculator()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows starts calc.exe");
#else
        QFETCH(QString, program);
        QFETCH(bool, warned);
        QTemporaryDir bin;
        const QString marker = bin.filePath(QStringLiteral("started"));
        if (!program.isEmpty()) {
            const QString script = testsupport::writeFile(
                bin.filePath(program), "#!/bin/sh\n: > \"" + marker.toUtf8() + "\"\n");
            QVERIFY(QFile::setPermissions(script,
                                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8());
        MainWindow window;
        MessageBoxCloser closer;
        window.action(QStringLiteral("calculatorAction"))->trigger();
        qputenv("PATH", oldPath);
        QCOMPARE(closer.shown(), warned);
        if (warned)
            QCOMPARE(closer.text(), QStringLiteral("Impossibile avviare la calcolatrice."));
        else
            QTRY_VERIFY(QFile::exists(marker));
#endif
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
