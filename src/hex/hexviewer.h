#pragma once

#include "hex/hexprompts.h"

#include <QAbstractItemView>
#include <QByteArray>
#include <QWidget>

class HexDelegate;
class HexModel;
class QMenu;
class QTableView;

// The text page of a document window: the hex table over a HexModel, the overview strip in
// its vertical scroll bar, and the mouse, key and menu commands of the hex view. It reports
// what is visible so that the other views of the document can follow.
// Dynamic properties used by the document window: "pending2DMapOffset", "initial2DSyncDone".
class HexViewer : public QWidget
{
    Q_OBJECT
public:
    explicit HexViewer(QWidget *parent = nullptr);
    ~HexViewer() override;

    void setFirmware(const QByteArray &bytes);
    HexModel *model() const { return m_model; }
    QTableView *tableView() const { return m_table; }
    HexDelegate *delegate() const { return m_delegate; }

    void setPrompts(const HexPrompts &prompts) { m_prompts = prompts; }
    const HexPrompts &prompts() const { return m_prompts; }

    void setDarkColorMode(bool dark);
    void setByteOrder(int order);
    // These keep the top visible offset where it was.
    void setDecimal(bool decimal);
    void setWidthMode(int mode);
    void setFloatMode(bool on);
    void setColumnCount(int columns, int keepOffset);

    int currentOffset() const;
    int topOffset() const;
    int anchorOffset() const { return m_anchorOffset; }
    void goToOffset(int offset);
    void scrollToOffsetTop(int offset);
    void setSelectionRange(int start, int end);
    void centerOnSelection();
    void setActiveSavedMap(int mapOffset);
    QByteArray selectedBytes() const;
    bool pasteBytes(const QByteArray &bytes);
    void syncView();
    void focusTable();

    // Editing commands; they write through the model, so every change can be undone.
    void absoluteEdit();
    void percentageEdit();
    void selectionEdit();
    void plusOne();
    void minusOne();
    void originalValue();
    void goToAddress(const QString &prefill);
    void undo();
    void redo();
    // Key K: asks for a map cut from a selection of more than one byte.
    void requestCreateMap();
    // The edit key's behaviour: the in-place editor on a single cell, else the selection edit.
    void editCurrent();
    // A digit typed on the current cell: its in-place editor opens holding that text, and the
    // selection becomes that one cell.
    void editCurrentWith(const QString &typed);

    // The context menu for a point of the viewport; nullptr where none is offered.
    QMenu *createContextMenu(const QPoint &viewportPosition);
    // Whether the mouse is over the overview strip's handle.
    bool isHandleHovered() const { return m_handleHovered; }

signals:
    void viewOffsetChanged(int offset);
    void viewRangeChanged(int startOffset, int endOffset);
    void rowOriginChangeRequested(int deltaBytes);
    void activeSavedMapChanged(int mapOffset);
    void createMapRequested(int startOffset, int endOffset);
    void openSavedMapRequested(int mapOffset);
    void deleteMapRequested(int mapOffset);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyColumnWidths();
    void scrollTo(int offset, QAbstractItemView::ScrollHint hint);
    void keepViewWhile(const std::function<void()> &change);
    void onScrolled();
    void onClicked(const QModelIndex &index);
    void onDoubleClicked(const QModelIndex &index);
    void makeCurrent(int offset);
    // The offset a press on this index stands for; -1 for the offset column or no cell.
    int pressOffset(const QModelIndex &index) const;
    bool paintScrollBar();
    QRect handleRect() const;

    QTableView *m_table = nullptr;
    HexModel *m_model = nullptr;
    HexDelegate *m_delegate = nullptr;
    HexPrompts m_prompts;
    int m_anchorOffset = -1;
    bool m_dragging = false;
    int m_dragAnchor = -1;
    int m_lastDragOffset = -1;
    bool m_handleHovered = false;
    bool m_quietScrolling = false;
    bool m_keyboardMove = false;
    int m_resetTop = 0;
    int m_resetCurrent = -1;
};
