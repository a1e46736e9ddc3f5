#include "driverrequestdialog.h"

#include "apiclient.h"
#include "driverrequestform.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString title = QStringLiteral("Richiesta Driver");
const QString sendText = QStringLiteral("Invia richiesta");
} // namespace

DriverRequestDialog::DriverRequestDialog(ApiClient *client, QWidget *parent)
    : QDialog(parent)
    , m_client(client)
{
    setWindowTitle(title);
    setModal(true);
    setMinimumWidth(620);
    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel(QStringLiteral("<b>Richiesta nuovo Driver</b><br>Seleziona il file "
                                              "originale della centralina e inserisci i dati "
                                              "disponibili."),
                               this);
    heading->setWordWrap(true);
    layout->addWidget(heading);

    auto *form = new QFormLayout;
    auto *fileRow = new QHBoxLayout;
    m_file = new QLineEdit(this);
    m_file->setReadOnly(true);
    m_file->setPlaceholderText(QStringLiteral("Nessun file selezionato"));
    m_choose = new QPushButton(QStringLiteral("Seleziona file..."), this);
    fileRow->addWidget(m_file, 1);
    fileRow->addWidget(m_choose);
    form->addRow(QStringLiteral("File originale:"), fileRow);
    m_size = new QLabel(QStringLiteral("Dimensione: -"), this);
    form->addRow(QString(), m_size);
    m_brand = new QLineEdit(this);
    m_brand->setPlaceholderText(QStringLiteral("Es. Fiat, BMW, Volkswagen..."));
    form->addRow(QStringLiteral("Marca:"), m_brand);
    m_family = new QLineEdit(this);
    m_family->setPlaceholderText(QStringLiteral("Es. Bosch EDC17C69"));
    form->addRow(QStringLiteral("ECU / Famiglia:"), m_family);
    m_notes = new QPlainTextEdit(this);
    m_notes->setPlaceholderText(QStringLiteral("Note opzionali sulla vettura o sul file..."));
    form->addRow(QStringLiteral("Note:"), m_notes);
    layout->addLayout(form);
    m_send = new QPushButton(sendText, this);
    m_send->setEnabled(false);
    layout->addWidget(m_send, 0, Qt::AlignRight);

    connect(m_choose, &QPushButton::clicked, this, &DriverRequestDialog::chooseFile);
    connect(m_send, &QPushButton::clicked, this, &DriverRequestDialog::send);
    connect(m_client, &ApiClient::driverRequestFinished, this, &DriverRequestDialog::onFinished);
}

void DriverRequestDialog::showFile(const QString &path)
{
    m_file->setText(path);
    const QFileInfo info(path);
    const bool usable = info.exists() && info.isFile();
    m_size->setText(usable ? QStringLiteral("Dimensione: %1 KB").arg(double(info.size()) / 1024.0)
                           : QStringLiteral("Dimensione: -"));
    m_send->setEnabled(usable);
}

void DriverRequestDialog::setFirmwarePath(const QString &path)
{
    showFile(path);
    m_brand->clear();
    m_family->clear();
    m_notes->clear();
}

void DriverRequestDialog::fill(const DriverRequestForm &form)
{
    if (!form.firmwarePath.isEmpty())
        showFile(form.firmwarePath);
    m_brand->setText(form.brand);
    m_family->setText(form.family);
    m_notes->setPlainText(form.notes);
}

void DriverRequestDialog::chooseFile()
{
    const QString path
        = QFileDialog::getOpenFileName(this, QStringLiteral("Seleziona file originale"), QString(),
                                       QStringLiteral("File firmware (*.*)"));
    if (!path.isEmpty())
        showFile(path);
}

QString
DriverRequestDialog::missingInput(const QString &file, const QString &brand, const QString &family)
{
    if (file.trimmed().isEmpty())
        return QStringLiteral("Seleziona prima il file originale.");
    if (brand.trimmed().isEmpty())
        return QStringLiteral("Inserisci la marca.");
    if (family.trimmed().isEmpty())
        return QStringLiteral("Inserisci ECU / Famiglia.");
    return {};
}

void DriverRequestDialog::message(QMessageBox::Icon icon, const QString &text)
{
    if (m_message) {
        m_message(icon, title, text);
        return;
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok, this);
    box.exec();
}

void DriverRequestDialog::send()
{
    const QString missing = missingInput(m_file->text(), m_brand->text(), m_family->text());
    if (!missing.isEmpty()) {
        message(QMessageBox::Warning, missing);
        return;
    }
    setBusy(true);
    m_waiting = true;
    m_client->submitDriverRequest(m_brand->text().trimmed(), m_family->text().trimmed(),
                                  m_notes->toPlainText().trimmed(), m_file->text());
}

void DriverRequestDialog::setBusy(bool busy)
{
    for (QWidget *w : {static_cast<QWidget *>(m_choose), static_cast<QWidget *>(m_brand),
                       static_cast<QWidget *>(m_family), static_cast<QWidget *>(m_notes),
                       static_cast<QWidget *>(m_send)})
        w->setEnabled(!busy);
    m_send->setText(busy ? QStringLiteral("Invio in corso...") : sendText);
}

void DriverRequestDialog::onFinished(bool success, const QString &serviceMessage, int requestId)
{
    // Another dialog's request (or one sent elsewhere) is not ours to report.
    if (!m_waiting)
        return;
    m_waiting = false;
    setBusy(false);
    if (success) {
        QString text = QStringLiteral("Richiesta Driver inviata correttamente.");
        if (requestId > 0)
            text += QStringLiteral("\n\nNumero richiesta: #%1").arg(requestId);
        if (!serviceMessage.isEmpty())
            text += QStringLiteral("\n\n%1").arg(serviceMessage);
        message(QMessageBox::Information, text);
        accept(); // sent: nothing is left to do here, and a second press would send it twice
    } else {
        QString text = QStringLiteral("Invio della richiesta non riuscito.");
        if (!serviceMessage.isEmpty())
            text += QStringLiteral("\n\n") + serviceMessage;
        message(QMessageBox::Critical, text);
    }
}
