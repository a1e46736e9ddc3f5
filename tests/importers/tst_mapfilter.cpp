#include "importers/mapfilter.h"

#include <QtTest>

#include "testsupport.h"

Q_DECLARE_METATYPE(MapFilter)

class TestMapFilter : public QObject
{
    Q_OBJECT
private slots:
    void matches_data()
    {
        testsupport::addColumns<MapFilter, bool>({"filter", "expected"});
        QTest::newRow("empty filter") << MapFilter{} << true;
        QTest::newRow("blank texts count as empty") << MapFilter{"  ", "\t", " ", ""} << true;
        QTest::newRow("name part, other case") << MapFilter{"rail", {}, {}, {}} << true;
        QTest::newRow("name trimmed") << MapFilter{"  Rail  ", {}, {}, {}} << true;
        QTest::newRow("name missing") << MapFilter{"Boost", {}, {}, {}} << false;
        QTest::newRow("description") << MapFilter{{}, "PRESSIONE", {}, {}} << true;
        QTest::newRow("unit") << MapFilter{{}, {}, "bar", {}} << true;
        QTest::newRow("unit not in name") << MapFilter{{}, {}, "Rail", {}} << false;
        QTest::newRow("compu method") << MapFilter{{}, {}, {}, "cm_press"} << true;
        QTest::newRow("all must hold") << MapFilter{"Rail", "pressione", "bar", "CM_X"} << false;
        QTest::newRow("all hold") << MapFilter{"Rail", "pressione", "bar", "CM_PRESS"} << true;
        QTest::newRow("changed only, unchanged map")
            << MapFilter{{}, {}, {}, {}, true} << false;
        QTest::newRow("changed only, changed map") << MapFilter{{}, {}, {}, {}, true} << true;
        QTest::newRow("changed only, texts still apply")
            << MapFilter{"Boost", {}, {}, {}, true} << false;
    }

    void matches()
    {
        QFETCH(MapFilter, filter);
        MapDefinition map;
        map.name = QStringLiteral("RailPressureSetpoint");
        map.description = QStringLiteral("Pressione rail obiettivo");
        map.unit = QStringLiteral("bar");
        map.compuMethod = QStringLiteral("CM_PRESS_01");
        QTEST(filter.matches(map, !QByteArray(QTest::currentDataTag()).contains("unchanged")),
              "expected");
        // An unchanged map fails only a filter that asks for changed maps.
        QCOMPARE(filter.matches(map, false), filter.matches(map) && !filter.changedOnly);
    }

    // Blank texts filter nothing; any one field with text makes a filter.
    void emptiness_data()
    {
        testsupport::addColumns<MapFilter, bool>({"filter", "empty"});
        QTest::newRow("blank texts") << MapFilter{"  ", "\t", " ", ""} << true;
        QTest::newRow("name") << MapFilter{"a", {}, {}, {}} << false;
        QTest::newRow("description") << MapFilter{{}, "a", {}, {}} << false;
        QTest::newRow("unit") << MapFilter{{}, {}, "a", {}} << false;
        QTest::newRow("compu method") << MapFilter{{}, {}, {}, "a"} << false;
    }

    void emptiness()
    {
        QFETCH(MapFilter, filter);
        QTEST(filter.isEmpty(), "empty");
    }
};

QTEST_GUILESS_MAIN(TestMapFilter)
#include "tst_mapfilter.moc"
