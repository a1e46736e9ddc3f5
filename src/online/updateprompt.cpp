#include "updateprompt.h"

#include "onlineprotocol.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMessageBox>
#include <QPushButton>

UpdateKind updateKind(bool checkSucceeded,
                      const QString &latestVersion,
                      bool mandatory,
                      const QString &downloadUrl,
                      const QString &runningVersion)
{
    if (!checkSucceeded || !OnlineProtocol::isNewerVersion(latestVersion, runningVersion))
        return UpdateKind::None;
    if (downloadUrl.trimmed().isEmpty())
        return UpdateKind::NoPackage;
    return mandatory ? UpdateKind::Mandatory : UpdateKind::Optional;
}

void UpdatePrompt::handle(bool success,
                          const QString &message,
                          const QString &latestVersion,
                          bool mandatory,
                          const QString &downloadUrl,
                          const QString &notes) const
{
    const QString running = QCoreApplication::applicationVersion();
    if (!success) {
        qDebug().noquote() << "Controllo versione fallito:" << message;
        return;
    }
    const UpdateKind kind = updateKind(success, latestVersion, mandatory, downloadUrl, running);
    if (kind == UpdateKind::None) {
        qDebug().noquote() << "Software aggiornato:" << running;
        return;
    }
    QString text = QStringLiteral("È disponibile la versione %1 di Tessamorvandi (installata: %2).")
                       .arg(latestVersion, running);
    if (kind == UpdateKind::NoPackage) {
        warning(
            QStringLiteral("Aggiornamento disponibile"),
            text + QStringLiteral("\n\nIl pacchetto di aggiornamento non è ancora disponibile."));
        return;
    }
    if (!notes.trimmed().isEmpty())
        text += QStringLiteral("\n\nNovità:\n%1").arg(notes.trimmed());
    const QString informative
        = kind == UpdateKind::Mandatory
              ? QStringLiteral("Per continuare è necessario installare la "
                               "nuova versione.")
              : QStringLiteral("Vuoi scaricare adesso il nuovo aggiornamento?");
    if (!ask(kind, text, informative)) {
        if (kind == UpdateKind::Mandatory)
            quit();
        return;
    }
    if (startUpdater(downloadUrl))
        quit();
    else
        critical(QStringLiteral("Errore aggiornamento"),
                 QStringLiteral("Impossibile avviare TessamorvandiUpdater.exe."));
}

UpdatePrompt UpdatePrompt::dialogs(QWidget *parent)
{
    UpdatePrompt prompt;
    prompt.ask = [parent](UpdateKind kind, const QString &text, const QString &informative) {
        const bool mandatory = kind == UpdateKind::Mandatory;
        QMessageBox box(mandatory ? QMessageBox::Warning : QMessageBox::Information,
                        mandatory ? QStringLiteral("Aggiornamento obbligatorio")
                                  : QStringLiteral("Aggiornamento disponibile"),
                        text, QMessageBox::NoButton, parent);
        box.setInformativeText(informative);
        QPushButton *update = box.addButton(QStringLiteral("AGGIORNA"), QMessageBox::AcceptRole);
        box.addButton(mandatory ? QStringLiteral("ESCI") : QStringLiteral("Più tardi"),
                      QMessageBox::RejectRole);
        box.exec();
        return box.clickedButton() == update;
    };
    prompt.warning = [parent](const QString &title, const QString &text) {
        QMessageBox::warning(parent, title, text);
    };
    prompt.critical = [parent](const QString &title, const QString &text) {
        QMessageBox::critical(parent, title, text);
    };
    prompt.quit = [] { QCoreApplication::quit(); };
    return prompt;
}
