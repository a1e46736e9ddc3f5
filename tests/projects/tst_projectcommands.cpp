#include "app/documentwindow.h"
#include "app/mainwindow.h"
#include "model/firmwareproject.h"
#include "model/mappack.h"
#include "projects/importwizard.h"
#include "projects/projectbrowser.h"
#include "projects/projectcommands.h"
#include "projects/projectdatadialog.h"
#include "projects/versionchooser.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include "testsupport.h"

namespace {

const QString DemoImage = testsupport::example("tessa-demo.bin");
const QString DemoPack = testsupport::example("tessa-demo.tvp");
using testsupport::byteOf;

// Answers every prompt from scripted values and records what was shown.
struct Script
{
    QStringList messages; // "title|text"
    QList<std::optional<QString>> names;
    QList<int> choices;
    QList<bool> confirmations;
    QString saveFile;
    QString openFile;
    QStringList asked;

    UserPrompts prompts()
    {
        UserPrompts p;
        p.message = [this](QMessageBox::Icon, const QString &title, const QString &text) {
            messages << title + QLatin1Char('|') + text;
        };
        p.confirm = [this](const QString &, const QString &) {
            return confirmations.isEmpty() ? false : confirmations.takeFirst();
        };
        p.choose = [this](const QString &title, const QString &text,
                          const QList<UserPrompts::Button> &buttons) {
            asked << title + QLatin1Char('|') + text + QLatin1Char('|') + buttons.value(0).first;
            return choices.isEmpty() ? -1 : choices.takeFirst();
        };
        p.text = [this](const QString &title, const QString &, const QString &preset) {
            asked << title + QLatin1Char('|') + preset;
            return names.isEmpty() ? std::optional<QString>() : names.takeFirst();
        };
        p.saveFile = [this](const QString &title, const QString &proposed, const QString &) {
            asked << title + QLatin1Char('|') + proposed;
            return saveFile;
        };
        p.openFile = [this](const QString &, const QString &) { return openFile; };
        return p;
    }
};

// The wizard as a user who fills in the customer and presses "IMPORTA FIRMWARE".
bool finishWizard(QWidget *,
                  Firmware &firmware,
                  const QString &path,
                  const ProjectStore &store,
                  WizardResult &result)
{
    ImportWizard wizard(ImportWizard::factsFor(firmware, path, store));
    wizard.goNext();
    wizard.goNext();
    wizard.field(QStringLiteral("customer"))->setText(QStringLiteral("Officina Rossi"));
    wizard.importButton()->click();
    result = wizard.wizardResult();
    return wizard.result() == QDialog::Accepted;
}

// What the wizard shows for a 1536-byte image, with `matches` saved projects.
ImportFacts facts(int matches)
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

void checkPage(const ImportWizard &w, int page)
{
    QCOMPARE(w.currentPage(), page);
    QCOMPARE(w.stepLabel()->text(), QStringLiteral("Passaggio %1 di 3").arg(page + 1));
    QCOMPARE(w.backButton()->isEnabled(), page >= 1);
    QCOMPARE(w.nextButton()->isHidden(), page == 2);
    QCOMPARE(w.importButton()->isHidden(), page != 2);
    QVERIFY((page == 2 ? w.importButton() : w.nextButton())->isDefault());
}

} // namespace

class TestProjectCommands : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MainWindow> m_window;
    Script m_script;

    ProjectCommands *commands() const { return m_window->projectCommands(); }
    QString root() const { return m_dir->filePath(QStringLiteral("Projects")); }

    FirmwareProject *openDemo()
    {
        const int before = int(m_window->documents().size());
        if (!m_window->openFirmwareThroughWizard(DemoImage))
            return nullptr;
        return m_window->documents().size() == before + 1 ? m_window->documents().last() : nullptr;
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_window = std::make_unique<MainWindow>();
        m_script = Script();
        commands()->setStore(ProjectStore(root()));
        UserPrompts prompts = m_script.prompts();
        prompts.status = [this](const QString &text, int timeout) {
            m_window->statusBar()->showMessage(text, timeout);
        };
        commands()->setPrompts(prompts);
        commands()->setWizardRunner(finishWizard);
    }

    void cleanup()
    {
        m_window->setExitQuestion([] { return MainWindow::ExitChoice::Discard; });
        m_window.reset();
    }

    void lengthText_data()
    {
        testsupport::addColumns<qint64, QString>({"size", "text"});
        QTest::newRow("empty") << qint64(0) << "0 byte  (0.0 KB / 0.00 MB)";
        QTest::newRow("16 MiB") << qint64(16777216) << "16777216 byte  (16384.0 KB / 16.00 MB)";
    }

    void lengthText()
    {
        QFETCH(qint64, size);
        QTEST(fileLengthText(size), "text");
    }

    void navigationAndImport()
    {
        ImportWizard w(facts(0));
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(w.lengthLabel()->text(), QStringLiteral("1536 byte  (1.5 KB / 0.00 MB)"));
        QCOMPARE(w.findChild<QLabel *>(QStringLiteral("sha256Label"))->text(),
                 QString(64, QLatin1Char('a')));
        checkPage(w, 0);
        w.goBack();
        checkPage(w, 0);
        QTest::keyClick(w.focusWidget(), Qt::Key_Return); // Enter moves on, never cancels
        checkPage(w, 1);
        QTest::mouseClick(w.nextButton(), Qt::LeftButton);
        checkPage(w, 2);
        w.goNext();
        checkPage(w, 2);
        QTest::mouseClick(w.backButton(), Qt::LeftButton);
        checkPage(w, 1);
        w.goNext();

        // The identification is offered for editing; what is typed is kept trimmed.
        QCOMPARE(w.field(QStringLiteral("ecu"))->text(), QStringLiteral("EDC17C46"));
        QCOMPARE(w.field(QStringLiteral("software"))->text(), QStringLiteral("1037541778"));
        w.field(QStringLiteral("customer"))->setText(QStringLiteral("  Rossi  "));
        w.field(QStringLiteral("vehicleBrand"))->setText(QStringLiteral("Audi "));
        w.notes()->setPlainText(QStringLiteral("\n remap \n"));
        w.searchMapsBox()->setChecked(true);
        QTest::keyClick(w.field(QStringLiteral("year")), Qt::Key_Return);
        QCOMPARE(w.result(), int(QDialog::Accepted));
        const WizardResult &r = w.wizardResult();
        QCOMPARE(r.customer, QStringLiteral("Rossi"));
        QCOMPARE(r.vehicleBrand, QStringLiteral("Audi"));
        QCOMPARE(r.notes, QStringLiteral("remap"));
        QCOMPARE(r.fileExtension, QStringLiteral("bin"));
        QVERIFY(r.searchMapsAfterImport);
        QVERIFY(r.projectFolderToOpen.isEmpty());
    }

    void openInsteadNeedsARow_data()
    {
        testsupport::addColumns<int, QString>({"matches", "note"});
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
        if (!matches) {
            QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("wizardCancelButton")),
                              Qt::LeftButton);
            QCOMPARE(w.result(), int(QDialog::Rejected));
            return;
        }
        QCOMPARE(w.matchesTable()->item(1, 0)->text(), QStringLiteral("SIMILE"));
        w.matchesTable()->setCurrentCell(1, 3);
        w.openProjectButton()->click();
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QCOMPARE(w.wizardResult().projectFolderToOpen, QStringLiteral("/projects/p1"));
    }

    void importSaveVersionsAndReopenThem()
    {
        FirmwareProject *record = openDemo();
        QVERIFY(record);
        // The record is filled from the image and the wizard.
        QCOMPARE(record->ecu, QStringLiteral("EDC17C46"));
        QCOMPARE(record->calibration, QStringLiteral("P643A2XK"));
        QCOMPARE(record->customer, QStringLiteral("Officina Rossi"));
        const QByteArray original = record->originalBytes;

        // "Salva" of the unchanged image asks nothing.
        m_window->action(QStringLiteral("saveAction"))->trigger();
        QCOMPARE(m_window->statusBar()->currentMessage(), QStringLiteral("Progetto salvato"));
        QVERIFY(m_script.asked.isEmpty());

        // An edit, then "Salva": the first version is offered as "Stage 1".
        DocumentWindow *document = m_window->documentWindowOf(record);
        QVERIFY(document->writeBytes(0x10000, QByteArray("\x34\x12", 2)));
        m_script.names = {QStringLiteral("Stage 1")};
        m_window->action(QStringLiteral("saveAction"))->trigger();
        QCOMPARE(m_script.asked, QStringList{QStringLiteral("Salva versione|Stage 1")});
        QVERIFY(!record->modified);

        // A further edit: the question names the version; "Annulla" keeps the document modified.
        QVERIFY(document->writeBytes(0x10002, QByteArray("\x00\x00", 2)));
        m_script.asked.clear();
        m_script.choices = {2, 0};
        QVERIFY(!m_window->saveDocument(record));
        QCOMPARE(m_script.asked.value(0),
                 QStringLiteral("Salva versione|Hai modificato \"Stage 1\".\n\nCome vuoi salvare "
                                "le modifiche?|Salva in Stage 1"));
        QVERIFY(record->modified);
        m_window->action(QStringLiteral("saveAction"))->trigger();
        QVERIFY(!record->modified);

        // Reopen the version from the browser: its bytes, the original as reference.
        commands()->setProjectChooser(
            [](const ProjectStore &store) { return store.listProjects().value(0).folder; });
        commands()->setVersionPicker([](const QString &projectFolder) {
            return std::optional<VersionEntry>(ProjectStore::listVersions(projectFolder).value(1));
        });
        m_window->findChild<QToolButton *>(QStringLiteral("openProjectButton"))->click();
        QCOMPARE(m_window->documents().size(), 2);
        FirmwareProject *reopened = m_window->documents().last();
        QCOMPARE(reopened->originalBytes, original);
        QCOMPARE(reopened->firmware->data()[0x10000], uint8_t(0x34));
        QCOMPARE(reopened->firmware->data()[0x10002], uint8_t(0x00));
        QCOMPARE(reopened->subWindow->windowTitle(), QStringLiteral("Stage 1"));
        QCOMPARE(m_window->mapsItemOf(reopened)->parent()->text(0), QStringLiteral("Stage 1"));
        QCOMPARE(m_window->statusBar()->currentMessage(),
                 QStringLiteral("Progetto aperto: tessa-demo - Stage 1"));

        // A second import of the same image lists the project as identical.
        Firmware again;
        QVERIFY(again.load(DemoImage.toStdString()));
        const ImportFacts facts = ImportWizard::factsFor(again, DemoImage, commands()->store());
        QCOMPARE(facts.matches.size(), 1);
        QCOMPARE(facts.matches.first().label, QStringLiteral("IDENTICO"));

        // Imported anew all the same, given the pack's maps and saved: the project's original
        // keeps its maps unless the user chooses to replace them.
        FirmwareProject *second = openDemo();
        QVERIFY(second);
        m_script.openFile = DemoPack;
        m_window->action(QStringLiteral("importMapPackAction"))->trigger();
        QCOMPARE(second->maps.size(), 4);
        const QString originalPack = record->projectFolder + QStringLiteral("/Originale/maps.tvp");
        const QByteArray before = testsupport::readFile(originalPack);
        m_script.asked.clear();
        m_script.choices = {2};
        QVERIFY(!m_window->saveDocument(second));
        QCOMPARE(m_script.asked,
                 QStringList{QStringLiteral("Salva progetto|Il progetto \"tessa-demo\" esiste già, "
                                            "con il suo originale, le sue mappe e le sue "
                                            "versioni.\n\nCome vuoi salvare questo "
                                            "firmware?|Crea nuova versione...")});
        m_script.choices = {0};
        m_script.names = {QStringLiteral("Pacchetto")};
        QVERIFY(m_window->saveDocument(second));
        QCOMPARE(testsupport::readFile(originalPack), before);
        QCOMPARE(second->savedFirmwarePath,
                 record->projectFolder + QStringLiteral("/Versioni/Pacchetto/firmware.bin"));
    }

    // Damaged input is explained before anything opens; the wizard names the format read.
    void damagedInputIsToldFirst_data()
    {
        // choice (answer to the question, when one is asked); told (the question or warning; blank
        // when none); type (the wizard's "Tipo:", blank when it never opens)
        testsupport::addColumns<QString, QByteArray, int, QString, QString>(
            {"fileName", "content", "choice", "told", "type"});
        const QByteArray clean = ":0400000001020304F2\n:00000001FF\n";
        const QByteArray damaged = ":0400000001020304F2\n:04000400GG020304F2\n:0400";
        const QString question = QStringLiteral(
            "Apri Firmware|Il file è stato letto, ma non è integro:\n\n- Righe Intel HEX "
            "scartate perché non valide: 2 (la prima è la riga 2).\n- Manca il record di fine "
            "file Intel HEX: il file potrebbe essere troncato.\n\nL'immagine potrebbe essere "
            "incompleta. Vuoi aprirlo comunque?|Apri comunque");
        QTest::newRow("clean Intel HEX")
            << "ecu.hex" << clean << -1 << QString() << "File Intel HEX / Firmware ECU";
        QTest::newRow("raw binary")
            << "ecu.bin" << clean << -1 << QString() << "File binario / Firmware ECU";
        QTest::newRow("damaged, opened anyway")
            << "ecu.hex" << damaged << 0 << question << "File Intel HEX / Firmware ECU";
        QTest::newRow("damaged, cancelled") << "ecu.hex" << damaged << 1 << question << QString();
        QTest::newRow("0 bytes") << "ecu.bin" << QByteArray() << -1
                                 << "Errore|Impossibile caricare il firmware.\n\nIl file è vuoto "
                                    "(0 byte): non contiene un'immagine firmware."
                                 << QString();
    }

    void damagedInputIsToldFirst()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QFETCH(int, choice);
        QFETCH(QString, told);
        QFETCH(QString, type);
        const QString path = testsupport::writeFile(m_dir->filePath(fileName), content);
        QVERIFY(!path.isEmpty());
        m_script.choices = {choice};
        QString shownType;
        commands()->setWizardRunner([&](QWidget *, Firmware &firmware, const QString &p,
                                        const ProjectStore &store, WizardResult &result) {
            ImportWizard wizard(ImportWizard::factsFor(firmware, p, store));
            for (const QLabel *label : wizard.findChildren<QLabel *>())
                if (label->text().endsWith(QLatin1String("/ Firmware ECU")))
                    shownType = label->text();
            return finishWizard(nullptr, firmware, p, store, result);
        });
        const bool opened = m_window->openFirmwareThroughWizard(path);
        QCOMPARE(opened, !type.isEmpty());
        QCOMPARE(m_window->documents().size(), type.isEmpty() ? 0 : 1);
        QCOMPARE(shownType, type);
        const QStringList toldNow = m_script.asked + m_script.messages;
        QCOMPARE(toldNow, told.isEmpty() ? QStringList() : QStringList{told});
    }

    void closingAModifiedDocumentSaves_data()
    {
        QTest::addColumn<bool>("exit");
        QTest::newRow("document window") << false;
        QTest::newRow("exit with \"Salva tutto\"") << true;
    }

    void closingAModifiedDocumentSaves()
    {
        QFETCH(bool, exit);
        FirmwareProject *record = openDemo();
        QVERIFY(record);
        QVERIFY(m_window->documentWindowOf(record)->writeBytes(9, QByteArray("\x09", 1)));
        m_script.names = {QStringLiteral("Stage 1")};
        m_window->setExitQuestion([] { return MainWindow::ExitChoice::SaveAll; });
        QVERIFY(exit ? m_window->close() : record->subWindow->close());
        if (!exit)
            QTRY_VERIFY(m_window->documents().isEmpty());
        QCOMPARE(byteOf(root() + QStringLiteral("/tessa-demo/Versioni/Stage 1/firmware.bin"), 9),
                 '\x09');
    }

    void mapPackExportAndImport()
    {
        FirmwareProject *record = openDemo();
        QVERIFY(record);
        QAction *exportAction = m_window->action(QStringLiteral("exportMapPackAction"));
        QAction *importAction = m_window->action(QStringLiteral("importMapPackAction"));

        exportAction->trigger();
        QCOMPARE(m_script.messages.last(),
                 QStringLiteral("Esporta pacchetto mappe|Il firmware non contiene mappe salvate."));

        m_script.openFile = DemoPack;
        importAction->trigger();
        QCOMPARE(m_script.messages.last(),
                 QStringLiteral("Tessamorvandi|Pacchetto mappe importato correttamente.\n\n"
                                "Mappe caricate: 4"));
        QVERIFY(record->modified); // the maps are saved with the document
        QTreeWidgetItem *maps = m_window->mapsItemOf(record);
        QCOMPARE(maps->childCount(), 4);
        QCOMPARE(maps->child(1)->text(0), QStringLiteral("Limitatore pedale"));
        // Importing again replaces, never appends.
        importAction->trigger();
        QCOMPARE(record->maps.size(), 4);

        m_script.saveFile = m_dir->filePath(QStringLiteral("out.json"));
        exportAction->trigger();
        QCOMPARE(m_script.asked.last(), QStringLiteral("Esporta pacchetto mappe|tessa-demo.tvp"));
        const QString written = m_dir->filePath(QStringLiteral("out.json.tvp"));
        QCOMPARE(m_script.messages.last(),
                 QStringLiteral("Tessamorvandi|Pacchetto mappe esportato correttamente.\n\n"
                                "Mappe salvate: 4\nFile: ")
                     + written);
        MapPackData pack;
        QVERIFY(readMapPack(written, pack));
        QCOMPARE(pack.maps, record->maps);

        // After an edit the pack no longer belongs to the image; the maps stay as they were.
        QVERIFY(m_window->documentWindowOf(record)->writeBytes(0, QByteArray("\x00", 1)));
        m_window->documentWindowOf(record)->setMaps({});
        m_script.openFile = written;
        importAction->trigger();
        QCOMPARE(m_script.messages.last(),
                 QStringLiteral("Pacchetto non compatibile|Il pacchetto mappe non appartiene al "
                                "firmware attualmente aperto.\n\nDimensione o SHA-256 del "
                                "firmware non corrispondono."));
        QVERIFY(record->maps.isEmpty());
    }

    void commandsWithoutADocument()
    {
        for (const char *name : {"exportMapPackAction", "importMapPackAction", "openProjectAction"})
            m_window->action(QLatin1String(name))->trigger();
        QCOMPARE(m_script.messages,
                 (QStringList{QStringLiteral("Esporta pacchetto mappe|Apri prima un firmware."),
                              QStringLiteral("Importa pacchetto mappe|Apri prima il firmware "
                                             "originale associato."),
                              QStringLiteral("Apri progetto|Nessun progetto salvato.")}));
        // A wizard closed without importing opens nothing either.
        commands()->setWizardRunner([](QWidget *, Firmware &, const QString &, const ProjectStore &,
                                       WizardResult &) { return false; });
        QVERIFY(!m_window->openFirmwareThroughWizard(DemoImage));
        QVERIFY(m_window->documents().isEmpty());
    }

    void browserAndVersionCommands()
    {
        FirmwareProject *record = openDemo();
        QVERIFY(record);
        DocumentWindow *document = m_window->documentWindowOf(record);
        document->writeBytes(1, QByteArray("\x01", 1));
        m_script.names = {QStringLiteral("Stage 1")};
        QVERIFY(m_window->saveDocument(record));
        document->writeBytes(2, QByteArray("\x02", 1));
        m_script.choices = {1};
        m_script.names = {QStringLiteral("Stage 2")};
        QVERIFY(m_window->saveDocument(record));

        ProjectBrowser browser(commands()->store(), m_script.prompts());
        QCOMPARE(browser.table()->item(0, 3)->text(), QStringLiteral("EDC17C46"));
        const QString folder = browser.selectedFolder();

        VersionChooser chooser(folder, m_script.prompts());
        m_script.names = {QStringLiteral("Stage 1"), QStringLiteral("Stage 2b")};
        chooser.renameVersion(2);
        QCOMPARE(m_script.messages.last(),
                 QStringLiteral("Modifica nome|Esiste già una versione con questo nome."));
        chooser.renameVersion(2);
        QCOMPARE(chooser.table()->item(2, 0)->text(), QStringLiteral("Stage 2b"));

        m_script.saveFile = m_dir->filePath(QStringLiteral("exported.bin"));
        chooser.exportFirmware(2);
        QCOMPARE(m_script.asked.last(), QStringLiteral("Esporta firmware|Stage 2b.bin"));
        QCOMPARE(byteOf(m_script.saveFile, 2), '\x02');

        m_script.confirmations = {true};
        chooser.deleteVersion(1);
        QCOMPARE(m_script.messages.last(),
                 QStringLiteral("Cancella versione|Versione \"Stage 1\" eliminata."));
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/Versioni/Stage 1")));
        QCOMPARE(chooser.table()->rowCount(), 2);

        m_script.confirmations = {false, true};
        browser.deleteProject(0);
        QVERIFY(QFileInfo::exists(folder));
        browser.deleteProject(0);
        QVERIFY(!QFileInfo::exists(folder));
        QCOMPARE(m_script.messages.last(), QStringLiteral("Cancella progetto|Progetto eliminato."));
    }

    void projectDataDialog()
    {
        QVERIFY(m_window->action(QStringLiteral("projectDataAction"))->isEnabled());
        FirmwareProject record;
        record.ecu = QStringLiteral("EDC17C46");
        record.fileName = QStringLiteral("ecu.bin");
        record.fileSize = 1536;
        ProjectDataDialog edit(record, ProjectDataDialog::Mode::Edit);
        QCOMPARE(edit.field(QStringLiteral("ecu"))->text(), QStringLiteral("EDC17C46"));
        QCOMPARE(edit.findChild<QLineEdit *>(QStringLiteral("fileSizeField"))->text(),
                 QStringLiteral("1536 bytes"));
        edit.field(QStringLiteral("customer"))->setText(QStringLiteral("  Rossi "));
        edit.notes()->setPlainText(QStringLiteral(" stage 1 \n"));
        edit.applyTo(record);
        QCOMPARE(record.customer, QStringLiteral("Rossi"));
        QCOMPARE(record.notes, QStringLiteral("stage 1"));

        ProjectDataDialog view(record, ProjectDataDialog::Mode::ReadOnly);
        QVERIFY(view.field(QStringLiteral("customer"))->isReadOnly());
        QVERIFY(view.notes()->isReadOnly());
        QVERIFY(!view.findChild<QPushButton *>(QStringLiteral("okButton")));
    }
};

QTEST_MAIN(TestProjectCommands)
#include "tst_projectcommands.moc"
