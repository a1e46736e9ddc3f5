#include "fingerprint.h"

#include <QCryptographicHash>

QString imageFingerprint(const uint8_t *bytes, qint64 length)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArrayView(reinterpret_cast<const char *>(bytes), length));
    return QString::fromLatin1(hash.result().toHex());
}

QString imageFingerprint(const QByteArray &bytes)
{
    return imageFingerprint(reinterpret_cast<const uint8_t *>(bytes.constData()), bytes.size());
}
