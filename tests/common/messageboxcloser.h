#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

// Closes every modal message box as soon as it is up and keeps its text, so that a command
// that reports something does not block the test.
class MessageBoxCloser
{
public:
    MessageBoxCloser()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                m_text = box->text();
                box->done(QMessageBox::Ok);
            }
        });
        m_timer.start(10);
    }
    QString text() const { return m_text; }
    bool shown() const { return !m_text.isNull(); }

private:
    QTimer m_timer;
    QString m_text;
};
