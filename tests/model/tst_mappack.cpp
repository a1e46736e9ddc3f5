#include "model/mappack.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestMapPack : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString write(const QString &name, const QByteArray &content)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(content);
        return path;
    }

    static QByteArray image(int size, char fill)
    {
        QByteArray bytes(size, fill);
        for (int i = 0; i < size; i += 7)
            bytes[i] = char(i);
        return bytes;
    }

    static MapDefinition map(const QString &name, int offset)
    {
        MapDefinition d;
        d.name = name;
        d.mapOffset = offset;
        d.rows = 2;
        d.columns = 3;
        d.xAxis = {10, 20, 30};
        d.factor = 0.25;
        d.unit = QStringLiteral("Nm");
        return d;
    }

    static QJsonObject validPack(const QByteArray &bytes)
    {
        QJsonObject o;
        o.insert(QStringLiteral("magic"), QStringLiteral("TESSAMORVANDI_MAP_PACK"));
        o.insert(QStringLiteral("formatVersion"), 1);
        o.insert(QStringLiteral("firmwareSize"), double(bytes.size()));
        o.insert(QStringLiteral("firmwareSha256"),
                 QString::fromLatin1(
                     QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
        o.insert(QStringLiteral("maps"), QJsonArray{toJson(map(QStringLiteral("A"), 16))});
        return o;
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
    }

    void roundTripIsCompatibleWithItsImageOnly()
    {
        const QByteArray bytes = image(4096, '\x11');
        const QList<MapDefinition> maps
            = {map(QStringLiteral("Coppia"), 0x100), map(QStringLiteral("Pedale"), 0x200)};
        const QString path = m_dir.filePath(QStringLiteral("round.tvp"));
        QString error;
        QVERIFY(writeMapPack(path, maps, bytes, &error));

        MapPackData pack;
        QVERIFY(readMapPack(path, pack));
        QVERIFY(pack.errorMessage.isEmpty());
        QCOMPARE(pack.formatVersion, 1);
        QCOMPARE(pack.firmwareSize, qint64(4096));
        QCOMPARE(pack.firmwareSha256.size(), 32);
        QCOMPARE(pack.maps, maps);
        QVERIFY(isCompatible(pack, bytes));

        QByteArray changed = bytes;
        changed[1234] = char(changed.at(1234) ^ 1);
        QVERIFY(!isCompatible(pack, changed));
        QVERIFY(!isCompatible(pack, bytes.left(4095)));

        // Compact JSON, and the written text names the image in lower-case hex.
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY(!text.contains('\n'));
        QVERIFY(text.contains(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");

        const QByteArray bytes = image(64, 'a');
        auto text = [](const QJsonObject &o) { return QJsonDocument(o).toJson(); };
        QJsonObject o = validPack(bytes);

        QTest::newRow("not json") << QByteArray("{\"magic\": ")
                                  << "Pacchetto mappe non valido o danneggiato.";
        QTest::newRow("empty file") << QByteArray() << "Pacchetto mappe non valido o danneggiato.";
        QTest::newRow("array") << QByteArray("[1,2]") << "Formato pacchetto mappe non valido.";
        o = validPack(bytes);
        o.insert(QStringLiteral("magic"), QStringLiteral("tessamorvandi_map_pack"));
        QTest::newRow("lower-case magic")
            << text(o) << "Il file non è un pacchetto mappe Tessamorvandi.";
        o.insert(QStringLiteral("magic"), 7);
        QTest::newRow("magic not a string")
            << text(o) << "Il file non è un pacchetto mappe Tessamorvandi.";
        o = validPack(bytes);
        o.remove(QStringLiteral("magic"));
        QTest::newRow("no magic") << text(o) << "Il file non è un pacchetto mappe Tessamorvandi.";
        o = validPack(bytes);
        o.insert(QStringLiteral("formatVersion"), 2);
        QTest::newRow("version 2") << text(o) << "Versione del pacchetto mappe non supportata.";
        o.remove(QStringLiteral("formatVersion"));
        QTest::newRow("no version") << text(o) << "Versione del pacchetto mappe non supportata.";
        // Magic is checked before the version.
        o.insert(QStringLiteral("magic"), QStringLiteral("X"));
        QTest::newRow("bad magic and version")
            << text(o) << "Il file non è un pacchetto mappe Tessamorvandi.";
    }

    void refusals()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        MapPackData pack;
        pack.maps.append(MapDefinition()); // cleared by the read
        QVERIFY(!readMapPack(write(QStringLiteral("refused.tvp"), content), pack));
        QCOMPARE(pack.errorMessage, message);
        QVERIFY(pack.maps.isEmpty());
    }

    void missingFileCannotBeOpened()
    {
        MapPackData pack;
        QVERIFY(!readMapPack(m_dir.filePath(QStringLiteral("none.tvp")), pack));
        QCOMPARE(pack.errorMessage, QStringLiteral("Impossibile aprire il pacchetto mappe."));
        QVERIFY(!readMapPack(m_dir.path(), pack)); // a folder is no pack
        QCOMPARE(pack.errorMessage, QStringLiteral("Impossibile aprire il pacchetto mappe."));
    }

    void mapsArrayKeepsObjectsOnly_data()
    {
        QTest::addColumn<QJsonValue>("maps");
        QTest::addColumn<int>("count");
        QTest::newRow("number and object")
            << QJsonValue(QJsonArray{5, QJsonObject{{QStringLiteral("name"), QStringLiteral("X")}}})
            << 1;
        QTest::newRow("not an array") << QJsonValue(QStringLiteral("maps")) << 0;
        QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined) << 0;
    }

    void mapsArrayKeepsObjectsOnly()
    {
        QFETCH(QJsonValue, maps);
        QFETCH(int, count);
        const QByteArray bytes = image(32, 'z');
        QJsonObject o = validPack(bytes);
        if (maps.isUndefined())
            o.remove(QStringLiteral("maps"));
        else
            o.insert(QStringLiteral("maps"), maps);
        MapPackData pack;
        QVERIFY(readMapPack(write(QStringLiteral("maps.tvp"), QJsonDocument(o).toJson()), pack));
        QCOMPARE(pack.maps.size(), count);
        QVERIFY(isCompatible(pack, bytes));
    }

    void hostileHeaderValuesAreIncompatible_data()
    {
        QTest::addColumn<QJsonValue>("size");
        QTest::addColumn<QJsonValue>("sha");
        QTest::newRow("huge size") << QJsonValue(1e300) << QJsonValue(QStringLiteral("00"));
        QTest::newRow("size text")
            << QJsonValue(QStringLiteral("32")) << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("sha not hex") << QJsonValue(32) << QJsonValue(QStringLiteral("zz-not-hex"));
    }

    void hostileHeaderValuesAreIncompatible()
    {
        QFETCH(QJsonValue, size);
        QFETCH(QJsonValue, sha);
        const QByteArray bytes = image(32, 'q');
        QJsonObject o = validPack(bytes);
        o.insert(QStringLiteral("firmwareSize"), size);
        if (!sha.isUndefined())
            o.insert(QStringLiteral("firmwareSha256"), sha);
        MapPackData pack;
        QVERIFY(readMapPack(write(QStringLiteral("hostile.tvp"), QJsonDocument(o).toJson()), pack));
        QVERIFY(!isCompatible(pack, bytes));
    }

    void failedWriteKeepsThePreviousPack()
    {
        const QString path = m_dir.filePath(QStringLiteral("kept.tvp"));
        const QByteArray bytes = image(16, 'k');
        QVERIFY(writeMapPack(path, {map(QStringLiteral("A"), 0)}, bytes, nullptr));
        QString error;
        QVERIFY(!writeMapPack(m_dir.filePath(QStringLiteral("no/such/folder/x.tvp")), {}, bytes,
                              &error));
        QCOMPARE(error, QStringLiteral("Impossibile creare il pacchetto mappe."));
        MapPackData pack;
        QVERIFY(readMapPack(path, pack));
        QCOMPARE(pack.maps.size(), 1);
    }

    void exportNames_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("path");
        QTest::newRow("no extension") << "C:/x/pack"
                                      << "C:/x/pack.tvp";
        QTest::newRow("upper case") << "/x/PACK.TVP"
                                    << "/x/PACK.TVP";
        QTest::newRow("json") << "/x/pack.json"
                              << "/x/pack.json.tvp";
        QTest::newRow("already") << "/x/pack.tvp"
                                 << "/x/pack.tvp";
    }

    void exportNames()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, path);
        QCOMPARE(withMapPackSuffix(chosen), path);
    }

    void proposedNames_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("proposed");
        QTest::newRow("bin") << "tessa-demo.bin"
                             << "tessa-demo.tvp";
        QTest::newRow("two dots") << "ecu.v2.hex"
                                  << "ecu.v2.tvp";
        QTest::newRow("none") << ""
                              << "Tessamorvandi_MapPack.tvp";
    }

    void proposedNames()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, proposed);
        QCOMPARE(proposedMapPackName(fileName), proposed);
    }

    void examplePackFitsExampleImage()
    {
        const QString dir = QStringLiteral(TESSA_SOURCE_DIR "/examples/");
        QFile image(dir + QStringLiteral("tessa-demo.bin"));
        if (!image.open(QIODevice::ReadOnly))
            QSKIP("example image not present");
        MapPackData pack;
        QVERIFY2(readMapPack(dir + QStringLiteral("tessa-demo.tvp"), pack),
                 qPrintable(pack.errorMessage));
        QVERIFY(isCompatible(pack, image.readAll()));
        QCOMPARE(pack.maps.size(), 4);
        QCOMPARE(pack.maps.at(0).name, QStringLiteral("Coppia richiesta"));
        QCOMPARE(pack.maps.at(0).mapOffset, 0x10000);
    }
};

QTEST_GUILESS_MAIN(TestMapPack)
#include "tst_mappack.moc"
