#include "model/firmware.h"
#include "model/firmwareproject.h"
#include "projects/importwizard.h"
#include "projects/projectsaver.h"
#include "projects/projectstore.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

class TestImportWizard : public QObject
{
    Q_OBJECT

private:
    static ImportFacts facts(int matches)
    {
        ImportFacts f;
        f.fileName = QStringLiteral("dump.v2.bin");
        f.fileSize = 1536;
        f.sha256 = QString(64, QLatin1Char('a'));
        f.identification.ecuFamily = QStringLiteral("EDC17C46");
        f.identification.softwareNumber = QStringLiteral("1037541778");
        for (int i = 0; i < matches; ++i) {
            ProjectMatch m;
            m.folder = QStringLiteral("/projects/p%1").arg(i);
            m.name = QStringLiteral("p%1").arg(i);
            m.label = i == 0 ? QStringLiteral("IDENTICO") : QStringLiteral("SIMILE");
            f.matches.append(m);
        }
        return f;
    }

    static void checkPage(const ImportWizard &w, int page)
    {
        QCOMPARE(w.currentPage(), page);
        QCOMPARE(w.stepLabel()->text(), QStringLiteral("Passaggio %1 di 3").arg(page + 1));
        QCOMPARE(w.backButton()->isEnabled(), page >= 1);
        QCOMPARE(w.nextButton()->isHidden(), page == 2);
        QCOMPARE(w.importButton()->isHidden(), page != 2);
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void lengthText_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("text");
        QTest::newRow("1536") << qint64(1536) << "1536 byte  (1.5 KB / 0.00 MB)";
        QTest::newRow("empty") << qint64(0) << "0 byte  (0.0 KB / 0.00 MB)";
        QTest::newRow("256 KiB") << qint64(262144) << "262144 byte  (256.0 KB / 0.25 MB)";
        QTest::newRow("16 MiB") << qint64(16777216) << "16777216 byte  (16384.0 KB / 16.00 MB)";
    }

    void lengthText()
    {
        QFETCH(qint64, size);
        QFETCH(QString, text);
        QCOMPARE(fileLengthText(size), text);
    }

    void filePageShowsTheFacts()
    {
        ImportWizard w(facts(0));
        QCOMPARE(w.lengthLabel()->text(), QStringLiteral("1536 byte  (1.5 KB / 0.00 MB)"));
        QCOMPARE(w.findChild<QLabel *>(QStringLiteral("sha256Label"))->text(),
                 QString(64, QLatin1Char('a')));
        QCOMPARE(w.windowTitle(), QStringLiteral("Importazione firmware - Tessamorvandi"));
    }

    void navigation()
    {
        ImportWizard w(facts(0));
        checkPage(w, 0);
        w.goBack();
        checkPage(w, 0);
        QTest::mouseClick(w.nextButton(), Qt::LeftButton);
        checkPage(w, 1);
        QTest::mouseClick(w.nextButton(), Qt::LeftButton);
        checkPage(w, 2);
        w.goNext();
        checkPage(w, 2);
        QTest::mouseClick(w.backButton(), Qt::LeftButton);
        checkPage(w, 1);
        QVERIFY(w.wizardResult().projectFolderToOpen.isEmpty());
    }

    void importCopiesTrimmedTexts()
    {
        ImportWizard w(facts(0));
        w.goNext();
        w.goNext();
        QCOMPARE(w.field(QStringLiteral("ecu"))->text(), QStringLiteral("EDC17C46"));
        QCOMPARE(w.field(QStringLiteral("software"))->text(), QStringLiteral("1037541778"));
        QVERIFY(w.field(QStringLiteral("customer"))->text().isEmpty());
        w.field(QStringLiteral("customer"))->setText(QStringLiteral("  Rossi  "));
        w.field(QStringLiteral("vehicleBrand"))->setText(QStringLiteral("Audi "));
        w.notes()->setPlainText(QStringLiteral("\n remap \n"));
        w.searchMapsBox()->setChecked(true);
        QTest::mouseClick(w.importButton(), Qt::LeftButton);
        QCOMPARE(w.result(), int(QDialog::Accepted));
        const WizardResult &r = w.wizardResult();
        QCOMPARE(r.ecu, QStringLiteral("EDC17C46"));
        QCOMPARE(r.customer, QStringLiteral("Rossi"));
        QCOMPARE(r.vehicleBrand, QStringLiteral("Audi"));
        QCOMPARE(r.notes, QStringLiteral("remap"));
        QCOMPARE(r.fileName, QStringLiteral("dump.v2.bin"));
        QCOMPARE(r.fileExtension, QStringLiteral("bin"));
        QCOMPARE(r.fileSize, qint64(1536));
        QVERIFY(r.searchMapsAfterImport);
        QVERIFY(r.projectFolderToOpen.isEmpty());
    }

    void cancelRejects()
    {
        ImportWizard w(facts(1));
        w.goNext();
        w.goNext();
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("wizardCancelButton")),
                          Qt::LeftButton);
        QCOMPARE(w.result(), int(QDialog::Rejected));
    }

    void openInsteadNeedsARow_data()
    {
        QTest::addColumn<int>("matches");
        QTest::addColumn<QString>("note");
        QTest::newRow("none") << 0
                              << "Non sono stati trovati progetti uguali o simili già salvati.";
        QTest::newRow("two") << 2
                             << "Sono stati trovati progetti già presenti. Puoi aprire quello "
                                "selezionato oppure ignorare la corrispondenza e continuare con "
                                "una nuova importazione.";
    }

    void openInsteadNeedsARow()
    {
        QFETCH(int, matches);
        QFETCH(QString, note);
        ImportWizard w(facts(matches));
        w.goNext();
        const QList<QLabel *> labels = w.findChildren<QLabel *>(QStringLiteral("pageNote"));
        QVERIFY(std::any_of(labels.cbegin(), labels.cend(),
                            [&](QLabel *l) { return l->text() == note; }));
        QCOMPARE(w.matchesTable()->rowCount(), matches);
        QCOMPARE(w.openProjectButton()->isEnabled(), matches > 0);
        if (!matches)
            return;
        QCOMPARE(w.matchesTable()->item(1, 0)->text(), QStringLiteral("SIMILE"));
        w.matchesTable()->setCurrentCell(1, 3);
        w.openProjectButton()->click();
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QCOMPARE(w.wizardResult().projectFolderToOpen, QStringLiteral("/projects/p1"));
    }

    void savedProjectOfTheSameImageIsIdentical()
    {
        QTemporaryDir dir;
        ProjectStore store(dir.filePath(QStringLiteral("Projects")));
        const QByteArray bytes
            = QByteArray("xx EDC17C46") + QByteArray(1, '\0') + QByteArray(100, '\x7f');
        FirmwareProject record;
        record.firmware = std::make_unique<Firmware>();
        record.firmware->setData(bytes.constData(), std::size_t(bytes.size()));
        record.fileName = QStringLiteral("ecu.bin");
        record.ecu = QStringLiteral("something else");
        QVERIFY(saveProject(record, store, VersionQuestions()));

        const QString path = dir.filePath(QStringLiteral("other name.ori"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        Firmware loaded;
        QVERIFY(loaded.load(path.toStdString()));
        const ImportFacts facts = ImportWizard::factsFor(loaded, path, store);
        QCOMPARE(facts.fileName, QStringLiteral("other name.ori"));
        QCOMPARE(facts.fileSize, qint64(bytes.size()));
        QCOMPARE(facts.identification.ecuFamily, QStringLiteral("EDC17C46"));
        QCOMPARE(facts.matches.size(), 1);
        QCOMPARE(facts.matches.first().label, QStringLiteral("IDENTICO"));
        QCOMPARE(facts.matches.first().name, QStringLiteral("ecu"));
    }
};

QTEST_MAIN(TestImportWizard)
#include "tst_importwizard.moc"
