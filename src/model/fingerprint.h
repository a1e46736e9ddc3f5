#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// The fingerprint of an image: SHA-256 of its bytes as 64 lower-case hex digits.
QString imageFingerprint(const QByteArray &bytes);
QString imageFingerprint(const uint8_t *bytes, qint64 length);
inline QString imageFingerprint(const std::vector<uint8_t> &bytes)
{
    return imageFingerprint(bytes.data(), qint64(bytes.size()));
}
