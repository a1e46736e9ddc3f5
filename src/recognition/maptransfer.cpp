#include "recognition/maptransfer.h"

#include "importers/definitionfile.h"
#include "model/firmware.h"
#include "projects/projectstore.h"
#include "recognition/imagealignment.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace {

const uint8_t *bytesOf(const QByteArray &a)
{
    return reinterpret_cast<const uint8_t *>(a.constData());
}

QList<double> physical(const QList<double> &raw, double factor, double offset)
{
    QList<double> values;
    values.reserve(raw.size());
    for (double r : raw)
        values.append(rawToPhysical(r, factor, offset));
    return values;
}

// How much of the target at a delta looks like the reference's original map: its stored axes
// (the strongest sign, as axes rarely change between versions) and its values, each cell
// counting when it is within a tenth of the reference's.
double agreement(const MapDefinition &map, const QByteArray &reference, const QByteArray &target,
                 qint64 delta)
{
    MapDefinition moved = map;
    moved.mapOffset = int(map.mapOffset + delta);
    const auto within = [](const QList<double> &a, const QList<double> &b) {
        if (a.isEmpty() || a.size() != b.size())
            return 0.0;
        int close = 0;
        for (qsizetype k = 0; k < a.size(); ++k)
            close += std::abs(a.at(k) - b.at(k)) <= std::max(1.0, std::abs(a.at(k)) * 0.1);
        return double(close) / double(a.size());
    };
    const double values = within(readMapValues(map, bytesOf(reference), reference.size()),
                                 readMapValues(moved, bytesOf(target), target.size()));
    double axes = 0.0;
    int axisCount = 0;
    if (map.xAxisSource == 1 && map.xAxisOffset >= 0) {
        moved.xAxisOffset = int(map.xAxisOffset + delta);
        axes += within(readXAxis(map, bytesOf(reference), reference.size()),
                       readXAxis(moved, bytesOf(target), target.size()));
        ++axisCount;
    }
    if (map.yAxisSource == 1 && map.yAxisOffset >= 0 && map.rows > 1) {
        moved.yAxisOffset = int(map.yAxisOffset + delta);
        axes += within(readYAxis(map, bytesOf(reference), reference.size()),
                       readYAxis(moved, bytesOf(target), target.size()));
        ++axisCount;
    }
    return axisCount ? 0.5 * axes / axisCount + 0.5 * values : values;
}

// Linear interpolation of f over a monotonic axis at x, holding the end values beyond it.
// Returns the two neighbours and the weight of the second.
void bracket(const QList<double> &axis, double x, int *lo, int *hi, double *weight)
{
    const int n = int(axis.size());
    *lo = *hi = 0;
    *weight = 0.0;
    if (n < 2)
        return;
    const bool rising = axis.last() >= axis.first();
    const auto before = [&](double a, double b) { return rising ? a <= b : a >= b; };
    if (before(x, axis.first())) {
        *lo = *hi = 0;
        return;
    }
    if (before(axis.last(), x)) {
        *lo = *hi = n - 1;
        return;
    }
    for (int k = 0; k + 1 < n; ++k) {
        if (before(axis.at(k), x) && before(x, axis.at(k + 1))) {
            *lo = k;
            *hi = k + 1;
            const double span = axis.at(k + 1) - axis.at(k);
            *weight = span != 0.0 ? (x - axis.at(k)) / span : 0.0;
            return;
        }
    }
}

bool monotonic(const QList<double> &axis)
{
    if (axis.size() < 2)
        return true;
    const bool rising = axis.last() >= axis.first();
    for (qsizetype k = 1; k < axis.size(); ++k)
        if (rising ? axis.at(k) < axis.at(k - 1) : axis.at(k) > axis.at(k - 1))
            return false;
    return true;
}

// The physical axis values of a map; an index axis when it has none stored.
QList<double> axisValues(const MapDefinition &map, const QByteArray &image, bool x)
{
    const QList<double> raw = x ? readXAxis(map, bytesOf(image), image.size())
                                : readYAxis(map, bytesOf(image), image.size());
    return physical(raw, x ? map.xFactor : map.yFactor, x ? map.xOffsetFactor : map.yOffsetFactor);
}

void writeValue(QByteArray &image, qint64 at, double raw, const MapDefinition &map)
{
    const QByteArray bytes = encodeValue(raw, map.dataType, map.littleEndian, map.zValueKind);
    if (at >= 0 && at + bytes.size() <= image.size())
        std::copy(bytes.cbegin(), bytes.cend(), image.begin() + at);
}

} // namespace

int TransferResult::writtenCount() const
{
    return int(std::count_if(maps.cbegin(), maps.cend(),
                             [](const TransferredMap &m) { return m.written(); }));
}

QString transferModeName(TransferMode mode)
{
    switch (mode) {
    case TransferMode::Difference:
        return QStringLiteral("difference");
    case TransferMode::Percent:
        return QStringLiteral("percent");
    default:
        return QStringLiteral("values");
    }
}

bool transferModeFromName(const QString &name, TransferMode *mode)
{
    for (TransferMode m : {TransferMode::Values, TransferMode::Difference, TransferMode::Percent})
        if (transferModeName(m) == name) {
            *mode = m;
            return true;
        }
    return false;
}

QString transferStatusName(TransferredMap::Status status)
{
    switch (status) {
    case TransferredMap::Transferred:
        return QStringLiteral("transferred");
    case TransferredMap::Interpolated:
        return QStringLiteral("interpolated");
    case TransferredMap::Ambiguous:
        return QStringLiteral("ambiguous");
    default:
        return QStringLiteral("notFound");
    }
}

QString transferStatusText(TransferredMap::Status status)
{
    switch (status) {
    case TransferredMap::Transferred:
        return QStringLiteral("trasferita");
    case TransferredMap::Interpolated:
        return QStringLiteral("trasferita con assi interpolati");
    case TransferredMap::Ambiguous:
        return QStringLiteral("ambigua, non scritta");
    default:
        return QStringLiteral("non trovata");
    }
}

QString transferReportText(const TransferResult &result)
{
    if (!result.error.isEmpty())
        return result.error;
    QString text = QStringLiteral("Mappe scritte: %1 di %2")
                       .arg(result.writtenCount())
                       .arg(result.maps.size());
    for (const TransferredMap &m : result.maps) {
        text += QStringLiteral("\n%1: %2").arg(m.name, transferStatusText(m.status));
        if (m.written())
            text += QStringLiteral(" (0x%1 -> 0x%2, %3 celle)")
                        .arg(QString::number(m.referenceAddress, 16).toUpper(),
                             QString::number(m.targetAddress, 16).toUpper())
                        .arg(m.cells);
        if (!m.evidence.isEmpty())
            text += QStringLiteral(" - ") + m.evidence;
    }
    text += QStringLiteral("\nModifiche fuori dalle mappe non trasferite: %1 byte in %2 blocchi")
                .arg(result.outsideBytes)
                .arg(result.outsideBlocks);
    for (int k = 0; k < result.outsideRanges.size() && k < 10; ++k)
        text += QStringLiteral("\n  0x%1-0x%2")
                    .arg(QString::number(result.outsideRanges.at(k).start, 16).toUpper(),
                         QString::number(result.outsideRanges.at(k).end, 16).toUpper());
    return text;
}

QList<MapDefinition> transferredMapsToAdd(const QList<MapDefinition> &existing,
                                          const TransferResult &result)
{
    QList<MapDefinition> added;
    const auto known = [&](const MapDefinition &map) {
        const auto same = [&map](const MapDefinition &other) {
            return other.mapOffset == map.mapOffset && other.rows == map.rows
                   && other.columns == map.columns;
        };
        return std::any_of(existing.cbegin(), existing.cend(), same)
               || std::any_of(added.cbegin(), added.cend(), same);
    };
    for (const TransferredMap &m : result.maps)
        if (m.written() && !known(m.targetMap))
            added.append(m.targetMap);
    return added;
}

ByteRange changedSpan(const QByteArray &before, const QByteArray &after)
{
    if (before.size() != after.size())
        return {};
    qsizetype first = 0;
    while (first < before.size() && before.at(first) == after.at(first))
        ++first;
    if (first == before.size())
        return {};
    qsizetype last = before.size() - 1;
    while (before.at(last) == after.at(last))
        --last;
    return {first, last};
}

namespace {

QByteArray readWhole(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Impossibile leggere %1.").arg(QFileInfo(path).fileName());
        return {};
    }
    return file.readAll();
}

QByteArray firmwareBytes(const OpenedVersion &opened)
{
    if (!opened.firmware)
        return {};
    const std::vector<uint8_t> &data = opened.firmware->data();
    return QByteArray(reinterpret_cast<const char *>(data.data()), qsizetype(data.size()));
}

} // namespace

TransferReference readTransferReference(const QString &originalPath, const QString &modifiedPath,
                                        const QString &definitionPath)
{
    TransferReference reference;
    reference.original = readWhole(originalPath, &reference.error);
    if (reference.error.isEmpty())
        reference.modified = readWhole(modifiedPath, &reference.error);
    if (!reference.error.isEmpty())
        return reference;
    const DefinitionFileResult definitions
        = readDefinitionFile(definitionPath, reference.original);
    if (definitions.maps.isEmpty())
        reference.error = definitions.error.isEmpty()
                              ? QStringLiteral("Il file di definizione non contiene mappe.")
                              : definitions.error;
    reference.maps = definitions.maps;
    return reference;
}

TransferReference readProjectReference(const QString &projectFolder, const QString &originalFolder,
                                       const QString &modifiedFolder)
{
    TransferReference reference;
    const auto open = [&](const QString &folder) {
        for (const VersionEntry &version : ProjectStore::listVersions(projectFolder))
            if (version.folder == folder)
                return ProjectStore::openVersion(projectFolder, version);
        OpenedVersion missing;
        missing.error = QStringLiteral("Versione non trovata nel progetto.");
        return missing;
    };
    const OpenedVersion original = open(originalFolder);
    const OpenedVersion modified = open(modifiedFolder);
    for (const OpenedVersion *opened : {&original, &modified})
        if (!opened->error.isEmpty()) {
            reference.error = opened->error;
            return reference;
        }
    reference.original = firmwareBytes(original);
    reference.modified = firmwareBytes(modified);
    reference.maps = !modified.maps.isEmpty() ? modified.maps : original.maps;
    if (reference.maps.isEmpty())
        reference.error = QStringLiteral("Le versioni scelte non hanno mappe: importa prima una "
                                         "definizione nel progetto.");
    return reference;
}

double transferredValue(TransferMode mode, double before, double after, double current)
{
    switch (mode) {
    case TransferMode::Difference:
        return current + (after - before);
    case TransferMode::Percent:
        // A ratio needs an original other than 0; there the difference is all there is.
        return before != 0.0 ? current * (after / before) : current + (after - before);
    default:
        return after;
    }
}

TransferResult transferChanges(const QByteArray &refOri, const QByteArray &refMod,
                               const QList<MapDefinition> &refMaps, const QByteArray &target,
                               TransferMode mode)
{
    TransferResult result;
    result.image = target;
    if (refOri.size() != refMod.size() || refOri.isEmpty()) {
        result.error = QStringLiteral("L'originale e la versione modificata di riferimento hanno "
                                      "dimensioni differenti.");
        return result;
    }
    const MapComparison changes = compareMaps(refMaps, bytesOf(refOri), bytesOf(refMod), refOri.size());
    result.outsideBytes = changes.outsideBytes;
    result.outsideBlocks = changes.outsideBlocks;
    result.outsideRanges = changes.outsideRanges;
    if (changes.changedMaps.isEmpty()) {
        result.error = QStringLiteral("La coppia di riferimento non modifica nessuna mappa.");
        return result;
    }
    const ImageAlignment alignment(refOri, target);
    if (!alignment.isRelated()) {
        result.error = QStringLiteral("L'immagine aperta non sembra un'altra versione della "
                                      "stessa centralina: nessuna modifica trasferita.");
        return result;
    }

    // First where every changed map lies in the target, then (when two maps that are apart in
    // the reference would land on the same bytes, one of them is wrongly placed) nothing of
    // either is written, then the values.
    struct Planned
    {
        TransferredMap out;
        const MapDefinition *map = nullptr;
        const MapChange *change = nullptr;
    };
    QList<Planned> planned;
    for (const MapChange &change : changes.changedMaps) {
        const MapDefinition &map = refMaps.at(change.mapIndex);
        Planned plan;
        plan.map = &map;
        plan.change = &change;
        TransferredMap &out = plan.out;
        out.name = map.name;
        out.referenceAddress = map.mapOffset;
        const MapRanges ranges = mapRanges(map);
        const ImageAlignment::Placement placement = alignment.place(
            ranges.data.start, ranges.data.end,
            [&](qint64 delta) { return agreement(map, refOri, target, delta); });
        out.evidence = placement.evidence;
        if (placement.status != ImageAlignment::Placement::Placed) {
            out.status = placement.status == ImageAlignment::Placement::Ambiguous
                             ? TransferredMap::Ambiguous
                             : TransferredMap::NotFound;
            if (out.status == TransferredMap::Ambiguous)
                out.targetAddress = map.mapOffset + placement.delta;
            planned.append(plan);
            continue;
        }
        // Stored axes may lie apart from the data (shared by several maps) and move with other
        // blocks; each is placed by its own bytes, else taken to have moved with the data.
        MapDefinition moved = map;
        moved.mapOffset = int(map.mapOffset + placement.delta);
        const auto placeAxis = [&](const ByteRange &axis, int *offset) {
            if (!axis.isValid() || *offset < 0)
                return;
            const ImageAlignment::Placement a
                = alignment.place(axis.start, axis.end, [](qint64) { return 0.0; });
            *offset = int(*offset
                          + (a.status == ImageAlignment::Placement::Placed ? a.delta
                                                                           : placement.delta));
        };
        placeAxis(ranges.xAxis, &moved.xAxisOffset);
        placeAxis(ranges.yAxis, &moved.yAxisOffset);
        const MapRanges movedRanges = mapRanges(moved);
        if (movedRanges.data.end >= target.size() || movedRanges.xAxis.end >= target.size()
            || movedRanges.yAxis.end >= target.size()
            || (map.xAxisOffset >= 0 && moved.xAxisOffset < 0)
            || (map.yAxisOffset >= 0 && moved.yAxisOffset < 0)) {
            out.evidence = QStringLiteral("la mappa non entra nell'immagine di destinazione");
            planned.append(plan);
            continue;
        }
        out.status = TransferredMap::Transferred;
        out.targetAddress = moved.mapOffset;
        out.targetMap = moved;
        planned.append(plan);
    }
    const auto overlaps = [](const ByteRange &a, const ByteRange &b) {
        return a.isValid() && b.isValid() && a.start <= b.end && b.start <= a.end;
    };
    for (Planned &a : planned) {
        for (const Planned &b : std::as_const(planned)) {
            if (&a == &b || !a.out.written() || !b.out.written())
                continue;
            if (overlaps(mapRanges(a.out.targetMap).data, mapRanges(b.out.targetMap).data)
                && !overlaps(mapRanges(*a.map).data, mapRanges(*b.map).data)) {
                a.out.status = TransferredMap::Ambiguous;
                a.out.evidence = QStringLiteral("la posizione trovata è occupata anche da \"%1\"")
                                     .arg(b.out.name);
            }
        }
    }

    for (Planned &plan : planned) {
        TransferredMap &out = plan.out;
        if (!out.written()) {
            result.maps.append(out);
            continue;
        }
        const MapDefinition &map = *plan.map;
        const MapDefinition &moved = out.targetMap;
        const uint8_t *image = bytesOf(result.image);
        const QList<double> before = physical(readMapValues(map, bytesOf(refOri), refOri.size()),
                                              map.factor, map.offset);
        const QList<double> after = physical(readMapValues(map, bytesOf(refMod), refMod.size()),
                                             map.factor, map.offset);
        const QList<double> currentRaw = readMapValues(moved, image, result.image.size());
        const QList<double> current = physical(currentRaw, map.factor, map.offset);
        const QList<double> refX = axisValues(map, refOri, true);
        const QList<double> refY = axisValues(map, refOri, false);
        const QList<double> tgtX = axisValues(moved, result.image, true);
        const QList<double> tgtY = axisValues(moved, result.image, false);
        const bool sameAxes = refX == tgtX && refY == tgtY;
        if (!sameAxes
            && (!monotonic(refX) || !monotonic(refY) || !monotonic(tgtX) || !monotonic(tgtY)
                || refX.size() != map.columns || refY.size() != map.rows)) {
            out.status = TransferredMap::NotFound;
            out.evidence = QStringLiteral("assi diversi e non monotoni: nessuna interpolazione");
            result.maps.append(out);
            continue;
        }
        const auto at = [&](const QList<double> &v, int r, int c) {
            return v.value(qsizetype(cellIndex(map, r, c)));
        };
        for (int r = 0; r < map.rows; ++r) {
            int r0 = r, r1 = r;
            double wr = 0.0;
            if (!sameAxes)
                bracket(refY, tgtY.value(r), &r0, &r1, &wr);
            for (int c = 0; c < map.columns; ++c) {
                int c0 = c, c1 = c;
                double wc = 0.0;
                if (!sameAxes)
                    bracket(refX, tgtX.value(c), &c0, &c1, &wc);
                // The reference's change carried to this cell: at the same cell when the axes
                // agree, else interpolated at the target's axis values.
                const auto blend = [&](const QList<double> &v) {
                    const double top = at(v, r0, c0) * (1 - wc) + at(v, r0, c1) * wc;
                    const double bottom = at(v, r1, c0) * (1 - wc) + at(v, r1, c1) * wc;
                    return top * (1 - wr) + bottom * wr;
                };
                const qint64 index = cellIndex(map, r, c);
                const double value = transferredValue(mode, blend(before), blend(after),
                                                      current.value(qsizetype(index)));
                const double raw
                    = physicalToRaw(value, map.factor, map.offset, map.dataType, map.zValueKind);
                if (raw != currentRaw.value(qsizetype(index))) {
                    writeValue(result.image, moved.mapOffset + index * qMax(map.zElementSize, 1),
                               raw, map);
                    ++out.cells;
                }
            }
        }
        out.status = sameAxes ? TransferredMap::Transferred : TransferredMap::Interpolated;
        // A tune that moved an axis: carried when the target's axis is the reference's.
        if (plan.change->axesChanged) {
            bool carried = true;
            for (bool x : {true, false}) {
                const int offset = x ? moved.xAxisOffset : moved.yAxisOffset;
                const int source = x ? map.xAxisSource : map.yAxisSource;
                if (source != 1 || offset < 0)
                    continue;
                const auto read = [&](const MapDefinition &d, const QByteArray &img) {
                    return x ? readXAxis(d, bytesOf(img), img.size())
                             : readYAxis(d, bytesOf(img), img.size());
                };
                const QList<double> oriAxis = read(map, refOri);
                const QList<double> modAxis = read(map, refMod);
                if (oriAxis == modAxis)
                    continue;
                if (read(moved, result.image) != oriAxis) {
                    carried = false;
                    continue;
                }
                const int size = qMax(x ? map.xElementSize : map.yElementSize, 1);
                for (qsizetype k = 0; k < modAxis.size(); ++k) {
                    const QByteArray bytes = encodeValue(
                        modAxis.at(k), x ? map.xDataType : map.yDataType,
                        x ? map.xLittleEndian : map.yLittleEndian,
                        x ? map.xValueKind : map.yValueKind);
                    std::copy(bytes.cbegin(), bytes.cend(), result.image.begin() + offset + k * size);
                }
            }
            out.evidence += carried ? QStringLiteral("; assi modificati trasferiti")
                                    : QStringLiteral("; modifica degli assi non trasferita "
                                                     "(assi diversi nella destinazione)");
        }
        result.maps.append(out);
    }
    if (result.writtenCount() == 0)
        result.image = target;
    return result;
}
