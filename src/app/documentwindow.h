#pragma once

#include <QWidget>

class FirmwareProject;
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

    // Map list changes; each keeps the views' marks in step and emits mapsChanged().
    void setMaps(const QList<MapDefinition> &maps);
    void addMap(const MapDefinition &map);
    bool removeMap(int mapOffset);
    bool renameMap(int mapOffset, const QString &name);
    // The map with the same mapOffset takes the new definition; its marks are renewed.
    bool replaceMap(const MapDefinition &map);

    // The one way views and map windows change the image: every edit, from any view,
    // lands here. False when the bytes would not fit inside the image.
    bool writeBytes(int offset, const QByteArray &bytes);
    // Offset of the hex view's cursor, -1 when there is none.
    int hexCursorOffset() const;

    void showTextPage();
    void show2DPage();
    void show3DPage();
    int currentPage() const;

    // "Più colonne" / "Meno colonne" (keys M and W): one column more or less, keeping the top
    // row's offset; never below one column.
    void changeColumns(int delta);
    // "Marcatura a sinistra" / "a destra" (Ctrl+Left, Ctrl+Right): moves the row origin.
    void shiftRowOrigin(int deltaBytes);
    // "CREA MAPPA" on the text page: the same as the key K in the hex view.
    void requestCreateMap();

    // The image ranges of a map as the hex views mark them.
    static SavedMapRegion savedMapRegion(const MapDefinition &map);

signals:
    // The record's map list changed: the tree branch must be rebuilt.
    void mapsChanged();
    // The image or the maps were edited.
    void modifiedChanged(bool modified);
    // A saved map was double-clicked in a view: its map window should open.
    void openMapRequested(int mapOffset);
    // A selection should become a map. The 2D view cuts maps; it connects here.
    void mapCutRequested(int startOffset, int endOffset);

private:
    void buildBar();
    void installShortcuts();
    void connectHexRoutes();
    void onBytesModified(const QByteArray &data);
    void onCreateMapRequested(int startOffset, int endOffset);

    FirmwareProject *m_record;
    QStackedWidget *m_stack = nullptr;
    HexViewer *m_hexViewer = nullptr;
    QLabel *m_placeholder2D = nullptr;
    QLabel *m_placeholder3D = nullptr;
    QButtonGroup *m_viewButtons = nullptr;
    QList<QPushButton *> m_navigationButtons;
};
