#include "signindialog.h"

#include "apiclient.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

SignInDialog::SignInDialog(ApiClient *client, QWidget *parent)
    : QDialog(parent)
    , m_client(client)
{
    setWindowTitle(QStringLiteral("Accesso cliente"));
    setModal(true);
    setMinimumWidth(420);
    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel(QStringLiteral("<b>Accesso cliente</b><br>Inserisci il codice "
                                              "cliente e la password ricevuti dall'assistenza."),
                               this);
    heading->setWordWrap(true);
    layout->addWidget(heading);
    auto *form = new QFormLayout;
    m_code = new QLineEdit(m_client->customerCode(), this);
    m_code->setPlaceholderText(QStringLiteral("Es. C001"));
    m_code->setMaxLength(128); // the service takes no longer code
    form->addRow(QStringLiteral("Codice cliente:"), m_code);
    m_password = new QLineEdit(this);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setMaxLength(1024);
    form->addRow(QStringLiteral("Password:"), m_password);
    layout->addLayout(form);
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    layout->addWidget(m_status);
    auto *buttons = new QDialogButtonBox(this);
    m_signIn = buttons->addButton(QStringLiteral("Accedi"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Chiudi"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(m_signIn, &QPushButton::clicked, this, &SignInDialog::signIn);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_client, &ApiClient::loginFinished, this, &SignInDialog::onFinished);
}

void SignInDialog::signIn()
{
    if (m_code->text().trimmed().isEmpty() || m_password->text().isEmpty()) {
        m_status->setText(QStringLiteral("Inserisci codice cliente e password."));
        return;
    }
    m_waiting = true;
    m_signIn->setEnabled(false);
    m_status->setText(QStringLiteral("Accesso in corso..."));
    m_client->login(m_code->text().trimmed(), m_password->text());
}

void SignInDialog::onFinished(
    bool success, const QString &message, int, const QString &, const QString &fullName)
{
    if (!m_waiting)
        return;
    m_waiting = false;
    m_signIn->setEnabled(true);
    if (success) {
        m_password->clear();
        m_status->setText(QStringLiteral("Accesso eseguito: %1").arg(fullName));
        accept();
        return;
    }
    m_status->setText(QStringLiteral("<span style='color:#b00020'>Accesso non riuscito. %1</span>")
                          .arg(message.toHtmlEscaped()));
}
