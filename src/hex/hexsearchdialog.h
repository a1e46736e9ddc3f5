#pragma once

#include <QDialog>
#include <QPointer>

#include <functional>

class HexViewer;
class QLineEdit;
class QRadioButton;

// "Cerca nei valori": searches the image of one hex view for a value, forward or backward,
// from the view's cursor, wrapping around once with a notice.
class HexSearchDialog : public QDialog
{
    Q_OBJECT
public:
    // cellBytes tells the width the main window's width commands select (1, 2 or 4).
    HexSearchDialog(HexViewer *viewer,
                    bool hexadecimal,
                    std::function<int()> cellBytes,
                    QWidget *parent = nullptr);

    QLineEdit *valueEdit() const { return m_value; }
    int position() const { return m_position; }
    // One search step; true when a value was found (and the view went to it).
    bool searchStep(bool forward);

signals:
    void hitFound(int offset);

private:
    QPointer<HexViewer> m_viewer;
    std::function<int()> m_cellBytes;
    QLineEdit *m_value = nullptr;
    QRadioButton *m_decimal = nullptr;
    QRadioButton *m_hexadecimal = nullptr;
    int m_position = 0;
};
