#pragma once

#include "projectsaver.h"

#include <QList>
#include <QMessageBox>
#include <QPair>
#include <QString>

#include <functional>
#include <optional>

class QWidget;

// Every question and message the project commands put to the user, as replaceable calls:
// the application uses modal dialogs, tests answer without any window appearing.
struct UserPrompts
{
    using Button = QPair<QString, QMessageBox::ButtonRole>;

    std::function<void(QMessageBox::Icon icon, const QString &title, const QString &text)> message;
    // Yes / no question; true for yes.
    std::function<bool(const QString &title, const QString &text)> confirm;
    // A question with its own buttons; the index of the one pressed, -1 when closed.
    std::function<int(const QString &title, const QString &text, const QList<Button> &buttons)>
        choose;
    // A line of text; nullopt when cancelled.
    std::function<std::optional<QString>(
        const QString &title, const QString &label, const QString &preset)>
        text;
    // A path to write, or blank when cancelled.
    std::function<QString(const QString &title, const QString &proposed, const QString &filter)>
        saveFile;
    // A path to read, or blank when cancelled.
    std::function<QString(const QString &title, const QString &filter)> openFile;
    // A short confirmation in the status bar.
    std::function<void(const QString &text, int timeoutMs)> status;

    static UserPrompts dialogs(QWidget *parent);
};

// The save's version questions asked through the prompts.
VersionQuestions versionQuestions(const UserPrompts &prompts);

// "Esporta...": copies a saved firmware to a file the user chooses. Reports a missing source
// with missingText, the result in the status bar or with a warning.
void exportSavedFirmware(const UserPrompts &prompts,
                         const QString &source,
                         const QString &proposedName,
                         const QString &missingText);
