#pragma once

#include <QDialog>

struct MapDefinition;
class QFormLayout;

// "Caratteristiche mappa" of the main window: what the map list knows of one map, read-only.
class MapInfoDialog : public QDialog
{
    Q_OBJECT
public:
    explicit MapInfoDialog(const MapDefinition &definition, QWidget *parent = nullptr);

    // The text of the field with the given label ("Dimensione:", ...); empty when absent.
    QString fieldText(const QString &label) const;

private:
    QFormLayout *m_form = nullptr;
};
