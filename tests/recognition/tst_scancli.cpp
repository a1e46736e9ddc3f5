#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include "testsupport.h"

using testsupport::example;

class TestScanCli : public QObject
{
    Q_OBJECT
private slots:
    void findsTheExampleMapsMoved()
    {
        QCOMPARE(run({QStringLiteral("scan"), example("tessa-demo-v2.bin"),
                      example("tessa-demo.ecudrv")}),
                 0);
        QVERIFY2(m_error.isEmpty(), m_error.constData());
        const QJsonObject result = QJsonDocument::fromJson(m_out).object();
        QCOMPARE(result.keys().size(), 7);
        // The second version is of the driver's own family.
        QCOMPARE(result.value(QLatin1String("foreignImage")).toBool(), false);
        QCOMPARE(result.value(QLatin1String("imageVerdict")).toString(), QString());
        QCOMPARE(result.value(QLatin1String("mapCount")).toInt(), 4);
        QCOMPARE(result.value(QLatin1String("recognisedCount")).toInt(), 4);
        // Where the second software version holds the maps (examples/README.md).
        const QList<qint64> moved{0x10140, 0x121C0, 0x12EE0, 0x14260};
        const QJsonArray matches = result.value(QLatin1String("matches")).toArray();
        QCOMPARE(matches.size(), 4);
        for (int i = 0; i < 4; ++i) {
            const QJsonObject match = matches.at(i).toObject();
            QCOMPARE(match.keys().size(), 25);
            QCOMPARE(match.value(QLatin1String("zAddress")).toInteger(), moved.at(i));
            QVERIFY(match.value(QLatin1String("recognised")).toBool());
            QVERIFY(match.value(QLatin1String("zFound")).toBool());
        }
        const QJsonArray suggestions = result.value(QLatin1String("suggestions")).toArray();
        for (const QJsonValue &suggestion : suggestions) {
            QCOMPARE(suggestion.toObject().keys().size(), 14);
            QVERIFY(suggestion.toObject().value(QLatin1String("confidence")).toDouble() >= 88.0);
        }
    }

    void refusesWhatCannotBeLoaded_data()
    {
        testsupport::addColumns<QString, QString>({"image", "driver"});
        QTest::newRow("no image") << "/nonexistent/image.bin" << example("tessa-demo.ecudrv");
        QTest::newRow("no driver") << example("tessa-demo.bin") << "/nonexistent.ecudrv";
        QTest::newRow("image given as driver")
            << example("tessa-demo.bin") << example("tessa-demo.bin");
    }

    void refusesWhatCannotBeLoaded()
    {
        QFETCH(QString, image);
        QFETCH(QString, driver);
        QCOMPARE(run({QStringLiteral("scan"), image, driver}), 1);
        QVERIFY(m_out.isEmpty());
        QCOMPARE(m_error.count('\n'), 1);
    }

private:
    int run(const QStringList &arguments)
    {
        const auto result = testsupport::runCli(arguments);
        m_out = result.out;
        m_error = result.err;
        return result.exitCode;
    }

    QByteArray m_out;
    QByteArray m_error;
};

QTEST_GUILESS_MAIN(TestScanCli)
#include "tst_scancli.moc"
