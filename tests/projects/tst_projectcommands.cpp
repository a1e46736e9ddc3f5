#include "app/documentwindow.h"
#include "app/mainwindow.h"
#include "model/firmwareproject.h"
#include "model/mappack.h"
#include "projects/importwizard.h"
#include "projects/projectbrowser.h"
#include "projects/projectcommands.h"
#include "projects/projectdatadialog.h"
#include "projects/projectfiles.h"
#include "projects/versionchooser.h"

#include <QAction>
#include <QFile>
#include <QJsonDocument>
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

namespace {

const QString DemoImage = QStringLiteral(TESSA_SOURCE_DIR "/examples/tessa-demo.bin");
const QString DemoPack = QStringLiteral(TESSA_SOURCE_DIR "/examples/tessa-demo.tvp");

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
        p.confirm = [this](const QString &title, const QString &) {
            asked << title;
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
        p.openFile = [this](const QString &title, const QString &) {
            asked << title;
            return openFile;
        };
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

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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
        if (!QFile::exists(DemoImage))
            return nullptr;
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

    void projectCommandsAreAvailable()
    {
        for (const char *name : {"projectDataAction", "openProjectAction", "importMapPackAction",
                                 "exportMapPackAction"})
            QVERIFY2(m_window->action(QLatin1String(name))->isEnabled(), name);
        for (const char *name : {"projectDataButton", "openProjectButton"})
            QVERIFY2(m_window->findChild<QToolButton *>(QLatin1String(name))->isEnabled(), name);
    }

    void importThroughTheWizardFillsTheRecord()
    {
        FirmwareProject *record = openDemo();
        if (!record)
            QSKIP("example image not present");
        QCOMPARE(record->ecu, QStringLiteral("EDC17C46"));
        QCOMPARE(record->software, QStringLiteral("1037541778"));
        QCOMPARE(record->calibration, QStringLiteral("P643A2XK"));
        QCOMPARE(record->hardware, QStringLiteral("0281017946"));
        QCOMPARE(record->ecuNumber, QStringLiteral("03L906018JL  5678"));
        // The first four-capital word of the image, which here lies in the code-like noise
        // before the identification strings.
        QCOMPARE(record->engineCode, QStringLiteral("HTYW"));
        QCOMPARE(record->customer, QStringLiteral("Officina Rossi"));
        QCOMPARE(record->fileName, QStringLiteral("tessa-demo.bin"));
        QCOMPARE(record->fileExtension, QStringLiteral("bin"));
        QCOMPARE(record->fileSize, QFileInfo(DemoImage).size());
        QCOMPARE(record->savedFirmwarePath, DemoImage);
        QVERIFY(record->maps.isEmpty());
        QVERIFY(!record->modified);
    }

    void failedLoadAndCancelCreateNothing()
    {
        QVERIFY(!m_window->openFirmwareThroughWizard(m_dir->filePath(QStringLiteral("none.bin"))));
        QCOMPARE(m_script.messages.size(), 1);
        QVERIFY(m_script.messages.first().startsWith(
            QStringLiteral("Errore|Impossibile caricare il firmware.")));
        commands()->setWizardRunner([](QWidget *, Firmware &, const QString &, const ProjectStore &,
                                       WizardResult &) { return false; });
        if (QFile::exists(DemoImage))
            QVERIFY(!m_window->openFirmwareThroughWizard(DemoImage));
        QVERIFY(m_window->documents().isEmpty());
    }

    void saveVersionsAndReopenThem()
    {
        FirmwareProject *record = openDemo();
        if (!record)
            QSKIP("example image not present");
        const QByteArray original = record->originalBytes;

        // "Salva" of the unchanged image asks nothing.
        m_window->action(QStringLiteral("saveAction"))->trigger();
        QCOMPARE(m_window->statusBar()->currentMessage(), QStringLiteral("Progetto salvato"));
        QVERIFY(m_script.asked.isEmpty());
        const QString folder = root() + QStringLiteral("/tessa-demo");
        QCOMPARE(QDir::cleanPath(record->projectFolder), QDir::cleanPath(folder));
        QCOMPARE(readAll(folder + QStringLiteral("/Originale/firmware.bin")), original);

        // An edit, then "Salva": the first version is offered as "Stage 1".
        DocumentWindow *document = m_window->documentWindowOf(record);
        QVERIFY(document->writeBytes(0x10000, QByteArray("\x34\x12", 2)));
        QVERIFY(record->modified);
        m_script.names = {QStringLiteral("Stage 1")};
        m_window->action(QStringLiteral("saveAction"))->trigger();
        QCOMPARE(m_script.asked, QStringList{QStringLiteral("Salva versione|Stage 1")});
        QVERIFY(!record->modified);
        QCOMPARE(record->versionName, QStringLiteral("Stage 1"));

        // A further edit: the question names the version; "Annulla" keeps the document modified.
        QVERIFY(document->writeBytes(0x10002, QByteArray("\x00\x00", 2)));
        m_script.asked.clear();
        m_script.choices = {2};
        QVERIFY(!m_window->saveDocument(record));
        QCOMPARE(m_script.asked.value(0),
                 QStringLiteral("Salva versione|Hai modificato \"Stage 1\".\n\nCome vuoi salvare "
                                "le modifiche?|Salva in Stage 1"));
        QVERIFY(record->modified);
        m_script.choices = {0};
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
        QCOMPARE(reopened->versionName, QStringLiteral("Stage 1"));
        QCOMPARE(reopened->originalBytes, original);
        QCOMPARE(reopened->firmware->data()[0x10000], uint8_t(0x34));
        QCOMPARE(reopened->firmware->data()[0x10002], uint8_t(0x00));
        QCOMPARE(reopened->customer, QStringLiteral("Officina Rossi"));
        QCOMPARE(reopened->fileSize, QFileInfo(DemoImage).size());
        QVERIFY(reopened->hasBeenSaved);
        QVERIFY(!reopened->modified);
        QCOMPARE(reopened->subWindow->windowTitle(), QStringLiteral("Stage 1"));
        QCOMPARE(m_window->mapsItemOf(reopened)->parent()->text(0), QStringLiteral("Stage 1"));
        QCOMPARE(QDir::cleanPath(reopened->projectFolder), QDir::cleanPath(folder));

        // A second import of the same image lists the project as identical.
        Firmware again;
        QVERIFY(again.load(DemoImage.toStdString()));
        const ImportFacts facts = ImportWizard::factsFor(again, DemoImage, commands()->store());
        QCOMPARE(facts.matches.size(), 1);
        QCOMPARE(facts.matches.first().label, QStringLiteral("IDENTICO"));
    }

    void exitSaveAllReallySaves()
    {
        FirmwareProject *record = openDemo();
        if (!record)
            QSKIP("example image not present");
        QVERIFY(m_window->documentWindowOf(record)->writeBytes(5, QByteArray("\x01", 1)));
        m_window->setExitQuestion([] { return MainWindow::ExitChoice::SaveAll; });
        m_script.names = {QStringLiteral("Stage 1")};
        QVERIFY(m_window->close());
        QVERIFY(
            QFile::exists(root() + QStringLiteral("/tessa-demo/Versioni/Stage 1/firmware.bin")));
    }

    void mapPackExportAndImport()
    {
        FirmwareProject *record = openDemo();
        if (!record)
            QSKIP("example image not present");
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
        QCOMPARE(record->maps.size(), 4);
        QVERIFY(!record->modified);
        QTreeWidgetItem *maps = m_window->mapsItemOf(record);
        QCOMPARE(maps->childCount(), 4);
        QCOMPARE(maps->child(1)->text(0), QStringLiteral("Limitatore pedale"));
        QCOMPARE(maps->child(1)->data(0, Qt::UserRole).toInt(), 0x12000);
        QCOMPARE(maps->child(1)->data(0, Qt::UserRole + 10).toInt(), 1);

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

    void mapPackCommandsWithoutADocument()
    {
        m_window->action(QStringLiteral("exportMapPackAction"))->trigger();
        m_window->action(QStringLiteral("importMapPackAction"))->trigger();
        QCOMPARE(m_script.messages,
                 (QStringList{QStringLiteral("Esporta pacchetto mappe|Apri prima un firmware."),
                              QStringLiteral("Importa pacchetto mappe|Apri prima il firmware "
                                             "originale associato.")}));
        m_window->action(QStringLiteral("openProjectAction"))->trigger();
        QCOMPARE(m_script.messages.last(),
                 QStringLiteral("Apri progetto|Nessun progetto salvato."));
    }

    void browserAndVersionCommands()
    {
        FirmwareProject *record = openDemo();
        if (!record)
            QSKIP("example image not present");
        DocumentWindow *document = m_window->documentWindowOf(record);
        document->writeBytes(1, QByteArray("\x01", 1));
        m_script.names = {QStringLiteral("Stage 1")};
        QVERIFY(m_window->saveDocument(record));
        document->writeBytes(2, QByteArray("\x02", 1));
        m_script.choices = {1};
        m_script.names = {QStringLiteral("Stage 2")};
        QVERIFY(m_window->saveDocument(record));
        QVERIFY(QDir().mkpath(root() + QStringLiteral("/broken")));
        QVERIFY(ProjectFiles::writeFileAtomically(root() + QStringLiteral("/broken/project.json"),
                                                  "{"));

        ProjectBrowser browser(commands()->store(), m_script.prompts());
        QCOMPARE(browser.rowCount(), 1);
        QCOMPARE(browser.table()->item(0, 3)->text(), QStringLiteral("EDC17C46"));
        const QString folder = browser.selectedFolder();

        VersionChooser chooser(folder, m_script.prompts());
        QCOMPARE(chooser.table()->rowCount(), 3);
        QCOMPARE(chooser.table()->item(0, 0)->text(), QStringLiteral("Originale"));
        m_script.names = {QStringLiteral("Stage 1")};
        chooser.renameVersion(2);
        QCOMPARE(m_script.messages.last(),
                 QStringLiteral("Modifica nome|Esiste già una versione con questo nome."));
        m_script.names = {QStringLiteral("Stage 2b")};
        chooser.renameVersion(2);
        QCOMPARE(chooser.table()->item(2, 0)->text(), QStringLiteral("Stage 2b"));
        QVERIFY(QFile::exists(folder + QStringLiteral("/Versioni/Stage 2b/firmware.bin")));

        m_script.saveFile = m_dir->filePath(QStringLiteral("exported.bin"));
        chooser.exportFirmware(2);
        QCOMPARE(m_script.asked.last(), QStringLiteral("Esporta firmware|Stage 2b.bin"));
        QCOMPARE(readAll(m_script.saveFile)[2], '\x02');

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
        QVERIFY(QFileInfo::exists(root() + QStringLiteral("/broken")));
    }

    void closingAModifiedDocumentSavesFirst()
    {
        FirmwareProject *record = openDemo();
        if (!record)
            QSKIP("example image not present");
        QVERIFY(m_window->documentWindowOf(record)->writeBytes(9, QByteArray("\x09", 1)));
        QMdiSubWindow *sub = record->subWindow;
        m_script.names = {std::nullopt};
        QVERIFY(!sub->close());
        QCOMPARE(m_window->documents().size(), 1);
        QVERIFY(record->modified);
        m_script.names = {QStringLiteral("Stage 1")};
        QVERIFY(sub->close());
        QTRY_VERIFY(m_window->documents().isEmpty());
        QVERIFY(
            QFile::exists(root() + QStringLiteral("/tessa-demo/Versioni/Stage 1/version.json")));
    }

    void projectDataDialog()
    {
        FirmwareProject record;
        record.ecu = QStringLiteral("EDC17C46");
        record.fileName = QStringLiteral("ecu.bin");
        record.fileSize = 1536;
        ProjectDataDialog edit(record, ProjectDataDialog::Mode::Edit);
        QCOMPARE(edit.field(QStringLiteral("ecu"))->text(), QStringLiteral("EDC17C46"));
        QCOMPARE(edit.findChild<QLineEdit *>(QStringLiteral("fileSizeField"))->text(),
                 QStringLiteral("1536 bytes"));
        QCOMPARE(edit.field(QStringLiteral("vehicleBrand"))->placeholderText(),
                 QStringLiteral("es. BMW, Audi, Fiat..."));
        edit.field(QStringLiteral("customer"))->setText(QStringLiteral("  Rossi "));
        edit.field(QStringLiteral("ecu"))->setText(QStringLiteral(" MED17.5 "));
        edit.notes()->setPlainText(QStringLiteral(" stage 1 \n"));
        edit.applyTo(record);
        QCOMPARE(record.customer, QStringLiteral("Rossi"));
        QCOMPARE(record.ecu, QStringLiteral("MED17.5"));
        QCOMPARE(record.notes, QStringLiteral("stage 1"));
        QCOMPARE(record.fileName, QStringLiteral("ecu.bin"));

        ProjectDataDialog view(record, ProjectDataDialog::Mode::ReadOnly);
        QVERIFY(view.field(QStringLiteral("customer"))->isReadOnly());
        QVERIFY(view.notes()->isReadOnly());
        QVERIFY(!view.findChild<QPushButton *>(QStringLiteral("okButton")));
        QVERIFY(view.findChild<QPushButton *>(QStringLiteral("closeButton")));
    }
};

QTEST_MAIN(TestProjectCommands)
#include "tst_projectcommands.moc"
