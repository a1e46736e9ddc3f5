#pragma once

#include <QString>
#include <QStringList>

class QTranslator;

// The few things that differ between desktops.
namespace Platform {

// Candidate calculator programs, in the order they are tried.
QStringList calculatorCandidates();
// The first candidate found as an executable in searchPaths (the PATH when empty); an empty
// text when none is there. On Windows "calc.exe" always answers, the system has it.
QString findCalculator(const QStringList &searchPaths = {});
// Starts the desktop's calculator as a detached process; false when none could be started.
bool startCalculator();

// Loads Qt's own Italian texts (standard buttons, file dialogs) from folder, by default the
// folder Qt was installed with; false when they are not there.
bool loadQtItalian(QTranslator &translator, const QString &folder = {});

} // namespace Platform
