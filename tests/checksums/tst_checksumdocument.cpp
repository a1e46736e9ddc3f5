#include "app/documentwindow.h"
#include "app/mainwindow.h"
#include "checksums/checksumwidgets.h"
#include "hex/hexmodel.h"
#include "hex/hexviewer.h"
#include "me7image.h"
#include "model/firmware.h"
#include "model/firmwareproject.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

#include "firmwarefixture.h"
#include "messageboxcloser.h"
#include "testsupport.h"

#include <memory>

using namespace me7image;
Q_DECLARE_METATYPE(ChecksumWriteChoice)

// A user's road through the checksums of an ME7 image in the main window: open it, edit a
// value, watch the status, correct, and save a version.
class TestChecksumDocument : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindow> m_window;
    QList<QByteArray> m_saved; // the images the project saver was given
    // A box no test waits for (a correction refused) is closed and fails the test at once
    // rather than holding it until the time-out.
    std::unique_ptr<MessageBoxCloser> m_boxes;

    FirmwareProject *open(const QByteArray &image)
    {
        return m_window->createDocumentFromFirmware(
            testsupport::firmwareOf(image, QStringLiteral("me7.bin")), {});
    }

    QString status() const
    {
        return m_window->activeDocumentWindow()->checksums()->statusButton()->text();
    }

    HexModel *model() const { return m_window->activeDocumentWindow()->hexViewer()->model(); }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        m_window = std::make_unique<MainWindow>();
        m_window->setExitQuestion([] { return MainWindow::ExitChoice::Discard; });
        m_window->setProjectSaver([this](FirmwareProject &record) {
            const auto &d = record.firmware->data();
            m_saved << QByteArray(reinterpret_cast<const char *>(d.data()), qsizetype(d.size()));
            return true;
        });
        m_saved.clear();
        m_boxes = std::make_unique<MessageBoxCloser>();
    }

    void cleanup()
    {
        setChecksumQuestion({});
        m_window.reset();
        m_boxes.reset();
    }

    void editAndCorrect_data()
    {
        QTest::addColumn<QByteArray>("image");
        QTest::newRow("synthetic") << sealed();
        QFile real(QStringLiteral(TESSA_SHARED_DATA_DIR "/ecu/8D0907551N.bin"));
        if (real.open(QIODevice::ReadOnly))
            QTest::newRow("8D0907551N") << real.readAll();
    }

    void editAndCorrect()
    {
        QFETCH(QByteArray, image);
        FirmwareProject *record = open(image);
        QCOMPARE(status(), QStringLiteral("Checksum: OK"));

        // A map value in the first main data area.
        QVERIFY(m_window->activeDocumentWindow()->writeBytes(0x10104, QByteArray(1, '\x7f')));
        QTRY_VERIFY(status().contains(QStringLiteral("errat")));
        const int depth = int(model()->undoStack().size());

        m_window->action(QStringLiteral("correctChecksumAction"))->trigger();
        QVERIFY2(!m_boxes->shown(), qPrintable(m_boxes->text()));
        QCOMPARE(status(), QStringLiteral("Checksum: OK"));
        QCOMPARE(model()->undoStack().size(), depth + 1);
        QVERIFY(record->modified);
        const QByteArray corrected = model()->currentData();
        QCOMPARE(corrected.at(0x10104), '\x7f');

        m_window->action(QStringLiteral("correctChecksumAction"))->trigger();
        QCOMPARE(model()->currentData(), corrected);
        QCOMPARE(model()->undoStack().size(), depth + 1);

        m_window->action(QStringLiteral("undoAction"))->trigger();
        QTRY_VERIFY(status().contains(QStringLiteral("errat")));
    }

    void questionBeforeSaving_data()
    {
        testsupport::addColumns<bool, ChecksumWriteChoice, int, bool>(
            {"edited", "choice", "saves", "okWhenSaved"});
        QTest::newRow("correct") << true << ChecksumWriteChoice::Correct << 1 << true;
        QTest::newRow("keep as is") << true << ChecksumWriteChoice::Keep << 1 << false;
        QTest::newRow("cancel") << true << ChecksumWriteChoice::Cancel << 0 << false;
        QTest::newRow("nothing wrong, nothing asked")
            << false << ChecksumWriteChoice::Cancel << 1 << true;
    }

    void questionBeforeSaving()
    {
        QFETCH(bool, edited);
        QFETCH(ChecksumWriteChoice, choice);
        QFETCH(int, saves);
        FirmwareProject *record = open(sealed());
        if (edited)
            QVERIFY(m_window->activeDocumentWindow()->writeBytes(0x20010, QByteArray(1, '\x01')));
        QString asked;
        setChecksumQuestion([&](const QString &title, const ChecksumReport &) {
            asked = title;
            return choice;
        });
        QCOMPARE(m_window->saveDocument(record), saves == 1);
        QCOMPARE(asked, edited ? QStringLiteral("Salva versione") : QString());
        QCOMPARE(m_saved.size(), saves);
        if (saves)
            QTEST(checkImage(m_saved.first()).allOk(), "okWhenSaved");
    }

    void reportDialog()
    {
        QByteArray image = sealed();
        put16(image, 0x20010, 0x4321); // main program and one multipoint block
        ChecksumReportDialog dialog(checkImage(image));
        auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("checksumTable"));
        QVERIFY(table);
        QCOMPARE(table->rowCount(), 13);
        QStringList wrong;
        for (int row = 0; row < table->rowCount(); ++row)
            if (table->item(row, 5)->text() == QLatin1String("ERRATO"))
                wrong << table->item(row, 0)->text();
        QCOMPARE(wrong, (QStringList{"Somma programma principale", "Multipoint 3"}));
        dialog.findChild<QPushButton *>(QStringLiteral("correctChecksumButton"))->click();
        QVERIFY(dialog.correctionRequested());
    }

    // An image whose checksums no writes can make whole: the command says so and writes
    // nothing, the report offers no correction, and a save asks only whether to go on.
    void uncorrectableImage()
    {
        QByteArray image = sealed();
        put32(image, kMultipointTable + 4 * 16 + 4, kBase + 0x1e04b);
        FirmwareProject *record = open(image);
        QTRY_VERIFY(status().contains(QStringLiteral("errat")));
        m_window->action(QStringLiteral("correctChecksumAction"))->trigger();
        QVERIFY(m_boxes->text().contains(QStringLiteral("non si possono correggere")));
        QVERIFY(model()->undoStack().isEmpty());
        QVERIFY(!record->modified);

        ChecksumReportDialog dialog(checkImage(image));
        QVERIFY(!dialog.findChild<QPushButton *>(QStringLiteral("correctChecksumButton"))
                     ->isEnabled());
        QVERIFY(dialog.findChild<QLabel *>(QStringLiteral("uncorrectableChecksumLabel")));

        setChecksumQuestion([](const QString &, const ChecksumReport &report) {
            return report.uncorrectable() ? ChecksumWriteChoice::Correct
                                          : ChecksumWriteChoice::Keep;
        });
        QVERIFY(!m_window->saveDocument(record));
        QVERIFY(m_saved.isEmpty());
    }

    void foreignImage()
    {
        open(QByteArray(4096, '\x11'));
        QCOMPARE(status(), QStringLiteral("Checksum: non riconosciuto"));
        m_window->action(QStringLiteral("correctChecksumAction"))->trigger();
        QVERIFY(model()->undoStack().isEmpty());
        QCOMPARE(m_window->statusBar()->currentMessage(),
                 QStringLiteral("Nessun modulo checksum riconosce questo firmware."));
    }
};

QTEST_MAIN(TestChecksumDocument)
#include "tst_checksumdocument.moc"
