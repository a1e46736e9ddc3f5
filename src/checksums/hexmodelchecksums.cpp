#include "checksums/hexmodelchecksums.h"

#include "hex/hexmodel.h"

ChecksumReport checkModel(const HexModel &model)
{
    return checkImage(model.currentData());
}

int correctChecksums(HexModel &model, const ChecksumReport &report)
{
    const QByteArray &image = model.currentData();
    const ChecksumByteChange span = spanningChange(image, report.corrections);
    if (span.bytes.isEmpty() || span.offset > INT_MAX
        || span.bytes == image.mid(span.offset, span.bytes.size()))
        return 0;
    if (!model.writeBytesAt(int(span.offset), span.bytes))
        return 0;
    return blocksTouched(report.blocks, report.corrections);
}
