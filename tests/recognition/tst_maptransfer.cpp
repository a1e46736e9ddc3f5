#include "recognition/imagealignment.h"
#include "recognition/maptransfer.h"

#include <QtTest>

#include "firmwarefixture.h"
#include "testsupport.h"

namespace {

// Bytes that look like code: unique enough that any 12 of them occur once.
QByteArray noise(int size, quint32 seed)
{
    QByteArray bytes(size, 0);
    for (int i = 0; i < size; ++i) {
        seed = seed * 1664525u + 1013904223u;
        bytes[i] = char(seed >> 24);
    }
    return bytes;
}

// A 4 x 4 map of 16-bit LoHi words with an X axis of 4 words just before its data.
MapDefinition mapAt(const QString &name, int axis)
{
    MapDefinition d = testsupport::mapGrid(axis + 8, 4, 4, name);
    d.xAxisOffset = axis;
    d.yAxisSource = 0;
    d.factor = 0.5;
    return d;
}

void putWords(QByteArray &image, int at, const QList<int> &words)
{
    for (int k = 0; k < words.size(); ++k) {
        image[at + 2 * k] = char(words.at(k) & 0xFF);
        image[at + 2 * k + 1] = char((words.at(k) >> 8) & 0xFF);
    }
}

QList<double> valuesOf(const MapDefinition &d, const QByteArray &image)
{
    return readMapValues(d, reinterpret_cast<const uint8_t *>(image.constData()), image.size());
}

const QList<int> kAxis{1000, 2000, 3000, 4000};
QList<int> ramp(int from) // 16 values from `from` up
{
    QList<int> v;
    for (int k = 0; k < 16; ++k)
        v.append(from + 10 * k);
    return v;
}

// A reference with maps A at 0x4000 and B at 0x9000, its tune (A +20 raw everywhere, B's
// first cell doubled), and a target where 0x300 bytes were inserted between the two maps and
// A's values differ.
struct Pair
{
    QByteArray ori, mod, target;
    QList<MapDefinition> maps{mapAt(QStringLiteral("A"), 0x4000), mapAt(QStringLiteral("B"), 0x9000)};
    Pair()
    {
        ori = noise(0x10000, 7);
        for (const MapDefinition &m : maps) {
            putWords(ori, m.xAxisOffset, kAxis);
            putWords(ori, m.mapOffset, ramp(100));
        }
        mod = ori;
        QList<int> tunedA = ramp(120);
        putWords(mod, maps.at(0).mapOffset, tunedA);
        putWords(mod, maps.at(1).mapOffset, {200});
        target = ori;
        target.insert(0x6000, noise(0x300, 99));
        target.chop(0x300);
        putWords(target, maps.at(0).mapOffset, ramp(300));
    }
};

} // namespace

class TestMapTransfer : public QObject
{
    Q_OBJECT

private slots:
    void modes_data()
    {
        testsupport::addColumns<int, double, double, double, double>(
            {"mode", "before", "after", "current", "expected"});
        QTest::newRow("values") << int(TransferMode::Values) << 10.0 << 12.0 << 50.0 << 12.0;
        QTest::newRow("difference") << int(TransferMode::Difference) << 10.0 << 12.0 << 50.0 << 52.0;
        QTest::newRow("percent") << int(TransferMode::Percent) << 10.0 << 12.0 << 50.0 << 60.0;
        QTest::newRow("percent of a zero original")
            << int(TransferMode::Percent) << 0.0 << 3.0 << 50.0 << 53.0;
    }

    void modes()
    {
        QFETCH(int, mode);
        QFETCH(double, before);
        QFETCH(double, after);
        QFETCH(double, current);
        QTEST(transferredValue(TransferMode(mode), before, after, current), "expected");
    }

    // Each map lands where its block went, with the change the mode gives; B moved by the
    // insertion, A stayed but holds other values.
    void transfersAcrossAMove_data()
    {
        // aFirst (A's first raw value in the target after the transfer)
        testsupport::addColumns<int, double, double>({"mode", "aFirst", "bFirst"});
        QTest::newRow("values") << int(TransferMode::Values) << 120.0 << 200.0;
        QTest::newRow("difference") << int(TransferMode::Difference) << 320.0 << 200.0;
        QTest::newRow("percent") << int(TransferMode::Percent) << 360.0 << 200.0;
    }

    void transfersAcrossAMove()
    {
        QFETCH(int, mode);
        const Pair p;
        const TransferResult r
            = transferChanges(p.ori, p.mod, p.maps, p.target, TransferMode(mode));
        QVERIFY2(r.error.isEmpty(), qPrintable(r.error));
        QCOMPARE(r.maps.size(), 2);
        QCOMPARE(r.maps.at(0).status, TransferredMap::Transferred);
        QCOMPARE(r.maps.at(0).targetAddress, 0x4008);
        QCOMPARE(r.maps.at(1).status, TransferredMap::Transferred);
        QCOMPARE(r.maps.at(1).targetAddress, 0x9308);
        QTEST(valuesOf(r.maps.at(0).targetMap, r.image).value(0), "aFirst");
        QTEST(valuesOf(r.maps.at(1).targetMap, r.image).value(0), "bFirst");
        QCOMPARE(r.maps.at(1).cells, 1);
        // Nothing else of the target changed.
        QCOMPARE(r.image.size(), p.target.size());
        QCOMPARE(r.image.mid(0x9300 + 0x28), p.target.mid(0x9300 + 0x28));
    }

    // The target's axis is denser: the change is carried along the physical axis, and cells
    // beyond either end of the reference's axis take the end's change.
    void interpolatesAlongDifferentAxes()
    {
        Pair p;
        putWords(p.target, 0x9300, {500, 1500, 2500, 4500});
        putWords(p.mod, p.maps.at(1).mapOffset, {100, 120, 140, 160});
        putWords(p.ori, p.maps.at(1).mapOffset, {100, 100, 100, 100});
        putWords(p.target, 0x9308, {100, 100, 100, 100});
        const TransferResult r
            = transferChanges(p.ori, p.mod, p.maps, p.target, TransferMode::Difference);
        QCOMPARE(r.maps.at(1).status, TransferredMap::Interpolated);
        // Reference changes 0, 20, 40, 60 at 1000..4000; the target's row 0 sits at 500
        // (before the start: 0), 1500 (10), 2500 (30), 4500 (beyond the end: 60).
        QCOMPARE(valuesOf(r.maps.at(1).targetMap, r.image).mid(0, 4),
                 (QList<double>{100, 110, 130, 160}));
    }

    // Both neighbours of B moved differently and nothing of B is the same: not written.
    void ambiguousPlaceIsNotWritten()
    {
        Pair p;
        // B's block in the target: its axis and values differ, and the bytes after it moved
        // by another 0x100.
        putWords(p.target, 0x9300, {1, 2, 3, 4});
        putWords(p.target, 0x9308, ramp(900));
        p.target.insert(0x9328, noise(0x100, 5));
        p.target.chop(0x100);
        const TransferResult r = transferChanges(p.ori, p.mod, p.maps, p.target, TransferMode::Values);
        QCOMPARE(r.maps.at(1).status, TransferredMap::Ambiguous);
        QCOMPARE(r.maps.at(1).cells, 0);
        QCOMPARE(r.image.mid(0x9000), p.target.mid(0x9000));
    }

    // What the dialog applies: the span of the changes, the maps the target lacks, the report.
    void applyingAResult()
    {
        const Pair p;
        const TransferResult r = transferChanges(p.ori, p.mod, p.maps, p.target, TransferMode::Values);
        const ByteRange span = changedSpan(p.target, r.image);
        QCOMPARE(span, (ByteRange{0x4008, 0x9308}));
        QCOMPARE(changedSpan(p.target, p.target), ByteRange{});
        QCOMPARE(changedSpan(p.target, p.target.left(10)), ByteRange{});
        QByteArray edge = p.target;
        edge[0] = char(~edge[0]);
        edge[edge.size() - 1] = char(~edge[edge.size() - 1]);
        QCOMPARE(changedSpan(p.target, edge), (ByteRange{0, p.target.size() - 1}));

        // A already described at its place; B at the same place but of another size is not.
        MapDefinition a = r.maps.at(0).targetMap;
        MapDefinition b = r.maps.at(1).targetMap;
        b.rows = 2;
        const QList<MapDefinition> added = transferredMapsToAdd({a, b}, r);
        QCOMPARE(added.size(), 1);
        QCOMPARE(added.first().mapOffset, 0x9308);
        QCOMPARE(transferredMapsToAdd({}, r).size(), 2);

        const QString report = transferReportText(r);
        QVERIFY2(report.startsWith("Mappe scritte: 2 di 2\nA: trasferita (0x4008 -> 0x4008, 16 "
                                   "celle)")
                     && report.contains("B: trasferita (0x9008 -> 0x9308, 1 celle)")
                     && report.contains("fuori dalle mappe non trasferite: 0 byte in 0 blocchi"),
                 qPrintable(report));
    }

    void refusals_data()
    {
        testsupport::addColumns<QByteArray, bool, QString>(
            {"target", "sameSizedReference", "mentions"});
        QTest::newRow("an image of another unit") << noise(0x10000, 12345) << true << "stessa centralina";
        QTest::newRow("reference sizes differ") << Pair().target << false << "dimensioni";
    }

    void refusals()
    {
        QFETCH(QByteArray, target);
        QFETCH(bool, sameSizedReference);
        QFETCH(QString, mentions);
        const Pair p;
        const TransferResult r
            = transferChanges(p.ori, sameSizedReference ? p.mod : p.mod.left(100), p.maps, target,
                              TransferMode::Values);
        QVERIFY2(r.error.contains(mentions), qPrintable(r.error));
        QCOMPARE(r.writtenCount(), 0);
        QCOMPARE(r.image, target);
    }
};

QTEST_GUILESS_MAIN(TestMapTransfer)
#include "tst_maptransfer.moc"
