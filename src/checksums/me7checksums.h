#pragma once

#include "checksums/checksummodule.h"

// Bosch ME7.x images of 512 KiB and 1 MiB (C167, little-endian, flash mapped at 0x800000).
// The checksum tables are found the way the firmware itself finds them: the ROMSYS descriptor
// at 0x8000, the code that loads the main data areas' addresses, the main program descriptor
// and the multipoint tables. A table that cannot be found is left out of the list and said so
// in the evidence; nothing is read outside the image.
class Me7Checksums : public ChecksumModule
{
public:
    QString shortName() const override { return QStringLiteral("ME7"); }
    ChecksumRecognition recognise(QByteArrayView image) const override;
    QList<ChecksumBlock> blocks(QByteArrayView image) const override;
    QList<ChecksumByteChange> corrections(QByteArrayView image) const override;
    ChecksumReport check(QByteArrayView image) const override;
};
