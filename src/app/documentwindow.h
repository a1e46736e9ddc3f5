#pragma once

#include <QWidget>

class FirmwareProject;
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
    // Replaces the map with the same mapOffset (a map window changed its definition).
    bool updateMap(const MapDefinition &map);

    // The one way views and map windows change the image: every edit, from any view,
    // lands here. False when the bytes would not fit inside the image.
    bool writeBytes(int offset, const QByteArray &bytes);
    // Offset of the hex view's cursor, -1 when there is none.
    int hexCursorOffset() const;

    void showTextPage();
    void show2DPage();
    void show3DPage();
    int currentPage() const;

signals:
    // The record's map list changed: the tree branch must be rebuilt.
    void mapsChanged();
    // The image or the maps were edited.
    void modifiedChanged(bool modified);
    // A view asks for the map window of a saved map.
    void openMapRequested(int mapOffset);

private:
    void buildBar();

    FirmwareProject *m_record;
    QStackedWidget *m_stack = nullptr;
    QLabel *m_summary = nullptr;
    QLabel *m_placeholder2D = nullptr;
    QLabel *m_placeholder3D = nullptr;
    QButtonGroup *m_viewButtons = nullptr;
    QList<QPushButton *> m_navigationButtons;
};
