#pragma once

#include <QDialog>
#include <QMap>

struct FirmwareProject;
class QLineEdit;
class QPlainTextEdit;

// "Dati progetto": the identification, customer and vehicle texts of a project, editable
// for the active document or shown read-only for a saved project.
class ProjectDataDialog : public QDialog
{
    Q_OBJECT
public:
    enum class Mode { Edit, ReadOnly };

    ProjectDataDialog(const FirmwareProject &record, Mode mode, QWidget *parent = nullptr);

    // Copies the trimmed texts into the record.
    void applyTo(FirmwareProject &record) const;

    // The field of a record key ("ecu", "customer", …); null for an unknown key.
    QLineEdit *field(const QString &key) const { return m_fields.value(key); }
    QPlainTextEdit *notes() const { return m_notes; }

private:
    QMap<QString, QLineEdit *> m_fields;
    QPlainTextEdit *m_notes = nullptr;
};
