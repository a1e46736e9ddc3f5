#include "recognition/mapcategory.h"

#include <QtTest>

#include "testsupport.h"

namespace {

DriverMapMatch recognisedMatch(const QString &key,
                               const QString &unit = {},
                               const QString &description = {},
                               const QString &compu = {})
{
    DriverMapMatch match;
    match.mapKey = key;
    match.description = description;
    match.unit = unit;
    match.compuMethod = compu;
    match.recognised = true;
    match.rows = 4;
    match.columns = 4;
    match.confidence = 95.0;
    return match;
}

} // namespace

class TestMapCategory : public QObject
{
    Q_OBJECT
private slots:
    void classifiesTexts_data()
    {
        testsupport::addColumns<QString, QString, QString, int, double>(
            {"key", "unit", "description", "category", "score"});

        const auto row = [](const char *tag, const char *key, const char *unit,
                            const char *description, int category, double score) {
            QTest::newRow(tag) << QString::fromUtf8(key) << QString::fromUtf8(unit)
                               << QString::fromUtf8(description) << category << score;
        };
        // "trqlimmax" holds "trq" but none of the limit keywords, so the plain Torque rule wins.
        row("Kfm_trqLimMax", "Kfm_trqLimMax", "", "", 1, 70.0);
        row("torque limit without Nm", "trq_limit", "", "", 2, 90.0);
        row("torque limit with Nm", "trq_limit", "Nm", "", 2, 100.0);
        row("boost set point in hPa", "Ladedruck Sollwert", "hPa", "", 6, 95.0);
        row("boost without unit", "Ladedruck Sollwert", "", "", 6, 85.0);
        row("boost limit", "Ladedruck Begrenzung", "hPa", "", 7, 100.0);
        row("rail limiter beats excluded rail pressure", "Raildruck Begrenzung", "", "", 9, 100.0);
        row("rail pressure in bar", "Raildruck Sollwert", "bar", "", 8, 100.0);
        row("Nm alone is unknown", "", "Nm", "", 0, 0.0);
        row("torque in Nm", "Drehmoment Kennfeld", "Nm", "", 1, 85.0);
        row("torque excluded scores 45, the threshold", "Drehmoment Ueberwach", "", "", 1, 45.0);
        row("temperature alone is 50, above the threshold", "Coolant correction", "", "", 17, 50.0);
        row("temperature limit", "Abgastemperatur Schutz", "", "", 17, 90.0);
        row("base map alone scores 55", "Momentenkennfeld", "", "", 4, 55.0);
        row("conversion", "", "", "Torque to IQ", 4, 110.0);
        row("monitoring beats torque", "trq monitor", "", "", 3, 100.0);
        row("driver wish", "Fahrerwunsch", "", "", 5, 105.0);
        row("pedal request", "Pedal Soll", "", "", 5, 90.0);
        row("duration, weak", "duration of fuel", "", "", 11, 75.0);
        row("start of injection, weak", "soi inject", "", "", 12, 80.0);
        row("injection quantity, weak", "iq_fuel", "", "", 10, 75.0);
        row("smoke limiter", "Rauch Begrenz", "", "", 14, 100.0);
        row("lambda", "Lambda Soll", "", "", 13, 90.0);
        row("air mass", "Luftmasse", "", "", 15, 85.0);
        row("egr", "AGR Kennfeld", "", "", 16, 90.0);
        row("speed limiter", "Vmax", "", "", 18, 95.0);
        row("rpm limiter", "Drehzahl Begrenzung", "", "", 19, 100.0);
        row("rpm alone is unknown", "Drehzahl", "", "", 0, 0.0);
        // Both score 100: the rule that comes first (Torque Limiters) keeps the tie.
        row("tie goes to the earlier rule", "trq limit monitor", "Nm", "", 2, 100.0);
        row("umlaut keyword", "Momentenüberwachung Drehmoment", "", "", 3, 100.0);
    }

    void classifiesTexts()
    {
        QFETCH(QString, key);
        QFETCH(QString, unit);
        QFETCH(QString, description);
        double found = -1.0;
        QTEST(classify(recognisedMatch(key, unit, description), found), "category");
        QTEST(found, "score");
    }

    void unrecognisedIsUnknown()
    {
        DriverMapMatch match = recognisedMatch(QStringLiteral("Raildruck Begrenzung"));
        match.recognised = false;
        double score = 12.0;
        QCOMPARE(classify(match, score), 0);
        QCOMPARE(score, 0.0);
    }

    void namesOutsideTheTableAreUnknown()
    {
        QCOMPARE(categoryName(0), QStringLiteral("Unknown"));
        QCOMPARE(categoryName(19), QStringLiteral("RPM"));
        QCOMPARE(categoryName(20), QStringLiteral("Unknown"));
        QCOMPARE(categoryName(-1), QStringLiteral("Unknown"));
    }

    void suggestions_data()
    {
        testsupport::addColumns<double, int, bool, double>(
            {"confidence", "rows", "suggested", "priority"});
        QTest::newRow("confidence 92") << 92.0 << 4 << true << 102.0;
        QTest::newRow("confidence 88, the limit") << 88.0 << 4 << true << 100.0;
        QTest::newRow("confidence just below 88") << 87.9 << 4 << false << 0.0;
        QTest::newRow("no rows") << 99.0 << 0 << false << 0.0;
    }

    void suggestions()
    {
        QFETCH(double, confidence);
        QFETCH(int, rows);
        QFETCH(bool, suggested);
        QFETCH(double, priority);
        DriverMapMatch match = recognisedMatch(QStringLiteral("Raildruck Begrenzung"));
        match.confidence = confidence;
        match.rows = rows;
        DriverScanResult result;
        result.matches = {match};
        const QList<CategorySuggestion> list = buildCategorySuggestions(result);
        QCOMPARE(list.size(), suggested ? 1 : 0);
        if (suggested) {
            QCOMPARE(list.first().category, 9);
            QCOMPARE(list.first().priority, priority);
        }
    }

    void suggestionsOrderedByPriority()
    {
        DriverMapMatch unknown = recognisedMatch(QStringLiteral("Drehzahl"));
        DriverMapMatch airMass = recognisedMatch(QStringLiteral("Luftmasse")); // 85 + 3.5
        airMass.confidence = 95.0;
        DriverMapMatch rail = recognisedMatch(QStringLiteral("Raildruck Begrenzung"), {},
                                              QStringLiteral("desc"), QStringLiteral("CM"));
        rail.displayName = QStringLiteral("Rail limit");
        rail.zAddress = 0x1234;
        rail.xAddress = 0x1200;
        rail.yAddress = 0x1210;
        rail.rows = 3;
        rail.columns = 5;
        rail.confidence = 90.0; // 100 + 1
        rail.status = QStringLiteral("AUTO: mappa riconosciuta");
        DriverMapMatch lambda = recognisedMatch(QStringLiteral("Lambda")); // 90 + 3.5
        DriverScanResult result;
        result.matches = {unknown, airMass, rail, lambda};

        const QList<CategorySuggestion> list = buildCategorySuggestions(result);
        QCOMPARE(list.size(), 3);
        QCOMPARE(list.at(0).category, 9);
        QCOMPARE(list.at(1).category, 13);
        QCOMPARE(list.at(2).category, 15);
        // The suggestion carries the match's own texts and places.
        const CategorySuggestion &s = list.first();
        QCOMPARE(std::make_tuple(s.mapKey, s.description, s.compuMethod, s.displayName, s.status),
                 std::make_tuple(rail.mapKey, rail.description, rail.compuMethod, rail.displayName,
                                 rail.status));
        QCOMPARE(std::make_tuple(s.zAddress, s.xAddress, s.yAddress, s.rows, s.columns, s.priority),
                 std::make_tuple(qint64(0x1234), qint64(0x1200), qint64(0x1210), 3, 5, 101.0));
    }
};

QTEST_GUILESS_MAIN(TestMapCategory)
#include "tst_mapcategory.moc"
