#include "checksums/checksummodule.h"

#include "checksums/me7checksums.h"

#include <algorithm>
#include <cstring>

qint64 ChecksumBlock::start() const
{
    qint64 first = -1;
    for (const ChecksumRange &r : covered)
        first = first < 0 ? r.start : std::min(first, r.start);
    return first;
}

qint64 ChecksumBlock::end() const
{
    qint64 last = -1;
    for (const ChecksumRange &r : covered)
        last = std::max(last, r.end);
    return last;
}

QString ChecksumBlock::storedText() const
{
    return storedBytes.isEmpty() ? checksumHex(stored) : QString::fromLatin1(storedBytes.toHex());
}

QString ChecksumBlock::computedText() const
{
    return computedBytes.isEmpty() ? checksumHex(computed)
                                   : QString::fromLatin1(computedBytes.toHex());
}

const std::vector<std::unique_ptr<ChecksumModule>> &checksumModules()
{
    static const std::vector<std::unique_ptr<ChecksumModule>> modules = [] {
        std::vector<std::unique_ptr<ChecksumModule>> list;
        list.push_back(std::make_unique<Me7Checksums>());
        return list;
    }();
    return modules;
}

int ChecksumReport::wrongBlocks() const
{
    return int(std::count_if(blocks.cbegin(), blocks.cend(),
                             [](const ChecksumBlock &b) { return !b.ok; }));
}

ChecksumReport ChecksumModule::check(QByteArrayView image) const
{
    ChecksumReport report;
    const ChecksumRecognition found = recognise(image);
    report.evidence = found.evidence;
    if (!found.recognised)
        return report;
    report.module = shortName();
    report.blocks = blocks(image);
    report.corrections = corrections(image);
    return report;
}

ChecksumReport checkImage(QByteArrayView image)
{
    // When none recognises the image, what each looked for says why.
    ChecksumReport unrecognised;
    for (const auto &module : checksumModules()) {
        ChecksumReport report = module->check(image);
        if (report.recognised())
            return report;
        for (const QString &line : std::as_const(report.evidence))
            unrecognised.evidence << module->shortName() + QStringLiteral(": ") + line;
    }
    return unrecognised;
}

QByteArray applyChecksumChanges(QByteArrayView image, const QList<ChecksumByteChange> &changes)
{
    QByteArray result = image.toByteArray();
    for (const ChecksumByteChange &change : changes) {
        if (change.offset < 0 || change.offset + change.bytes.size() > result.size())
            continue;
        std::copy(change.bytes.cbegin(), change.bytes.cend(), result.begin() + change.offset);
    }
    return result;
}

QList<ChecksumByteChange> changedRuns(QByteArrayView before, QByteArrayView after)
{
    QList<ChecksumByteChange> runs;
    const qsizetype size = std::min(before.size(), after.size());
    constexpr qsizetype chunk = 256; // most of an image is unchanged: skip it a chunk at a time
    qsizetype i = 0;
    while (i < size) {
        const qsizetype n = std::min(chunk, size - i);
        if (std::memcmp(before.data() + i, after.data() + i, size_t(n)) == 0) {
            i += n;
            continue;
        }
        const qsizetype chunkEnd = i + n;
        while (i < chunkEnd) {
            if (before[i] == after[i]) {
                ++i;
                continue;
            }
            const qsizetype first = i;
            while (i < size && before[i] != after[i])
                ++i;
            runs.append({first, after.sliced(first, i - first).toByteArray()});
        }
    }
    return runs;
}

int blocksTouched(const QList<ChecksumBlock> &blocks, const QList<ChecksumByteChange> &changes)
{
    int touched = 0;
    for (const ChecksumBlock &block : blocks) {
        const qint64 first = block.valueOffset;
        const qint64 last = first + block.valueSize - 1;
        for (const ChecksumByteChange &change : changes) {
            if (change.offset <= last && change.offset + change.bytes.size() - 1 >= first) {
                ++touched;
                break;
            }
        }
    }
    return touched;
}

ChecksumByteChange spanningChange(QByteArrayView image, const QList<ChecksumByteChange> &changes)
{
    qint64 first = -1;
    qint64 last = -1;
    for (const ChecksumByteChange &change : changes) {
        if (change.bytes.isEmpty() || change.offset < 0
            || change.offset + change.bytes.size() > image.size())
            continue;
        first = first < 0 ? change.offset : std::min(first, change.offset);
        last = std::max(last, change.offset + change.bytes.size() - 1);
    }
    if (first < 0)
        return {};
    const QByteArray span = applyChecksumChanges(image, changes).mid(first, last - first + 1);
    return {first, span};
}

QString checksumHex(quint32 value)
{
    return QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0'));
}

QString checksumStatusText(const ChecksumReport &report)
{
    if (!report.recognised())
        return QStringLiteral("Checksum: non riconosciuto");
    const int wrong = report.wrongBlocks();
    if (wrong == 0)
        return QStringLiteral("Checksum: OK");
    if (wrong == 1)
        return QStringLiteral("Checksum: 1 blocco errato");
    return QStringLiteral("Checksum: %1 blocchi errati").arg(wrong);
}

QString uncorrectableChecksumText(const ChecksumReport &report)
{
    return QStringLiteral("I checksum di questo firmware non si possono correggere (%1): nessuna "
                          "scrittura rende validi tutti i blocchi, di solito perché un valore sta "
                          "in parte nei byte che lui stesso somma. Il firmware resta com'è.")
        .arg(checksumStatusText(report));
}
