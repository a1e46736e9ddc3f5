#include "mainwindow.h"

#include "app/databasepanelwidths.h"
#include "app/documentwindow.h"
#include "app/driverscancommand.h"
#include "app/mapfindercommand.h"
#include "app/hoverfilter.h"
#include "app/mapwindowopener.h"
#include "app/onlinecommands.h"
#include "app/orimodcomparison.h"
#include "app/subwindowclosefilter.h"
#include "app/transferdialog.h"
#include "app/viewstate.h"
#include "app/windowmenu.h"
#include "app/zoomspinbox.h"
#include "checksums/checksumwidgets.h"
#include "hex/createselectiondialog.h"
#include "hex/hex2dview.h"
#include "hex/hexcells.h"
#include "hex/hexmodel.h"
#include "hex/hexsearchdialog.h"
#include "hex/hexviewer.h"
#include "hex/wordedit.h"
#include "importers/descriptionimporter.h"
#include "importers/mapfilterdialog.h"
#include "mapeditor/mapaddresstext.h"
#include "mapeditor/mapinfodialog.h"
#include "mapeditor/mapwindow.h"
#include "model/firmwareproject.h"
#include "platform/platform.h"
#include "projects/ecuidentification.h"
#include "projects/mapcomparison.h"
#include "projects/projectcommands.h"
#include "projects/projectstore.h"
#include "recognition/drivercreator.h"
#include "importers/mapfilter.h"
#include "recognition/mapcategory.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QInputDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMap>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <climits>
#include <cmath>

namespace {

const char *const ApplicationName = "Tessamorvandi";

QIcon colorModeIcon()
{
    QPixmap pixmap(30, 18);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.fillRect(0, 0, 30, 4, QColor(220, 45, 45));
    painter.fillRect(0, 4, 30, 5, QColor(245, 135, 35));
    painter.fillRect(0, 9, 30, 5, QColor(240, 205, 40));
    painter.fillRect(0, 14, 30, 4, QColor(55, 175, 80));
    return QIcon(pixmap);
}

QString dropPath(const QMimeData *mime)
{
    if (!mime || !mime->hasUrls() || mime->urls().isEmpty())
        return {};
    const QUrl url = mime->urls().constFirst();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

HexViewer *activeViewer(const MainWindow *window)
{
    DocumentWindow *document = window->activeDocumentWindow();
    return document ? document->hexViewer() : nullptr;
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    resize(1400, 900);
    setAcceptDrops(true);
    setWindowTitle(QString::fromLatin1(ApplicationName));
    m_projectCommands = new ProjectCommands(this, this);
    setProjectSaver(
        [this](FirmwareProject &record) { return m_projectCommands->saveProject(record); });
    m_importer = new DescriptionImporter(this, this);
    m_driverScan = new DriverScanCommand(this, this);
    connect(m_driverScan, &DriverScanCommand::driverMapsAdded, this,
            [this](FirmwareProject *record) { expandDriverMaps(record); });
    m_mapFinder = new MapFinderCommand(this);
    m_online = new OnlineCommands(this, m_driverScan, this);
    m_online->checkService();
    m_projectCommands->setMapSearch(
        [this](FirmwareProject *record) { m_online->searchDrivers(record); });
    // A WinOLS project that names its vendor says how its image's words are stored.
    m_importer->setByteOrderHook([this](FirmwareProject *record, bool littleEndian) {
        DocumentWindow *document = documentWindowOf(record);
        if (!document || !document->hexViewer())
            return;
        document->hexViewer()->setByteOrder(littleEndian ? 0 : 1);
        document->hexViewer()->model()->setByteOrderExplicit(true);
        document->sync2DByteOrder();
        if (document == activeDocumentWindow())
            syncToolbarWithActiveDocument();
    });

    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setActivationOrder(QMdiArea::ActivationHistoryOrder);
    connect(m_mdiArea, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow *) {
        syncToolbarWithActiveDocument();
        // The legend names the comparison of the document in front.
        updateChangedMapsLegend();
    });

    buildToolbar();
    buildDatabasePanel();

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->addWidget(m_databasePanel);
    m_splitter->addWidget(m_mdiArea);
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setStretchFactor(1, 5);
    setCentralWidget(m_splitter);

    buildMenus();
    connect2DControls();
    statusBar();
}

MainWindow::~MainWindow()
{
    // Sub-windows go before the records they point at, and without reporting to this window,
    // which is half destroyed: a closed one may still be waiting for its deferred deletion.
    const QList<QMdiSubWindow *> windows = findChildren<QMdiSubWindow *>();
    for (QMdiSubWindow *w : windows)
        disconnect(w, nullptr, this, nullptr);
    qDeleteAll(windows);
    qDeleteAll(m_documents);
}

void MainWindow::buildToolbar()
{
    QToolBar *bar = addToolBar(QStringLiteral("Hex Viewer"));
    bar->setObjectName(QStringLiteral("hexViewerToolBar"));

    bar->addWidget(new QLabel(QStringLiteral("X:"), bar));
    m_zoomX = new ZoomSpinBox(bar);
    m_zoomX->setObjectName(QStringLiteral("zoomXBox"));
    m_zoomX->setRange(25, 6400);
    m_zoomX->setValue(100);
    m_zoomX->setSuffix(QStringLiteral("%"));
    bar->addWidget(m_zoomX);
    bar->addWidget(new QLabel(QStringLiteral("Y:"), bar));
    m_zoomY = new ZoomSpinBox(bar);
    m_zoomY->setObjectName(QStringLiteral("zoomYBox"));
    // The view shows at most ten times the default height; a larger figure would not be true.
    m_zoomY->setRange(50, 1000);
    m_zoomY->setValue(100);
    m_zoomY->setSuffix(QStringLiteral("%"));
    bar->addWidget(m_zoomY);
    bar->addSeparator();

    auto makeCheckable = [this, bar](const QString &text, const QString &name,
                                     QActionGroup *group) {
        auto *a = new QAction(text, this);
        a->setObjectName(name);
        a->setCheckable(true);
        if (group)
            group->addAction(a);
        bar->addAction(a);
        return a;
    };
    m_baseGroup = new QActionGroup(this);
    makeCheckable(QStringLiteral("HEX"), QStringLiteral("hexAction"), m_baseGroup)->setChecked(true);
    makeCheckable(QStringLiteral("DEC"), QStringLiteral("decAction"), m_baseGroup);
    bar->addSeparator();
    m_widthGroup = new QActionGroup(this);
    makeCheckable(QStringLiteral("8 Bit"), QStringLiteral("width8Action"), m_widthGroup)
        ->setChecked(true);
    makeCheckable(QStringLiteral("16 Bit"), QStringLiteral("width16Action"), m_widthGroup);
    makeCheckable(QStringLiteral("32 Bit"), QStringLiteral("width32Action"), m_widthGroup);
    makeCheckable(QStringLiteral("32 Bit Float"), QStringLiteral("widthFloatAction"), m_widthGroup);
    bar->addSeparator();
    m_percentAction = makeCheckable(QStringLiteral("%"), QStringLiteral("percentAction"), nullptr);
    m_originalAction = makeCheckable(QStringLiteral("ORG"), QStringLiteral("originalAction"),
                                     nullptr);
    m_colorAction = makeCheckable(QStringLiteral("COLOR"), QStringLiteral("colorAction"), nullptr);
    connect(m_baseGroup, &QActionGroup::triggered, this, [this](QAction *a) {
        if (HexViewer *viewer = activeViewer(this))
            viewer->setDecimal(a->objectName() == QLatin1String("decAction"));
    });
    connect(m_widthGroup, &QActionGroup::triggered, this, [this](QAction *a) {
        HexViewer *viewer = activeViewer(this);
        if (!viewer)
            return;
        if (a->objectName() == QLatin1String("widthFloatAction")) {
            viewer->setFloatMode(true);
            return;
        }
        const int mode = m_widthGroup->actions().indexOf(a);
        viewer->setFloatMode(false);
        viewer->setWidthMode(mode);
    });
    m_colorAction->setIcon(colorModeIcon());
    m_colorAction->setToolTip(QStringLiteral("Modalità colori"));
    connect(m_percentAction, &QAction::toggled, this, &MainWindow::onPercentToggled);
    connect(m_originalAction, &QAction::toggled, this, &MainWindow::onOriginalToggled);
    connect(m_colorAction, &QAction::toggled, this, &MainWindow::onColorToggled);

    auto *project = new QToolButton(bar);
    project->setObjectName(QStringLiteral("projectDataButton"));
    project->setText(QStringLiteral("PROGETTO"));
    project->setToolTip(QStringLiteral("Dati progetto"));
    project->setCursor(Qt::PointingHandCursor);
    project->setStyleSheet(QStringLiteral(
        "QToolButton { background-color: #269653; color: white; border: 1px solid #1f7d45; "
        "border-radius: 4px; padding: 4px 10px; margin-left: 6px; font-weight: 600;}"
        "QToolButton:hover { background-color: #31ad64;}"
        "QToolButton:pressed { background-color: #1f7d45;}"));
    connect(project, &QToolButton::clicked, m_projectCommands, &ProjectCommands::showProjectData);
    bar->addWidget(project);
    auto *openProject = new QToolButton(bar);
    openProject->setObjectName(QStringLiteral("openProjectButton"));
    openProject->setText(QStringLiteral("APRI PROGETTO"));
    openProject->setToolTip(QStringLiteral("Apri un progetto salvato"));
    openProject->setCursor(Qt::PointingHandCursor);
    openProject->setStyleSheet(QStringLiteral(
        "QToolButton { background-color: #ffffff; color: #269653; border: 1px solid #269653; "
        "border-radius: 4px; padding: 4px 10px; margin-left: 4px; font-weight: 600;}"
        "QToolButton:hover { background-color: #eaf7ef;}"
        "QToolButton:pressed { background-color: #d8f0e1;}"));
    connect(openProject, &QToolButton::clicked, m_projectCommands,
            &ProjectCommands::browseProjects);
    bar->addWidget(openProject);

    // Hovering "%" or "ORG" previews the mode in every view while neither is checked.
    auto preview = [this](QAction *action, void (MainWindow::*apply)(bool)) {
        QWidget *button = findChildren<QToolBar *>().constFirst()->widgetForAction(action);
        if (!button)
            return;
        auto unchecked = [this] {
            return !m_percentAction->isChecked() && !m_originalAction->isChecked();
        };
        button->installEventFilter(new HoverFilter(
            [this, apply, unchecked] {
                if (unchecked())
                    (this->*apply)(true);
            },
            [this, apply, unchecked] {
                if (unchecked())
                    (this->*apply)(false);
            },
            button));
    };
    preview(m_percentAction, &MainWindow::applyPercentModeToViews);
    preview(m_originalAction, &MainWindow::applyShowOriginalToViews);
}

void MainWindow::buildDatabasePanel()
{
    m_databasePanel = new QWidget(this);
    m_databasePanel->setObjectName(QStringLiteral("databasePanel"));
    auto *layout = new QVBoxLayout(m_databasePanel);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);

    m_fileButtonRow = new QWidget(m_databasePanel);
    auto *row = new QHBoxLayout(m_fileButtonRow);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    auto makeButton = [this](const QString &tip, const QSize &size) {
        auto *b = new QToolButton(m_fileButtonRow);
        b->setAutoRaise(true);
        b->setToolTip(tip);
        b->setFixedSize(size);
        return b;
    };
    QToolButton *open = makeButton(QStringLiteral("Apri firmware"), QSize(28, 26));
    open->setObjectName(QStringLiteral("panelOpenButton"));
    open->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    QToolButton *save = makeButton(QStringLiteral("Salva progetto"), QSize(28, 26));
    save->setObjectName(QStringLiteral("panelSaveButton"));
    save->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    QToolButton *ols = makeButton(QStringLiteral("Apri progetto OLS"), QSize(36, 26));
    ols->setObjectName(QStringLiteral("panelOlsButton"));
    ols->setText(QStringLiteral("OLS"));
    QToolButton *a2l = makeButton(QStringLiteral("Importa A2L / DAMOS"), QSize(36, 26));
    a2l->setObjectName(QStringLiteral("panelA2lButton"));
    a2l->setText(QStringLiteral("A2L"));
    QToolButton *xdf = makeButton(QStringLiteral("Importa XDF"), QSize(36, 26));
    xdf->setObjectName(QStringLiteral("panelXdfButton"));
    xdf->setText(QStringLiteral("XDF"));
    const QString textStyle = QStringLiteral("QToolButton { font-weight: bold; padding: 3px 5px;}");
    ols->setStyleSheet(textStyle);
    a2l->setStyleSheet(textStyle);
    xdf->setStyleSheet(textStyle);
    for (QToolButton *b : {open, save, ols, a2l, xdf})
        row->addWidget(b);
    row->addStretch(1);
    m_collapseButton = new QToolButton(m_databasePanel);
    m_collapseButton->setObjectName(QStringLiteral("databaseCollapseButton"));
    m_collapseButton->setAutoRaise(true);
    m_collapseButton->setArrowType(Qt::LeftArrow);
    m_collapseButton->setFixedSize(24, 26);
    m_collapseButton->setToolTip(QStringLiteral("Chiudi Database"));
    connect(m_collapseButton, &QToolButton::clicked, this, &MainWindow::toggleDatabasePanel);
    row->addWidget(m_collapseButton);
    layout->addWidget(m_fileButtonRow);

    m_filterButton = new QToolButton(m_databasePanel);
    m_filterButton->setObjectName(QStringLiteral("mapFilterButton"));
    m_filterButton->setText(QStringLiteral("FILTRO MAPPE"));
    m_filterButton->setToolTip(QStringLiteral("Filtra mappe A2L / DAMOS"));
    m_filterButton->setFixedHeight(26);
    m_filterButton->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_filterButton->setStyleSheet(QStringLiteral(
        "QToolButton { background-color: #e5e7eb; color: #30343b; border: 1px solid #c8ccd2; "
        "border-radius: 2px; font-weight: bold; padding: 3px 6px; text-align: left;}"
        "QToolButton:hover { background-color: #d8dce2;}"
        "QToolButton:pressed { background-color: #cdd2d9;}"));
    connect(m_filterButton, &QToolButton::clicked, this, [this] {
        DocumentWindow *document = activeDocumentWindow();
        FirmwareProject *record = activeDocument();
        MapFilterDialog *dialog
            = m_importer->openMapFilter(record, [this, record] { return mapsItemOf(record); });
        // After the tree rebuilt the branch (connected earlier), which brings every entry back.
        if (dialog && document)
            connect(document, &DocumentWindow::mapsChanged, dialog, &MapFilterDialog::applyFilter);
    });
    layout->addWidget(m_filterButton);

    m_tree = new QTreeWidget(m_databasePanel);
    m_tree->setObjectName(QStringLiteral("databaseTree"));
    m_tree->setHeaderLabel(QStringLiteral("Database"));
    m_tree->setMouseTracking(true);
    m_tree->viewport()->setMouseTracking(true);
    m_tree->viewport()->installEventFilter(this);
    layout->addWidget(m_tree, 1);
    m_changedLegend = new QLabel(m_databasePanel);
    m_changedLegend->setObjectName(QStringLiteral("changedMapsLegend"));
    m_changedLegend->setWordWrap(true);
    m_changedLegend->setTextFormat(Qt::RichText);
    m_changedLegend->hide();
    layout->addWidget(m_changedLegend);
    // Takes the room of the hidden tree when the panel is collapsed, so that the reopen
    // button stays at the top instead of drifting to the middle.
    layout->addStretch(0);

    m_mapToolTip = new QLabel(this, Qt::ToolTip);
    m_mapToolTip->setObjectName(QStringLiteral("mapToolTip"));
    m_mapToolTip->setTextFormat(Qt::RichText);
    m_mapToolTip->setMargin(7);
    m_mapToolTip->setStyleSheet(QStringLiteral(
        "QLabel { background-color: #ffffdc; color: #202020; border: 1px solid #808080; "
        "padding: 3px;}"));
    m_mapToolTip->hide();
    connectMapTree();

    connect(open, &QToolButton::clicked, this, &MainWindow::onOpenFirmware);
    connect(save, &QToolButton::clicked, this, &MainWindow::onSave);
    connect(ols, &QToolButton::clicked, m_importer, &DescriptionImporter::importOLS);
    connect(a2l, &QToolButton::clicked, this,
            [this] { m_importer->importA2L(activeDocument()); });
    connect(xdf, &QToolButton::clicked, this,
            [this] { m_importer->importXdf(activeDocument()); });
}

void MainWindow::buildMenus()
{
    auto add = [this](QMenu *menu, const QString &text, const QString &name,
                      const std::function<void()> &effect = {}) {
        QAction *a = menu->addAction(text);
        a->setObjectName(name);
        if (effect)
            connect(a, &QAction::triggered, this, effect);
        else
            a->setEnabled(false); // arrives with a later part of the application
        return a;
    };

    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    add(file, QStringLiteral("Salva"), QStringLiteral("saveAction"), [this] { onSave(); })
        ->setShortcut(QKeySequence::Save);
    add(file, QStringLiteral("Apri Firmware..."), QStringLiteral("openFirmwareAction"),
        [this] { onOpenFirmware(); });
    add(file, QStringLiteral("Dati progetto..."), QStringLiteral("projectDataAction"),
        [this] { m_projectCommands->showProjectData(); });
    add(file, QStringLiteral("Apri progetto..."), QStringLiteral("openProjectAction"),
        [this] { m_projectCommands->browseProjects(); });
    add(file, QStringLiteral("Importa A2L / DAMOS..."), QStringLiteral("importA2lAction"),
        [this] { m_importer->importA2L(activeDocument()); });
    add(file, QStringLiteral("Importa XDF..."), QStringLiteral("importXdfAction"),
        [this] { m_importer->importXdf(activeDocument()); });
    add(file, QStringLiteral("Importa progetto OLS..."), QStringLiteral("importOlsAction"),
        [this] { m_importer->importOLS(); });
    add(file, QStringLiteral("Accesso cliente..."), QStringLiteral("signInAction"),
        [this] { m_online->signIn(); });
    QMenu *importExport = file->addMenu(QStringLiteral("Importa / Esporta"));
    add(importExport, QStringLiteral("Esporta firmware..."), QStringLiteral("exportFirmwareAction"),
        [this] { onExportFirmware(); });
    add(importExport, QStringLiteral("Importa pacchetto mappe..."),
        QStringLiteral("importMapPackAction"), [this] { m_projectCommands->importMapPack(); });
    add(importExport, QStringLiteral("Esporta pacchetto mappe..."),
        QStringLiteral("exportMapPackAction"), [this] { m_projectCommands->exportMapPack(); });
    add(importExport, QStringLiteral("Esporta XDF..."), QStringLiteral("exportXdfAction"),
        [this] { m_importer->exportXdf(activeDocument()); });
    add(file, QStringLiteral("Esci"), QStringLiteral("exitAction"), [this] { close(); });

    QMenu *edit = menuBar()->addMenu(QStringLiteral("Modifica"));
    // On the 2D page these commands belong to the 2D view's word edits.
    // An edit command acts on the page the active document shows: the hex table's command,
    // or the 2D view's word edit of the same name.
    auto onPage = [this](void (HexViewer::*command)(), WordEditKind wordEdit) {
        return [this, command, wordEdit] {
            DocumentWindow *document = activeDocumentWindow();
            if (!document)
                return;
            if (document->currentPage() == 0)
                (document->hexViewer()->*command)();
            else if (document->currentPage() == 1)
                document->hex2DView()->editSelection(wordEdit);
        };
    };
    add(edit, QStringLiteral("Valore originale"), QStringLiteral("originalValueAction"),
        onPage(&HexViewer::originalValue, WordEditKind::Original));
    add(edit, QStringLiteral("+1"), QStringLiteral("plusOneAction"),
        onPage(&HexViewer::plusOne, WordEditKind::PlusOne));
    add(edit, QStringLiteral("-1"), QStringLiteral("minusOneAction"),
        onPage(&HexViewer::minusOne, WordEditKind::MinusOne));
    add(edit, QStringLiteral("Modifica in assoluto..."), QStringLiteral("absoluteEditAction"),
        onPage(&HexViewer::absoluteEdit, WordEditKind::Absolute));
    add(edit, QStringLiteral("Modifica in percentuale..."), QStringLiteral("percentEditAction"),
        onPage(&HexViewer::percentageEdit, WordEditKind::Percent));
    auto onViewer = [this](void (HexViewer::*command)()) {
        return [this, command] {
            if (HexViewer *viewer = activeViewer(this))
                (viewer->*command)();
        };
    };
    add(edit, QStringLiteral("Undo"), QStringLiteral("undoAction"), onViewer(&HexViewer::undo))
        ->setShortcut(QKeySequence::Undo);
    add(edit, QStringLiteral("Redo"), QStringLiteral("redoAction"), onViewer(&HexViewer::redo))
        ->setShortcut(QKeySequence::Redo);
    add(edit, QStringLiteral("Copy"), QStringLiteral("copyAction"), [this] {
        HexViewer *viewer = activeViewer(this);
        const QByteArray bytes = viewer ? viewer->selectedBytes() : QByteArray();
        if (!bytes.isEmpty())
            QGuiApplication::clipboard()->setText(HexCells::copiedHex(bytes));
    })->setShortcut(QKeySequence::Copy);
    add(edit, QStringLiteral("Paste"), QStringLiteral("pasteAction"), [this] {
        HexViewer *viewer = activeViewer(this);
        // Only clean hex text is written; anything else would put bytes nobody typed.
        const auto bytes = HexCells::parsePastedHex(QGuiApplication::clipboard()->text());
        if (viewer && bytes)
            viewer->pasteBytes(*bytes);
    })->setShortcut(QKeySequence::Paste);
    edit->addSeparator();
    add(edit, QStringLiteral("Correggi checksum"), QStringLiteral("correctChecksumAction"),
        [this] { onCorrectChecksums(); });
    add(edit, QStringLiteral("Rapporto checksum..."), QStringLiteral("checksumReportAction"), [this] {
        if (DocumentWindow *document = activeDocumentWindow())
            document->checksums()->showReport();
    });

    QMenu *view = menuBar()->addMenu(QStringLiteral("Visualizza"));
    auto onDocument = [this](const std::function<void(DocumentWindow *)> &command) {
        return [this, command] {
            if (DocumentWindow *document = activeDocumentWindow())
                command(document);
        };
    };
    add(view, QStringLiteral("Più colonne\tM"), QStringLiteral("moreColumnsAction"),
        onDocument([](DocumentWindow *d) { d->changeColumns(1); }));
    add(view, QStringLiteral("Meno colonne\tW"), QStringLiteral("fewerColumnsAction"),
        onDocument([](DocumentWindow *d) { d->changeColumns(-1); }));
    add(view, QStringLiteral("Zoom avanti"), QStringLiteral("zoomInAction"),
        [this] { m_zoomX->setValue(zoomedIn(m_zoomX->value(), m_zoomX->maximum())); });
    add(view, QStringLiteral("Zoom indietro"), QStringLiteral("zoomOutAction"),
        [this] { m_zoomX->setValue(zoomedOut(m_zoomX->value(), m_zoomX->minimum())); });
    add(view, QStringLiteral("Marcatura a sinistra\tCtrl+←"), QStringLiteral("rowOriginLeftAction"),
        onDocument([](DocumentWindow *d) { d->shiftRowOrigin(-2); }));
    add(view, QStringLiteral("Marcatura a destra\tCtrl+→"), QStringLiteral("rowOriginRightAction"),
        onDocument([](DocumentWindow *d) { d->shiftRowOrigin(2); }));
    // On the 2D page the 2D view cuts the map from its own selection.
    add(view, QStringLiteral("CREA MAPPA\tK"), QStringLiteral("createMapAction"),
        onDocument([](DocumentWindow *d) { d->requestCreateMap(); }));

    QMenu *selection = menuBar()->addMenu(QStringLiteral("Selezione"));
    add(selection, QStringLiteral("Crea selezione..."), QStringLiteral("createSelectionAction"),
        [this] {
            HexViewer *viewer = activeViewer(this);
            if (!viewer)
                return;
            // The 2D view's cursor comes first once that view exists.
            QPointer<HexViewer> target(viewer);
            auto *dialog = new CreateSelectionDialog(
                viewer, [target] { return target ? target->currentOffset() : -1; }, this);
            dialog->show();
            dialog->raise();
            dialog->activateWindow();
        });

    QMenu *byteOrder = menuBar()->addMenu(QStringLiteral("Byte Order"));
    m_byteOrderGroup = new QActionGroup(this);
    const struct { const char *text; const char *name; } orders[] = {
        {"Little Endian", "littleEndianAction"},
        {"Big Endian", "bigEndianAction"},
        {"Auto", "autoByteOrderAction"}};
    for (const auto &o : orders) {
        QAction *a = byteOrder->addAction(QString::fromLatin1(o.text));
        a->setObjectName(QString::fromLatin1(o.name));
        a->setCheckable(true);
        m_byteOrderGroup->addAction(a);
    }
    connect(m_byteOrderGroup, &QActionGroup::triggered, this, [this](QAction *a) {
        HexViewer *viewer = activeViewer(this);
        if (!viewer)
            return;
        const int order = m_byteOrderGroup->actions().indexOf(a); // 0 little, 1 big, 2 Auto
        if (order < 2)
            viewer->setByteOrder(order);
        viewer->model()->setByteOrderExplicit(order < 2);
    });
    action(QStringLiteral("autoByteOrderAction"))->setChecked(true);

    QMenu *search = menuBar()->addMenu(QStringLiteral("Cerca"));
    add(search, QStringLiteral("Trova..."), QStringLiteral("findAction"), [this] { findValue(); })
        ->setShortcut(QKeySequence::Find);
    add(search, QStringLiteral("Calcolatrice..."), QStringLiteral("calculatorAction"),
        [this] { onCalculator(); })
        ->setShortcut(QKeySequence(QStringLiteral("Ctrl+K")));
    add(search, QStringLiteral("Vai a offset..."), QStringLiteral("goToOffsetAction"), [this] {
        HexViewer *viewer = activeViewer(this);
        if (!viewer)
            return;
        const int offset = std::max(0, viewer->currentOffset());
        viewer->goToAddress(QStringLiteral("%1").arg(offset, 8, 16, QLatin1Char('0')).toUpper());
    })->setShortcut(QKeySequence(QStringLiteral("Ctrl+G")));

    QMenu *misc = menuBar()->addMenu(QStringLiteral("Varie"));
    add(misc, QStringLiteral("Cerca mappe potenziali..."), QStringLiteral("findMapsAction"),
        [this] { m_mapFinder->start(); });
    add(misc, QStringLiteral("Confronta con..."), QStringLiteral("compareWithAction"), [this] {
        FirmwareProject *record = activeDocument();
        const QString title = QStringLiteral("Confronta con");
        if (!record) {
            QMessageBox::warning(this, title, QStringLiteral("Nessun firmware attivo."));
            return;
        }
        // A version of the document's project, or any image.
        QStringList choices;
        QList<VersionEntry> versions;
        if (!record->projectFolder.isEmpty())
            versions = ProjectStore::listVersions(record->projectFolder);
        for (const VersionEntry &version : versions)
            choices << QStringLiteral("Versione: %1").arg(version.name);
        const QString otherFile = QStringLiteral("Altro file...");
        choices << otherFile;
        bool ok = true;
        const QString choice
            = choices.size() == 1
                  ? otherFile
                  : QInputDialog::getItem(this, title, QStringLiteral("Confronta il documento con:"),
                                          choices, 0, false, &ok);
        if (!ok)
            return;
        QByteArray other;
        QString name;
        const qsizetype index = choices.indexOf(choice);
        if (index >= 0 && index < versions.size()) {
            QFile file(versions.at(index).folder + QStringLiteral("/firmware.bin"));
            if (file.open(QIODevice::ReadOnly))
                other = file.readAll();
            name = versions.at(index).name;
        } else {
            const QString path = QFileDialog::getOpenFileName(this, title);
            if (path.isEmpty())
                return;
            QFile file(path);
            if (file.open(QIODevice::ReadOnly))
                other = file.readAll();
            name = QFileInfo(path).fileName();
        }
        if (other.isEmpty()) {
            QMessageBox::warning(this, title, QStringLiteral("Impossibile leggere %1.").arg(name));
            return;
        }
        QString error;
        const QString report = compareWith(record, other, name, &error);
        if (report.isEmpty())
            QMessageBox::warning(this, title, error);
        else
            QMessageBox::information(this, QStringLiteral("Confronto con %1").arg(name), report);
    });
    add(misc, QStringLiteral("Trasferisci modifiche..."), QStringLiteral("transferChangesAction"),
        [this] {
            FirmwareProject *record = activeDocument();
            std::unique_ptr<TransferDialog> dialog(createTransferDialog());
            if (!dialog) {
                QMessageBox::warning(this, QStringLiteral("Trasferisci modifiche"),
                                     QStringLiteral("Apri prima il firmware a cui trasferire le "
                                                    "modifiche."));
                return;
            }
            if (dialog->exec() == QDialog::Accepted && documents().contains(record))
                applyTransfer(record, dialog->result());
        });
    QMenu *customer = misc->addMenu(QStringLiteral("Strumenti cliente"));
    add(customer, QStringLiteral("Accesso cliente..."), QStringLiteral("customerSignInAction"),
        [this] { m_online->signIn(); });
    add(customer, QStringLiteral("Richiesta Driver..."), QStringLiteral("driverRequestAction"),
        [this] { m_online->requestDriver(); });
    add(customer, QStringLiteral("Crea driver..."), QStringLiteral("createDriverAction"), [this] {
        const FirmwareProject *record = activeDocument();
        if (!record || !record->firmware) {
            QMessageBox::warning(this, QStringLiteral("Crea driver"),
                                 QStringLiteral("Nessun firmware attivo."));
            return;
        }
        const std::vector<uint8_t> &bytes = record->firmware->data();
        createDriverInteractively(
            this, QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())),
            record->maps, QString::fromStdString(record->firmware->fileName()));
    });
    add(customer, QStringLiteral("Carica driver..."), QStringLiteral("loadDriverAction"),
        [this] { m_driverScan->loadDriverAndScan(); });

    m_windowMenu = new WindowMenu(menuBar()->addMenu(QStringLiteral("Finestre")), m_mdiArea);

    QMenu *info = menuBar()->addMenu(QStringLiteral("Info"));
    add(info, QStringLiteral("Info su Tessamorvandi..."), QStringLiteral("aboutAction"),
        [this] { onAbout(); });
}

QAction *MainWindow::action(const QString &objectName) const
{
    return findChild<QAction *>(objectName);
}

int MainWindow::zoomedIn(int value, int maximum)
{
    return int(qMin<double>(std::round(value * 1.35), maximum));
}

int MainWindow::zoomedOut(int value, int minimum)
{
    return int(qMax<double>(std::round(value / 1.35), minimum));
}

bool MainWindow::acceptsDroppedFile(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).suffix().toLower() != QLatin1String("a2l");
}

void MainWindow::toggleDatabasePanel()
{
    if (!m_databaseCollapsed) {
        const QList<int> sizes = m_splitter->sizes();
        if (!sizes.isEmpty() && sizes.first() > 40)
            m_rememberedPanelWidth = sizes.first();
        m_tree->hide();
        m_changedLegend->hide();
        m_filterButton->hide();
        for (QToolButton *b : m_fileButtonRow->findChildren<QToolButton *>())
            if (b != m_collapseButton)
                b->hide();
        m_databasePanel->setFixedWidth(24);
        m_fileButtonRow->setFixedWidth(28);
        m_collapseButton->setArrowType(Qt::RightArrow);
        m_collapseButton->setToolTip(QStringLiteral("Apri Database"));
        m_databaseCollapsed = true;
        return;
    }
    m_databasePanel->setMinimumWidth(0);
    m_databasePanel->setMaximumWidth(QWIDGETSIZE_MAX);
    m_fileButtonRow->setMinimumWidth(0);
    m_fileButtonRow->setMaximumWidth(QWIDGETSIZE_MAX);
    m_tree->show();
    updateChangedMapsLegend();
    m_filterButton->show();
    for (QToolButton *b : m_fileButtonRow->findChildren<QToolButton *>())
        b->show();
    m_collapseButton->setArrowType(Qt::LeftArrow);
    m_collapseButton->setToolTip(QStringLiteral("Chiudi Database"));
    m_databaseCollapsed = false;
    const QList<int> sizes = m_splitter->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    const auto [panel, documentArea] = DatabasePanelWidths::reopened(m_rememberedPanelWidth, total);
    m_splitter->setSizes({panel, documentArea});
}

void MainWindow::onPercentToggled(bool on)
{
    if (on && m_originalAction->isChecked())
        m_originalAction->setChecked(false);
    qApp->setProperty("ecuPercentMode", on);
    applyPercentModeToViews(on);
}

void MainWindow::onOriginalToggled(bool on)
{
    if (on && m_percentAction->isChecked())
        m_percentAction->setChecked(false);
    applyShowOriginalToViews(on);
}

void MainWindow::onColorToggled(bool on)
{
    qApp->setProperty("ecuColorMode", on);
    applyColorModeToViews(on);
}

void MainWindow::applyPercentModeToViews(bool on)
{
    for (HexViewer *viewer : findChildren<HexViewer *>())
        viewer->model()->setPercentMode(on);
    for (MapWindow *window : findChildren<MapWindow *>())
        window->setPercentMode(on);
    for (Hex2DView *view : findChildren<Hex2DView *>())
        view->setPercentMode(on);
}

void MainWindow::applyShowOriginalToViews(bool on)
{
    // On: the document being looked at and every map window; off: every view, so that none is
    // left showing the original behind a button that says otherwise.
    if (on) {
        if (HexViewer *viewer = activeViewer(this))
            viewer->model()->setShowOriginal(true);
    } else {
        for (HexViewer *viewer : findChildren<HexViewer *>())
            viewer->model()->setShowOriginal(false);
    }
    for (MapWindow *window : findChildren<MapWindow *>())
        window->setShowOriginal(on);
}

void MainWindow::applyColorModeToViews(bool on)
{
    for (HexViewer *viewer : findChildren<HexViewer *>())
        viewer->setDarkColorMode(on);
    for (MapWindow *window : findChildren<MapWindow *>())
        window->setColorMode(on);
    for (Hex2DView *view : findChildren<Hex2DView *>())
        view->setColorMode(on);
}

void MainWindow::syncToolbarWithActiveDocument()
{
    sync2DControlsWithActiveDocument();
    HexViewer *viewer = activeViewer(this);
    if (!viewer)
        return;
    const HexModel *model = viewer->model();
    // These groups act on triggered, which checking does not emit. The action's own signals
    // stay open: its exclusive group unchecks the previous choice through them.
    auto check = [this](const QString &name) { action(name)->setChecked(true); };
    check(model->isDecimal() ? QStringLiteral("decAction") : QStringLiteral("hexAction"));
    check(ViewState::widthActionName(model->floatMode(), model->widthMode()));
    if (!model->byteOrderExplicit())
        check(QStringLiteral("autoByteOrderAction"));
    else
        check(model->byteOrder() == 1 ? QStringLiteral("bigEndianAction")
                                      : QStringLiteral("littleEndianAction"));
    // A document opened while "ORG" is on shows the original like the others.
    if (m_originalAction->isChecked())
        viewer->model()->setShowOriginal(true);
}

bool MainWindow::openFirmwareThroughWizard(const QString &path)
{
    return m_projectCommands->openFirmwareThroughWizard(path);
}

FirmwareProject *MainWindow::createDocumentFromFirmware(Firmware *firmware,
                                                        const QList<MapDefinition> &maps)
{
    auto *record = new FirmwareProject;
    record->firmware.reset(firmware);
    record->versionName = QStringLiteral("Originale");
    record->originalBytes = QByteArray(reinterpret_cast<const char *>(firmware->data().data()),
                                       qsizetype(firmware->size()));
    record->fileName = QString::fromStdString(firmware->fileName());
    record->fileExtension = QString::fromStdString(firmware->extension());
    record->fileSize = qint64(firmware->size());
    record->modified = false;
    record->maps = maps;
    applyIdentification(*record, identifyEcu(*firmware));

    auto *container = new DocumentWindow(record);
    // Views and commands find the document's image through this property.
    container->setProperty("firmwarePtr", QVariant::fromValue<void *>(firmware));

    auto *documentItem = new QTreeWidgetItem(m_tree, {record->fileName});
    auto *mapsItem = new QTreeWidgetItem(documentItem, {QStringLiteral("Mappe")});
    Q_UNUSED(mapsItem);
    m_documentItems.insert(record, documentItem);
    documentItem->setExpanded(true);

    connect(container, &DocumentWindow::mapsChanged, this,
            [this, record] { rebuildMapItems(record); });
    connect(container, &DocumentWindow::modifiedChanged, this,
            [record](bool modified) { record->modified = modified; });
    // Edits made after a comparison bring marks on and off; a burst of them is one update.
    auto *marksTimer = new QTimer(container);
    marksTimer->setSingleShot(true);
    marksTimer->setInterval(400);
    connect(marksTimer, &QTimer::timeout, this, [this, record] {
        if (!record->comparisonBytes.isEmpty())
            markChangedMaps(record, false);
    });
    connect(container->hexViewer()->model(), &HexModel::dataModified, marksTimer,
            qOverload<>(&QTimer::start));
    rebuildMapItems(record);
    connect2DDocument(container);

    QMdiSubWindow *sub = m_mdiArea->addSubWindow(container);
    sub->setWindowTitle(record->fileName);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    record->subWindow = sub;
    sub->installEventFilter(new SubWindowCloseFilter(
        [this, record] { return !record->modified || saveDocument(record); }, sub));
    connect(sub, &QObject::destroyed, this, [this, container] { removeDocument(container); });
    m_documents.insert(container, record);
    m_documentOrder.append(container);

    // A document fills the area like the one before it; the first one fills it too, since a
    // hex table in a small default window shows only a few rows.
    QMdiSubWindow *previous = m_mdiArea->activeSubWindow();
    if (!previous || previous->isMaximized())
        sub->showMaximized();
    else
        sub->show();
    m_mdiArea->setActiveSubWindow(sub);
    statusBar()->showMessage(QStringLiteral("Firmware caricato: ") + record->fileName);
    return record;
}

FirmwareProject *MainWindow::createDocument(Firmware *firmware, const QList<MapDefinition> &maps)
{
    return createDocumentFromFirmware(firmware, maps);
}

void MainWindow::setDocumentMaps(FirmwareProject *record, const QList<MapDefinition> &maps)
{
    if (DocumentWindow *document = documentWindowOf(record))
        document->setMaps(maps);
}

void MainWindow::setReferenceBytes(FirmwareProject *record, const QByteArray &originalBytes)
{
    if (DocumentWindow *document = documentWindowOf(record))
        document->setReferenceBytes(originalBytes);
    else if (record)
        record->originalBytes = originalBytes;
}

void MainWindow::setDocumentTitle(FirmwareProject *record, const QString &title)
{
    if (QTreeWidgetItem *documentItem = m_documentItems.value(record))
        documentItem->setText(0, title);
    if (record && record->subWindow)
        record->subWindow->setWindowTitle(title);
}

void MainWindow::showStatus(const QString &text, int timeoutMs)
{
    statusBar()->showMessage(text, timeoutMs);
}

void MainWindow::removeDocument(QWidget *container)
{
    FirmwareProject *record = m_documents.take(container);
    m_documentOrder.removeAll(container);
    if (!record)
        return;
    delete m_documentItems.take(record);
    delete record;
    updateChangedMapsLegend();
}

void MainWindow::rebuildMapItems(FirmwareProject *record)
{
    QTreeWidgetItem *mapsItem = mapsItemOf(record);
    if (!mapsItem)
        return;
    // A rebuild (after any change of the list) keeps the groups the user opened.
    QSet<QString> openGroups;
    const std::function<void(const QTreeWidgetItem *)> collectOpen
        = [&](const QTreeWidgetItem *parent) {
              for (int i = 0; i < parent->childCount(); ++i) {
                  const QTreeWidgetItem *child = parent->child(i);
                  if (child->isExpanded() && child->data(0, MapGroupRole).isValid())
                      openGroups.insert(child->data(0, MapGroupRole).toString());
                  collectOpen(child);
              }
          };
    collectOpen(mapsItem);
    qDeleteAll(mapsItem->takeChildren());
    QTreeWidgetItem *driverItem = driverMapsItemOf(record);
    const bool driverExpanded = driverItem && driverItem->isExpanded();
    delete driverItem;
    driverItem = nullptr;

    // A map deleted since the scan leaves no trace in the driver branch.
    QHash<int, DriverMapOrigin> origins;
    QList<QTreeWidgetItem *> items;
    items.reserve(record->maps.size());
    QMap<int, QTreeWidgetItem *> categoryItems;
    // A map's group path ("Accensione/Base") nests it under one item per level.
    QHash<QString, QTreeWidgetItem *> groupItems;
    const std::function<QTreeWidgetItem *(const QStringList &)> groupItem
        = [&](const QStringList &levels) -> QTreeWidgetItem * {
        const QString path = levels.join(u'/');
        QTreeWidgetItem *&item = groupItems[path];
        if (!item) {
            item = new QTreeWidgetItem({levels.constLast()});
            item->setData(0, MapGroupRole, path);
            if (levels.size() == 1)
                items.append(item);
            else
                groupItem(levels.first(levels.size() - 1))->addChild(item);
        }
        return item;
    };
    for (int i = 0; i < record->maps.size(); ++i) {
        const MapDefinition &map = record->maps.at(i);
        const auto origin = map.sourceKind == MapDefinition::SourceDriver
                                ? record->driverMapOrigins.constFind(map.mapOffset)
                                : record->driverMapOrigins.cend();
        if (origin == record->driverMapOrigins.cend()) {
            auto *item = new QTreeWidgetItem({map.name});
            item->setData(0, Qt::UserRole, map.mapOffset);
            item->setData(0, Qt::UserRole + 10, i);
            const QStringList levels = mapGroupLevels(map.group);
            if (levels.isEmpty())
                items.append(item);
            else
                groupItem(levels)->addChild(item);
            continue;
        }
        origins.insert(map.mapOffset, *origin);
        if (!driverItem) {
            driverItem = new QTreeWidgetItem(m_documentItems.value(record),
                                             {QStringLiteral("Driver Maps")});
            driverItem->setExpanded(driverExpanded);
        }
        QTreeWidgetItem *&categoryItem = categoryItems[origin->category];
        if (!categoryItem) {
            categoryItem = new QTreeWidgetItem(driverItem, {categoryName(origin->category)});
            categoryItem->setData(0, Qt::UserRole + 21, origin->category);
        }
        QString text = map.name.isEmpty() ? origin->itemText : map.name;
        if (origin->doubtful)
            text += QStringLiteral(" (dubbia)");
        auto *item = new QTreeWidgetItem(categoryItem, {text});
        item->setToolTip(0, origin->status);
        item->setData(0, Qt::UserRole, map.mapOffset);
        item->setData(0, Qt::UserRole + 10, i);
        item->setData(0, Qt::UserRole + 20, QStringLiteral("DRIVER_MAP"));
        item->setData(0, Qt::UserRole + 21, origin->category);
        item->setData(0, Qt::UserRole + 22, origin->confidence);
    }
    record->driverMapOrigins = origins;
    mapsItem->addChildren(items);
    mapsItem->setExpanded(true);
    // Only an item inside the tree can be expanded.
    for (auto it = groupItems.cbegin(); it != groupItems.cend(); ++it)
        it.value()->setExpanded(openGroups.contains(it.key()));
    markChangedMaps(record, false);
}

QString MainWindow::compareWith(FirmwareProject *record, const QByteArray &other,
                                const QString &name, QString *error)
{
    if (!record || !record->firmware)
        return {};
    const std::vector<uint8_t> &bytes = record->firmware->data();
    if (other.size() != qsizetype(bytes.size())) {
        *error = QStringLiteral("Le immagini hanno dimensioni differenti.\n\n%1: %2 bytes\n"
                                "Documento: %3 bytes")
                     .arg(name)
                     .arg(other.size())
                     .arg(bytes.size());
        return {};
    }
    const auto *otherData = reinterpret_cast<const uint8_t *>(other.constData());
    const CompareStatistics statistics = compareImages(
        other.constData(), reinterpret_cast<const char *>(bytes.data()), other.size());
    QString text = secondCompareReport(statistics, name).text;
    if (!record->maps.isEmpty())
        text += QStringLiteral("\n\n")
                + mapComparisonText(
                    compareMaps(record->maps, otherData, bytes.data(), other.size()),
                    record->maps, 15);
    setComparison(record, other, name);
    return text;
}

TransferDialog *MainWindow::createTransferDialog()
{
    const FirmwareProject *record = activeDocument();
    if (!record || !record->firmware)
        return nullptr;
    const std::vector<uint8_t> &bytes = record->firmware->data();
    return new TransferDialog(
        QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())),
        m_projectCommands->store().root(), this);
}

bool MainWindow::applyTransfer(FirmwareProject *record, const TransferResult &result)
{
    DocumentWindow *document = documentWindowOf(record);
    if (!document || !result.error.isEmpty() || result.writtenCount() == 0)
        return false;
    const std::vector<uint8_t> &bytes = record->firmware->data();
    const QByteArray current(reinterpret_cast<const char *>(bytes.data()),
                             qsizetype(bytes.size()));
    const ByteRange span = changedSpan(current, result.image);
    // One write from the first to the last changed byte: one undo step; the checksum state
    // follows the hex model as after any edit.
    if (span.isValid() && span.end <= INT_MAX
        && !document->writeBytes(int(span.start),
                                 result.image.mid(span.start, span.end - span.start + 1)))
        return false;
    for (const MapDefinition &map : transferredMapsToAdd(record->maps, result))
        document->addMap(map);
    statusBar()->showMessage(
        QStringLiteral("Modifiche trasferite: %1 mappe scritte.").arg(result.writtenCount()),
        8000);
    return true;
}

void MainWindow::setComparison(FirmwareProject *record, const QByteArray &otherSide,
                               const QString &name)
{
    if (!record)
        return;
    record->comparisonBytes = otherSide;
    record->comparisonName = name;
    markChangedMaps(record, true);
    // The list shows where the first changed map is.
    QTreeWidgetItem *documentItem = m_documentItems.value(record);
    for (QTreeWidgetItemIterator it(documentItem); documentItem && *it; ++it) {
        if ((*it)->data(0, MapChangedRole).toBool()) {
            documentItem->setExpanded(true);
            m_tree->scrollToItem(*it, QAbstractItemView::PositionAtCenter);
            break;
        }
        if (*it != documentItem && (*it)->parent() == documentItem->parent())
            break;
    }
}

void MainWindow::markChangedMaps(FirmwareProject *record, bool openGroups)
{
    // The maps that differ from the other side of the last comparison, marked at a glance.
    QHash<int, MapChange> changes;
    const std::vector<uint8_t> &image = record->firmware->data();
    if (!record->comparisonBytes.isEmpty()
        && record->comparisonBytes.size() == qsizetype(image.size())) {
        const MapComparison comparison = compareMaps(
            record->maps, reinterpret_cast<const uint8_t *>(record->comparisonBytes.constData()),
            image.data(), qint64(image.size()));
        for (const MapChange &change : comparison.changedMaps)
            changes.insert(change.mapIndex, change);
    }
    const auto setMark = [](QTreeWidgetItem *item, bool on) {
        item->setData(0, MapChangedRole, on ? QVariant(true) : QVariant());
        item->setData(0, Qt::ForegroundRole, on ? QVariant(QColor(0xc0, 0x30, 0x10)) : QVariant());
        item->setIcon(0, on ? changedMapIcon() : QIcon());
    };
    // A group holding a changed map carries the mark too; true when something under parent
    // is changed.
    const std::function<bool(QTreeWidgetItem *)> mark = [&](QTreeWidgetItem *parent) {
        bool any = false;
        for (int i = 0; i < parent->childCount(); ++i) {
            QTreeWidgetItem *child = parent->child(i);
            bool ok = false;
            const int index = child->data(0, Qt::UserRole + 10).toInt(&ok);
            bool changed = false;
            if (ok && child->childCount() == 0) {
                const auto change = changes.constFind(index);
                changed = change != changes.cend() && index < record->maps.size();
                setMark(child, changed);
                child->setToolTip(0, changed ? QStringLiteral("Modificata rispetto a %1: %2")
                                                   .arg(record->comparisonName,
                                                        mapChangeText(
                                                            *change,
                                                            record->maps.at(index).decimals))
                                             : QString());
            } else if (child->childCount() > 0) {
                changed = mark(child);
                setMark(child, changed);
                if (changed && openGroups)
                    child->setExpanded(true);
            }
            any = any || changed;
        }
        return any;
    };
    if (QTreeWidgetItem *maps = mapsItemOf(record))
        mark(maps);
    if (QTreeWidgetItem *driver = driverMapsItemOf(record))
        mark(driver);
    updateChangedMapsLegend();
    // An open "solo mappe modificate" filter follows the marks an edit changed.
    if (MapFilterDialog *filter = m_importer ? m_importer->mapFilterDialog() : nullptr)
        filter->applyFilter();
}

QIcon MainWindow::changedMapIcon()
{
    static const QIcon icon = [] {
        QPixmap dot(12, 12);
        dot.fill(Qt::transparent);
        QPainter painter(&dot);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xe0, 0x50, 0x20));
        painter.drawEllipse(QRectF(2, 2, 8, 8));
        return QIcon(dot);
    }();
    return icon;
}

void MainWindow::updateChangedMapsLegend()
{
    if (!m_changedLegend)
        return;
    // The legend names the comparison of the active document, or of any that has marks.
    QString name;
    FirmwareProject *active = activeDocument();
    for (FirmwareProject *record : documents())
        if (!record->comparisonBytes.isEmpty() && (name.isEmpty() || record == active))
            name = record->comparisonName;
    m_changedLegend->setText(
        QStringLiteral("<span style=\"color:#e05020\">&#9679;</span> Mappa modificata rispetto a "
                       "%1 (FILTRO MAPPE: solo mappe modificate)")
            .arg(name.toHtmlEscaped()));
    m_changedLegend->setVisible(!name.isEmpty() && !m_tree->isHidden());
}

QTreeWidgetItem *MainWindow::driverMapsItemOf(const FirmwareProject *record) const
{
    QTreeWidgetItem *documentItem = m_documentItems.value(record);
    if (!documentItem)
        return nullptr;
    for (int i = 1; i < documentItem->childCount(); ++i)
        if (documentItem->child(i)->text(0) == QLatin1String("Driver Maps"))
            return documentItem->child(i);
    return nullptr;
}

void MainWindow::expandDriverMaps(const FirmwareProject *record)
{
    if (QTreeWidgetItem *documentItem = m_documentItems.value(record))
        documentItem->setExpanded(true);
    if (QTreeWidgetItem *driverItem = driverMapsItemOf(record))
        driverItem->setExpanded(true);
}

QTreeWidgetItem *MainWindow::mapsItemOf(const FirmwareProject *record) const
{
    QTreeWidgetItem *documentItem = m_documentItems.value(record);
    return documentItem && documentItem->childCount() > 0 ? documentItem->child(0) : nullptr;
}

FirmwareProject *MainWindow::activeDocument() const
{
    DocumentWindow *document = activeDocumentWindow();
    return document ? m_documents.value(document) : nullptr;
}

DocumentWindow *MainWindow::activeDocumentWindow() const
{
    // A map window stands for the document it belongs to.
    QMdiSubWindow *sub = m_mdiArea->activeSubWindow();
    QWidget *widget = sub ? sub->widget() : nullptr;
    if (auto *map = qobject_cast<MapWindow *>(widget))
        widget = documentOfMapWindow(map);
    return m_documents.contains(widget) ? static_cast<DocumentWindow *>(widget) : nullptr;
}

DocumentWindow *MainWindow::documentWindowOf(const FirmwareProject *record) const
{
    for (auto it = m_documents.cbegin(); it != m_documents.cend(); ++it)
        if (it.value() == record)
            return qobject_cast<DocumentWindow *>(it.key());
    return nullptr;
}

QList<FirmwareProject *> MainWindow::documents() const
{
    QList<FirmwareProject *> list;
    for (QWidget *w : m_documentOrder)
        list.append(m_documents.value(w));
    return list;
}

void MainWindow::setProjectSaver(std::function<bool(FirmwareProject &)> saver)
{
    m_projectSaver = std::move(saver);
}

void MainWindow::setExitQuestion(std::function<ExitChoice()> question)
{
    m_exitQuestion = std::move(question);
}

bool MainWindow::saveDocument(FirmwareProject *record)
{
    if (!record || !m_projectSaver)
        return false;
    DocumentWindow *document = documentWindowOf(record);
    if (document && !document->checksums()->confirmBeforeWriting(QStringLiteral("Salva versione")))
        return false;
    return m_projectSaver(*record);
}

void MainWindow::onSave()
{
    FirmwareProject *record = activeDocument();
    if (!record) {
        QMessageBox::warning(this, QStringLiteral("Salva"),
                             QStringLiteral("Nessun progetto firmware attivo."));
        return;
    }
    if (saveDocument(record))
        statusBar()->showMessage(QStringLiteral("Progetto salvato"), 3000);
    else
        QMessageBox::warning(this, QStringLiteral("Salva progetto"),
                             QStringLiteral("Non è stato possibile salvare il progetto."));
}

void MainWindow::onOpenFirmware()
{
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Apri Firmware"), QString(),
        QStringLiteral("Firmware (*.bin *.hex *.s19 *.mot *.ori *.mpc);;Tutti i file (*.*)"));
    if (!path.isEmpty())
        openFirmwareThroughWizard(path);
}

bool MainWindow::exportFirmware(const QString &path, QString *error)
{
    FirmwareProject *record = activeDocument();
    if (!record || !record->firmware) {
        if (error)
            *error = QStringLiteral("Nessun firmware attivo.");
        return false;
    }
    if (!record->firmware->save(path.toStdString())) {
        if (error)
            *error = QStringLiteral("Errore durante l'esportazione del firmware.");
        return false;
    }
    return true;
}

void MainWindow::onExportFirmware()
{
    FirmwareProject *record = activeDocument();
    if (!record || !record->firmware) {
        QMessageBox::warning(this, QStringLiteral("Esporta firmware"),
                             QStringLiteral("Nessun firmware attivo."));
        return;
    }
    DocumentWindow *document = documentWindowOf(record);
    if (document && !document->checksums()->confirmBeforeWriting(QStringLiteral("Esporta firmware")))
        return;
    QString proposed = QString::fromStdString(record->firmware->fileName());
    if (proposed.isEmpty())
        proposed = QStringLiteral("firmware.bin");
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Esporta firmware"), proposed,
        QStringLiteral("Firmware (*.bin *.hex *.ori *.s19 *.mot);;Tutti i file (*.*)"));
    if (path.isEmpty())
        return;
    QString error;
    if (exportFirmware(path, &error))
        statusBar()->showMessage(QStringLiteral("Firmware esportato: ") + path, 4000);
    else
        QMessageBox::warning(this, QStringLiteral("Esporta firmware"), error);
}

void MainWindow::onCorrectChecksums()
{
    DocumentWindow *document = activeDocumentWindow();
    if (!document) {
        QMessageBox::warning(this, QStringLiteral("Correggi checksum"),
                             QStringLiteral("Nessun progetto firmware attivo."));
        return;
    }
    if (!document->checksums()->report().recognised()) {
        statusBar()->showMessage(
            QStringLiteral("Nessun modulo checksum riconosce questo firmware."), 4000);
        return;
    }
    if (document->checksums()->report().uncorrectable()) {
        QMessageBox::warning(this, QStringLiteral("Correggi checksum"),
                             uncorrectableChecksumText(document->checksums()->report()));
        return;
    }
    const int corrected = document->checksums()->correct();
    statusBar()->showMessage(corrected > 0
                                 ? QStringLiteral("Checksum corretti: %1").arg(corrected)
                                 : QStringLiteral("Checksum già corretti"),
                             4000);
}

void MainWindow::onCalculator()
{
    if (!Platform::startCalculator())
        QMessageBox::warning(this, QStringLiteral("Calcolatrice"),
                             QStringLiteral("Impossibile avviare la calcolatrice."));
}

void MainWindow::onAbout()
{
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Info su Tessamorvandi"));
    auto *layout = new QVBoxLayout(&dialog);
    auto *logo = new QLabel(&dialog);
    const QPixmap pixmap(QStringLiteral(":/resources/tessamorvandi.png"));
    if (!pixmap.isNull())
        logo->setPixmap(pixmap.scaled(360, 240, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    logo->setAlignment(Qt::AlignCenter);
    layout->addWidget(logo);
    auto *name = new QLabel(QStringLiteral("<b>Tessamorvandi</b>"), &dialog);
    name->setAlignment(Qt::AlignCenter);
    layout->addWidget(name);
    auto *version = new QLabel(
        QStringLiteral("Versione installata: %1").arg(QCoreApplication::applicationVersion()),
        &dialog);
    version->setAlignment(Qt::AlignCenter);
    layout->addWidget(version);
    auto *service = new QLabel(m_online->serviceLines().join(QLatin1Char('\n')), &dialog);
    service->setAlignment(Qt::AlignCenter);
    layout->addWidget(service);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.exec();
}

void MainWindow::findValue()
{
    const QString title = QStringLiteral("Ricerca");
    HexViewer *viewer = activeViewer(this);
    if (!viewer) {
        QMessageBox::warning(this, title, QStringLiteral("Nessun firmware attivo."));
        return;
    }
    if (viewer->model()->currentData().isEmpty()) {
        viewer->prompts().warning(this, title, QStringLiteral("Il firmware è vuoto."));
        return;
    }
    HexSearchDialog dialog(viewer, action(QStringLiteral("hexAction"))->isChecked(),
                           [this] {
                               if (action(QStringLiteral("width32Action"))->isChecked())
                                   return 4;
                               if (action(QStringLiteral("width16Action"))->isChecked())
                                   return 2;
                               return 1;
                           },
                           this);
    connect(&dialog, &HexSearchDialog::hitFound, this,
            [this](int offset) { setProperty("lastSearchHit", offset); });
    QEventLoop loop;
    connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
    loop.exec();
}

MainWindow::ExitChoice MainWindow::askExitQuestion()
{
    if (m_exitQuestion)
        return m_exitQuestion();
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(ApplicationName),
                    QStringLiteral("Ci sono progetti con modifiche non salvate."),
                    QMessageBox::NoButton, this);
    QPushButton *saveAll = box.addButton(QStringLiteral("Salva tutto"), QMessageBox::AcceptRole);
    QPushButton *discard = box.addButton(QStringLiteral("Esci senza salvare"),
                                         QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QStringLiteral("Annulla"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.exec();
    if (box.clickedButton() == saveAll)
        return ExitChoice::SaveAll;
    if (box.clickedButton() == discard)
        return ExitChoice::Discard;
    return ExitChoice::Cancel;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    bool anyModified = false;
    for (const FirmwareProject *record : documents())
        anyModified = anyModified || record->modified;
    if (!anyModified) {
        event->accept();
        return;
    }
    switch (askExitQuestion()) {
    case ExitChoice::Cancel:
        event->ignore();
        return;
    case ExitChoice::Discard:
        break;
    case ExitChoice::SaveAll:
        for (FirmwareProject *record : documents()) {
            if (record->modified && !saveDocument(record)) {
                QMessageBox::warning(this, QString::fromLatin1(ApplicationName),
                                     QStringLiteral("Non è stato possibile salvare uno dei progetti."));
                event->ignore();
                return;
            }
        }
        break;
    }
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (acceptsDroppedFile(dropPath(event->mimeData())))
        event->acceptProposedAction();
    else
        event->ignore();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QString path = dropPath(event->mimeData());
    if (!acceptsDroppedFile(path)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (QFileInfo(path).suffix().toLower() == QLatin1String("ols")) {
        m_importer->startOLSImport(path);
        return;
    }
    openFirmwareThroughWizard(path);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (m_tree && watched == m_tree->viewport() && event->type() == QEvent::Leave) {
        m_mapToolTip->hide();
        m_tree->clearSelection();
        m_tree->setCurrentItem(nullptr);
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::connectMapTree()
{
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    // A double click opens a map, brings a document's window back (also from behind a
    // maximised map window, so its branch must not fold away at the same time) and folds
    // or unfolds the branches in between.
    m_tree->setExpandsOnDoubleClick(false);
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item, int) {
        if (isMapItem(item)) {
            openMapOfItem(item);
        } else if (!item->parent()) {
            if (const FirmwareProject *record = recordOfItem(item))
                m_windowMenu->activate(record->subWindow);
        } else {
            item->setExpanded(!item->isExpanded());
        }
    });
    connect(m_tree, &QWidget::customContextMenuRequested, this, &MainWindow::showMapContextMenu);
    connect(m_tree, &QTreeWidget::itemEntered, this, [this](QTreeWidgetItem *item, int) {
        showMapHoverCard(item, QCursor::pos());
    });
}

bool MainWindow::isMapItem(const QTreeWidgetItem *item) const
{
    return item && item->data(0, Qt::UserRole).isValid()
           && item->data(0, Qt::UserRole + 10).isValid() && recordOfItem(item);
}

FirmwareProject *MainWindow::recordOfItem(const QTreeWidgetItem *item) const
{
    while (item && item->parent())
        item = item->parent();
    for (auto it = m_documentItems.cbegin(); it != m_documentItems.cend(); ++it)
        if (it.value() == item)
            return const_cast<FirmwareProject *>(it.key());
    return nullptr;
}

void MainWindow::openMapOfItem(QTreeWidgetItem *item)
{
    if (!isMapItem(item))
        return;
    // By the item's index: two maps may start at the same address.
    if (DocumentWindow *document = documentWindowOf(recordOfItem(item)))
        openMapWindow(document, item->data(0, Qt::UserRole + 10).toInt(), m_mdiArea);
}

bool MainWindow::deleteMapOfItem(QTreeWidgetItem *item)
{
    if (!isMapItem(item))
        return false;
    DocumentWindow *document = documentWindowOf(recordOfItem(item));
    if (!document)
        return false;
    m_mapToolTip->hide();
    // The tree is rebuilt from the list, which renumbers the remaining items; item is gone.
    // The map's window closes with it.
    return document->requestRemoveMapAt(item->data(0, Qt::UserRole + 10).toInt());
}

void MainWindow::showMapContextMenu(const QPoint &position)
{
    QTreeWidgetItem *item = m_tree->itemAt(position);
    if (!isMapItem(item))
        return;
    QMenu menu(this);
    // The read-only card of the map, as the hover shows it but in full.
    QAction *information = menu.addAction(QStringLiteral("Caratteristiche..."));
    menu.addSeparator();
    QAction *remove = menu.addAction(QStringLiteral("Elimina mappa"));
    const int mapIndex = item->data(0, Qt::UserRole + 10).toInt();
    DocumentWindow *document = documentWindowOf(recordOfItem(item));
    QAction *chosen = menu.exec(m_tree->viewport()->mapToGlobal(position));
    if (chosen == remove)
        deleteMapOfItem(m_tree->itemAt(position));
    else if (chosen == information && document)
        showMapInformation(document->record(), mapIndex);
}

void MainWindow::showMapHoverCard(QTreeWidgetItem *item, const QPoint &globalPosition)
{
    if (!isMapItem(item)) {
        m_mapToolTip->hide();
        return;
    }
    const FirmwareProject *record = recordOfItem(item);
    const int index = item->data(0, Qt::UserRole + 10).toInt();
    const MapDefinition *definition
        = index >= 0 && index < record->maps.size() ? &record->maps.at(index) : nullptr;
    if (!definition) {
        m_mapToolTip->hide();
        return;
    }
    m_mapToolTip->setText(MapAddressText::hoverCard(*definition));
    m_mapToolTip->adjustSize();
    m_mapToolTip->move(globalPosition + QPoint(16, 16));
    m_mapToolTip->show();
}

void MainWindow::showMapInformation(int mapOffset)
{
    DocumentWindow *document = activeDocumentWindow();
    showMapInformation(activeDocument(),
                       document ? document->mapIndicesAt(mapOffset).value(0, -1) : -1);
}

void MainWindow::showMapInformation(const FirmwareProject *record, int mapIndex)
{
    const MapDefinition *definition = record && mapIndex >= 0 && mapIndex < record->maps.size()
                                          ? &record->maps.at(mapIndex)
                                          : nullptr;
    if (!definition) {
        QMessageBox::warning(this, QStringLiteral("Caratteristiche"),
                             QStringLiteral("Definizione mappa non trovata."));
        return;
    }
    MapInfoDialog dialog(*definition, this);
    dialog.exec();
}
