#pragma once

#include <QString>
#include <QStringList>

// The few things that differ between desktops.
namespace Platform {

// Candidate calculator programs, in the order they are tried.
QStringList calculatorCandidates();
// Starts the desktop's calculator as a detached process; false when none could be started.
bool startCalculator();

// The updater program beside the application: "TessamorvandiUpdater.exe" on Windows,
// "TessamorvandiUpdater" elsewhere.
QString updaterPath();
// Starts the updater detached with the download URL, the application folder and the
// application's own path; false when it could not be started.
bool startUpdater(const QString &downloadUrl);

} // namespace Platform
