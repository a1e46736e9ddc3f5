#pragma once

#include <QStringList>

int runChecksum(const QStringList &args);
