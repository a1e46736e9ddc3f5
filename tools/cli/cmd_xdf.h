#pragma once

#include <QStringList>

// xdf FILE [IMAGE]: the maps of an XDF definition, as a2l prints them, with what was left out.
// xdf --export PACK|A2L|XDF IMAGE OUT: the maps of a map pack or a description as an XDF.
int runXdf(const QStringList &args);
