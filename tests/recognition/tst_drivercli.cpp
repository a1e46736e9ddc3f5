#include "model/mappack.h"
#include "recognition/driverfile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

using namespace Qt::StringLiterals;
using testsupport::example;

class TestDriverCli : public QObject
{
    Q_OBJECT

private:
    int run(const QStringList &arguments)
    {
        const auto result = testsupport::runCli(arguments);
        m_out = result.out;
        m_error = result.err;
        return result.exitCode;
    }

    QTemporaryDir m_dir;
    QByteArray m_out;
    QByteArray m_error;

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void exactFormsOfValues()
    {
        Driver driver;
        driver.text1 = u""_s;
        driver.number = (qint64(1) << 53) + 1; // not representable as a double
        DriverMap map;
        map.zAddress = -1;
        map.xAddress = (qint64(1) << 62) + 3;
        map.zFactor = 0.1;
        map.zOffset = 1.0 / 3.0;
        map.zSignature = QByteArray("\xAB\x01", 2);
        map.xAxisSignature = QByteArray("");
        map.rawXValues = {1.5, -2e-7};
        map.anchors = {{QByteArray("\x0F", 1), -5, 2, 7}};
        driver.maps = {map};
        const QString path = m_dir.filePath(u"forme.ecudrv"_s);
        QVERIFY(saveDriverFile(driver, path));
        QCOMPARE(run({"driver", path}), 0);
        for (const char *piece :
             {"\"formatVersion\":9,", "\"text1\":\"\",\"text2\":null",
              "\"number\":9007199254740993", "\"zAddress\":-1,",
              "\"xAddress\":4611686018427387907,", "\"zFactor\":0.1,",
              "\"zOffset\":0.3333333333333333,", "\"zSignature\":\"ab01\"",
              "\"zTailSignature\":null", "\"xAxisSignature\":\"\"", "\"rawXValues\":[1.5,-2e-07]",
              "\"rawYValues\":[]",
              "\"anchors\":[{\"pattern\":\"0f\",\"delta\":-5,\"divisor\":2,\"reserved\":7}]"})
            QVERIFY2(m_out.contains(piece), piece);
        const QJsonObject json = QJsonDocument::fromJson(m_out).object();
        const QJsonObject first = json.value(u"maps"_s).toArray().first().toObject();
        // Every field of the record, with the anchor count folded into the anchors.
        QCOMPARE(first.size(), 97);
        QVERIFY(!first.contains(u"anchorCount"_s));
    }

    void refusedDriverFile()
    {
        QCOMPARE(run({"driver", example("tessa-demo.bin")}), 1);
        QCOMPARE(m_out, QByteArray());
        QCOMPARE(m_error.trimmed(), QByteArray("File non riconosciuto come driver Tessamorvandi."));
    }

    void buildsTheExampleDriverAgain()
    {
        const QString out = m_dir.filePath(u"demo.ecudrv"_s);
        QCOMPARE(
            run({"driver", "build", example("tessa-demo.bin"), example("tessa-demo.tvp"), out}), 0);
        QCOMPARE(QJsonDocument::fromJson(m_out).object(),
                 QJsonObject({{u"maps"_s, 4}, {u"path"_s, out}, {u"skipped"_s, QJsonArray()}}));
        // The example driver is this command's output, byte for byte.
        QCOMPARE(testsupport::readFile(out), testsupport::readFile(example("tessa-demo.ecudrv")));

        // From the A2L description: its single value too, placed by its neighbours' move.
        QCOMPARE(
            run({"driver", "build", example("tessa-demo.bin"), example("tessa-demo.a2l"), out}), 0);
        QCOMPARE(QJsonDocument::fromJson(m_out).object().value(u"maps"_s).toInt(), 5);
    }

    void saysWhichMapsItLeavesOut()
    {
        MapPackData pack;
        QVERIFY(readMapPack(example("tessa-demo.tvp"), pack));
        MapDefinition nowhere = pack.maps.first();
        nowhere.name = u"Senza indirizzo"_s;
        nowhere.mapOffset = -1;
        pack.maps.append(nowhere);
        const QString maps = m_dir.filePath(u"maps.tvp"_s);
        QVERIFY(writeMapPack(maps, pack.maps, testsupport::readFile(example("tessa-demo.bin")),
                             nullptr));
        const QString out = m_dir.filePath(u"skip.ecudrv"_s);
        QCOMPARE(run({"driver", "build", example("tessa-demo.bin"), maps, out}), 0);
        const QJsonObject built = QJsonDocument::fromJson(m_out).object();
        QCOMPARE(built.value(u"maps"_s).toInt(), 4);
        const QJsonArray skipped = built.value(u"skipped"_s).toArray();
        QCOMPARE(skipped.size(), 1);
        QCOMPARE(skipped.first().toObject().value(u"name"_s).toString(), nowhere.name);
        QCOMPARE(skipped.first().toObject().value(u"reason"_s).toString(),
                 u"nessun indirizzo nel firmware"_s);
        QVERIFY(m_error.contains("Senza indirizzo"));
    }

    void refusesAPackOfAnotherImage()
    {
        const QString out = m_dir.filePath(u"altro.ecudrv"_s);
        QCOMPARE(
            run({"driver", "build", example("tessa-demo-v2.bin"), example("tessa-demo.tvp"), out}),
            1);
        QCOMPARE(m_out, QByteArray());
        QCOMPARE(m_error.count('\n'), 1);
        QVERIFY(!QFile::exists(out));
    }
};

QTEST_GUILESS_MAIN(TestDriverCli)
#include "tst_drivercli.moc"
