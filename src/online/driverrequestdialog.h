#pragma once

#include <QDialog>
#include <QMessageBox>

#include <functional>

class ApiClient;
struct DriverRequestForm;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// "Richiesta Driver": sends a firmware file with the vehicle data to the service operator, who
// makes a driver for it.
class DriverRequestDialog : public QDialog
{
    Q_OBJECT
public:
    using MessageHook = std::function<void(QMessageBox::Icon, const QString &, const QString &)>;

    DriverRequestDialog(ApiClient *client, QWidget *parent = nullptr);

    // Prefills the file (from the online search); the other fields stay empty.
    void setFirmwarePath(const QString &path);
    // Fills every field from a form, a blank file leaving the file to be chosen.
    void fill(const DriverRequestForm &form);
    void setMessageHook(MessageHook hook) { m_message = std::move(hook); }

    QLineEdit *fileEdit() const { return m_file; }
    QLineEdit *brandEdit() const { return m_brand; }
    QLineEdit *familyEdit() const { return m_family; }
    QPlainTextEdit *notesEdit() const { return m_notes; }
    QPushButton *sendButton() const { return m_send; }
    QLabel *sizeLabel() const { return m_size; }

    // The checks of "Invia richiesta": the warning to show, empty when the request may go.
    static QString missingInput(const QString &file, const QString &brand, const QString &family);

public slots:
    void send();

private:
    void chooseFile();
    void showFile(const QString &path);
    void setBusy(bool busy);
    void onFinished(bool success, const QString &message, int requestId);
    void message(QMessageBox::Icon icon, const QString &text);

    ApiClient *m_client;
    QLineEdit *m_file;
    QLabel *m_size;
    QLineEdit *m_brand;
    QLineEdit *m_family;
    QPlainTextEdit *m_notes;
    QPushButton *m_choose;
    QPushButton *m_send;
    MessageHook m_message;
    bool m_waiting = false;
};
