#pragma once

#include "mapeditor/mapcellappearance.h"

#include "mapeditor/mapcelllayout.h"
#include "mapeditor/mapproperties.h"
#include "mapeditor/mapvaluescaling.h"
#include "model/mapdefinition.h"

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class MapPlotCanvas;
struct MapPlotScene;
class QButtonGroup;
class QDialog;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QComboBox;
class QTableWidget;
class QTableWidgetItem;

// One map of an open document as a table, a line plot and a surface. The window keeps its
// own copies of the raw values and never writes the image: it tells its owner by signals
// which bytes to write.
class MapWindow : public QWidget
{
    Q_OBJECT
public:
    MapWindow(int rows,
              int columns,
              const QList<double> &xAxisValues,
              const QList<double> &yAxisValues,
              const QList<double> &currentValues,
              const QList<double> &originalValues,
              const QByteArray &firmwareBytes,
              int mapOffset,
              int xAxisOffset,
              int yAxisOffset,
              int headerOffset,
              QWidget *parent = nullptr,
              const QString &title = QString(),
              const std::optional<MapDefinition> &definition = std::nullopt);
    ~MapWindow() override;

    // Questions the window asks; tests and scripted callers replace them. Each returns false
    // when the user cancels.
    using DoubleAsker = std::function<bool(const QString &title,
                                           const QString &label,
                                           double preset,
                                           double minimum,
                                           double maximum,
                                           int decimals,
                                           double *value)>;
    using IntAsker = std::function<bool(const QString &title,
                                        const QString &label,
                                        int preset,
                                        int minimum,
                                        int maximum,
                                        int *value)>;
    // Runs a modal dialog and returns its result (QDialog::exec by default).
    using DialogRunner = std::function<int(QDialog &)>;
    void setDoubleAsker(DoubleAsker asker) { m_askDouble = std::move(asker); }
    void setIntAsker(IntAsker asker) { m_askInt = std::move(asker); }
    void setDialogRunner(DialogRunner runner) { m_runDialog = std::move(runner); }

    // Where the window can read the document's image as it is now. Other views may have
    // written into it since the window opened; with a source set, every edit first takes the
    // image's present values, so that a block never writes back stale neighbours.
    using ImageSource = std::function<QByteArray()>;
    void setImageSource(ImageSource source) { m_imageSource = std::move(source); }
    // Re-reads the values and axes from the image source (nothing without one).
    void syncWithImage();

    // Owner operations.
    void setXAxisOffset(int offset);
    void setYAxisOffset(int offset);
    void setShowOriginal(bool on);
    void setPercentMode(bool on);
    void setColorMode(bool on);

    // Cell selection as the plots make it.
    void selectCell(int row, int column, Qt::KeyboardModifiers modifiers);
    void selectCells(const QList<QPoint> &cells, Qt::KeyboardModifiers modifiers);

    // The edits of the value dialog and the table's context menu, without their questions.
    bool setCellValue(int row, int column, double physical);
    void applyAbsoluteValue(double raw);
    void applyPercentChange(double percent);
    void stepSelection(int delta);
    void restoreOriginalSelection();

    // The selected block (its bounding rectangle) as tab-separated text of the physical values
    // shown, with the axes' texts as first line and first column when withAxes; empty when
    // nothing is selected.
    QString selectionText(bool withAxes) const;
    void copySelection(bool withAxes);
    // Pastes such text into the selection or at the current cell as one write; false, after
    // telling the user, when it does not parse, does not fit or holds a value the map's type
    // cannot store (nothing is changed then).
    bool pasteText(const QString &text);
    void pasteFromClipboard();

    // The same map in the other image of a comparison (raw values in storage order, named
    // name): the window can show it beside its own values and take its values over.
    void setOtherSide(const QList<double> &rawValues, const QString &name);
    void setOtherSideView(MapCellAppearance::OtherSideView view);
    MapCellAppearance::OtherSideView otherSideView() const { return m_otherView; }
    // Writes the other side's values into the selection (every cell when none) as one write.
    void copyOtherSideValues();

    // The questions around them.
    void editCurrentCell();
    // A number typed on the current cell opens its in-place editor holding the typed text;
    // the value is written when the editor is committed.
    void typeIntoCurrentCell(const QString &typed);
    void askAbsoluteValue();
    void askPercentChange();
    void openPropertiesDialog();

    // The properties dialog's side of the window. properties() is what the dialog starts
    // from; applyProperties() takes the accepted record whole. While the dialog is open, a
    // value type (an index of valueTypeChoices()) or an axis source changes the shown values at
    // once, and revertOrganisations() puts back the last accepted types when it is cancelled.
    MapProperties properties() const;
    void applyProperties(const MapProperties &properties);
    void setLiveZType(int choice);
    void setLiveXType(int choice);
    void setLiveYType(int choice);
    void revertOrganisations();
    // "1,2,3,4..." (0) or "Eprom" (1) chosen for the X or Y axis.
    void chooseAxisSource(bool xAxis, int source);
    // "Come cursore Hexdump": the owner answers with setXAxisOffset / setYAxisOffset.
    void requestAxisFromCursor(bool xAxis);
    // The open dialog's address fields, which setXAxisOffset / setYAxisOffset fill in.
    void setAxisAddressFields(QLineEdit *xField, QLineEdit *yField);

    // 3D view buttons.
    void rotateLeft();
    void rotateRight();
    void tiltUp();
    void tiltDown();
    void resetView();

    int rows() const { return m_layout.rows(); }
    int columns() const { return m_layout.columns(); }
    int mapOffset() const { return m_mapOffset; }
    int xAxisOffset() const { return m_xAxisOffset; }
    int yAxisOffset() const { return m_yAxisOffset; }
    int headerOffset() const { return m_headerOffset; }
    QString title() const { return m_title; }
    bool hasDefinition() const { return m_hasDefinition; }
    const MapDefinition &definition() const { return m_definition; }
    const QList<double> &xAxisValues() const { return m_xAxisValues; }
    const QList<double> &yAxisValues() const { return m_yAxisValues; }
    const QList<double> &currentValues() const { return m_currentValues; }
    const QList<double> &originalValues() const { return m_originalValues; }
    const QByteArray &firmwareBytes() const { return m_firmwareBytes; }
    int zOrganisation() const { return m_zType.organisation; }
    int xOrganisation() const { return m_xType.organisation; }
    int yOrganisation() const { return m_yType.organisation; }
    const ValueType &zValueType() const { return m_zType; }
    const ValueType &xValueType() const { return m_xType; }
    const ValueType &yValueType() const { return m_yType; }
    int xAxisSource() const { return m_xAxisSource; }
    int yAxisSource() const { return m_yAxisSource; }
    const MapValueScaling &zScaling() const { return m_z; }
    int rotation() const { return m_rotation; }
    int tilt() const { return m_tilt; }
    bool percentMode() const { return m_percentMode; }
    bool showOriginal() const { return m_showOriginal; }
    bool colorMode() const { return m_colorMode; }
    int propertiesStartTab() const { return m_propertiesStartTab; }
    void setPropertiesStartTab(int tab) { m_propertiesStartTab = tab; }

    // Bytes per Z element: what offsets and blocks step by.
    int zElementSize() const;
    // Storage index of a cell; -1 outside the grid.
    qint64 storageIndex(int row, int column) const { return m_layout.index(row, column); }

    QTableWidget *table() const { return m_table; }
    QStackedWidget *viewStack() const { return m_stack; }
    MapPlotCanvas *canvas2D() const { return m_canvas2D; }
    MapPlotCanvas *canvas3D() const { return m_canvas3D; }
    QButtonGroup *viewButtons() const { return m_viewButtons; }
    MapPlotScene plotScene() const;
    void repaintPlots();
    void refreshTable();

signals:
    void mapValueChanged(int offset, double rawValue);
    void mapBlockChanged(int startOffset, QByteArray data);
    void xAxisCursorRequested();
    void yAxisCursorRequested();
    void mapNameChanged(int mapOffset, QString name);
    void mapDefinitionChanged(MapDefinition definition);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildInterface();
    QWidget *buildButtonBar();
    void reloadZ();
    void reloadXAxis();
    void reloadYAxis();
    void labelXAxis();
    void labelYAxis();
    void useIndexXAxis();
    void useIndexYAxis();
    void showTableContextMenu(const QPoint &position);
    void paint2D(QPainter &painter, const QRect &rect);
    void paint3D(QPainter &painter, const QRect &rect);
    void click2D(const QPoint &point, Qt::KeyboardModifiers modifiers);
    void click3D(const QPoint &point, Qt::KeyboardModifiers modifiers);
    void rect2D(const QRect &rect, Qt::KeyboardModifiers modifiers);
    void rect3D(const QRect &rect, Qt::KeyboardModifiers modifiers);
    void after3DButton();
    QList<qint64> selectedIndices() const;
    QString legend() const;
    void recolourForeground(QTableWidgetItem *item, qint64 index);
    // Writes an edit into the window's image copy so that later re-decodes keep it.
    void rememberWrite(int offset, const QByteArray &bytes);
    void emitValue(qint64 index);
    void emitBlock(const QList<qint64> &indices);

    MapCellLayout m_layout;
    int m_mapOffset;
    int m_xAxisOffset;
    int m_yAxisOffset;
    int m_headerOffset;
    int m_propertiesStartTab = 0;
    QString m_title;
    MapDefinition m_definition;
    bool m_hasDefinition = false;
    QList<double> m_xAxisValues;
    QList<double> m_yAxisValues;
    QList<double> m_currentValues;
    QList<double> m_originalValues;
    QByteArray m_firmwareBytes;
    ValueType m_zType;
    QList<double> m_otherValues;
    QString m_otherName;
    MapCellAppearance::OtherSideView m_otherView = MapCellAppearance::OtherSideView::None;
    QComboBox *m_otherViewBox = nullptr;
    ValueType m_xType;
    ValueType m_yType;
    ValueType m_committedZType;
    ValueType m_committedXType;
    ValueType m_committedYType;
    int m_xAxisSource = 1;
    int m_yAxisSource = 1;
    MapValueScaling m_z;
    double m_xFactor = 1.0;
    double m_xOffset = 0.0;
    double m_yFactor = 1.0;
    double m_yOffset = 0.0;
    int m_xDecimals = 0;
    int m_yDecimals = 0;
    int m_rotation = 0;
    int m_tilt = 0;
    bool m_percentMode = false;
    bool m_showOriginal = false;
    bool m_colorMode = false;

    QTableWidget *m_table = nullptr;
    QStackedWidget *m_stack = nullptr;
    MapPlotCanvas *m_canvas2D = nullptr;
    MapPlotCanvas *m_canvas3D = nullptr;
    QButtonGroup *m_viewButtons = nullptr;
    // The axis address fields of the open properties dialog.
    QPointer<QLineEdit> m_xAddressField;
    QPointer<QLineEdit> m_yAddressField;

    DoubleAsker m_askDouble;
    IntAsker m_askInt;
    DialogRunner m_runDialog;
    ImageSource m_imageSource;
};
