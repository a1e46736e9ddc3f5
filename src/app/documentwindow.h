#pragma once

#include <QList>
#include <QWidget>

#include <functional>

class DocumentChecksums;
class FirmwareProject;
class Hex2DView;
class HexViewer;
struct MapDefinition;
struct SavedMapRegion;
class QButtonGroup;
class QLabel;
class QPushButton;
class QStackedWidget;

// The widget inside a document's sub-window: the views of one image stacked in a page
// area, the bar that switches and pages them, and the routes that keep them in step.
class DocumentWindow : public QWidget
{
    Q_OBJECT
public:
    explicit DocumentWindow(FirmwareProject *record, QWidget *parent = nullptr);

    FirmwareProject *record() const { return m_record; }
    HexViewer *hexViewer() const { return m_hexViewer; }
    Hex2DView *hex2DView() const { return m_hex2DView; }
    // The checksums of the image: status button, correction, report.
    DocumentChecksums *checksums() const { return m_checksums; }

    // Map list changes; each keeps the views' marks in step, emits mapsChanged() and, when
    // the list really changed, marks the document modified. The maps a document opens with
    // are not a change: the record holds them before the window is built.
    // A map is known by its index in the record's list; two maps may share an address.
    void setMaps(const QList<MapDefinition> &maps);
    void addMap(const MapDefinition &map);
    bool removeMapAt(int index);
    bool renameMapAt(int index, const QString &name);
    bool replaceMapAt(int index, const MapDefinition &map);
    // The first map at mapOffset, for callers that know no more than the address.
    bool removeMap(int mapOffset);
    bool replaceMap(const MapDefinition &map);

    // An identity that stays with a map while others are added or removed before it (a map
    // window keeps it); 0 for no such index, and indexOfMapId() -1 for a map that is gone.
    quint64 mapIdAt(int index) const;
    int indexOfMapId(quint64 id) const;
    // The indices of the maps whose data starts at mapOffset.
    QList<int> mapIndicesAt(int mapOffset) const;
    // The map a view means by an address: the only one there, or the one the user picks when
    // several start there; -1 for none or when the user picks nothing.
    int chooseMapAt(int mapOffset);
    // "Elimina mappa": asks before the map goes (there is no undo for it); true when removed.
    bool requestRemoveMapAt(int index);
    // Tests answer these questions without a window.
    void setMapChooser(std::function<int(const QList<int> &indices)> chooser)
    {
        m_chooseMap = std::move(chooser);
    }
    void setMapRemovalQuestion(std::function<bool(const MapDefinition &map)> question)
    {
        m_confirmMapRemoval = std::move(question);
    }

    // The one way views and map windows change the image: every edit, from any view,
    // lands here. False when the bytes would not fit inside the image.
    bool writeBytes(int offset, const QByteArray &bytes);
    // Offset of the hex view's cursor, -1 when there is none.
    int hexCursorOffset() const;

    void showTextPage();
    void show2DPage();
    void show3DPage();
    int currentPage() const;

    // "Più colonne" / "Meno colonne" (keys M and W): one column more or less in both views,
    // keeping the top row's offset; never below one column.
    void changeColumns(int delta);
    // "Marcatura a sinistra" / "a destra" (Ctrl+Left, Ctrl+Right): moves the row origin of
    // both views.
    void shiftRowOrigin(int deltaBytes);
    // "CREA MAPPA": cuts the selection of the page shown into a map.
    void requestCreateMap();
    // Opens the map window of the saved map at mapOffset (through openMapRequested).
    void openMapWindow(int mapOffset);
    // Makes originalBytes the reference of an image whose current bytes differ from it (the
    // ORI of an ORI / MOD comparison, a saved version); both views then mark every change.
    void setReferenceBytes(const QByteArray &originalBytes);
    // The 2D view reads values in the byte order the hex model settled on.
    void sync2DByteOrder();

    // Where "Text" takes the hex view after a map was chosen in the 2D view; -1 when none.
    int pending2DMapOffset() const;
    bool initial2DSyncDone() const;
    // The 2D ends of the routes from the hex view; each pushes into the 2D view with its
    // signals blocked so that nothing echoes back.
    void show2DSelection(int startOffset, int endOffset);
    void follow2DRange(int startOffset, int endOffset);
    void set2DActiveMap(int mapOffset);
    void set2DRowOrigin(int offset);
    void createMapIn2D(int startOffset, int endOffset);

    // The image ranges of a map as the hex views mark them.
    static SavedMapRegion savedMapRegion(const MapDefinition &map);

signals:
    // The record's map list changed: the tree branch must be rebuilt.
    void mapsChanged();
    // The image or the maps were edited.
    void modifiedChanged(bool modified);
    // A saved map was chosen (by its index in the record's list): its map window should open.
    void openMapRequested(int mapIndex);
    // A firmware file was dropped on the 2D view: compare it with this document's original.
    void firmwareDropRequested(const QString &fileName);
    // A short note for the main window's status bar.
    void statusMessage(const QString &text, int timeout);

private:
    void buildBar();
    void build2DView();
    void connectNavigationButtons();
    void installShortcuts();
    void connectHexRoutes();
    void connect2DRoutes();
    void onBytesModified(const QByteArray &data);
    void mapsEdited(bool changed);
    // Marks again every map starting at mapOffset, after one of them went or moved.
    void remarkMapsAt(int mapOffset);
    void syncMapIds() const;
    // Moves the hex table's row origin, keeping its top row and selection.
    void applyRowOriginToHex(int origin);
    void refresh2DImage();

    FirmwareProject *m_record;
    QStackedWidget *m_stack = nullptr;
    HexViewer *m_hexViewer = nullptr;
    Hex2DView *m_hex2DView = nullptr;
    QLabel *m_placeholder3D = nullptr;
    DocumentChecksums *m_checksums = nullptr;
    QButtonGroup *m_viewButtons = nullptr;
    QList<QPushButton *> m_navigationButtons;
    // Set while one view pushes a position into the other, so that nothing echoes back.
    bool m_routing = false;
    // Parallel to the record's maps; rebuilt should the list change behind this window.
    mutable QList<quint64> m_mapIds;
    mutable quint64 m_nextMapId = 1;
    std::function<int(const QList<int> &)> m_chooseMap;
    std::function<bool(const MapDefinition &)> m_confirmMapRemoval;
};
