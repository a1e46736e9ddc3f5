#pragma once

#include "ecuidentification.h"
#include "projectmatch.h"
#include "wizardresult.h"

#include <QDialog>
#include <QMap>

class Firmware;
class ProjectStore;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTableWidget;

// What the wizard shows about the selected file before anything is created.
struct ImportFacts
{
    QString fileName;
    qint64 fileSize = 0; // on disk
    QString sha256;      // of the loaded image
    bool intelHex = false; // decoded as Intel HEX rather than taken byte for byte
    QList<ProjectMatch> matches;
    EcuIdentification identification;
};

// "IMPORTAZIONE FIRMWARE": the file's facts, the saved projects holding the same or a
// similar image, and the control-unit and customer data of the new project.
class ImportWizard : public QDialog
{
    Q_OBJECT
public:
    explicit ImportWizard(const ImportFacts &facts, QWidget *parent = nullptr);

    static ImportFacts
    factsFor(const Firmware &firmware, const QString &path, const ProjectStore &store);

    int currentPage() const;
    void goNext();
    void goBack();
    const WizardResult &wizardResult() const { return m_result; }

    QLineEdit *field(const QString &key) const { return m_fields.value(key); }
    QPlainTextEdit *notes() const { return m_notes; }
    QCheckBox *searchMapsBox() const { return m_searchMaps; }
    QTableWidget *matchesTable() const { return m_matches; }
    QLabel *stepLabel() const { return m_step; }
    QLabel *lengthLabel() const { return m_length; }
    QPushButton *backButton() const { return m_back; }
    QPushButton *nextButton() const { return m_next; }
    QPushButton *importButton() const { return m_import; }
    QPushButton *openProjectButton() const { return m_openProject; }

private:
    QWidget *buildFilePage(const ImportFacts &facts);
    QWidget *buildMatchesPage(const ImportFacts &facts);
    QWidget *buildDataPage(const ImportFacts &facts);
    void showPage(int index);
    void finishImport();
    void openSelectedProject();

    ImportFacts m_facts;
    WizardResult m_result;
    QStackedWidget *m_pages = nullptr;
    QLabel *m_step = nullptr;
    QLabel *m_length = nullptr;
    QTableWidget *m_matches = nullptr;
    QMap<QString, QLineEdit *> m_fields;
    QPlainTextEdit *m_notes = nullptr;
    QCheckBox *m_searchMaps = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_back = nullptr;
    QPushButton *m_next = nullptr;
    QPushButton *m_import = nullptr;
    QPushButton *m_openProject = nullptr;
};

// Runs the wizard over a loaded image; true when the user finished it or chose a project
// to open instead (result.projectFolderToOpen), false when cancelled.
bool runImportWizard(QWidget *parent,
                     Firmware &firmware,
                     const QString &path,
                     WizardResult &result);
bool runImportWizard(QWidget *parent,
                     Firmware &firmware,
                     const QString &path,
                     const ProjectStore &store,
                     WizardResult &result);
// The wizard finished without a window: every page taken as pre-filled, as a user who only
// presses "Avanti" and "IMPORTA FIRMWARE" would. For tests and benchmarks that open files.
bool acceptImportWizard(QWidget *parent,
                        Firmware &firmware,
                        const QString &path,
                        const ProjectStore &store,
                        WizardResult &result);
