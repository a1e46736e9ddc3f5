#include "projects/importwizard.h"
#include "projects/projectcommands.h"
#include "app/documentwindow.h"
#include "app/mainwindow.h"
#include "importers/descriptionimporter.h"
#include "importers/mapfilterdialog.h"
#include "model/firmwareproject.h"
#include "olsprojectbuilder.h"

#include <QLineEdit>
#include <QMimeData>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

namespace {

struct Shown
{
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

QString example(const char *name)
{
    return QStringLiteral(TESSA_SOURCE_DIR "/examples/") + QString::fromLatin1(name);
}

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
    void initTestCase();
    void init();
    void cleanup();
    void a2lNeedsDocument();
    void a2lImportReplacesMaps();
    void a2lFailureKeepsMaps();
    void olsProjectOpensDocument();
    void olsRefusals_data();
    void olsRefusals();
    void droppedOlsFileIsImported();
    void mapFilterMessages();
    void mapFilterHidesAndRestores();

private:
    QString writeFile(const QString &name, const QByteArray &bytes);
    FirmwareProject *openDemo();

    QTemporaryDir m_dir;
    MainWindow *m_window = nullptr;
    QList<Shown> m_shown;
    QStringList m_askedTitles;
    QString m_nextFile;
    QList<bool> m_byteOrders;
};

void TestDescriptionImporter::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

void TestDescriptionImporter::init()
{
    m_window = new MainWindow;
    m_shown.clear();
    m_askedTitles.clear();
    m_byteOrders.clear();
    DescriptionImporter *importer = m_window->descriptionImporter();
    importer->setMessageHook(
        [this](QMessageBox::Icon icon, const QString &title, const QString &text) {
            m_shown.append({icon, title, text});
        });
    importer->setFileHook([this](const QString &title, const QString &) {
        m_askedTitles << title;
        return m_nextFile;
    });
    importer->setByteOrderHook(
        [this](DocumentWindow *, bool littleEndian) { m_byteOrders << littleEndian; });
}

void TestDescriptionImporter::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

QString TestDescriptionImporter::writeFile(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

FirmwareProject *TestDescriptionImporter::openDemo()
{
    m_window->projectCommands()->setWizardRunner(acceptImportWizard);
    if (!m_window->openFirmwareThroughWizard(example("tessa-demo.bin")))
        return nullptr;
    return m_window->activeDocument();
}

void TestDescriptionImporter::a2lNeedsDocument()
{
    m_nextFile = example("tessa-demo.a2l");
    m_window->action(QStringLiteral("importA2lAction"))->trigger();
    QCOMPARE(m_shown.size(), 1);
    QCOMPARE(m_shown.first().title, QStringLiteral("Importa A2L"));
    QCOMPARE(m_shown.first().text, QStringLiteral("Apri prima il firmware associato."));
    QVERIFY(m_askedTitles.isEmpty());
    QVERIFY(!m_window->descriptionImporter()->isBusy());
}

void TestDescriptionImporter::a2lImportReplacesMaps()
{
    FirmwareProject *record = openDemo();
    QVERIFY(record);
    MapDefinition handMade;
    handMade.name = QStringLiteral("Ritaglio");
    handMade.mapOffset = 0x20000;
    handMade.rows = handMade.columns = 2;
    m_window->activeDocumentWindow()->setMaps({handMade});

    m_nextFile = example("tessa-demo.a2l");
    QSignalSpy finished(m_window->descriptionImporter(), &DescriptionImporter::a2lImportFinished);
    // The panel's "A2L" button runs the same command as the menu entry.
    auto *button = m_window->findChild<QToolButton *>(QStringLiteral("panelA2lButton"));
    QVERIFY(button && button->isEnabled());
    button->click();
    QCOMPARE(m_askedTitles, QStringList{QStringLiteral("Importa A2L / DAMOS")});
    auto *busy = m_window->findChild<QProgressDialog *>();
    QVERIFY(busy);
    QCOMPARE(busy->windowTitle(), QStringLiteral("Tessamorvandi"));
    QVERIFY(busy->labelText().startsWith(QStringLiteral("Analisi file A2L / DAMOS...")));
    QCOMPARE(busy->maximum(), 0);
    QVERIFY(finished.wait(10000));

    QCOMPARE(m_shown.size(), 1);
    QCOMPARE(m_shown.first().title, QStringLiteral("A2L caricato"));
    QCOMPARE(m_shown.first().text,
             QStringLiteral("File analizzato correttamente.\n\nMappe trovate: 5"));
    QCOMPARE(record->maps.size(), 5);
    QCOMPARE(record->maps.first().sourceKind, int(MapDefinition::SourceA2L));
    QTreeWidgetItem *branch = m_window->mapsItemOf(record);
    QCOMPARE(childNames(branch).first(), QStringLiteral("Coppia_richiesta"));
    QCOMPARE(childNames(branch).size(), 5);
    QVERIFY(branch->isExpanded());
    QCOMPARE(branch->child(2)->data(0, Qt::UserRole).toInt(), 0x13000);
    QTRY_VERIFY(!m_window->findChild<QProgressDialog *>());
}

void TestDescriptionImporter::a2lFailureKeepsMaps()
{
    FirmwareProject *record = openDemo();
    QVERIFY(record);
    MapDefinition kept;
    kept.name = QStringLiteral("Tenuta");
    kept.mapOffset = 0x100;
    m_window->activeDocumentWindow()->setMaps({kept});
    const QString path = writeFile(QStringLiteral("empty.a2l"),
                                   "/begin RECORD_LAYOUT RL FNC_VALUES 1 UWORD /end RECORD_LAYOUT");
    QSignalSpy finished(m_window->descriptionImporter(), &DescriptionImporter::a2lImportFinished);
    QVERIFY(m_window->descriptionImporter()->startA2LImport(path));
    QVERIFY(finished.wait(10000));
    QCOMPARE(m_shown.size(), 1);
    QCOMPARE(m_shown.first().icon, QMessageBox::Warning);
    QCOMPARE(m_shown.first().title, QStringLiteral("Errore A2L"));
    QCOMPARE(m_shown.first().text, QStringLiteral("Nessuna CHARACTERISTIC compatibile trovata."));
    QCOMPARE(record->maps.size(), 1);
    QCOMPARE(childNames(m_window->mapsItemOf(record)), QStringList{QStringLiteral("Tenuta")});
}

void TestDescriptionImporter::olsProjectOpensDocument()
{
    OlsProjectBuilder b;
    b.zeros(8).string("Magneti Marelli").string("010000").zeros(8);
    b.conversionRecord("Anticipo", 4, 8, "deg", 0.75, -24, 0x400, 0x440);
    b.conversionRecord("Lambda", 1, 1, "-", 0.001, 0, 0x500, 0x502);
    QByteArray image(0x10000, '\x11');
    b.firmware(image);
    m_nextFile = writeFile(QStringLiteral("Punto 1.4.ols"), b.bytes());
    QVERIFY(!m_nextFile.isEmpty());
    QSignalSpy finished(m_window->descriptionImporter(), &DescriptionImporter::olsImportFinished);
    m_window->action(QStringLiteral("importOlsAction"))->trigger();
    QCOMPARE(m_askedTitles, QStringList{QStringLiteral("Importa progetto WinOLS")});
    QVERIFY(finished.wait(10000));

    QCOMPARE(m_window->documents().size(), 1);
    FirmwareProject *record = m_window->documents().first();
    QCOMPARE(record->fileName, QStringLiteral("Punto 1.4"));
    QCOMPARE(record->originalBytes, image);
    QCOMPARE(record->maps.size(), 2);
    QCOMPARE(record->maps.first().dataType, int(Organisation16BitHiLo));
    QCOMPARE(childNames(m_window->mapsItemOf(record)),
             QStringList({QStringLiteral("Anticipo"), QStringLiteral("Lambda")}));
    QCOMPARE(m_byteOrders, QList<bool>{false});
    QCOMPARE(m_shown.size(), 1);
    QCOMPARE(m_shown.first().title, QStringLiteral("OLS caricato"));
    QCOMPARE(m_shown.first().text,
             QStringLiteral("Progetto WinOLS analizzato.\n\nRecord mappa trovati: 2"));
}

void TestDescriptionImporter::olsRefusals_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("not WinOLS") << OlsProjectBuilder("Other File").zeros(64).bytes()
                                << "Il file non è un progetto WinOLS valido.";
    QTest::newRow("no firmware") << OlsProjectBuilder().zeros(64).bytes()
                                 << "Il progetto OLS non contiene un firmware valido.";
}

void TestDescriptionImporter::olsRefusals()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QSignalSpy finished(m_window->descriptionImporter(), &DescriptionImporter::olsImportFinished);
    m_window->descriptionImporter()->startOLSImport(writeFile(QStringLiteral("bad.ols"), bytes));
    QVERIFY(finished.wait(10000));
    QCOMPARE(m_shown.size(), 1);
    QCOMPARE(m_shown.first().title, QStringLiteral("Errore OLS"));
    QCOMPARE(m_shown.first().text, text);
    QVERIFY(m_window->documents().isEmpty());
}

void TestDescriptionImporter::droppedOlsFileIsImported()
{
    OlsProjectBuilder b;
    b.zeros(8).string("010000").zeros(8).firmware(QByteArray(0x10000, '\x22'));
    const QString path = writeFile(QStringLiteral("DROP.OLS"), b.bytes());
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    QSignalSpy finished(m_window->descriptionImporter(), &DescriptionImporter::olsImportFinished);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_window, &drop);
    QVERIFY(drop.isAccepted());
    QVERIFY(finished.wait(10000));
    // No map records: the firmware still opens, and the count says so.
    QCOMPARE(m_window->documents().size(), 1);
    QCOMPARE(m_window->documents().first()->fileName, QStringLiteral("DROP"));
    QCOMPARE(m_shown.constLast().text,
             QStringLiteral("Progetto WinOLS analizzato.\n\nRecord mappa trovati: 0"));
    QVERIFY(m_byteOrders.isEmpty());
}

void TestDescriptionImporter::mapFilterMessages()
{
    auto *button = m_window->findChild<QToolButton *>(QStringLiteral("mapFilterButton"));
    QVERIFY(button && button->isEnabled());
    button->click();
    QCOMPARE(m_shown.size(), 1);
    QCOMPARE(m_shown.first().title, QStringLiteral("Filtro mappe"));
    QCOMPARE(m_shown.first().text, QStringLiteral("Apri prima un firmware con mappe A2L / DAMOS."));
    QVERIFY(openDemo());
    button->click();
    QCOMPARE(m_shown.size(), 2);
    QCOMPARE(m_shown.at(1).text, QStringLiteral("Non sono presenti mappe da filtrare."));
    QVERIFY(!m_window->descriptionImporter()->mapFilterDialog());
}

void TestDescriptionImporter::mapFilterHidesAndRestores()
{
    FirmwareProject *record = openDemo();
    QVERIFY(record);
    QSignalSpy finished(m_window->descriptionImporter(), &DescriptionImporter::a2lImportFinished);
    QVERIFY(m_window->descriptionImporter()->startA2LImport(example("tessa-demo.a2l")));
    QVERIFY(finished.wait(10000));
    QTreeWidgetItem *branch = m_window->mapsItemOf(record);

    m_window->descriptionImporter()->openMapFilter();
    QPointer<MapFilterDialog> dialog = m_window->descriptionImporter()->mapFilterDialog();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Filtro mappe - Tessamorvandi"));

    dialog->unitEdit()->setText(QStringLiteral("nm"));
    QCOMPARE(childNames(branch, true), QStringList({QStringLiteral("Coppia_richiesta"),
                                                    QStringLiteral("Limitatore_pedale")}));
    dialog->descriptionEdit()->setText(QStringLiteral("PEDALE "));
    QCOMPARE(childNames(branch, true), QStringList{QStringLiteral("Limitatore_pedale")});
    dialog->unitEdit()->clear();
    dialog->descriptionEdit()->clear();
    dialog->compuMethodEdit()->setText(QStringLiteral("cm_pressione"));
    QCOMPARE(childNames(branch, true), QStringList{QStringLiteral("Pressione_turbo")});

    // An entry that names no map of the list is never hidden.
    auto *stray = new QTreeWidgetItem(branch, {QStringLiteral("Senza indice")});
    dialog->applyFilter();
    QVERIFY(!stray->isHidden());

    dialog->close();
    QTRY_VERIFY(!dialog);
    QCOMPARE(childNames(branch, true).size(), 6);
}

QTEST_MAIN(TestDescriptionImporter)
#include "tst_descriptionimporter.moc"
