#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// An inclusive byte range of the image.
struct ChecksumRange
{
    qint64 start = 0;
    qint64 end = -1;
};

struct ChecksumByteChange;

// One checksum of an image: what it covers, where its value lies and whether it matches.
struct ChecksumBlock
{
    QString kind;                 // for scripts, e.g. "romsys-startup", "multipoint"
    QString label;                // for the report a user reads, in Italian
    QList<ChecksumRange> covered; // the bytes the value is computed from
    qint64 valueOffset = -1;      // where the stored value (and its complement, if any) lies
    qint64 valueSize = 0;
    quint32 stored = 0;
    quint32 computed = 0;
    // Values wider than 32 bits (a digest); when set they are what the report shows.
    QByteArray storedBytes;
    QByteArray computedBytes;
    bool ok = false;

    qint64 start() const;
    qint64 end() const;
    QString storedText() const; // lower-case hexadecimal
    QString computedText() const;
};

// The bytes to write at one offset.
struct ChecksumByteChange
{
    qint64 offset = 0;
    QByteArray bytes;
};

struct ChecksumRecognition
{
    bool recognised = false;
    QStringList evidence; // what was found (or what was missing), one finding a line
};

// What a module found in an image.
struct ChecksumReport
{
    QString module; // short name; empty when no module recognised the image
    QStringList evidence;
    QList<ChecksumBlock> blocks;
    QList<ChecksumByteChange> corrections;

    bool recognised() const { return !module.isEmpty(); }
    int wrongBlocks() const;
    bool allOk() const { return recognised() && wrongBlocks() == 0; }
    // Wrong blocks that no correction can make right.
    bool uncorrectable() const { return recognised() && !allOk() && corrections.isEmpty(); }
};

// A family of control units whose checksums one class knows. Pure functions of the image:
// no files, no widgets. A new family is one new class added to checksumModules().
class ChecksumModule
{
public:
    virtual ~ChecksumModule() = default;

    virtual QString shortName() const = 0;
    virtual ChecksumRecognition recognise(QByteArrayView image) const = 0;
    // Empty when the image is not recognised.
    virtual QList<ChecksumBlock> blocks(QByteArrayView image) const = 0;
    // The writes that make every block match; empty when they all match already, and when no
    // writes can make them all match.
    virtual QList<ChecksumByteChange> corrections(QByteArrayView image) const = 0;
    // All three at once (module empty when not recognised); a module may override it to find
    // its tables once for all three.
    virtual ChecksumReport check(QByteArrayView image) const;
};

// Every known module, in the order they are asked.
const std::vector<std::unique_ptr<ChecksumModule>> &checksumModules();

// The report of the first module that recognises the image (or, when none does, only the
// evidence of each, with its name); the corrections come with it
// (they are cheap, and the callers that show a report usually offer them).
ChecksumReport checkImage(QByteArrayView image);

// The image with the changes written (changes past the end are ignored).
QByteArray applyChecksumChanges(QByteArrayView image, const QList<ChecksumByteChange> &changes);

// The runs of bytes in which after differs from before (same size).
QList<ChecksumByteChange> changedRuns(QByteArrayView before, QByteArrayView after);

// How many of the blocks the changes touch (a block changes when its value bytes do).
int blocksTouched(const QList<ChecksumBlock> &blocks, const QList<ChecksumByteChange> &changes);

// The one contiguous write that carries all the changes, for editors whose undo step is one
// range: [offset, offset + bytes.size()) with the current bytes in between kept.
ChecksumByteChange spanningChange(QByteArrayView image, const QList<ChecksumByteChange> &changes);

// Values in reports: 8 lower-case hexadecimal digits.
QString checksumHex(quint32 value);

// The status line text of the document window.
QString checksumStatusText(const ChecksumReport &report);

// Why "Correggi checksum" does nothing on such an image, for a message box.
QString uncorrectableChecksumText(const ChecksumReport &report);
