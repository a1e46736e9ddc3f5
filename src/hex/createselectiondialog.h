#pragma once

#include <QDialog>
#include <QPointer>

#include <functional>

class HexViewer;
class QLineEdit;

// "Crea selezione": selects the range between two typed hexadecimal addresses in a hex view.
class CreateSelectionDialog : public QDialog
{
    Q_OBJECT
public:
    // cursorOffset gives the offset "Come da cursore" writes; -1 when there is no cursor.
    CreateSelectionDialog(HexViewer *viewer,
                          std::function<int()> cursorOffset,
                          QWidget *parent = nullptr);

    QLineEdit *fromEdit() const { return m_from; }
    QLineEdit *toEdit() const { return m_to; }
    // OK: true when the selection was made (the dialog then closes).
    bool apply();

signals:
    void selectionCreated(int startOffset, int endOffset);

private:
    QPointer<HexViewer> m_viewer;
    std::function<int()> m_cursorOffset;
    QLineEdit *m_from = nullptr;
    QLineEdit *m_to = nullptr;
};
