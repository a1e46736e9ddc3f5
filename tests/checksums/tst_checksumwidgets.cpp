#include "checksums/checksumwidgets.h"
#include "hex/hexmodel.h"
#include "me7image.h"

#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

using namespace me7image;
Q_DECLARE_METATYPE(ChecksumWriteChoice)

// The document's checksum status and the question before an image leaves the program.
class TestChecksumWidgets : public QObject
{
    Q_OBJECT

    static QByteArray edited()
    {
        QByteArray image = sealed();
        put16(image, 0x20010, 0x4321); // main program and one multipoint block
        return image;
    }

private slots:
    void cleanup() { setChecksumQuestion({}); }

    void statusFollowsEdits()
    {
        QWidget parent;
        HexModel model;
        model.setFirmware(sealed());
        DocumentChecksums checksums(&model, &parent);
        QCOMPARE(checksums.statusButton()->text(), QStringLiteral("Checksum: OK"));

        QVERIFY(model.writeBytesAt(0x20010, QByteArray::fromHex("2143")));
        // The status waits for a run of edits to end, then follows.
        QCOMPARE(checksums.statusButton()->text(), QStringLiteral("Checksum: OK"));
        QTRY_COMPARE(checksums.statusButton()->text(),
                     QStringLiteral("Checksum: 2 blocchi errati"));

        QCOMPARE(checksums.correct(), 2);
        QCOMPARE(checksums.statusButton()->text(), QStringLiteral("Checksum: OK"));
        model.undo();
        QTRY_COMPARE(checksums.statusButton()->text(),
                     QStringLiteral("Checksum: 2 blocchi errati"));
    }

    void foreignImage()
    {
        QWidget parent;
        HexModel model;
        model.setFirmware(QByteArray(4096, '\x11'));
        DocumentChecksums checksums(&model, &parent);
        QCOMPARE(checksums.statusButton()->text(), QStringLiteral("Checksum: non riconosciuto"));
        QCOMPARE(checksums.correct(), 0);
        QVERIFY(model.undoStack().isEmpty());
        QVERIFY(checksums.confirmBeforeWriting(QStringLiteral("Salva versione")));
    }

    void questionBeforeWriting_data()
    {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<ChecksumWriteChoice>("choice");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("goesOn");
        QTest::addColumn<bool>("okAfter");
        QTest::newRow("correct") << edited() << ChecksumWriteChoice::Correct << true << true
                                 << true;
        QTest::newRow("keep as is")
            << edited() << ChecksumWriteChoice::Keep << true << true << false;
        QTest::newRow("cancel") << edited() << ChecksumWriteChoice::Cancel << true << false
                                << false;
        QTest::newRow("nothing wrong, nothing asked")
            << sealed() << ChecksumWriteChoice::Cancel << false << true << true;
    }

    void questionBeforeWriting()
    {
        QFETCH(QByteArray, image);
        QFETCH(ChecksumWriteChoice, choice);
        QFETCH(bool, asked);
        QFETCH(bool, goesOn);
        QFETCH(bool, okAfter);
        QWidget parent;
        HexModel model;
        model.setFirmware(sealed());
        model.setCurrentData(image);
        DocumentChecksums checksums(&model, &parent);
        QString askedTitle;
        setChecksumQuestion([&](const QString &title, const ChecksumReport &report) {
            askedTitle = title;
            [&] { QCOMPARE(report.wrongBlocks(), 2); }();
            return choice;
        });
        QCOMPARE(checksums.confirmBeforeWriting(QStringLiteral("Esporta firmware")), goesOn);
        QCOMPARE(askedTitle, asked ? QStringLiteral("Esporta firmware") : QString());
        QCOMPARE(checksums.report().allOk(), okAfter);
    }

    void reportDialogListsBlocks()
    {
        QByteArray image = edited();
        const ChecksumReport report = checkImage(image);
        ChecksumReportDialog dialog(report);
        auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("checksumTable"));
        QVERIFY(table);
        QCOMPARE(table->rowCount(), int(report.blocks.size()));
        int wrong = 0;
        for (int row = 0; row < table->rowCount(); ++row)
            wrong += table->item(row, 5)->text() == QLatin1String("ERRATO");
        QCOMPARE(wrong, 2);
        auto *correct = dialog.findChild<QPushButton *>(QStringLiteral("correctChecksumButton"));
        QVERIFY(correct && correct->isEnabled());
        correct->click();
        QVERIFY(dialog.correctionRequested());
    }
};

QTEST_MAIN(TestChecksumWidgets)
#include "tst_checksumwidgets.moc"
