#include "fingerprint.h"

#include "sha256.h"

QString imageFingerprint(const uint8_t *bytes, qint64 length)
{
    return QString::fromLatin1(
        sha256(QByteArrayView(reinterpret_cast<const char *>(bytes), length)).toHex());
}

QString imageFingerprint(const QByteArray &bytes)
{
    return imageFingerprint(reinterpret_cast<const uint8_t *>(bytes.constData()), bytes.size());
}
