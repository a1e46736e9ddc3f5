#include "userprompts.h"

#include "projectfiles.h"

#include <QFileInfo>

#include <QFileDialog>
#include <QInputDialog>
#include <QPointer>
#include <QPushButton>

UserPrompts UserPrompts::dialogs(QWidget *parent)
{
    const QPointer<QWidget> owner(parent);
    UserPrompts p;
    p.message = [owner](QMessageBox::Icon icon, const QString &title, const QString &text) {
        QMessageBox box(icon, title, text, QMessageBox::Ok, owner);
        box.exec();
    };
    p.confirm = [owner](const QString &title, const QString &text) {
        return QMessageBox::question(owner, title, text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No)
               == QMessageBox::Yes;
    };
    p.choose = [owner](const QString &title, const QString &text, const QList<Button> &buttons) {
        QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, owner);
        QList<QAbstractButton *> made;
        for (const Button &b : buttons)
            made.append(box.addButton(b.first, b.second));
        box.exec();
        return int(made.indexOf(box.clickedButton()));
    };
    p.text = [owner](const QString &title, const QString &label,
                     const QString &preset) -> std::optional<QString> {
        bool ok = false;
        const QString value
            = QInputDialog::getText(owner, title, label, QLineEdit::Normal, preset, &ok);
        if (!ok)
            return std::nullopt;
        return value;
    };
    p.saveFile = [owner](const QString &title, const QString &proposed, const QString &filter) {
        return QFileDialog::getSaveFileName(owner, title, proposed, filter);
    };
    p.openFile = [owner](const QString &title, const QString &filter) {
        return QFileDialog::getOpenFileName(owner, title, QString(), filter);
    };
    p.status = [](const QString &, int) {};
    return p;
}

VersionQuestions versionQuestions(const UserPrompts &prompts)
{
    VersionQuestions q;
    q.askName = prompts.text;
    const auto choose = prompts.choose;
    q.askChoice = [choose](const QString &name) {
        if (!choose)
            return VersionQuestions::Choice::Cancel;
        const int pressed = choose(
            QStringLiteral("Salva versione"),
            QStringLiteral("Hai modificato \"%1\".\n\nCome vuoi salvare le modifiche?").arg(name),
            {{QStringLiteral("Salva in %1").arg(name), QMessageBox::AcceptRole},
             {QStringLiteral("Crea nuova versione..."), QMessageBox::ActionRole},
             {QStringLiteral("Annulla"), QMessageBox::RejectRole}});
        if (pressed == 0)
            return VersionQuestions::Choice::SaveInto;
        if (pressed == 1)
            return VersionQuestions::Choice::NewVersion;
        return VersionQuestions::Choice::Cancel;
    };
    q.askExisting = [choose](const QString &projectName) {
        if (!choose)
            return VersionQuestions::Choice::Cancel;
        const int pressed = choose(
            QStringLiteral("Salva progetto"),
            QStringLiteral("Il progetto \"%1\" esiste già, con il suo originale, le sue mappe e le "
                           "sue versioni.\n\nCome vuoi salvare questo firmware?")
                .arg(projectName),
            {{QStringLiteral("Crea nuova versione..."), QMessageBox::AcceptRole},
             {QStringLiteral("Sostituisci il progetto"), QMessageBox::DestructiveRole},
             {QStringLiteral("Annulla"), QMessageBox::RejectRole}});
        if (pressed == 0)
            return VersionQuestions::Choice::NewVersion;
        if (pressed == 1)
            return VersionQuestions::Choice::SaveInto;
        return VersionQuestions::Choice::Cancel;
    };
    return q;
}

void exportSavedFirmware(const UserPrompts &prompts,
                         const QString &source,
                         const QString &proposedName,
                         const QString &missingText)
{
    const QString title = QStringLiteral("Esporta firmware");
    if (source.isEmpty() || !QFileInfo(source).isFile()) {
        prompts.message(QMessageBox::Warning, title, missingText);
        return;
    }
    const QString path = prompts.saveFile(
        title, proposedName,
        QStringLiteral("Firmware (*.bin *.hex *.ori *.s19 *.mot);;Tutti i file (*.*)"));
    if (path.isEmpty())
        return;
    // Written beside the destination and swapped in: a failed copy never leaves the user
    // without the file that was there.
    if (ProjectFiles::copyFileAtomically(source, path)) {
        if (prompts.status)
            prompts.status(QStringLiteral("Firmware esportato: ") + path, 4000);
    } else {
        prompts.message(QMessageBox::Warning, title,
                        QStringLiteral("Errore durante l'esportazione del firmware."));
    }
}
