#include "app/documentwindow.h"
#include "app/mainwindow.h"
#include "app/mapwindowopener.h"
#include "app/zoomspinbox.h"
#include "hex/createselectiondialog.h"
#include "hex/hex2dview.h"
#include "hex/hexcells.h"
#include "hex/hexdelegate.h"
#include "hex/hexmodel.h"
#include "hex/hexviewer.h"
#include "mapeditor/mapwindow.h"
#include "model/firmware.h"
#include "model/firmwareproject.h"
#include "model/mapdefinition.h"
#include "platform/platform.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include "firmwarefixture.h"
#include "testsupport.h"

namespace {

Firmware *makeFirmware(const QString &name, int size)
{
    return testsupport::firmwareOf(QByteArray(size, 0x11), QStringLiteral("/dumps/") + name);
}

void makeProgram(const QString &folder, const QString &name)
{
    const QString path = testsupport::writeFile(folder + QLatin1Char('/') + name, "#!/bin/sh\n");
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

} // namespace

class TestViewState : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void findCalculator_data()
    {
        // programs (by blanks)
        testsupport::addColumns<QString, QString>({"programs", "chosen"});
        testsupport::addRow("none", {"", ""});
        testsupport::addRow("xcalc alone", {"xcalc", "xcalc"});
        testsupport::addRow("GNOME before the others",
                            {"xcalc kcalc gnome-calculator", "gnome-calculator"});
        testsupport::addRow("KDE before GTK", {"galculator kcalc", "kcalc"});
        testsupport::addRow("galculator before qalculate",
                            {"qalculate-gtk galculator", "galculator"});
        testsupport::addRow("qalculate before xcalc", {"xcalc qalculate-gtk", "qalculate-gtk"});
        testsupport::addRow("unknown calculators are not taken", {"mate-calc calc.exe", ""});
    }
    void findCalculator()
    {
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
        QSKIP("these desktops have one calculator of their own");
#else
        QFETCH(QString, programs);
        const QStringList present = programs.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QTemporaryDir first;
        QTemporaryDir second;
        // Spread over two folders of the fake PATH, as a real system has them.
        for (int i = 0; i < present.size(); ++i)
            makeProgram((i % 2 ? second : first).path(), present.at(i));
        const QString found = Platform::findCalculator({first.path(), second.path()});
        QTEST(QFileInfo(found).fileName(), "chosen");
#endif
    }

    void qtItalian()
    {
        QTranslator empty;
        QTemporaryDir nowhere;
        QVERIFY(!Platform::loadQtItalian(empty, nowhere.path()));
        QTranslator translator;
        if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath)
                           + QStringLiteral("/qtbase_it.qm")))
            QSKIP("Qt's Italian translations are not installed");
        QVERIFY(Platform::loadQtItalian(translator));
        QCOMPARE(translator.translate("QPlatformTheme", "Cancel"), QStringLiteral("Annulla"));
    }

    void syncFolder()
    {
        QTemporaryDir folder;
        const QString file
            = testsupport::writeFile(folder.filePath(QStringLiteral("firmware.bin")), {});
        QVERIFY(!file.isEmpty());
        QVERIFY(Platform::syncFolder(folder.path()));
        QVERIFY(!Platform::syncFolder(folder.filePath(QStringLiteral("missing"))));
        QVERIFY(!Platform::syncFolder(file)); // a file is not a folder
    }

    // Each document keeps its width; the toolbar shows the one of the document in front,
    // with exactly one width checked, also after switching back and forth.
    void mapWindowStandsForItsDocument()
    {
        MainWindow window;
        const MapDefinition map = testsupport::mapGrid(0x20, 2, 2, QStringLiteral("Mappa"));
        window.createDocumentFromFirmware(makeFirmware(QStringLiteral("a.bin"), 256), {map});
        FirmwareProject *withMaps = window.activeDocument();
        DocumentWindow *document = window.activeDocumentWindow();
        window.createDocumentFromFirmware(makeFirmware(QStringLiteral("b.bin"), 256), {});
        QVERIFY(window.activeDocument() != withMaps);

        MapWindow *mapWindow = openMapWindow(document, 0, window.documentArea());
        QVERIFY(mapWindow);
        QCOMPARE(window.documentArea()->activeSubWindow()->widget(), mapWindow);
        QCOMPARE(window.activeDocument(), withMaps);
        QCOMPARE(window.activeDocumentWindow(), document);
    }

    // "ORG" shows the original in the document in front only; switched off, no document is
    // left showing it.
    void originalActsOnTheActiveViewer()
    {
        MainWindow window;
        window.createDocumentFromFirmware(makeFirmware(QStringLiteral("a.bin"), 256), {});
        HexModel *back = window.activeDocumentWindow()->hexViewer()->model();
        window.createDocumentFromFirmware(makeFirmware(QStringLiteral("b.bin"), 256), {});
        HexModel *front = window.activeDocumentWindow()->hexViewer()->model();
        QAction *original = window.action(QStringLiteral("originalAction"));
        original->trigger();
        QVERIFY(front->showOriginal());
        QVERIFY(!back->showOriginal());
        QMdiSubWindow *first = window.documentArea()->subWindowList().constFirst();
        window.documentArea()->setActiveSubWindow(first);
        QVERIFY(back->showOriginal());
        original->trigger();
        QVERIFY(!front->showOriginal());
        QVERIFY(!back->showOriginal());
    }

    void rowOriginStepsTogether_data()
    {
        testsupport::addColumns<QString, int>({"width", "step"});
        QTest::newRow("8 Bit") << "width8Action" << 2;
        QTest::newRow("16 Bit") << "width16Action" << 2;
        QTest::newRow("32 Bit") << "width32Action" << 4;
        QTest::newRow("32 Bit Float") << "widthFloatAction" << 4;
    }
    void rowOriginStepsTogether()
    {
        QFETCH(QString, width);
        QFETCH(int, step);
        MainWindow window;
        window.createDocumentFromFirmware(makeFirmware(QStringLiteral("a.bin"), 4096), {});
        DocumentWindow *document = window.activeDocumentWindow();
        window.action(width)->trigger();
        QAction *right = window.action(QStringLiteral("rowOriginRightAction"));
        QAction *left = window.action(QStringLiteral("rowOriginLeftAction"));
        const HexModel *model = document->hexViewer()->model();
        for (int press = 1; press <= 3; ++press) {
            right->trigger();
            QCOMPARE(model->rowOrigin(), press * step);
            QCOMPARE(document->hex2DView()->rowOrigin(), model->rowOrigin());
        }
        for (int press = 1; press <= 5; ++press) {
            left->trigger();
            QCOMPARE(model->rowOrigin(), (3 - press) * step);
            QCOMPARE(document->hex2DView()->rowOrigin(), model->rowOrigin());
        }
    }

    void narrowingWidthKeepsTheMarksOnTheRows()
    {
        MainWindow window;
        window.createDocumentFromFirmware(makeFirmware(QStringLiteral("a.bin"), 4096), {});
        DocumentWindow *document = window.activeDocumentWindow();
        window.action(QStringLiteral("rowOriginRightAction"))->trigger();
        QCOMPARE(document->hex2DView()->rowOrigin(), 2);
        window.action(QStringLiteral("width32Action"))->trigger();
        QCOMPARE(document->hexViewer()->model()->rowOrigin(), 0);
        QCOMPARE(document->hex2DView()->rowOrigin(), 0);
    }

    void zoomBoxesAgreeWithTheView_data()
    {
        testsupport::addColumns<int, int, int>({"imageSize", "typed", "shown"});
        QTest::newRow("large image at 100 %") << 1 << 100 << 100;
        QTest::newRow("small image cannot show less than all of it") << 0 << 50 << 100;
        QTest::newRow("small image zoomed in") << 0 << 400 << 400;
    }
    void zoomBoxesAgreeWithTheView()
    {
        QFETCH(int, imageSize);
        QFETCH(int, typed);
        QFETCH(int, shown);
        MainWindow window;
        window.createDocumentFromFirmware(
            makeFirmware(QStringLiteral("a.bin"), imageSize ? 1 << 20 : 2048), {});
        Hex2DView *view = window.activeHex2DView();
        window.zoomXBox()->setValue(typed);
        QCOMPARE(window.zoomXBox()->value(), shown);
        QCOMPARE(view->zoomXPercent(), shown);
        QCOMPARE(view->property("userZoomXPercent").toInt(), shown);
    }

    void wheelZoomMovesTheBox()
    {
        MainWindow window;
        window.createDocumentFromFirmware(makeFirmware(QStringLiteral("a.bin"), 1 << 20), {});
        Hex2DView *view = window.activeHex2DView();
        view->resize(800, 400);
        view->zoomAt(2, 300);
        QCOMPARE(window.zoomXBox()->value(), view->zoomXPercent());
        QCOMPARE(view->zoomXPercent(), 182); // 1.35 squared
        // The wheel stops where the box does, at both ends.
        view->zoomAt(40, 300);
        QCOMPARE(view->zoomXPercent(), window.zoomXBox()->maximum());
        QCOMPARE(window.zoomXBox()->value(), window.zoomXBox()->maximum());
        view->zoomAt(-80, 300);
        QCOMPARE(view->zoomXPercent(), window.zoomXBox()->minimum());
        QCOMPARE(window.zoomXBox()->value(), window.zoomXBox()->minimum());
    }

    // A cell clips its text: one too long must still show its sign and leading digits.
    void fittedCellText_data()
    {
        // roomFor (the cell is as wide as this text); extra (pixels more (or less) than that)
        testsupport::addColumns<QString, bool, QString, int, QString, QString>(
            {"text", "decimalFloat", "roomFor", "extra", "starts", "ends"});
        const QString largest = QStringLiteral("340282346638528859811704183484516925440.00");
        const QString ellipsis(QChar(0x2026));
        QTest::newRow("fits exactly") << "-123456.78" << true << "-123456.78" << 0 << "-123456.78"
                                      << "-123456.78";
        QTest::newRow("one pixel short rounds")
            << "-123456.78" << true << "-123456.78" << -1 << "-123457"
            << "-123457";
        QTest::newRow("largest float") << largest << true << "-123456.78" << 0 << "3.4"
                                       << "e+38";
        QTest::newRow("too narrow even then") << largest << true << "3.40" << 0 << "3" << ellipsis;
        QTest::newRow("hex text is only cut")
            << "123456789ABC" << false << "12345" << 0 << "12" << ellipsis;
    }
    void fittedCellText()
    {
        QFETCH(QString, text);
        QFETCH(bool, decimalFloat);
        QFETCH(QString, roomFor);
        QFETCH(int, extra);
        const QFontMetrics metrics(QApplication::font());
        const int room = metrics.horizontalAdvance(roomFor) + extra;
        const QString fitted = HexDelegate::fittedText(text, decimalFloat, metrics, room);
        QVERIFY2(metrics.horizontalAdvance(fitted) <= room, qPrintable(fitted));
        QFETCH(QString, starts);
        QFETCH(QString, ends);
        QVERIFY2(fitted.startsWith(starts) && fitted.endsWith(ends), qPrintable(fitted));
    }

    // The first try of the README in every width: the example image, the first map's data
    // chosen with "Crea selezione" up to its last byte, 16 columns, CREA MAPPA.
    void readmeCutOfTheExample_data()
    {
        QTest::addColumn<QString>("width");
        QTest::newRow("8 Bit") << "width8Action";
        QTest::newRow("16 Bit") << "width16Action";
        QTest::newRow("32 Bit") << "width32Action";
    }
    void readmeCutOfTheExample()
    {
        QFETCH(QString, width);
        QFile file(QStringLiteral(TESSA_EXAMPLES_DIR "/tessa-demo.bin"));
        if (!file.exists())
            QSKIP("the example image is not there");
        auto *fw = new Firmware;
        QVERIFY(fw->load(file.fileName().toStdString()));
        MainWindow window;
        window.createDocumentFromFirmware(fw, {});
        DocumentWindow *document = window.activeDocumentWindow();
        window.action(width)->trigger();
        for (int i = 0; i < 8; ++i)
            window.action(QStringLiteral("moreColumnsAction"))->trigger();
        CreateSelectionDialog dialog(document->hexViewer(), [] { return -1; });
        dialog.fromEdit()->setText(QStringLiteral("10000"));
        dialog.toEdit()->setText(QStringLiteral("1017F"));
        QVERIFY(dialog.apply());
        window.action(QStringLiteral("createMapAction"))->trigger();
        const QList<MapDefinition> &maps = document->record()->maps;
        QCOMPARE(maps.size(), 1);
        QCOMPARE(maps.first().mapOffset, 0x10000);
        QCOMPARE(maps.first().rows, 12);
        QCOMPARE(maps.first().columns, 16);
        QCOMPARE(maps.first().xAxisOffset, 0xFFC4 + 2 * 14);
        QCOMPARE(maps.first().yAxisOffset, 0xFFC4 + 4);
    }
};

QTEST_MAIN(TestViewState)
#include "tst_viewstate.moc"
