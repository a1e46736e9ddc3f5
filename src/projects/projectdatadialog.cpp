#include "projectdatadialog.h"

#include "model/firmwareproject.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QLatin1String
    HeadingStyle("QLabel { color: #269653; font-size: 18px; font-weight: bold; padding: 8px;}");
const QLatin1String
    ButtonStyle("QPushButton { background-color: #269653; color: white; border: 1px solid #1f7d45; "
                "border-radius: 4px; padding: 6px 18px; font-weight: bold;}"
                "QPushButton:hover { background-color: #31ad64;}");

QLabel *sectionLabel(const QString &text, const QString &style, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setStyleSheet(style);
    return label;
}

} // namespace

ProjectDataDialog::ProjectDataDialog(const FirmwareProject &record, Mode mode, QWidget *parent)
    : QDialog(parent)
{
    const bool readOnly = mode == Mode::ReadOnly;
    setWindowTitle(QStringLiteral("Dati progetto - Tessamorvandi"));
    resize(620, 700);
    auto *layout = new QVBoxLayout(this);

    auto *heading = new QLabel(QStringLiteral("DATI PROGETTO"), this);
    heading->setStyleSheet(HeadingStyle);
    layout->addWidget(heading);

    auto addField = [this, readOnly](QFormLayout *form, const QString &key, const QString &label,
                                     const QString &value, const QString &placeholder = {}) {
        auto *edit = new QLineEdit(value, this);
        edit->setObjectName(key + QStringLiteral("Field"));
        edit->setPlaceholderText(placeholder);
        edit->setReadOnly(readOnly);
        form->addRow(label, edit);
        m_fields.insert(key, edit);
    };

    layout->addWidget(sectionLabel(QStringLiteral("Dati ECU rilevati"),
                                   QStringLiteral("QLabel { font-weight: bold; font-size: 14px; "
                                                  "padding-top: 6px;}"),
                                   this));
    auto *ecuForm = new QFormLayout;
    addField(ecuForm, QStringLiteral("ecu"), QStringLiteral("ECU:"), record.ecu);
    addField(ecuForm, QStringLiteral("software"), QStringLiteral("Software:"), record.software);
    addField(ecuForm, QStringLiteral("calibration"), QStringLiteral("Calibration:"),
             record.calibration);
    addField(ecuForm, QStringLiteral("hardware"), QStringLiteral("Hardware:"), record.hardware);
    addField(ecuForm, QStringLiteral("upgrade"), QStringLiteral("Upgrade:"), record.upgrade);
    addField(ecuForm, QStringLiteral("ecuNumber"), QStringLiteral("ECU Number:"), record.ecuNumber);
    addField(ecuForm, QStringLiteral("engineCode"), QStringLiteral("Codice motore:"),
             record.engineCode);
    layout->addLayout(ecuForm);

    layout->addWidget(sectionLabel(QStringLiteral("Cliente e veicolo"),
                                   QStringLiteral("QLabel { font-weight: bold; font-size: 14px; "
                                                  "padding-top: 10px;}"),
                                   this));
    auto *customerForm = new QFormLayout;
    addField(customerForm, QStringLiteral("customer"), QStringLiteral("Cliente:"), record.customer,
             QStringLiteral("Nome cliente"));
    addField(customerForm, QStringLiteral("vehicleBrand"), QStringLiteral("Marca:"),
             record.vehicleBrand, QStringLiteral("es. BMW, Audi, Fiat..."));
    addField(customerForm, QStringLiteral("vehicleModel"), QStringLiteral("Modello:"),
             record.vehicleModel, QStringLiteral("Modello veicolo"));
    addField(customerForm, QStringLiteral("engine"), QStringLiteral("Motore:"), record.engine,
             QStringLiteral("Motore"));
    addField(customerForm, QStringLiteral("year"), QStringLiteral("Anno:"), record.year,
             QStringLiteral("Anno"));
    layout->addLayout(customerForm);

    layout->addWidget(sectionLabel(QStringLiteral("Firmware"),
                                   QStringLiteral("QLabel { font-weight: bold; font-size: 14px; "
                                                  "padding-top: 10px;}"),
                                   this));
    auto *fileForm = new QFormLayout;
    auto addFact
        = [this, fileForm](const QString &name, const QString &label, const QString &value) {
              auto *edit = new QLineEdit(value, this);
              edit->setObjectName(name);
              edit->setReadOnly(true);
              fileForm->addRow(label, edit);
          };
    addFact(QStringLiteral("fileNameField"), QStringLiteral("Nome file:"), record.fileName);
    addFact(QStringLiteral("fileSizeField"), QStringLiteral("Dimensione:"),
            QString::number(record.fileSize) + QStringLiteral(" bytes"));
    addFact(QStringLiteral("fileExtensionField"), QStringLiteral("Estensione:"),
            record.fileExtension);
    layout->addLayout(fileForm);

    auto *notesLabel = new QLabel(QStringLiteral("Note / Commento:"), this);
    notesLabel->setStyleSheet(QStringLiteral("QLabel { font-weight: bold;}"));
    layout->addWidget(notesLabel);
    m_notes = new QPlainTextEdit(record.notes, this);
    m_notes->setObjectName(QStringLiteral("notesField"));
    m_notes->setPlaceholderText(
        QStringLiteral("Note sul progetto, modifiche effettuate, richieste cliente..."));
    m_notes->setReadOnly(readOnly);
    layout->addWidget(m_notes, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    if (readOnly) {
        auto *close = new QPushButton(QStringLiteral("Chiudi"), this);
        close->setObjectName(QStringLiteral("closeButton"));
        close->setStyleSheet(ButtonStyle);
        connect(close, &QPushButton::clicked, this, &QDialog::accept);
        buttons->addWidget(close);
    } else {
        auto *cancel = new QPushButton(QStringLiteral("Annulla"), this);
        cancel->setObjectName(QStringLiteral("cancelButton"));
        auto *ok = new QPushButton(QStringLiteral("OK"), this);
        ok->setObjectName(QStringLiteral("okButton"));
        ok->setStyleSheet(ButtonStyle);
        ok->setDefault(true);
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        buttons->addWidget(cancel);
        buttons->addWidget(ok);
    }
    layout->addLayout(buttons);
}

void ProjectDataDialog::applyTo(FirmwareProject &record) const
{
    auto text
        = [this](const char *key) { return m_fields.value(QLatin1String(key))->text().trimmed(); };
    record.ecu = text("ecu");
    record.software = text("software");
    record.calibration = text("calibration");
    record.hardware = text("hardware");
    record.upgrade = text("upgrade");
    record.ecuNumber = text("ecuNumber");
    record.engineCode = text("engineCode");
    record.customer = text("customer");
    record.vehicleBrand = text("vehicleBrand");
    record.vehicleModel = text("vehicleModel");
    record.engine = text("engine");
    record.year = text("year");
    record.notes = m_notes->toPlainText().trimmed();
}
