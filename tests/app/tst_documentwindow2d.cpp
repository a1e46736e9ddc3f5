#include "app/documentwindow.h"
#include "app/mainwindow.h"
#include "app/orimodcomparison.h"
#include "app/transferdialog.h"
#include "app/zoomspinbox.h"
#include "hex/hex2dview.h"
#include "hex/hexmodel.h"
#include "hex/hexviewer.h"
#include "mapeditor/mapwindow.h"
#include "importers/mapfilter.h"
#include "importers/xdfwriter.h"
#include "model/firmwareproject.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTreeWidgetItem>
#include <QtTest>

#include "firmwarefixture.h"
#include "testsupport.h"

namespace {

using testsupport::firmwareOf;

QByteArray pattern(int size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 7) ^ (i >> 9));
    return b;
}

MapDefinition mapAt(int offset, const char *name)
{
    return testsupport::mapGrid(offset, 2, 4, QString::fromLatin1(name));
}

// A document of the bytes, opened in the window.
FirmwareProject *open(MainWindow &main,
                      const QByteArray &bytes,
                      const char *name,
                      const QList<MapDefinition> &maps = {})
{
    return main.createDocumentFromFirmware(firmwareOf(bytes, QString::fromLatin1(name)), maps);
}

} // namespace

class TestDocumentWindow2D : public QObject
{
    Q_OBJECT

    testsupport::TempFolder m_dir;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
    }

    // Edits from the graph reach the image through the hex model; after the first one the
    // model writes in place and the graph shares its bytes instead of holding a second copy.
    void graphEditsShareTheWrittenBytes()
    {
        MainWindow main;
        FirmwareProject *record = open(main, pattern(4096), "a.bin");
        DocumentWindow *doc = main.documentWindowOf(record);
        Hex2DView *view = doc->hex2DView();
        HexModel *model = doc->hexViewer()->model();
        QCOMPARE(doc->currentPage(), 0);
        emit view->dataEditRequested(10, QByteArray::fromHex("beef"));
        QCOMPARE(int(record->firmware->data()[10]), 0xBE);
        QVERIFY(record->modified);
        emit view->dataEditRequested(4095, QByteArray::fromHex("0102")); // does not fit
        QCOMPARE(record->firmware->byteAt(4095), int(uchar(pattern(4096)[4095])));
        const char *buffer = model->currentData().constData();
        QVERIFY(doc->writeBytes(20, QByteArray::fromHex("bbcc")));
        QCOMPARE(model->currentData().constData(), buffer);
        QVERIFY(view->currentData().isSharedWith(model->currentData()));
        QCOMPARE(view->currentData().mid(20, 2), QByteArray::fromHex("bbcc"));
        QCOMPARE(view->differences().count(), 4);
        model->undo();
        QCOMPARE(view->currentData().mid(20, 2), pattern(4096).mid(20, 2));
        QCOMPARE(view->differences().count(), 2);
        QVERIFY(view->differences().test(10));
        QCOMPARE(record->originalBytes, pattern(4096)); // the reference never changes
    }

    // A saved version or a MOD takes another reference: both views mark its changes, and the
    // hex view stays where it was instead of following the graph's reset to the middle.
    void referenceBytesKeepTheHexView()
    {
        MainWindow main;
        FirmwareProject *record = open(main, pattern(1 << 16), "v.bin");
        DocumentWindow *doc = main.documentWindowOf(record);
        QByteArray original = pattern(1 << 16);
        original[100] = char(original[100] ^ 1);
        const int before = doc->hexViewer()->currentOffset();
        doc->setReferenceBytes(original);
        QCOMPARE(doc->hexViewer()->currentOffset(), before);
        QVERIFY(doc->hexViewer()->model()->isModified(100, 1));
        QCOMPARE(doc->hex2DView()->differences().count(), 1);
        QCOMPARE(record->originalBytes, original);
    }

    void mapRoutes()
    {
        MainWindow main;
        FirmwareProject *record = open(main, pattern(1 << 20), "a.bin",
                                       {mapAt(100, "A"), mapAt(200, "B"), mapAt(300, "C")});
        DocumentWindow *doc = main.documentWindowOf(record);
        Hex2DView *view = doc->hex2DView();
        QCOMPARE(view->savedMaps().size(), 3);
        QTreeWidgetItem *maps = main.mapsItemOf(record);

        doc->setMapRemovalQuestion([](const MapDefinition &) { return true; });
        emit view->deleteMapRequested(200);
        QCOMPARE(record->maps.size(), 2);
        QCOMPARE(view->savedMaps().size(), 2);

        // Cutting a map adds it to the list and the tree, and opens its map window.
        view->setSelection(1000, 1031);
        view->createMapFromSelection();
        QCOMPARE(record->maps.size(), 3);
        QCOMPARE(record->maps.last().name, QStringLiteral("Mappa 8 x 2"));
        QCOMPARE(maps->child(2)->data(0, Qt::UserRole).toInt(), 1000);
        QCOMPARE(maps->child(2)->data(0, Qt::UserRole + 10).toInt(), 2);
        QCOMPARE(main.findChildren<MapWindow *>().size(), 1);

        // Its window's renames and definitions reach the list, the tree and the graph.
        MapWindow *cutWindow = main.findChildren<MapWindow *>().constFirst();
        emit cutWindow->mapNameChanged(1000, QStringLiteral("Coppia"));
        QCOMPARE(maps->child(2)->text(0), QStringLiteral("Coppia"));
        MapDefinition wider = record->maps.last();
        wider.columns = 16;
        emit cutWindow->mapDefinitionChanged(wider);
        QCOMPARE(record->maps.last().columns, 16);
        QCOMPARE(view->savedMaps().last().data.end, qint64(1000 + 2 * 16 * 2 - 1));

        // The hex-view end of the routes, as the document window offers it, without echoes.
        QSignalSpy echoes(view, &Hex2DView::viewOffsetChanged);
        QSignalSpy selectionEchoes(view, &Hex2DView::selectionChanged);
        doc->follow2DRange(0x80000, 0x80100);
        QVERIFY(view->visibleStart() <= 0x80000 && view->visibleEnd() >= 0x80100);
        doc->show2DSelection(0x10, 0x1F);
        QCOMPARE(view->selectionStart(), 0x10);
        QCOMPARE(echoes.count(), 0);
        QCOMPARE(selectionEchoes.count(), 0);
        doc->set2DActiveMap(300);
        QCOMPARE(view->activeSavedMap(), 300);
        doc->set2DRowOrigin(6);
        QCOMPARE(view->rowOrigin(), 6);
        doc->createMapIn2D(0x1000, 0x100F);
        QCOMPARE(record->maps.last().mapOffset, 0x1000);
        // A map chosen in the graph is what "Text" takes the hex view to.
        emit view->activeSavedMapChanged(300);
        QCOMPARE(doc->pending2DMapOffset(), 300);
    }

    void switchAndNavigation()
    {
        MainWindow main;
        FirmwareProject *record = open(main, pattern(1 << 20), "big.bin");
        DocumentWindow *doc = main.documentWindowOf(record);
        Hex2DView *view = doc->hex2DView();
        QCOMPARE(view->property("userZoomXPercent").toInt(), 100);
        QCOMPARE(view->zoomX(), 256.0);
        QCOMPARE(view->zoomY(), 2.0);

        doc->findChild<QPushButton *>(QStringLiteral("document2DButton"))->click();
        QCOMPARE(doc->currentPage(), 1);
        QVERIFY(doc->initial2DSyncDone());

        const QList<QPushButton *> all = doc->findChildren<QPushButton *>();
        QList<QPushButton *> nav;
        for (QPushButton *b : all)
            if (b->width() == 42 || b->minimumWidth() == 42)
                nav.append(b);
        QCOMPARE(nav.size(), 6);
        QVERIFY(nav[1]->autoRepeat() && nav[4]->autoRepeat());
        QVERIFY(!nav[2]->autoRepeat());

        QSignalSpy range(view, &Hex2DView::viewRangeChanged);
        QSignalSpy offset(view, &Hex2DView::viewOffsetChanged);
        nav[0]->click(); // |◀
        QCOMPARE(range.last(), (QList<QVariant>{0, 4096}));
        QCOMPARE(offset.last().at(0).toInt(), 0);
        nav[5]->click(); // ▶|
        QCOMPARE(range.last(), (QList<QVariant>{(1 << 20) - 4096, 1 << 20}));
        QCOMPARE(offset.last().at(0).toInt(), (1 << 20) - 1);
        nav[2]->click(); // ◀: 5 % of the window
        QCOMPARE(range.last().at(1).toInt(), (1 << 20) - 205);
        const int reports = range.count();
        nav[1]->click(); // ◀◀ moves quietly
        QCOMPARE(range.count(), reports);
        QVERIFY(view->visibleEnd() < (1 << 20) - 205);
    }

    void toolbarFollowsTheActiveDocument()
    {
        MainWindow main;
        FirmwareProject *a = open(main, pattern(1 << 20), "a.bin");
        Hex2DView *viewA = main.documentWindowOf(a)->hex2DView();
        main.zoomXBox()->setValue(400);
        main.zoomYBox()->setValue(300);
        QCOMPARE(viewA->property("userZoomXPercent").toInt(), 400);
        QCOMPARE(viewA->zoomX(), 1024.0);
        QCOMPARE(viewA->zoomY(), 3.0);
        FirmwareProject *b = open(main, pattern(1 << 20), "b.bin");
        QCOMPARE(main.activeDocument(), b);
        QCOMPARE(main.zoomXBox()->value(), 100);
        main.documentArea()->setActiveSubWindow(a->subWindow);
        QCOMPARE(main.zoomXBox()->value(), 400);
        QCOMPARE(main.zoomYBox()->value(), 300);
        QCOMPARE(main.documentWindowOf(b)->hex2DView()->zoomX(), 256.0);
        main.action(QStringLiteral("moreColumnsAction"))->trigger();
        QCOMPARE(viewA->columns(), 9);
        for (int i = 0; i < 20; ++i)
            main.action(QStringLiteral("fewerColumnsAction"))->trigger();
        QCOMPARE(viewA->columns(), 1);
        main.action(QStringLiteral("rowOriginRightAction"))->trigger();
        QCOMPARE(viewA->rowOrigin(), 2);
        main.action(QStringLiteral("width16Action"))->trigger();
        QCOMPARE(viewA->valueWidth(), 2);
        main.action(QStringLiteral("widthFloatAction"))->trigger();
        QVERIFY(viewA->floatMode());
        main.action(QStringLiteral("bigEndianAction"))->trigger();
        QVERIFY(!viewA->isLittleEndian());
    }

    // The hex-view end of the routes, as the document window offers it.
    void comparison_data()
    {
        testsupport::addColumns<QList<int>, QList<bool>, bool>({"changed", "answers", "opened"});
        // The reports' texts and default buttons are checked with the statistics.
        QTest::newRow("identical, both accepted")
            << QList<int>{} << QList<bool>{true, true} << true;
        QTest::newRow("one byte, cancelled at first")
            << QList<int>{0x1A2B} << QList<bool>{false} << false;
        QTest::newRow("one byte, cancelled at second")
            << QList<int>{0x1A2B} << QList<bool>{true, false} << false;
        QTest::newRow("half changed, opened anyway")
            << QList<int>{-50} << QList<bool>{true, true} << true;
    }
    void comparison()
    {
        QFETCH(QList<int>, changed);
        QFETCH(QList<bool>, answers);
        QFETCH(bool, opened);
        const QByteArray ori = pattern(0x4000);
        QByteArray mod = ori;
        for (int o : changed) {
            if (o < 0) // a percentage of the image
                for (int i = 0; i < ori.size() * -o / 100; ++i)
                    mod[i] = char(~mod[i]);
            else
                mod[o] = char(~mod[o]);
        }
        const QString modPath = m_dir.write(QStringLiteral("mod.bin"), mod);
        MainWindow main;
        FirmwareProject *record = open(main, ori, "ori.bin");
        record->ecu = QStringLiteral("EDC17");
        DocumentWindow *doc = main.documentWindowOf(record);
        doc->hex2DView()->setValueWidth(2);
        main.zoomXBox()->setValue(200);
        doc->show2DPage();
        // Edits made to ORI since it was opened are no change of the MOD's.
        const QByteArray edit = QByteArray::fromHex("a5a5");
        QVERIFY(doc->writeBytes(0x3000, edit));

        QList<CompareReport> reports;
        QStringList warnings;
        OriModComparison::Prompts prompts;
        prompts.showReport = [&](const CompareReport &r, bool) {
            reports << r;
            return answers.value(reports.size() - 1, false);
        };
        prompts.warning = [&](const QString &, const QString &text) { warnings << text; };
        main.oriModComparison()->setPrompts(prompts);

        emit doc->hex2DView()->firmwareDropRequested(modPath);
        QCOMPARE(reports.size(), answers.size());
        const qint64 modChanges = std::count_if(
            mod.cbegin(), mod.cend(), [&, i = 0](char c) mutable { return c != ori[i++]; });
        QVERIFY2(
            reports.first().text.contains(QStringLiteral("Byte differenti: %1\n").arg(modChanges)),
            qPrintable(reports.first().text));
        QVERIFY(warnings.isEmpty());
        QCOMPARE(main.documents().size(), opened ? 2 : 1);
        if (!opened)
            return;
        FirmwareProject *modRecord = main.documents().last();
        QCOMPARE(modRecord->originalBytes, ori);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(modRecord->firmware->data().data()),
                            mod.size()),
                 mod);
        QCOMPARE(modRecord->ecu, QStringLiteral("EDC17"));
        DocumentWindow *modDoc = main.documentWindowOf(modRecord);
        Hex2DView *modView = modDoc->hex2DView();
        QCOMPARE(modView->originalData(), ori);
        QCOMPARE(modView->currentData(), mod);
        QCOMPARE(qint64(modView->differences().count()), modChanges);
        // MOD opens where it first departs from ORI.
        const int first = changed.isEmpty() ? -1 : changed.first() < 0 ? 0 : changed.first();
        if (first >= 0)
            QCOMPARE(modDoc->hexViewer()->currentOffset(), first);
        QCOMPARE(modView->valueWidth(), 2);
        QCOMPARE(modView->zoomX(), doc->hex2DView()->zoomX());
        QCOMPARE(modView->property("userZoomXPercent").toInt(), 200);
        QCOMPARE(main.zoomXBox()->value(), 200);
        QCOMPARE(modDoc->currentPage(), 1);
        QCOMPARE(main.statusBar()->currentMessage(),
                 QStringLiteral("MOD caricato - confronto ORI/MOD attivo."));
        // The ORI document is left as it was.
        QCOMPARE(record->firmware->byteAt(0x3000), 0xA5);
        QCOMPARE(record->originalBytes, ori);
    }

    // With maps, the second report lists the changed maps and the bytes outside them; the MOD
    // takes the ORI's maps, marks the changed one, and the filter can keep only marked maps.
    void comparisonMarksChangedMaps()
    {
        const QByteArray ori = pattern(0x1000);
        QByteArray mod = ori;
        mod[0x102] = char(~mod[0x102]);
        mod[0x800] = char(~mod[0x800]);
        MainWindow main;
        FirmwareProject *record
            = open(main, ori, "ori.bin", {mapAt(0x100, "Iniezione"), mapAt(0x200, "Turbo")});
        QString second;
        OriModComparison::Prompts prompts;
        prompts.showReport = [&](const CompareReport &r, bool isSecond) {
            if (isSecond)
                second = r.text;
            return true;
        };
        main.oriModComparison()->setPrompts(prompts);
        emit main.documentWindowOf(record)->hex2DView()->firmwareDropRequested(
            m_dir.write(QStringLiteral("mod.bin"), mod));
        QVERIFY2(second.contains(QStringLiteral("Mappe modificate: 1\n  Iniezione: 1 celle su 8"))
                     && second.contains(
                         QStringLiteral("fuori dalle mappe: 1 in 1 blocchi\n  0x800–0x800")),
                 qPrintable(second));
        FirmwareProject *modRecord = main.documents().last();
        QCOMPARE(modRecord->maps, record->maps);
        QTreeWidgetItem *maps = main.mapsItemOf(modRecord);
        QVERIFY(maps->child(0)->data(0, MapChangedRole).toBool());
        QVERIFY(!maps->child(1)->data(0, MapChangedRole).toBool());
        QVERIFY(!main.mapsItemOf(record)->child(0)->data(0, MapChangedRole).toBool());
        auto *legend = main.findChild<QLabel *>(QStringLiteral("changedMapsLegend"));
        QVERIFY(legend && !legend->isHidden() && legend->text().contains("ORI (ori.bin)"));

        main.findChild<QToolButton *>(QStringLiteral("mapFilterButton"))->click();
        auto *onlyChanged = main.findChild<QCheckBox *>(QStringLiteral("filterChangedOnlyCheck"));
        QVERIFY(onlyChanged);
        onlyChanged->setChecked(true);
        QVERIFY(!maps->child(0)->isHidden() && maps->child(1)->isHidden());
        // An edit that brings the map back to the ORI takes its mark away, and the open filter
        // follows: another edit that changes the second map shows it instead.
        QVERIFY(main.documentWindowOf(modRecord)->writeBytes(0x102, ori.mid(0x102, 1)));
        QVERIFY(main.documentWindowOf(modRecord)->writeBytes(0x202, QByteArray(1, ~ori.at(0x202))));
        QTRY_VERIFY(!maps->child(0)->data(0, MapChangedRole).toBool());
        QVERIFY(maps->child(0)->icon(0).isNull());
        QTRY_VERIFY(maps->child(0)->isHidden() && !maps->child(1)->isHidden());
        // The legend goes with the last document that has marks (closed without saving).
        modRecord->modified = false;
        modRecord->subWindow->close();
        QTRY_VERIFY(legend->isHidden());
    }

    // "Confronta con...": the open document against another image of its size.
    void compareWith()
    {
        const QByteArray ori = pattern(0x1000);
        QByteArray other = ori;
        other[0x201] = char(~other[0x201]);
        MainWindow main;
        FirmwareProject *record
            = open(main, ori, "a.bin", {mapAt(0x100, "Iniezione"), mapAt(0x200, "Turbo")});
        QString error;
        QVERIFY(main.compareWith(record, other.left(10), QStringLiteral("b.bin"), &error).isEmpty());
        QVERIFY(error.contains("dimensioni differenti"));
        QVERIFY(record->comparisonBytes.isEmpty());
        const QString report = main.compareWith(record, other, QStringLiteral("b.bin"), &error);
        QVERIFY2(report.contains("Mappe modificate: 1\n  Turbo: 1 celle su 8"), qPrintable(report));
        QTreeWidgetItem *maps = main.mapsItemOf(record);
        QVERIFY(!maps->child(0)->data(0, MapChangedRole).toBool());
        QVERIFY(maps->child(1)->data(0, MapChangedRole).toBool());
        QVERIFY(main.action("compareWithAction"));
    }

    // "Trasferisci modifiche...": a reference pair of files with an XDF, computed off the GUI
    // thread; "Applica" writes one undoable edit, adds the map the document lacked and marks it
    // modified. An image of another unit is refused with the transfer's message.
    void transferChanges()
    {
        QByteArray ori(0x8000, 0);
        for (int i = 0; i < ori.size(); ++i)
            ori[i] = char((i * 2654435761u) >> 13);
        MapDefinition map = mapAt(0x4000, "Coppia");
        map.xAxisSource = 0;
        map.yAxisSource = 0;
        for (int k = 0; k < 16; ++k)
            ori[0x4000 + k] = char(10 + k);
        QByteArray mod = ori;
        mod[0x4003] = char(50);
        QByteArray target = ori;
        target.insert(0x2000, QByteArray(0x40, 'x'));
        target.chop(0x40);
        QString error;
        QVERIFY(XdfWriter::writeFile(m_dir.filePath(QStringLiteral("ref.xdf")), {map},
                                     QStringLiteral("ref"), ori.size(), &error));
        MainWindow main;
        QVERIFY(!main.createTransferDialog());
        FirmwareProject *record = open(main, target, "t.bin");
        const auto run = [&](const QByteArray &reference) {
            std::unique_ptr<TransferDialog> dialog(main.createTransferDialog());
            dialog->findChild<QRadioButton *>(QStringLiteral("transferFromFiles"))->setChecked(true);
            dialog->findChild<QLineEdit *>(QStringLiteral("transferOriginalPath"))
                ->setText(m_dir.write(QStringLiteral("ori.bin"), reference));
            dialog->findChild<QLineEdit *>(QStringLiteral("transferModifiedPath"))
                ->setText(m_dir.write(QStringLiteral("mod.bin"), mod));
            dialog->findChild<QLineEdit *>(QStringLiteral("transferDefinitionPath"))
                ->setText(m_dir.filePath(QStringLiteral("ref.xdf")));
            QSignalSpy finished(dialog.get(), &TransferDialog::transferFinished);
            dialog->findChild<QPushButton *>(QStringLiteral("transferRunButton"))->click();
            QVERIFY(finished.wait(10000));
            QCOMPARE(dialog->findChild<QPushButton *>(QStringLiteral("transferApplyButton"))
                         ->isEnabled(),
                     dialog->result().writtenCount() > 0);
            QVERIFY(main.applyTransfer(record, dialog->result())
                    == (dialog->result().writtenCount() > 0));
        };
        run(ori);
        QCOMPARE(record->firmware->byteAt(0x4043), 50);
        QVERIFY(record->modified);
        QCOMPARE(record->maps.size(), 1);
        QCOMPARE(record->maps.first().mapOffset, 0x4040);
        HexModel *model = main.documentWindowOf(record)->hexViewer()->model();
        model->undo();
        QCOMPARE(record->firmware->byteAt(0x4043), 13);

        QByteArray stranger(ori.size(), 0);
        for (int i = 0; i < stranger.size(); ++i)
            stranger[i] = char((i * 40503u) >> 7);
        mod = stranger;
        mod[0x4003] = char(50);
        run(stranger);
        QCOMPARE(record->firmware->byteAt(0x4043), 13);
    }

    void comparisonRefusals()
    {
        const QByteArray ori = pattern(0x1000);
        MainWindow main;
        FirmwareProject *record = open(main, ori, "ori.bin");
        DocumentWindow *doc = main.documentWindowOf(record);
        int reports = 0;
        QStringList titles, warnings;
        OriModComparison::Prompts prompts;
        prompts.showReport = [&](const CompareReport &, bool) { return ++reports, true; };
        prompts.warning = [&](const QString &title, const QString &text) {
            titles << title;
            warnings << text;
        };
        main.oriModComparison()->setPrompts(prompts);
        emit doc->firmwareDropRequested(m_dir.write(QStringLiteral("short.bin"), ori.left(100)));
        emit doc->firmwareDropRequested(m_dir.filePath(QStringLiteral("missing.bin")));
        QCOMPARE(reports, 0);
        QCOMPARE(warnings, (QStringList{QStringLiteral("ORI e MOD hanno dimensioni differenti.\n\n"
                                                       "ORI: 4096 bytes\nMOD: 100 bytes"),
                                        QStringLiteral("Impossibile caricare il file MOD.")}));
        QCOMPARE(titles.first(), QStringLiteral("Confronto ORI / MOD"));
        QCOMPARE(main.documents().size(), 1);
    }
};

QTEST_MAIN(TestDocumentWindow2D)
#include "tst_documentwindow2d.moc"
