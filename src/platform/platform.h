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

// The updater program beside the application: "TessamorvandiUpdater.exe" on Windows,
// "TessamorvandiUpdater" elsewhere.
QString updaterPath();
// Starts the updater detached with the download URL, the application folder and the
// application's own path; false when it could not be started.
bool startUpdater(const QString &downloadUrl);
// Loads Qt's own Italian texts (standard buttons, file dialogs) from folder, by default the
// folder Qt was installed with; false when they are not there.
bool loadQtItalian(QTranslator &translator, const QString &folder = {});

// Makes what was created, renamed or removed in folder survive a power cut, so that the order
// in which a save makes its files visible holds on the disk too (the files' own bytes are
// synced by QSaveFile). False when the folder could not be opened or synced.
bool syncFolder(const QString &folder);

} // namespace Platform
