#include "app/transferdialog.h"

#include "importers/busydialog.h"
#include "projects/projectstore.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

TransferDialog::TransferDialog(const QByteArray &target,
                               const QString &projectsRoot,
                               QWidget *parent)
    : QDialog(parent)
    , m_target(target)
{
    setWindowTitle(QStringLiteral("Trasferisci modifiche - Tessamorvandi"));
    setMinimumWidth(620);
    auto *layout = new QVBoxLayout(this);

    auto *source
        = new QGroupBox(QStringLiteral("Coppia di riferimento (originale e modificato)"), this);
    auto *form = new QFormLayout(source);
    m_fromProject = new QRadioButton(QStringLiteral("Due versioni di un progetto"), source);
    m_fromProject->setObjectName(QStringLiteral("transferFromProject"));
    m_fromFiles = new QRadioButton(QStringLiteral("Due immagini e un file di definizione"), source);
    m_fromFiles->setObjectName(QStringLiteral("transferFromFiles"));
    form->addRow(m_fromProject);
    m_project = new QComboBox(source);
    m_project->setObjectName(QStringLiteral("transferProject"));
    m_originalVersion = new QComboBox(source);
    m_originalVersion->setObjectName(QStringLiteral("transferOriginalVersion"));
    m_modifiedVersion = new QComboBox(source);
    m_modifiedVersion->setObjectName(QStringLiteral("transferModifiedVersion"));
    form->addRow(QStringLiteral("Progetto:"), m_project);
    form->addRow(QStringLiteral("Originale:"), m_originalVersion);
    form->addRow(QStringLiteral("Modificato:"), m_modifiedVersion);
    form->addRow(m_fromFiles);
    const auto pathRow
        = [this, form, source](const QString &label, const QString &name, const QString &filter) {
              auto *edit = new QLineEdit(source);
              edit->setObjectName(name);
              auto *button = new QToolButton(source);
              button->setText(QStringLiteral("..."));
              connect(button, &QToolButton::clicked, this,
                      [this, edit, label, filter] { browse(edit, label, filter); });
              auto *row = new QHBoxLayout;
              row->addWidget(edit, 1);
              row->addWidget(button);
              form->addRow(label, row);
              connect(edit, &QLineEdit::textEdited, m_fromFiles,
                      [this] { m_fromFiles->setChecked(true); });
              return edit;
          };
    const QString images
        = QStringLiteral("Immagini firmware (*.bin *.ori *.mod);;Tutti i file (*)");
    m_originalPath
        = pathRow(QStringLiteral("Originale:"), QStringLiteral("transferOriginalPath"), images);
    m_modifiedPath
        = pathRow(QStringLiteral("Modificato:"), QStringLiteral("transferModifiedPath"), images);
    m_definitionPath
        = pathRow(QStringLiteral("Definizione:"), QStringLiteral("transferDefinitionPath"),
                  QStringLiteral("Definizioni (*.tvp *.xdf *.a2l);;Tutti i file (*)"));
    layout->addWidget(source);

    auto *modeRow = new QFormLayout;
    m_mode = new QComboBox(this);
    m_mode->setObjectName(QStringLiteral("transferMode"));
    m_mode->addItem(QStringLiteral("valori modificati"), int(TransferMode::Values));
    m_mode->addItem(QStringLiteral("stessa differenza"), int(TransferMode::Difference));
    m_mode->addItem(QStringLiteral("stessa percentuale"), int(TransferMode::Percent));
    modeRow->addRow(QStringLiteral("Modalità:"), m_mode);
    layout->addLayout(modeRow);

    m_report = new QPlainTextEdit(this);
    m_report->setObjectName(QStringLiteral("transferReport"));
    m_report->setReadOnly(true);
    m_report->setMinimumHeight(220);
    m_report->setPlaceholderText(
        QStringLiteral("Scegli la coppia di riferimento e premi \"Calcola\": ogni mappa modificata "
                       "viene cercata nell'immagine aperta. Nulla cambia prima di \"Applica\"."));
    layout->addWidget(m_report, 1);

    auto *buttons = new QDialogButtonBox(this);
    m_run = buttons->addButton(QStringLiteral("Calcola"), QDialogButtonBox::ActionRole);
    m_run->setObjectName(QStringLiteral("transferRunButton"));
    m_apply = buttons->addButton(QStringLiteral("Applica"), QDialogButtonBox::AcceptRole);
    m_apply->setObjectName(QStringLiteral("transferApplyButton"));
    m_apply->setEnabled(false);
    buttons->addButton(QDialogButtonBox::Close);
    connect(m_run, &QPushButton::clicked, this, &TransferDialog::startTransfer);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    // A pair chosen anew must be computed again before it can be applied.
    const auto invalidate = [this] { m_apply->setEnabled(false); };
    for (QComboBox *combo : {m_project, m_originalVersion, m_modifiedVersion, m_mode})
        connect(combo, &QComboBox::currentIndexChanged, this, invalidate);
    for (QLineEdit *edit : {m_originalPath, m_modifiedPath, m_definitionPath})
        connect(edit, &QLineEdit::textChanged, this, invalidate);
    connect(m_fromProject, &QRadioButton::toggled, this, invalidate);

    const QList<ProjectEntry> projects = ProjectStore(projectsRoot).listProjects();
    for (const ProjectEntry &project : projects)
        m_project->addItem(project.name, project.folder);
    connect(m_project, &QComboBox::currentIndexChanged, this, &TransferDialog::fillVersions);
    fillVersions();
    (projects.isEmpty() ? m_fromFiles : m_fromProject)->setChecked(true);
    m_fromProject->setEnabled(!projects.isEmpty());
}

void TransferDialog::browse(QLineEdit *edit, const QString &title, const QString &filter)
{
    const QString path = QFileDialog::getOpenFileName(this, title, edit->text(), filter);
    if (!path.isEmpty()) {
        edit->setText(path);
        m_fromFiles->setChecked(true);
    }
}

void TransferDialog::fillVersions()
{
    m_originalVersion->clear();
    m_modifiedVersion->clear();
    const QString folder = m_project->currentData().toString();
    if (folder.isEmpty())
        return;
    const QList<VersionEntry> versions = ProjectStore::listVersions(folder);
    for (const VersionEntry &version : versions) {
        m_originalVersion->addItem(version.name, version.folder);
        m_modifiedVersion->addItem(version.name, version.folder);
    }
    // The usual pair: the original and the latest version.
    m_modifiedVersion->setCurrentIndex(int(versions.size()) - 1);
}

TransferMode TransferDialog::mode() const
{
    return TransferMode(m_mode->currentData().toInt());
}

bool TransferDialog::startTransfer()
{
    if (m_running)
        return false;
    m_apply->setEnabled(false);
    const bool fromProject = m_fromProject->isChecked();
    const QString project = m_project->currentData().toString();
    const QString original = fromProject ? m_originalVersion->currentData().toString()
                                         : m_originalPath->text().trimmed();
    const QString modified = fromProject ? m_modifiedVersion->currentData().toString()
                                         : m_modifiedPath->text().trimmed();
    const QString definition = m_definitionPath->text().trimmed();
    if (original.isEmpty() || modified.isEmpty() || (!fromProject && definition.isEmpty())) {
        m_report->setPlainText(
            QStringLiteral("Scegli l'originale, il modificato%1.")
                .arg(fromProject ? QString() : QStringLiteral(" e il file di definizione")));
        return false;
    }
    if (original == modified) {
        m_report->setPlainText(
            QStringLiteral("L'originale e il modificato di riferimento sono lo stesso file."));
        return false;
    }
    m_running = true;
    m_run->setEnabled(false);
    m_busy = createBusyDialog(
        this,
        QStringLiteral("Trasferimento modifiche...\n\nRicerca delle mappe nell'immagine aperta."),
        Qt::WindowModal);
    auto *watcher = new QFutureWatcher<TransferResult>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        const TransferResult result = watcher->result();
        watcher->deleteLater();
        if (m_busy) {
            m_busy->close();
            m_busy->deleteLater();
        }
        m_running = false;
        m_run->setEnabled(true);
        showResult(result);
        emit transferFinished();
    });
    const TransferMode chosen = mode();
    watcher->setFuture(QtConcurrent::run([=, target = m_target] {
        const TransferReference reference
            = fromProject ? readProjectReference(project, original, modified)
                          : readTransferReference(original, modified, definition);
        if (!reference.error.isEmpty()) {
            TransferResult failed;
            failed.image = target;
            failed.error = reference.error;
            return failed;
        }
        return transferChanges(reference.original, reference.modified, reference.maps, target,
                               chosen);
    }));
    return true;
}

void TransferDialog::showResult(const TransferResult &result)
{
    m_result = result;
    QString text = transferReportText(result);
    if (result.error.isEmpty() && result.writtenCount() > 0)
        text += QStringLiteral("\n\n\"Applica\" scrive le mappe trasferite nell'immagine aperta "
                               "(un solo passo di annullamento).");
    else if (result.error.isEmpty())
        text += QStringLiteral("\n\nNessuna mappa può essere scritta: l'immagine resta com'è.");
    m_report->setPlainText(text);
    m_apply->setEnabled(result.error.isEmpty() && result.writtenCount() > 0);
}
