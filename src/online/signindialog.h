#pragma once

#include <QDialog>

class ApiClient;
class QLabel;
class QLineEdit;
class QPushButton;

// "Accesso cliente": the customer code and password for the service. The code of a successful
// sign-in is kept by the client for the online driver search.
class SignInDialog : public QDialog
{
    Q_OBJECT
public:
    SignInDialog(ApiClient *client, QWidget *parent = nullptr);

    QLineEdit *codeEdit() const { return m_code; }
    QLineEdit *passwordEdit() const { return m_password; }
    QPushButton *signInButton() const { return m_signIn; }
    QLabel *statusLabel() const { return m_status; }

public slots:
    void signIn();

private:
    void onFinished(bool success,
                    const QString &message,
                    int userId,
                    const QString &customerCode,
                    const QString &fullName);

    ApiClient *m_client;
    QLineEdit *m_code;
    QLineEdit *m_password;
    QLabel *m_status;
    QPushButton *m_signIn;
    bool m_waiting = false;
};
