#include "hex/hex2dview.h"

#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QSignalSpy>
#include <QUrl>
#include <QtTest>

#include "firmwarefixture.h"
#include "testsupport.h"

namespace {

using testsupport::mapGrid;

QAction *menuAction(QMenu *menu, const QString &text)
{
    for (QAction *a : menu->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

} // namespace

class TestHex2DView : public QObject
{
    Q_OBJECT

    QStringList m_titles;
    QStringList m_texts;
    QString m_answerText; // what the questions answer
    int m_answerInt = 0;

    // A view 876 × 400 (plot 800 pixels wide) of the image; its messages are recorded.
    std::unique_ptr<Hex2DView> makeView(const QByteArray &image)
    {
        auto view = std::make_unique<Hex2DView>();
        view->resize(876, 400);
        Hex2DView::Prompts prompts;
        prompts.information = prompts.warning = [this](const QString &title, const QString &text) {
            m_titles << title;
            m_texts << text;
        };
        prompts.askText = [this](const QString &, const QString &, QString *text) {
            *text = m_answerText;
            return true;
        };
        prompts.askInteger = [this](const QString &, const QString &, int, int, int *v) {
            *v = m_answerInt;
            return true;
        };
        view->setPrompts(prompts);
        view->setImage(image);
        return view;
    }

private slots:
    void init()
    {
        m_titles.clear();
        m_texts.clear();
        m_answerText.clear();
        m_answerInt = 0;
    }

    void dropAcceptance_data()
    {
        testsupport::addColumns<QStringList, bool>({"files", "accepted"});
        QTest::newRow("binary") << QStringList{"/tmp/a.bin"} << true;
        QTest::newRow("OLS in capitals") << QStringList{"/tmp/p.OLS"} << false;
        QTest::newRow("A2L in capitals") << QStringList{"/tmp/d.A2L"} << false;
        QTest::newRow("remote") << QStringList{"https://e.com/a.bin"} << false;
        QTest::newRow("first decides") << QStringList{"/t/a.a2l", "/t/b.bin"} << false;
        QTest::newRow("text, no urls") << QStringList{} << false;
    }
    void dropAcceptance()
    {
        QFETCH(QStringList, files);
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString &f : files)
            urls << (f.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(f) : QUrl(f));
        if (!urls.isEmpty())
            mime.setUrls(urls);
        else
            mime.setText(QStringLiteral("/tmp/a.bin"));
        QTEST(Hex2DView::acceptsDrop(&mime), "accepted");
    }

    void wheelZoomsAroundThePointer()
    {
        auto view = makeView(QByteArray(1 << 20, 7));
        QCOMPARE(view->zoomX(), 256.0);
        QSignalSpy range(view.get(), &Hex2DView::viewRangeChanged);
        QSignalSpy offset(view.get(), &Hex2DView::viewOffsetChanged);
        QWheelEvent in(QPointF(465, 100), QPointF(465, 100), QPoint(), QPoint(0, 120), Qt::NoButton,
                       Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.get(), &in);
        QVERIFY(in.isAccepted());
        QCOMPARE(view->zoomX(), 256.0 * 1.35);
        QCOMPARE(range.count(), 1);
        QCOMPARE(offset.count(), 1);
        QCOMPARE(offset.first().at(0).toInt(), 1 << 19); // zoomed around the middle
    }

    void dragSelectsAndReleaseEnds()
    {
        auto view = makeView(QByteArray(4096, 1));
        view->setValueWidth(2);
        QSignalSpy selection(view.get(), &Hex2DView::selectionChanged);
        QSignalSpy active(view.get(), &Hex2DView::activeSavedMapChanged);
        // Plot 800 pixels over 4096 bytes: x 465 is offset 2048, x 565 is 2560.
        QTest::mousePress(view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(465, 100));
        QCOMPARE(view->cursorOffset(), 2048);
        QCOMPARE(selection.last(), (QList<QVariant>{2048, 2049}));
        QCOMPARE(active.last().at(0).toInt(), -1);
        QTest::mouseMove(view.get(), QPoint(565, 100));
        QCOMPARE(selection.last(), (QList<QVariant>{2048, 2561}));
        QTest::mouseMove(view.get(), QPoint(365, 100));
        QCOMPARE(selection.last(), (QList<QVariant>{1536, 2049}));
        QTest::mouseRelease(view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(365, 100));
        QCOMPARE(view->cursorOffset(), -1);
        QCOMPARE(view->selectionStart(), 1536);
        QCOMPARE(view->selectionEnd(), 2049);
    }

    void savedMapsAreChosenAndOpened()
    {
        auto view = makeView(QByteArray(4096, 1));
        MapDefinition m = mapGrid(2048, 2, 8); // 2048 .. 2079
        m.xAxisOffset = 2000;                  // 2000 .. 2015
        view->setSavedMaps({m});
        view->setSelection(10, 20);
        QSignalSpy active(view.get(), &Hex2DView::activeSavedMapChanged);
        QSignalSpy selection(view.get(), &Hex2DView::selectionChanged);
        QSignalSpy open(view.get(), &Hex2DView::openSavedMapRequested);
        QTest::mousePress(view.get(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(66 + 2000 * 800 / 4096, 100));
        QCOMPARE(active.last().at(0).toInt(), 2048); // its axis counts as the map
        QCOMPARE(selection.last(), (QList<QVariant>{-1, -1}));
        QTest::mouseRelease(view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(466, 100));
        QTest::mouseDClick(view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(466, 100));
        QCOMPARE(open.count(), 1);
        QCOMPARE(open.first().at(0).toInt(), 2048);

        // The context menu on the map starts with its deletion.
        std::unique_ptr<QMenu> menu(view->createContextMenu(QPoint(466, 100)));
        QSignalSpy deleted(view.get(), &Hex2DView::deleteMapRequested);
        menu->actions().first()->trigger();
        QCOMPARE(deleted.first().at(0).toInt(), 2048);
        QSignalSpy properties(view.get(), &Hex2DView::mapPropertiesRequested);
        menuAction(menu.get(), QStringLiteral("Caratteristiche..."))->trigger();
        QCOMPARE(properties.first().at(0).toInt(), 2048);

        // Double click on the scroll bar clears the selection.
        view->setSelection(1, 5);
        QTest::mouseDClick(view.get(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 380));
        QCOMPARE(view->selectionStart(), -1);
    }

    void contextMenuOutsideMaps()
    {
        auto view = makeView(QByteArray(0x10000, 1));
        view->setUserZoomX(4.0);
        std::unique_ptr<QMenu> menu(view->createContextMenu(QPoint(65, 100)));
        QStringList texts;
        for (QAction *a : menu->actions())
            texts << (a->isSeparator() ? QStringLiteral("|") : a->text());
        QCOMPARE(texts,
                 (QStringList{"Modifica assoluta...", "Modifica in percentuale...", "|", "+1", "-1",
                              "|", "Valore originale", "Vai all'indirizzo...", "Caratteristiche...",
                              "Inserisci commento...", "|", "Crea mappa", "Copia indirizzo"}));
        QVERIFY(!menuAction(menu.get(), QStringLiteral("+1"))->isEnabled()); // no selection
        QSignalSpy offset(view.get(), &Hex2DView::viewOffsetChanged);
        m_answerText = QStringLiteral(" 0X8000 ");
        menuAction(menu.get(), QStringLiteral("Vai all'indirizzo..."))->trigger();
        QCOMPARE(offset.last().at(0).toInt(), 0x8000);
        QVERIFY(m_texts.isEmpty());
        m_answerText = QStringLiteral("10000"); // past the end
        menuAction(menu.get(), QStringLiteral("Vai all'indirizzo..."))->trigger();
        QCOMPARE(offset.count(), 1);
        QCOMPARE(m_texts, QStringList{QStringLiteral("Indirizzo non valido.")});
        QCOMPARE(m_titles, QStringList{QStringLiteral("Vai all'indirizzo")});
        m_texts.clear();
        auto whole = makeView(QByteArray(4096, 1)); // offset 0 at the plot's left edge
        std::unique_ptr<QMenu> wholeMenu(whole->createContextMenu(QPoint(65, 100)));
        menuAction(wholeMenu.get(), QStringLiteral("Caratteristiche..."))->trigger();
        QCOMPARE(m_texts, QStringList{"Nessuna mappa presente all'indirizzo 0x00000000."});
        QCOMPARE(m_titles.last(), QStringLiteral("Caratteristiche"));
    }

    void wordEditsGoOutAsRequests()
    {
        m_answerInt = 0x1234;
        auto view = makeView(QByteArray::fromHex("00000000ffff0100") + QByteArray(8, 0));
        view->setSelection(5, 6); // widened to the words at 4 and 6
        QSignalSpy edits(view.get(), &Hex2DView::dataEditRequested);
        std::unique_ptr<QMenu> menu(view->createContextMenu(QPoint(100, 100)));
        menuAction(menu.get(), QStringLiteral("+1"))->trigger();
        QCOMPARE(edits.last().at(0).toInt(), 4);
        QCOMPARE(edits.last().at(1).toByteArray(), QByteArray::fromHex("ffff0200"));
        menuAction(menu.get(), QStringLiteral("Modifica assoluta..."))->trigger();
        QCOMPARE(edits.last().at(1).toByteArray(), QByteArray::fromHex("34123412"));
        // The view never writes its own bytes.
        QCOMPARE(view->currentData().left(8), QByteArray::fromHex("00000000ffff0100"));
    }

    void keyKCutsTheSelection()
    {
        auto view = makeView(QByteArray(4096, 1));
        QSignalSpy created(view.get(), &Hex2DView::mapDefinitionCreated);
        view->setSelection(100, 123); // 24 bytes: no whole rows of 8 columns
        QTest::keyClick(view.get(), Qt::Key_K);
        QCOMPARE(created.count(), 0);
        QCOMPARE(m_titles, QStringList{QStringLiteral("Crea mappa")});
        QCOMPARE(m_texts, QStringList{QStringLiteral(
                              "La selezione non contiene un numero intero di righe.")});
        view->setSelection(100, 131);
        QTest::keyClick(view.get(), Qt::Key_K);
        QCOMPARE(created.count(), 1);
        QCOMPARE(view->savedMaps().first().data.end, qint64(131)); // shown as a band at once
        QCOMPARE(m_texts.size(), 1);
    }

    void currentDataMarksDifferences()
    {
        const QByteArray ori(100, 0);
        auto view = makeView(ori);
        QByteArray mod = ori;
        mod[3] = 1;
        mod[97] = 2;
        view->setCurrentData(mod);
        QCOMPARE(view->differences().count(), 2);
        QVERIFY(view->differences().test(3) && view->differences().test(97));
        view->setCurrentData(QByteArray(99, 0)); // wrong size: ignored
        QCOMPARE(view->currentData(), mod);
        view->setCurrentData(ori);
        QCOMPARE(view->differences().count(), 0);
    }

    // Painting every kind of image and format must neither crash nor read past the bytes.
    void paintsAnyImage_data()
    {
        // zoom (0: zoomed all the way out)
        testsupport::addColumns<int, int, bool, double>({"size", "width", "isFloat", "zoom"});
        QTest::newRow("empty") << 0 << 1 << false << 1.0;
        QTest::newRow("1 byte as words") << 1 << 2 << false << 1.0;
        QTest::newRow("3 bytes as floats") << 3 << 4 << true << 1.0;
        QTest::newRow("odd floats") << 4099 << 4 << true << 1.0;
        QTest::newRow("1 MiB whole") << (1 << 20) << 1 << false << 0.0;
        QTest::newRow("1 MiB deep") << (1 << 20) << 2 << false << 64.0;
    }
    void paintsAnyImage()
    {
        QFETCH(int, size);
        QFETCH(int, width);
        QFETCH(bool, isFloat);
        QFETCH(double, zoom);
        QByteArray image(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            image[i] = char(i * 37 + (i >> 8));
        auto view = makeView(image);
        view->setValueWidth(width);
        view->setFloatMode(isFloat);
        if (zoom > 0)
            view->setUserZoomX(zoom);
        else
            view->zoomAt(-60, 100);
        view->setSavedMaps({mapGrid(size / 2, 1, 1)});
        view->setSelection(0, size / 3);
        QImage target(876, 400, QImage::Format_RGB32);
        QPainter p(&target);
        view->paintView(p);
        p.end();
        QCOMPARE(target.pixelColor(2, 2), QColor(18, 20, 24));
        if (size > 0)
            QVERIFY(target.pixelColor(600, 60) != QColor(18, 20, 24));
    }
};

QTEST_MAIN(TestHex2DView)
#include "tst_hex2dview.moc"
