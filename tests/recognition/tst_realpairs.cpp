// Recognition on real images: a driver built from one image's community definitions (XDF) is
// scanned on another image whose own definitions give every table's true place. Skipped when
// the shared sample files are absent.
#include "importers/xdfparser.h"
#include "recognition/driverbuilder.h"
#include "recognition/driverscanner.h"

#include <QHash>
#include <QLoggingCategory>
#include <QSet>
#include <QtTest>

#include "testsupport.h"

using namespace Qt::StringLiterals;

namespace {

const QString root = QStringLiteral(TESSA_SHARED_DATA_DIR "/definitions/");

struct Side
{
    QByteArray image;
    QList<MapDefinition> maps; // the trusted ones
};

// Tables a community definition is unsure of: overlapping another, a repeated name, 16-bit
// values at an odd address (these processors read words at even addresses).
QList<MapDefinition> trusted(const QList<MapDefinition> &maps)
{
    QHash<QString, int> names;
    for (const MapDefinition &m : maps)
        ++names[m.name];
    QSet<QString> doubtful;
    for (const MapDefinition &m : maps) {
        const bool odd = (m.zElementSize == 2 && m.mapOffset % 2)
                         || (m.xAxisSource == 1 && m.xElementSize == 2 && m.xAxisOffset % 2)
                         || (m.yAxisSource == 1 && m.yElementSize == 2 && m.yAxisOffset % 2);
        if (odd || names.value(m.name) > 1 || m.name.isEmpty())
            doubtful.insert(m.name);
        const ByteRange a = mapRanges(m).data;
        for (const MapDefinition &o : maps) {
            const ByteRange b = mapRanges(o).data;
            if (&o != &m && a.isValid() && b.isValid() && a.start <= b.end && b.start <= a.end)
                doubtful.insert(m.name);
        }
    }
    QList<MapDefinition> kept;
    for (const MapDefinition &m : maps)
        if (!doubtful.contains(m.name))
            kept.append(m);
    return kept;
}

Side side(const QString &image, const QString &xdf)
{
    Side s;
    s.image = testsupport::readFile(root + image);
    s.maps = trusted(XdfParser::parse(root + xdf, s.image.size()).maps);
    return s;
}

struct Tally
{
    int right = 0, wrong = 0, missing = 0;
    int trustedRight = 0, trustedReported = 0; // at or above the acceptance level
    int total() const { return right + wrong + missing; }
};

constexpr double acceptanceLevel = 74.0;

// Builds from `from`, scans `to`; a map counts when `to` knows its true place.
void score(const Side &from, const Side &to, Tally &tally, bool foreign = false)
{
    DriverBuildResult built = buildDriver(from.image, from.maps);
    describeBuiltDriver(built.driver, u"reference.bin"_s, from.image);
    QHash<QString, qint64> truth;
    for (const MapDefinition &m : to.maps)
        truth.insert(m.name, m.mapOffset);
    const DriverScanResult result = scanDriver(to.image, built.driver);
    QSet<QString> seen;
    for (const DriverMapMatch &match : result.matches) {
        seen.insert(match.displayName);
        if (!foreign && !truth.contains(match.displayName))
            continue;
        const bool right
            = !foreign && match.recognised && match.zAddress == truth.value(match.displayName);
        if (match.recognised && !right)
            qDebug("wrong: %s at 0x%llx (%.1f) %s", qPrintable(match.displayName), match.zAddress,
                   match.confidence, qPrintable(match.status.left(100)));
        if (!match.recognised)
            ++tally.missing;
        else
            ++(right ? tally.right : tally.wrong);
        if (match.recognised && match.confidence >= acceptanceLevel) {
            ++tally.trustedReported;
            tally.trustedRight += right ? 1 : 0;
        }
    }
    for (const MapDefinition &m : from.maps)
        if (!seen.contains(m.name) && (foreign || truth.contains(m.name)))
            ++tally.missing; // left out by the builder
}

} // namespace

class TestRealPairs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(u"tessa.recognition.scanner=false"_s); }

    void meetsTheTargets()
    {
        if (!QFileInfo::exists(root))
            QSKIP("the shared sample files are not here");
        const QString audi = u"me7-8D0907551/"_s;
        const QString audiXdf = audi + u"8D0907551M-16bit-kfzw.xdf"_s;
        const QStringList audiImages{u"8D0907551M-0002-16bit-kfzw.bin"_s, u"8D0907551M-0002.bin"_s,
                                     u"8D0907551M-0001.bin"_s, u"8D0907551L.bin"_s};
        QList<Side> audiSides;
        for (const QString &image : audiImages)
            audiSides.append(side(audi + image, audiXdf));
        // The definition is the patched image's: a table whose bytes the patch changed has its
        // truth in that image alone, and counts only between it and itself.
        const QByteArray patched = audiSides.at(0).image, plain = audiSides.at(1).image;
        QList<MapDefinition> unpatched;
        for (const MapDefinition &m : std::as_const(audiSides[0].maps)) {
            const ByteRange r = mapRanges(m).data;
            if (patched.mid(r.start, r.end - r.start + 1)
                == plain.mid(r.start, r.end - r.start + 1))
                unpatched.append(m);
        }
        const QString volvo = u"me7-volvo-50GMHJ-50GSHJ/"_s;
        const Side gm = side(volvo + u"50GMHJ-22GMJVD0-AUT-AWD-US.bin"_s, volvo + u"50GMHJ.xdf"_s);
        const Side gs = side(volvo + u"50GSHJ-22GSI-AUT-AWD-US.bin"_s, volvo + u"50GSHJ.xdf"_s);

        Tally same, other, foreign;
        for (int i = 0; i < audiSides.size(); ++i) {
            for (int j = 0; j < audiSides.size(); ++j) {
                Side from = audiSides.at(i), to = audiSides.at(j);
                if (i != j || i != 0)
                    from.maps = to.maps = unpatched;
                score(from, to, i == j ? same : other);
            }
        }
        score(gm, gs, other);
        score(gs, gm, other);
        score(gm, gm, same);
        score(gs, gs, same);
        Side plainAudi = audiSides.at(1);
        plainAudi.maps = unpatched;
        for (const Side *v : {&gm, &gs}) {
            score(*v, plainAudi, foreign, true);
            score(plainAudi, *v, foreign, true);
        }

        const auto percent = [](int part, int whole) { return 100.0 * part / qMax(1, whole); };
        const int trustedRight = same.trustedRight + other.trustedRight;
        const int trustedReported = same.trustedReported + other.trustedReported;
        qInfo("own image: %d of %d right; other: %.1f %% right, %.1f %% wrong of %d; foreign: "
              "%.1f %% reported; at or above %.0f: %.1f %% right",
              same.right, same.total(), percent(other.right, other.total()),
              percent(other.wrong, other.total()), other.total(),
              percent(foreign.right + foreign.wrong, foreign.total()), acceptanceLevel,
              percent(trustedRight, trustedReported));
        QCOMPARE(same.right, same.total());
        QVERIFY(percent(other.right, other.total()) >= 90.0);
        QVERIFY(percent(other.wrong, other.total()) <= 2.0);
        QVERIFY(percent(foreign.wrong, foreign.total()) <= 1.0);
        QVERIFY(percent(trustedRight, trustedReported) >= 98.0);
    }
};

QTEST_GUILESS_MAIN(TestRealPairs)
#include "tst_realpairs.moc"
