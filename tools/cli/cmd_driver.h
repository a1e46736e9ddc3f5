#pragma once

#include <QStringList>

// "driver FILE": a driver file as JSON; "driver build IMAGE MAPS OUT": a driver made from an
// image and its maps (a map pack or an A2L / DAMOS file).
int runDriver(const QStringList &args);
