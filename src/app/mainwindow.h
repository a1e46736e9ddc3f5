#pragma once

#include "projects/documenthost.h"

#include <QHash>
#include <QList>
#include <QMainWindow>

#include <functional>
#include <memory>

class DescriptionImporter;
class DocumentWindow;
class DriverScanCommand;
class MapFinderCommand;
class Firmware;
class FirmwareProject;
class Hex2DView;
struct MapDefinition;
class OnlineCommands;
class OriModComparison;
class ProjectCommands;
class QAction;
class QActionGroup;
class QIcon;
class TransferDialog;
struct TransferResult;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QSplitter;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;
class WindowMenu;
class ZoomSpinBox;

// The one top-level window: document area, "Database" panel, toolbar and menus. Every user
// command enters here and is carried out on the active document.
class MainWindow : public QMainWindow, public DocumentHost
{
    Q_OBJECT
public:
    enum class ExitChoice { SaveAll, Discard, Cancel };

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Opens a firmware file as a new document; false (after telling the user) when it fails.
    bool openFirmwareThroughWizard(const QString &path);
    // Takes ownership of firmware; returns the new document's record.
    FirmwareProject *createDocumentFromFirmware(Firmware *firmware,
                                                const QList<MapDefinition> &maps);

    FirmwareProject *activeDocument() const override;
    DocumentWindow *activeDocumentWindow() const;
    DocumentWindow *documentWindowOf(const FirmwareProject *record) const;
    // Open documents in the order they were opened.
    QList<FirmwareProject *> documents() const override;
    FirmwareProject *createDocument(Firmware *firmware, const QList<MapDefinition> &maps) override;
    void setDocumentMaps(FirmwareProject *record, const QList<MapDefinition> &maps) override;
    void setReferenceBytes(FirmwareProject *record, const QByteArray &originalBytes) override;
    void setDocumentTitle(FirmwareProject *record, const QString &title) override;
    void showStatus(const QString &text, int timeoutMs) override;
    QMdiArea *documentArea() const { return m_mdiArea; }
    QTreeWidget *databaseTree() const { return m_tree; }
    QTreeWidgetItem *mapsItemOf(const FirmwareProject *record) const;
    // The "Driver Maps" branch of a document, null while no scan added maps to it.
    QTreeWidgetItem *driverMapsItemOf(const FirmwareProject *record) const;
    void expandDriverMaps(const FirmwareProject *record);
    // Makes otherSide (named name) the other side of record's comparison: its map list marks
    // the maps that differ from it. An empty otherSide takes the marks away.
    void setComparison(FirmwareProject *record, const QByteArray &otherSide, const QString &name);
    // "Trasferisci modifiche...": the dialog for the active document (null when none is open),
    // and what "Applica" does with its result: the changed span written as one undoable edit,
    // the transferred maps the document lacks added. False when nothing was written.
    TransferDialog *createTransferDialog();
    // "Confronta con...": compares record's image with other (a version of its project or
    // another image of the same size, named name) and marks the maps that differ; the report,
    // or an empty text (with the reason in *error) when the sizes differ.
    QString compareWith(FirmwareProject *record, const QByteArray &other, const QString &name,
                        QString *error);
    bool applyTransfer(FirmwareProject *record, const TransferResult &result);

    // Saves a document as a project version; false when it fails or the user cancels.
    bool saveDocument(FirmwareProject *record);
    // The project store plugs its save in here; without one every save fails honestly.
    void setProjectSaver(std::function<bool(FirmwareProject &)> saver);
    // Replaces the exit question (tests drive it without a dialog).
    void setExitQuestion(std::function<ExitChoice()> question);

    bool exportFirmware(const QString &path, QString *error = nullptr);
    bool isDatabaseCollapsed() const { return m_databaseCollapsed; }
    int rememberedDatabaseWidth() const { return m_rememberedPanelWidth; }
    void setRememberedDatabaseWidth(int width) { m_rememberedPanelWidth = width; }
    QSplitter *splitter() const { return m_splitter; }
    QAction *action(const QString &objectName) const;
    // The A2L / DAMOS and WinOLS import commands and the map filter.
    DescriptionImporter *descriptionImporter() const { return m_importer; }
    // Import wizard, project store and map pack commands.
    ProjectCommands *projectCommands() const { return m_projectCommands; }
    // "Carica driver...": a recognition driver scanned against the active document.
    DriverScanCommand *driverScanCommand() const { return m_driverScan; }
    MapFinderCommand *mapFinderCommand() const { return m_mapFinder; }
    // The service client, sign-in, driver request and online driver search.
    OnlineCommands *onlineCommands() const { return m_online; }
    // "Finestre": the sub-windows of the document area.
    WindowMenu *windowMenu() const { return m_windowMenu; }
    ZoomSpinBox *zoomXBox() const { return m_zoomX; }
    ZoomSpinBox *zoomYBox() const { return m_zoomY; }

    // "Zoom avanti" / "Zoom indietro": value × or ÷ 1.35, half away from zero, kept in range.
    static int zoomedIn(int value, int maximum);
    static int zoomedOut(int value, int minimum);
    // The 2D view of the active document, null when none.
    Hex2DView *activeHex2DView() const;
    // The ORI / MOD comparison started by dropping a file on a 2D view.
    OriModComparison *oriModComparison() const { return m_comparison.get(); }
    // The X and Y zoom boxes take the active 2D view's remembered percentages.
    void sync2DControlsWithActiveDocument();
    // The toolbar shows the active document's display settings.
    void syncToolbarWithActiveDocument();

    // Whether a file dragged onto the window may be dropped (A2L files are refused).
    static bool acceptsDroppedFile(const QString &path);

    // The map items of the "Database" tree: open, delete (after asking), information and hover
    // card; each acts on the item's own map, found by its index (role 266).
    bool isMapItem(const QTreeWidgetItem *item) const;
    FirmwareProject *recordOfItem(const QTreeWidgetItem *item) const;
    void openMapOfItem(QTreeWidgetItem *item);
    bool deleteMapOfItem(QTreeWidgetItem *item);
    void showMapHoverCard(QTreeWidgetItem *item, const QPoint &globalPosition);
    QLabel *mapHoverCard() const { return m_mapToolTip; }

public slots:
    void findValue();
    // The read-only information dialog of a map of the active document.
    void showMapInformation(int mapOffset);
    void showMapInformation(const FirmwareProject *record, int mapIndex);

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildToolbar();
    void buildDatabasePanel();
    void buildMenus();
    void connectMapTree();
    void showMapContextMenu(const QPoint &position);
    void toggleDatabasePanel();
    void connect2DControls();
    void connect2DDocument(DocumentWindow *document);
    void rebuildMapItems(FirmwareProject *record);
    // The mark of a map the last comparison found changed, and its legend under the tree.
    static QIcon changedMapIcon();
    // Sets the marks of the maps that differ from the comparison's other side, opening the
    // groups that hold one when openGroups.
    void markChangedMaps(FirmwareProject *record, bool openGroups);
    void updateChangedMapsLegend();
    void removeDocument(QWidget *container);
    void onOpenFirmware();
    void onSave();
    void onExportFirmware();
    void onCorrectChecksums();
    void onCalculator();
    void onAbout();
    void onPercentToggled(bool on);
    void onOriginalToggled(bool on);
    void onColorToggled(bool on);
    void applyPercentModeToViews(bool on);
    void applyShowOriginalToViews(bool on);
    void applyColorModeToViews(bool on);
    ExitChoice askExitQuestion();

    QMdiArea *m_mdiArea = nullptr;
    DescriptionImporter *m_importer = nullptr;
    QSplitter *m_splitter = nullptr;
    QWidget *m_databasePanel = nullptr;
    QWidget *m_fileButtonRow = nullptr;
    QToolButton *m_collapseButton = nullptr;
    QToolButton *m_filterButton = nullptr;
    QTreeWidget *m_tree = nullptr;
    QLabel *m_changedLegend = nullptr;
    QLabel *m_mapToolTip = nullptr;
    ZoomSpinBox *m_zoomX = nullptr;
    ZoomSpinBox *m_zoomY = nullptr;
    QActionGroup *m_baseGroup = nullptr;
    QActionGroup *m_widthGroup = nullptr;
    QActionGroup *m_byteOrderGroup = nullptr;
    QAction *m_percentAction = nullptr;
    QAction *m_originalAction = nullptr;
    QAction *m_colorAction = nullptr;
    bool m_databaseCollapsed = false;
    int m_rememberedPanelWidth = 250;

    QHash<QWidget *, FirmwareProject *> m_documents;
    QList<QWidget *> m_documentOrder;
    QHash<const FirmwareProject *, QTreeWidgetItem *> m_documentItems;

    std::function<bool(FirmwareProject &)> m_projectSaver;
    std::function<ExitChoice()> m_exitQuestion;
    std::unique_ptr<OriModComparison> m_comparison;
    ProjectCommands *m_projectCommands = nullptr;
    DriverScanCommand *m_driverScan = nullptr;
    MapFinderCommand *m_mapFinder = nullptr;
    OnlineCommands *m_online = nullptr;
    WindowMenu *m_windowMenu = nullptr;
};
