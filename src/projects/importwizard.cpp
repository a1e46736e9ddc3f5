#include "importwizard.h"

#include "model/fingerprint.h"
#include "model/firmware.h"
#include "projectstore.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QLabel *pageTitle(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setStyleSheet(QStringLiteral("font-size: 17px; font-weight: 600;"));
    return label;
}

QLabel *note(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setObjectName(QStringLiteral("pageNote"));
    return label;
}

QLabel *fact(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// The first page names the format the loader used.
QString formatNote(bool intelHex)
{
    return QStringLiteral("Il firmware è stato riconosciuto come file %1. Controlla le "
                          "informazioni prima di continuare.")
        .arg(intelHex ? QStringLiteral("Intel HEX") : QStringLiteral("binario"));
}

QString formatType(bool intelHex)
{
    return intelHex ? QStringLiteral("File Intel HEX / Firmware ECU")
                    : QStringLiteral("File binario / Firmware ECU");
}

} // namespace

ImportWizard::ImportWizard(const ImportFacts &facts, QWidget *parent)
    : QDialog(parent)
    , m_facts(facts)
{
    setWindowTitle(QStringLiteral("Importazione firmware - Tessamorvandi"));
    resize(760, 610);
    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel(QStringLiteral("IMPORTAZIONE FIRMWARE"), this);
    heading->setStyleSheet(QStringLiteral(
        "QLabel { color: #269653; font-size: 19px; font-weight: 700; padding: 8px;}"));
    layout->addWidget(heading);
    m_step = new QLabel(this);
    m_step->setObjectName(QStringLiteral("stepLabel"));
    m_step->setStyleSheet(QStringLiteral("QLabel { color: #666; padding-bottom: 6px;}"));
    layout->addWidget(m_step);

    m_pages = new QStackedWidget(this);
    m_pages->addWidget(buildFilePage(facts));
    m_pages->addWidget(buildMatchesPage(facts));
    m_pages->addWidget(buildDataPage(facts));
    layout->addWidget(m_pages, 1);

    auto *buttons = new QHBoxLayout;
    m_cancel = new QPushButton(QStringLiteral("Annulla"), this);
    m_cancel->setObjectName(QStringLiteral("wizardCancelButton"));
    m_back = new QPushButton(QStringLiteral("Indietro"), this);
    m_back->setObjectName(QStringLiteral("wizardBackButton"));
    m_next = new QPushButton(QStringLiteral("Avanti"), this);
    m_next->setObjectName(QStringLiteral("wizardNextButton"));
    m_import = new QPushButton(QStringLiteral("IMPORTA FIRMWARE"), this);
    m_import->setObjectName(QStringLiteral("wizardImportButton"));
    m_import->setStyleSheet(
        QStringLiteral("QPushButton { background-color: #269653; color: white; border: none; "
                       "border-radius: 4px; padding: 6px 18px; font-weight: 600;}"
                       "QPushButton:hover { background-color: #31ad64;}"));
    // Enter moves on: "Avanti", then "IMPORTA FIRMWARE" (see showPage). The other buttons
    // would otherwise take Enter whenever they hold the focus, "Annulla" first of all.
    for (QPushButton *b : {m_cancel, m_back})
        b->setAutoDefault(false);
    buttons->addWidget(m_cancel);
    buttons->addStretch(1);
    buttons->addWidget(m_back);
    buttons->addWidget(m_next);
    buttons->addWidget(m_import);
    layout->addLayout(buttons);

    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_back, &QPushButton::clicked, this, &ImportWizard::goBack);
    connect(m_next, &QPushButton::clicked, this, &ImportWizard::goNext);
    connect(m_import, &QPushButton::clicked, this, &ImportWizard::finishImport);
    showPage(0);
}

ImportFacts
ImportWizard::factsFor(const Firmware &firmware, const QString &path, const ProjectStore &store)
{
    const QFileInfo info(path);
    ImportFacts facts;
    facts.fileName = info.fileName();
    facts.fileSize = info.size();
    facts.sha256 = imageFingerprint(firmware.data());
    facts.intelHex = firmware.format() == Firmware::Format::IntelHex;
    facts.identification = identifyEcu(firmware);
    const QByteArray image(reinterpret_cast<const char *>(firmware.data().data()),
                           qsizetype(firmware.size()));
    facts.matches = findProjectMatches(store, image, facts.fileSize, facts.identification);
    return facts;
}

QWidget *ImportWizard::buildFilePage(const ImportFacts &facts)
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(pageTitle(QStringLiteral("Informazioni file"), page));
    layout->addWidget(note(formatNote(facts.intelHex), page));
    auto *form = new QFormLayout;
    const QString suffix = fileSuffixAfterLastDot(facts.fileName);
    form->addRow(QStringLiteral("Nome file:"), fact(facts.fileName, page));
    form->addRow(QStringLiteral("Tipo:"), fact(formatType(facts.intelHex), page));
    form->addRow(QStringLiteral("Estensione:"),
                 fact(suffix.isEmpty() ? QStringLiteral("(nessuna estensione)") : suffix, page));
    m_length = fact(fileLengthText(facts.fileSize), page);
    m_length->setObjectName(QStringLiteral("lengthLabel"));
    form->addRow(QStringLiteral("Lunghezza:"), m_length);
    auto *sha = fact(facts.sha256, page);
    sha->setObjectName(QStringLiteral("sha256Label"));
    form->addRow(QStringLiteral("SHA-256:"), sha);
    layout->addLayout(form);
    layout->addStretch(1);
    return page;
}

QWidget *ImportWizard::buildMatchesPage(const ImportFacts &facts)
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(pageTitle(QStringLiteral("Progetti uguali o simili"), page));
    const bool found = !facts.matches.isEmpty();
    layout->addWidget(note(
        found ? QStringLiteral("Sono stati trovati progetti già presenti. Puoi aprire quello "
                               "selezionato oppure ignorare la corrispondenza e continuare con "
                               "una nuova importazione.")
              : QStringLiteral("Non sono stati trovati progetti uguali o simili già salvati."),
        page));
    m_matches = new QTableWidget(int(facts.matches.size()), 7, page);
    m_matches->setObjectName(QStringLiteral("matchesTable"));
    m_matches->setHorizontalHeaderLabels({QStringLiteral("Corrispondenza"),
                                          QStringLiteral("Progetto"), QStringLiteral("ECU"),
                                          QStringLiteral("Software"), QStringLiteral("Hardware"),
                                          QStringLiteral("Cliente"), QStringLiteral("Veicolo")});
    m_matches->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_matches->setSelectionMode(QAbstractItemView::SingleSelection);
    m_matches->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_matches->verticalHeader()->hide();
    m_matches->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < facts.matches.size(); ++row) {
        const ProjectMatch &m = facts.matches.at(row);
        const QString texts[]
            = {m.label, m.name, m.ecu, m.software, m.hardware, m.customer, m.vehicle};
        for (int column = 0; column < 7; ++column) {
            auto *item = new QTableWidgetItem(texts[column]);
            if (column == 0)
                item->setData(Qt::UserRole, m.folder);
            m_matches->setItem(row, column, item);
        }
    }
    m_matches->resizeColumnsToContents();
    if (found)
        m_matches->setCurrentCell(0, 0);
    layout->addWidget(m_matches, 1);
    m_openProject = new QPushButton(
        QStringLiteral("INTERROMPI IMPORTAZIONE E APRI IL PROGETTO SELEZIONATO"), page);
    m_openProject->setObjectName(QStringLiteral("wizardOpenProjectButton"));
    m_openProject->setStyleSheet(
        QStringLiteral("QPushButton { background-color: #269653; color: white; border: none; "
                       "border-radius: 4px; padding: 9px 16px; font-weight: 600;}"));
    m_openProject->setEnabled(found);
    connect(m_openProject, &QPushButton::clicked, this, &ImportWizard::openSelectedProject);
    layout->addWidget(m_openProject);
    return page;
}

QWidget *ImportWizard::buildDataPage(const ImportFacts &facts)
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(pageTitle(QStringLiteral("Identificazione ECU e dati progetto"), page));
    layout->addWidget(note(QStringLiteral("I dati ECU vengono precompilati dalle stringhe "
                                          "rilevate nel firmware. Puoi correggerli o "
                                          "completarli prima di aprire il progetto."),
                           page));
    auto *form = new QFormLayout;
    auto addField
        = [this, form, page](const QString &key, const QString &label, const QString &value) {
              auto *edit = new QLineEdit(value, page);
              edit->setObjectName(key + QStringLiteral("Field"));
              form->addRow(label, edit);
              m_fields.insert(key, edit);
          };
    const EcuIdentification &id = facts.identification;
    addField(QStringLiteral("ecu"), QStringLiteral("ECU:"), id.ecuFamily);
    addField(QStringLiteral("software"), QStringLiteral("Software:"), id.softwareNumber);
    addField(QStringLiteral("calibration"), QStringLiteral("Calibration:"), id.calibrationNumber);
    addField(QStringLiteral("hardware"), QStringLiteral("Hardware:"), id.hardwareNumber);
    addField(QStringLiteral("upgrade"), QStringLiteral("Upgrade:"), id.upgrade);
    addField(QStringLiteral("ecuNumber"), QStringLiteral("ECU Number:"), id.partNumber);
    addField(QStringLiteral("engineCode"), QStringLiteral("Codice motore:"), id.engineCode);
    addField(QStringLiteral("customer"), QStringLiteral("Cliente:"), QString());
    addField(QStringLiteral("vehicleBrand"), QStringLiteral("Marca:"), QString());
    addField(QStringLiteral("vehicleModel"), QStringLiteral("Modello:"), QString());
    addField(QStringLiteral("engine"), QStringLiteral("Motore:"), QString());
    addField(QStringLiteral("year"), QStringLiteral("Anno:"), QString());
    m_notes = new QPlainTextEdit(page);
    m_notes->setObjectName(QStringLiteral("notesField"));
    m_notes->setMaximumHeight(80);
    form->addRow(QStringLiteral("Note:"), m_notes);
    layout->addLayout(form);
    m_searchMaps
        = new QCheckBox(QStringLiteral("Ricerca mappe automaticamente dopo l'importazione"), page);
    m_searchMaps->setObjectName(QStringLiteral("searchMapsBox"));
    m_searchMaps->setToolTip(QStringLiteral(
        "Avvia la ricerca automatica di un Driver Maps compatibile dopo l'importazione."));
    layout->addWidget(m_searchMaps);
    layout->addStretch(1);
    return page;
}

int ImportWizard::currentPage() const
{
    return m_pages->currentIndex();
}

void ImportWizard::goNext()
{
    showPage(qMin(currentPage() + 1, m_pages->count() - 1));
}

void ImportWizard::goBack()
{
    showPage(qMax(currentPage() - 1, 0));
}

void ImportWizard::showPage(int index)
{
    m_pages->setCurrentIndex(index);
    m_step->setText(QStringLiteral("Passaggio %1 di 3").arg(index + 1));
    m_back->setEnabled(index >= 1);
    m_next->setVisible(index < 2);
    m_import->setVisible(index == 2);
    QPushButton *forward = index < 2 ? m_next : m_import;
    forward->setDefault(true);
    // The button pressed last may have just been hidden; the focus goes on with the user.
    if (!m_pages->currentWidget()->isAncestorOf(focusWidget()))
        forward->setFocus();
}

void ImportWizard::finishImport()
{
    auto text
        = [this](const char *key) { return m_fields.value(QLatin1String(key))->text().trimmed(); };
    m_result = WizardResult();
    m_result.ecu = text("ecu");
    m_result.software = text("software");
    m_result.calibration = text("calibration");
    m_result.hardware = text("hardware");
    m_result.upgrade = text("upgrade");
    m_result.ecuNumber = text("ecuNumber");
    m_result.engineCode = text("engineCode");
    m_result.customer = text("customer");
    m_result.vehicleBrand = text("vehicleBrand");
    m_result.vehicleModel = text("vehicleModel");
    m_result.engine = text("engine");
    m_result.year = text("year");
    m_result.notes = m_notes->toPlainText().trimmed();
    m_result.fileName = m_facts.fileName;
    m_result.fileExtension = fileSuffixAfterLastDot(m_facts.fileName);
    m_result.fileSize = m_facts.fileSize;
    m_result.searchMapsAfterImport = m_searchMaps->isChecked();
    accept();
}

void ImportWizard::openSelectedProject()
{
    const int row = m_matches->currentRow();
    const QTableWidgetItem *item = row >= 0 ? m_matches->item(row, 0) : nullptr;
    const QString folder = item ? item->data(Qt::UserRole).toString() : QString();
    if (folder.isEmpty())
        return;
    m_result = WizardResult();
    m_result.fileName = m_facts.fileName;
    m_result.fileExtension = fileSuffixAfterLastDot(m_facts.fileName);
    m_result.fileSize = m_facts.fileSize;
    m_result.projectFolderToOpen = folder;
    accept();
}

bool runImportWizard(QWidget *parent,
                     Firmware &firmware,
                     const QString &path,
                     const ProjectStore &store,
                     WizardResult &result)
{
    ImportWizard wizard(ImportWizard::factsFor(firmware, path, store), parent);
    if (wizard.exec() != QDialog::Accepted)
        return false;
    result = wizard.wizardResult();
    return true;
}

bool runImportWizard(QWidget *parent, Firmware &firmware, const QString &path, WizardResult &result)
{
    return runImportWizard(parent, firmware, path, ProjectStore(), result);
}

bool acceptImportWizard(QWidget *parent,
                        Firmware &firmware,
                        const QString &path,
                        const ProjectStore &store,
                        WizardResult &result)
{
    ImportWizard wizard(ImportWizard::factsFor(firmware, path, store), parent);
    wizard.goNext();
    wizard.goNext();
    wizard.importButton()->click();
    result = wizard.wizardResult();
    return wizard.result() == QDialog::Accepted;
}
