#pragma once

#include <QByteArray>
#include <QByteArrayView>

// SHA-256 of a byte range, the 32 raw bytes. Uses the processor's SHA instructions where
// there are any (several times faster than the portable code on a 16 MiB image, which
// matters for every save and every map pack); the same result everywhere.
QByteArray sha256(QByteArrayView bytes);
