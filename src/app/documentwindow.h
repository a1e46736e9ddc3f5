#pragma once

#include <QWidget>

class FirmwareProject;
class Hex2DView;
struct MapDefinition;
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

    // Map list changes; each keeps the views' marks in step and emits mapsChanged().
    void setMaps(const QList<MapDefinition> &maps);
    void addMap(const MapDefinition &map);
    bool removeMap(int mapOffset);
    bool renameMap(int mapOffset, const QString &name);

    // The one way views and map windows change the image: every edit, from any view,
    // lands here. False when the bytes would not fit inside the image.
    bool writeBytes(int offset, const QByteArray &bytes);
    // Offset of the hex view's cursor, -1 when there is none.
    int hexCursorOffset() const;

    void showTextPage();
    void show2DPage();
    void show3DPage();
    int currentPage() const;

    // ---- 2D side ----
    Hex2DView *hex2DView() const { return m_hex2DView; }
    // Replaces the map with the same mapOffset.
    bool replaceMap(const MapDefinition &map);
    // M / W: one column more or less in the views; Ctrl+Left / Ctrl+Right: row origin.
    void moreColumns();
    void fewerColumns();
    void rowOriginLeft();
    void rowOriginRight();
    // Opens the map window of a saved map; unavailable until the map editor is part of the
    // application, which the user is told in the status bar.
    void openMapWindow(int mapOffset);
    // Makes originalBytes the reference of an image whose current bytes differ from it (the
    // ORI of an ORI / MOD comparison); both views then mark every changed byte.
    void setReferenceBytes(const QByteArray &originalBytes);
    // Where "Text" takes the hex view after a map was chosen in the 2D view; -1 when none.
    int pending2DMapOffset() const { return m_pending2DMapOffset; }
    bool initial2DSyncDone() const { return m_initial2DSyncDone; }
    // The 2D ends of the routes from the hex view; each pushes into the 2D view with its
    // signals blocked so that nothing echoes back.
    void show2DSelection(int startOffset, int endOffset);
    void follow2DRange(int startOffset, int endOffset);
    void set2DActiveMap(int mapOffset);
    void set2DRowOrigin(int offset);
    void createMapIn2D(int startOffset, int endOffset);

signals:
    // The record's map list changed: the tree branch must be rebuilt.
    void mapsChanged();
    // The image or the maps were edited.
    void modifiedChanged(bool modified);
    // A firmware file was dropped on the 2D view: compare it with this document's original.
    void firmwareDropRequested(const QString &fileName);
    // A short note for the main window's status bar.
    void statusMessage(const QString &text, int timeout);

private:
    void buildBar();
    void build2DView();
    void connectNavigationButtons();
    void syncHexRangeTo2D();
    void takePending2DMapIntoHexView();
    void refresh2DImage();

    FirmwareProject *m_record;
    QStackedWidget *m_stack = nullptr;
    QLabel *m_summary = nullptr;
    Hex2DView *m_hex2DView = nullptr;
    int m_pending2DMapOffset = -1;
    bool m_initial2DSyncDone = false;
    QLabel *m_placeholder3D = nullptr;
    QButtonGroup *m_viewButtons = nullptr;
    QList<QPushButton *> m_navigationButtons;
};
