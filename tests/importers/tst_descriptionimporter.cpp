#include "app/documentwindow.h"
#include "app/mainwindow.h"
#include "importers/descriptionimporter.h"
#include "importers/mapfilterdialog.h"
#include "model/firmwareproject.h"
#include "olsprojectbuilder.h"
#include "projects/importwizard.h"
#include "projects/projectcommands.h"

#include <QLineEdit>
#include <QMimeData>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include "testsupport.h"

namespace {

const QString DemoA2L = QStringLiteral(TESSA_SOURCE_DIR "/examples/tessa-demo.a2l");

QStringList childNames(QTreeWidgetItem *branch, bool visibleOnly = false)
{
    QStringList names;
    for (int i = 0; branch && i < branch->childCount(); ++i)
        if (!visibleOnly || !branch->child(i)->isHidden())
            names << branch->child(i)->text(0);
    return names;
}

} // namespace

class TestDescriptionImporter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        m_window = new MainWindow;
        m_shown.clear();
        m_icons.clear();
        m_askedTitles.clear();
        m_byteOrders.clear();
        importer()->setMessageHook(
            [this](QMessageBox::Icon icon, const QString &title, const QString &text) {
                m_icons << icon;
                m_shown << title + ": " + text;
            });
        importer()->setFileHook([this](const QString &title, const QString &) {
            m_askedTitles << title;
            return m_nextFile;
        });
        importer()->setChoiceHook(
            [this](const QString &title, const QString &text, const QStringList &answers) {
                m_shown << title + ": " + text + " [" + answers.join(u'/') + u']';
                return m_nextChoice;
            });
        importer()->setSaveFileHook(
            [this](const QString &title, const QString &proposed, const QString &) {
                m_askedTitles << title + u' ' + proposed;
                return m_nextFile;
            });
        importer()->setByteOrderHook(
            [this](FirmwareProject *, bool little) { m_byteOrders << little; });
    }

    void cleanup() { delete m_window; }
    void a2lImport()
    {
        m_nextFile = DemoA2L;
        m_window->action("importA2lAction")->trigger();
        QCOMPARE(m_shown, QStringList{"Importa A2L: Apri prima il firmware associato."});
        QVERIFY(m_askedTitles.isEmpty());

        FirmwareProject *record = openDemo();
        QVERIFY(record);
        MapDefinition kept;
        kept.name = "Tenuta";
        m_window->activeDocumentWindow()->setMaps({kept});
        QSignalSpy finished(importer(), &DescriptionImporter::a2lImportFinished);
        QVERIFY(importer()->startA2LImport(
            m_window->activeDocument(),
            m_dir.write("empty.a2l",
                        "/begin RECORD_LAYOUT RL FNC_VALUES 1 UWORD /end RECORD_LAYOUT")));
        QVERIFY(finished.wait(10000));
        QCOMPARE(m_shown.constLast(), "Errore A2L: Nessuna CHARACTERISTIC compatibile trovata.");
        QCOMPARE(m_icons.constLast(), QMessageBox::Warning);
        QCOMPARE(childNames(m_window->mapsItemOf(record)), QStringList{"Tenuta"});

        // The panel's "A2L" button runs the same command as the menu entry.
        auto *button = m_window->findChild<QToolButton *>("panelA2lButton");
        QVERIFY(button && button->isEnabled());
        button->click();
        QCOMPARE(m_askedTitles, QStringList{"Importa A2L / DAMOS"});
        auto *busy = m_window->findChild<QProgressDialog *>();
        QVERIFY(busy && busy->maximum() == 0);
        QVERIFY(finished.wait(10000));
        QCOMPARE(m_shown.constLast(),
                 "A2L caricato: File analizzato correttamente.\n\nMappe trovate: 5");
        QCOMPARE(record->maps.size(), 5);
        QTreeWidgetItem *branch = m_window->mapsItemOf(record);
        QCOMPARE(childNames(branch).size(), 5);
        QCOMPARE(childNames(branch).first(), "Coppia_richiesta");
        QVERIFY(branch->isExpanded());
        QCOMPARE(branch->child(2)->data(0, Qt::UserRole).toInt(), 0x13000);
        QTRY_VERIFY(!m_window->findChild<QProgressDialog *>());

        // A map whose values no map here can hold is named in the message, the others load.
        QVERIFY(importer()->startA2LImport(
            m_window->activeDocument(),
            m_dir.write("wide.a2l", "/begin RECORD_LAYOUT L64 FNC_VALUES 1 FLOAT64_IEEE ROW_DIR "
                                    "/end RECORD_LAYOUT\n"
                                    "/begin CHARACTERISTIC D \"\" VALUE 0x10 L64 0 NO_CM 0 1 "
                                    "/end CHARACTERISTIC\n"
                                    "/begin CHARACTERISTIC W \"\" VALUE 0x20 RL_UWORD 0 NO_CM 0 1 "
                                    "/end CHARACTERISTIC\n")));
        QVERIFY(finished.wait(10000));
        QCOMPARE(m_shown.constLast(),
                 "A2L caricato: File analizzato correttamente.\n\nMappe trovate: 1\n\nMappe non "
                 "importate: 1\nD: tipo di dato FLOAT64_IEEE non supportato (64 bit), mappa non "
                 "importata.");
        QCOMPARE(childNames(m_window->mapsItemOf(record)), QStringList{"W"});
    }

    void olsImport()
    {
        OlsProjectBuilder b = OlsProjectBuilder::project("Magneti Marelli");
        b.conversion({"Anticipo", 8, 4, 0.75, -24, 0x400, 0x440, "deg"});
        b.conversion({"Lambda", 1, 1, 0.001, 0, 0x500, 0x502, "-"});
        m_nextFile = m_dir.write("Punto 1.4.ols", b.raw(QByteArray(0x10000, '\x11')).bytes());
        QSignalSpy finished(importer(), &DescriptionImporter::olsImportFinished);
        m_window->action("importOlsAction")->trigger();
        QCOMPARE(m_askedTitles, QStringList{"Importa progetto WinOLS"});
        QVERIFY(finished.wait(10000));
        QCOMPARE(
            m_shown,
            QStringList{"OLS caricato: Progetto WinOLS analizzato.\n\nRecord mappa trovati: 2"});
        QCOMPARE(m_window->documents().size(), 1);
        FirmwareProject *record = m_window->documents().first();
        QCOMPARE(record->fileName, "Punto 1.4");
        QCOMPARE(record->originalBytes, QByteArray(0x10000, '\x11'));
        QCOMPARE(record->maps.first().dataType, int(Organisation16BitHiLo));
        QCOMPARE(childNames(m_window->mapsItemOf(record)), QStringList({"Anticipo", "Lambda"}));
        QCOMPARE(m_byteOrders, QList<bool>{false});

        // A project without a firmware opens nothing.
        importer()->startOLSImport(m_dir.write("vuoto.ols", OlsProjectBuilder().zeros(64).bytes()));
        QVERIFY(finished.wait(10000));
        QCOMPARE(m_shown.constLast(),
                 "Errore OLS: Il progetto OLS non contiene un firmware valido.");
        QCOMPARE(m_window->documents().size(), 1);
    }

    void droppedOlsFile()
    {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(m_dir.write(
            "DROP.OLS", OlsProjectBuilder::project().raw(QByteArray(0x10000, '\x22')).bytes()))});
        QSignalSpy finished(importer(), &DescriptionImporter::olsImportFinished);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(m_window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_window, &drop);
        QVERIFY(drop.isAccepted());
        QVERIFY(finished.wait(10000));
        // No map records and no vendor: the firmware still opens, the count says so, and the
        // views keep their byte order.
        QCOMPARE(m_window->documents().size(), 1);
        QCOMPARE(m_window->documents().first()->fileName, "DROP");
        QCOMPARE(m_shown.constLast(),
                 "OLS caricato: Progetto WinOLS analizzato.\n\nRecord mappa trovati: 0");
        QVERIFY(m_byteOrders.isEmpty());
    }

    // "Importa XDF..." groups the maps by category, "FILTRO MAPPE" still narrows them, and
    // "Esporta XDF..." writes what imports back to the same maps.
    void xdfImportAndExport()
    {
        m_window->action("importXdfAction")->trigger();
        m_window->action("exportXdfAction")->trigger();
        QCOMPARE(m_shown, QStringList({"Importa XDF: Apri prima il firmware associato.",
                                       "Esporta XDF: Apri prima il firmware associato."}));
        FirmwareProject *record = openDemo();
        QVERIFY(record);
        const auto xdfTable = [](const char *title, int category, int address) {
            return QStringLiteral("<XDFTABLE><title>%1</title><CATEGORYMEM index=\"0\" "
                                  "category=\"%2\" /><XDFAXIS id=\"z\"><EMBEDDEDDATA "
                                  "mmedaddress=\"%3\" mmedelementsizebits=\"8\" "
                                  "mmedcolcount=\"4\" /><units>%1u</units></XDFAXIS></XDFTABLE>")
                .arg(QLatin1String(title))
                .arg(category)
                .arg(address)
                .toUtf8();
        };
        m_nextFile = m_dir.write(
            "d.xdf", "<XDFFORMAT><XDFHEADER><CATEGORY index=\"0\" name=\"Accensione/Base\" />"
                     "<CATEGORY index=\"1\" name=\"Turbo\" /></XDFHEADER>"
                         + xdfTable("A", 1, 0x100) + xdfTable("B", 2, 0x200)
                         + xdfTable("C", 0, 0x300) + xdfTable("Fuori", 2, 0x7FFFFFF)
                         + "<XDFFLAG><title>Bit</title></XDFFLAG></XDFFORMAT>");
        QSignalSpy finished(importer(), &DescriptionImporter::xdfImportFinished);
        m_window->findChild<QToolButton *>("panelXdfButton")->click();
        auto *busy = m_window->findChild<QProgressDialog *>();
        QVERIFY(busy && busy->labelText().startsWith("Analisi file XDF..."));
        QVERIFY(finished.wait(10000));
        QCOMPARE(m_shown.constLast(),
                 "XDF caricato: File analizzato correttamente.\n\nMappe trovate: 3\n"
                 "Tabelle saltate: 1\nFlag, patch e funzioni non importati: 1\n\n"
                 "Fuori: fuori dall'immagine (offset 0x7FFFFFF, 4 byte)\n"
                 "Bit: flag (XDFFLAG): non importato");
        QTreeWidgetItem *branch = m_window->mapsItemOf(record);
        QCOMPARE(childNames(branch), QStringList({"Accensione", "Turbo", "C"}));
        QCOMPARE(childNames(branch->child(0)), QStringList{"Base"});
        QCOMPARE(childNames(branch->child(0)->child(0)), QStringList{"A"});
        QCOMPARE(branch->child(1)->child(0)->data(0, Qt::UserRole).toInt(), 0x200);
        // A group the user opened stays open when the list is rebuilt.
        branch->child(1)->setExpanded(true);
        DocumentWindow *window = m_window->activeDocumentWindow();
        window->renameMapAt(window->mapIndicesAt(0x300).value(0, -1), "C2");
        branch = m_window->mapsItemOf(record);
        QCOMPARE(childNames(branch), QStringList({"Accensione", "Turbo", "C2"}));
        QVERIFY(branch->child(1)->isExpanded() && !branch->child(0)->isExpanded());

        m_window->findChild<QToolButton *>("mapFilterButton")->click();
        QPointer<MapFilterDialog> dialog = importer()->mapFilterDialog();
        QVERIFY(dialog);
        dialog->unitEdit()->setText("au");
        QCOMPARE(childNames(branch, true), QStringList{"Accensione"});
        QVERIFY(branch->child(0)->isExpanded());
        QCOMPARE(childNames(branch->child(0)->child(0), true), QStringList{"A"});
        dialog->close();
        QTRY_VERIFY(!dialog);

        const QList<MapDefinition> imported = record->maps;
        m_nextFile = m_dir.filePath("esportato.xdf");
        m_window->action("exportXdfAction")->trigger();
        QCOMPARE(m_askedTitles.constLast(), "Esporta XDF tessa-demo.xdf");
        QCOMPARE(m_shown.constLast(), "Esporta XDF: File XDF esportato.\n\nMappe scritte: 3");
        // Read back over the document's maps: cancelled, added, then replacing them.
        for (const int choice : {-1, 1, 0}) {
            m_nextChoice = choice;
            QVERIFY(importer()->startXdfImport(m_window->activeDocument(), m_nextFile));
            QVERIFY(finished.wait(10000));
            QCOMPARE(record->maps.size(), choice == 1 ? 6 : 3);
        }
        QVERIFY(m_shown.contains("Importa XDF: Il documento ha già 3 mappe. Sostituirle con le 3 "
                                 "del file XDF o aggiungere queste a quelle? "
                                 "[Sostituisci/Aggiungi]"));
        QCOMPARE(record->maps, imported);
    }

    void mapFilter()
    {
        auto *button = m_window->findChild<QToolButton *>("mapFilterButton");
        QVERIFY(button && button->isEnabled());
        button->click();
        FirmwareProject *record = openDemo();
        QVERIFY(record);
        button->click();
        QCOMPARE(m_shown,
                 QStringList({"Filtro mappe: Apri prima un firmware con mappe A2L / DAMOS.",
                              "Filtro mappe: Non sono presenti mappe da filtrare."}));
        QVERIFY(!importer()->mapFilterDialog());

        QSignalSpy finished(importer(), &DescriptionImporter::a2lImportFinished);
        QVERIFY(importer()->startA2LImport(m_window->activeDocument(), DemoA2L));
        QVERIFY(finished.wait(10000));
        button->click();
        QPointer<MapFilterDialog> dialog = importer()->mapFilterDialog();
        QVERIFY(dialog && dialog->isVisible());
        QTreeWidgetItem *branch = m_window->mapsItemOf(record);
        dialog->unitEdit()->setText("nm");
        QCOMPARE(childNames(branch, true), QStringList({"Coppia_richiesta", "Limitatore_pedale"}));
        dialog->descriptionEdit()->setText("PEDALE ");
        QCOMPARE(childNames(branch, true), QStringList{"Limitatore_pedale"});
        dialog->unitEdit()->clear();
        dialog->descriptionEdit()->clear();
        dialog->compuMethodEdit()->setText("cm_pressione");
        QCOMPARE(childNames(branch, true), QStringList{"Pressione_turbo"});
        // An entry that names no map of the list is never hidden.
        auto *stray = new QTreeWidgetItem(branch, {"Senza indice"});
        dialog->applyFilter();
        QVERIFY(!stray->isHidden());
        dialog->close();
        QTRY_VERIFY(!dialog);
        QCOMPARE(childNames(branch, true).size(), 6);
    }

private:
    FirmwareProject *openDemo()
    {
        m_window->projectCommands()->setWizardRunner(acceptImportWizard);
        if (!m_window->openFirmwareThroughWizard(TESSA_SOURCE_DIR "/examples/tessa-demo.bin"))
            return nullptr;
        return m_window->activeDocument();
    }

    DescriptionImporter *importer() const { return m_window->descriptionImporter(); }

    testsupport::TempFolder m_dir;
    MainWindow *m_window = nullptr;
    QStringList m_shown; // "title: text" of every message box
    QList<QMessageBox::Icon> m_icons;
    QStringList m_askedTitles;
    QString m_nextFile;
    QList<bool> m_byteOrders;
    int m_nextChoice = -1;
};

QTEST_MAIN(TestDescriptionImporter)
#include "tst_descriptionimporter.moc"
