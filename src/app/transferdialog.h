#pragma once

#include "recognition/maptransfer.h"

#include <QByteArray>
#include <QDialog>
#include <QPointer>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QProgressDialog;
class QPushButton;
class QRadioButton;

// "Trasferisci modifiche...": the user picks a reference pair (two versions of a saved
// project, or two images and a definition file) and a mode; the transfer runs on the thread
// pool behind a busy dialog and its report is shown. "Applica" accepts the dialog when some
// map was written; the caller then writes result().image into its document.
class TransferDialog : public QDialog
{
    Q_OBJECT
public:
    // target: the open image the changes are carried to; projectsRoot: where saved projects
    // are listed from.
    TransferDialog(const QByteArray &target,
                   const QString &projectsRoot,
                   QWidget *parent = nullptr);

    const TransferResult &result() const { return m_result; }
    bool isRunning() const { return m_running; }
    // Reads the chosen pair and starts the transfer; false (with the reason in the report)
    // when the pair cannot be read or a transfer already runs.
    bool startTransfer();

signals:
    void transferFinished();

private:
    void browse(QLineEdit *edit, const QString &title, const QString &filter);
    void fillVersions();
    void showResult(const TransferResult &result);
    TransferMode mode() const;

    QByteArray m_target;
    TransferResult m_result;
    bool m_running = false;
    QRadioButton *m_fromProject = nullptr;
    QRadioButton *m_fromFiles = nullptr;
    QComboBox *m_project = nullptr;
    QComboBox *m_originalVersion = nullptr;
    QComboBox *m_modifiedVersion = nullptr;
    QLineEdit *m_originalPath = nullptr;
    QLineEdit *m_modifiedPath = nullptr;
    QLineEdit *m_definitionPath = nullptr;
    QComboBox *m_mode = nullptr;
    QPlainTextEdit *m_report = nullptr;
    QPushButton *m_run = nullptr;
    QPushButton *m_apply = nullptr;
    QPointer<QProgressDialog> m_busy;
};
