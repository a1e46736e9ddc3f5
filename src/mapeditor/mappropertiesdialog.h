#pragma once

#include "mapeditor/mapproperties.h"

#include <QDialog>

class MapWindow;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

// "Caratteristiche mappa": names, scaling, data organisations and axis sources of the map of
// one map window. Organisation and axis source changes act on the window at once; the rest is
// handed to the window as one record on OK, and a cancelled dialog puts the organisations back.
class MapPropertiesDialog : public QDialog
{
    Q_OBJECT
public:
    explicit MapPropertiesDialog(MapWindow *window);
    ~MapPropertiesDialog() override;

    struct AxisPage
    {
        QLineEdit *name = nullptr;
        QLineEdit *unit = nullptr;
        QLineEdit *compuMethod = nullptr;
        QComboBox *source = nullptr;
        QLineEdit *address = nullptr;
        QPushButton *fromCursor = nullptr;
        QComboBox *organisation = nullptr;
        QComboBox *numberFormat = nullptr;
        QDoubleSpinBox *factor = nullptr;
        QDoubleSpinBox *offset = nullptr;
        QSpinBox *decimals = nullptr;
        QCheckBox *invert = nullptr;
    };

    QTabWidget *tabs() const { return m_tabs; }
    QLineEdit *nameEdit() const { return m_name; }
    QLineEdit *descriptionEdit() const { return m_description; }
    QLineEdit *unitEdit() const { return m_unit; }
    QComboBox *zOrganisationCombo() const { return m_zOrganisation; }
    QDoubleSpinBox *factorBox() const { return m_factor; }
    QDoubleSpinBox *offsetBox() const { return m_offset; }
    QCheckBox *reciprocalBox() const { return m_reciprocal; }
    QSpinBox *decimalsBox() const { return m_decimals; }
    QPlainTextEdit *commentEdit() const { return m_comment; }
    const AxisPage &xPage() const { return m_x; }
    const AxisPage &yPage() const { return m_y; }

public slots:
    void accept() override;
    void reject() override;

private:
    QWidget *buildMapTab();
    QWidget *buildAxisTab(bool isX);
    QWidget *buildCommentTab();

    MapWindow *m_window;
    // The window's properties when the dialog opened; OK hands them back as edited.
    MapProperties m_start;
    QTabWidget *m_tabs = nullptr;
    QLineEdit *m_name = nullptr;
    QLineEdit *m_description = nullptr;
    QLineEdit *m_unit = nullptr;
    QComboBox *m_zOrganisation = nullptr;
    QDoubleSpinBox *m_factor = nullptr;
    QDoubleSpinBox *m_offset = nullptr;
    QCheckBox *m_reciprocal = nullptr;
    QSpinBox *m_decimals = nullptr;
    QPlainTextEdit *m_comment = nullptr;
    AxisPage m_x;
    AxisPage m_y;
};
