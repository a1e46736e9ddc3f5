#pragma once

#include "hex/modifiedoffsets.h"

#include "hex/hex2dgeometry.h"
#include "hex/samplesummary.h"
#include "hex/wordedit.h"
#include "model/mapdefinition.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QWidget>

#include <functional>
#include <vector>

class QMenu;
class QMimeData;
class QPainter;
class QTimer;

// The graph page of a document: a window of the image drawn as a curve of values, with the
// saved maps as bands, a selection that can be edited or cut into a new map, and its own
// overview scroll bar. It never writes the image: every change leaves as dataEditRequested.
class Hex2DView : public QWidget
{
    Q_OBJECT
public:
    // The questions the view asks; tests replace them so that no dialog blocks.
    struct Prompts
    {
        std::function<bool(const QString &title, const QString &label, int minimum, int maximum,
                           int *value)>
            askInteger;
        std::function<bool(const QString &title, const QString &label, double initial,
                           double minimum, double maximum, int decimals, double step,
                           double *value)>
            askDouble;
        std::function<bool(const QString &title, const QString &label, QString *text)> askText;
        std::function<void(const QString &title, const QString &text)> information;
        std::function<void(const QString &title, const QString &text)> warning;
    };

    explicit Hex2DView(QWidget *parent = nullptr);
    ~Hex2DView() override;

    void setPrompts(const Prompts &prompts);

    // Current = original = bytes; window, zooms and differences start afresh.
    void setImage(const QByteArray &bytes);
    // Ignored unless it has the image's size.
    void setCurrentData(const QByteArray &bytes);
    const QByteArray &currentData() const { return m_current; }
    const QByteArray &originalData() const { return m_original; }
    // Offsets where the current bytes differ from the original, ascending.
    const ModifiedOffsets &differences() const { return m_differences; }
    // The writer of the current bytes is about to change [first, last]: the view lets go of
    // its shared copy, and the next setCurrentData renews only that stretch.
    void releaseCurrentData(qint64 first, qint64 last);

    void setLittleEndian(bool littleEndian);
    bool isLittleEndian() const { return m_littleEndian; }
    void setValueWidth(int bytes);
    int valueWidth() const { return m_valueWidth; }
    void setFloatMode(bool on);
    bool floatMode() const { return m_floatMode; }
    void setColumns(int columns);
    int columns() const { return m_columns; }
    void setColorMode(bool on);
    void setPercentMode(bool on);

    void setSavedMaps(const QList<MapDefinition> &maps);
    const QList<MapRanges> &savedMaps() const { return m_savedMaps; }
    void setActiveSavedMap(int mapOffset);
    int activeSavedMap() const { return m_activeSavedMap; }
    // Data start of the saved map whose data or axes contain offset, -1 when none.
    int savedMapAt(qint64 offset) const;

    void setSelection(int startOffset, int endOffset);
    int selectionStart() const { return int(m_selStart); }
    int selectionEnd() const { return int(m_selEnd); }
    int cursorOffset() const { return int(m_cursorOffset); }

    void centerOnOffset(int offset);
    void setUserZoomX(double factor);
    void setUserZoomY(double factor);
    double zoomX() const { return m_geometry.zoomX(); }
    double zoomY() const { return m_geometry.zoomY(); }
    double userZoomX() const { return m_geometry.userZoomX(); }
    double baseZoom() const { return m_geometry.baseZoom(); }
    // The X zoom in percent of the base zoom, as the header and the toolbar's box show it.
    int zoomXPercent() const;
    double centre() const { return m_geometry.centre(); }
    int visibleStart() const { return int(m_geometry.visibleStart()); }
    int visibleEnd() const { return int(m_geometry.visibleEnd()); }
    // Zooms around pixel x as the wheel does; positive steps zoom in.
    void zoomAt(int steps, int x);

    // The document window's navigation buttons.
    void goToStart();
    void goToEnd();
    void nudge(int direction);
    void stepPart(int direction);

    void rowOriginLeft();
    void rowOriginRight();
    void setRowOrigin(int offset);
    int rowOrigin() const { return m_rowOrigin; }

    // "Crea mappa" / key K.
    void createMapFromSelection();
    // The context menu's value edits on the current selection.
    void editSelection(WordEditKind kind);
    // The context menu at a widget position, its actions wired; the caller owns it.
    QMenu *createContextMenu(const QPoint &pos);

    // A firmware file may be dropped: a local file that is neither a WinOLS project nor an A2L.
    static bool acceptsDrop(const QMimeData *mime);

    void paintView(QPainter &painter);

signals:
    void viewRangeChanged(int startOffset, int endOffset);
    void viewOffsetChanged(int offset);
    void selectionChanged(int startOffset, int endOffset);
    void dataEditRequested(int offset, const QByteArray &data);
    void mapDefinitionCreated(MapDefinition definition);
    void firmwareDropRequested(QString fileName);
    void rowOriginChanged(int offset);
    // The wheel changed the X zoom; zoomXPercent() tells the new one.
    void zoomXChangedByWheel();
    void deleteMapRequested(int mapOffset);
    void openSavedMapRequested(int mapOffset);
    void mapPropertiesRequested(int mapOffset);
    void activeSavedMapChanged(int mapOffset);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    Hex2DGeometry &plotLayout();
    SampleFormat sampleFormat() const;
    void emitWindow();
    void emitWindow(qint64 offset);
    void updateDifferences(qint64 first, qint64 last);
    const SampleSummary *summaryForPaint();
    void goToAddress();
    void showProperties(qint64 offset, int map);
    void onRepeat();

    void paintCurve(QPainter &p, const QRect &plot, qint64 s, qint64 e);
    void paintSavedMaps(QPainter &p, const QRect &plot, qint64 s, qint64 e);
    void paintMarks(QPainter &p, const QRect &plot, qint64 s, qint64 e);
    void paintScrollBar(QPainter &p);
    int columnOf(qint64 offset, qint64 s, qint64 e, int w) const;

    Prompts m_prompts;
    Hex2DGeometry m_geometry;
    QByteArray m_current;
    QByteArray m_original;
    ModifiedOffsets m_differences;
    qint64 m_pendingFirst = -1;
    qint64 m_pendingLast = -1;
    SampleSummary m_summary;
    quint64 m_revision = 0;
    QImage m_overview;
    quint64 m_overviewRevision = ~quint64(0);

    int m_valueWidth = 1;
    bool m_floatMode = false;
    bool m_littleEndian = true;
    bool m_colorMode = false;
    bool m_percentMode = false;
    int m_columns = 8;
    int m_rowOrigin = 0;

    qint64 m_selStart = -1;
    qint64 m_selEnd = -1;
    qint64 m_cursorOffset = -1;
    bool m_selecting = false;

    QList<MapRanges> m_savedMaps;
    int m_activeSavedMap = -1;

    bool m_panning = false;
    int m_lastPanX = 0;
    bool m_thumbDragging = false;
    QTimer *m_repeatTimer = nullptr;
    int m_repeatDirection = 0;
    bool m_blinkOn = true;
    QTimer *m_blinkTimer = nullptr;
};
