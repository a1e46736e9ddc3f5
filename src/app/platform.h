#pragma once

#include <QString>
#include <QStringList>

// The few things that differ between desktops.
namespace Platform {

// Candidate calculator programs, in the order they are tried.
QStringList calculatorCandidates();
// Starts the desktop's calculator as a detached process; false when none could be started.
bool startCalculator();

} // namespace Platform
