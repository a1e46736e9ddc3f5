#include "model/mappack.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "firmwarefixture.h"
#include "testsupport.h"

using namespace Qt::StringLiterals;

namespace {

QByteArray image(int size)
{
    QByteArray bytes(size, 'a');
    for (int i = 0; i < size; i += 7)
        bytes[i] = char(i);
    return bytes;
}

MapDefinition map(const QString &name, int offset)
{
    MapDefinition d = testsupport::mapGrid(offset, 2, 3, name);
    d.xAxis = {10, 20, 30};
    d.factor = 0.25;
    return d;
}

QString shaText(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// A pack for image(64) written by hand, with the given keys replaced (a null value removes
// the key).
QByteArray packText(const QJsonObject &changes = {})
{
    QJsonObject o{{u"magic"_s, u"TESSAMORVANDI_MAP_PACK"_s},
                  {u"formatVersion"_s, 1},
                  {u"firmwareSize"_s, 64},
                  {u"firmwareSha256"_s, shaText(image(64))},
                  {u"maps"_s, QJsonArray{toJson(map(u"A"_s, 16))}}};
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        if (it.value().isNull())
            o.remove(it.key());
        else
            o.insert(it.key(), it.value());
    }
    return QJsonDocument(o).toJson();
}

} // namespace

class TestMapPack : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QByteArray &content)
    {
        return testsupport::writeFile(m_dir.filePath(u"written.tvp"_s), content);
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void roundTripIsCompatibleWithItsImageOnly()
    {
        const QByteArray bytes = image(4096);
        const QList<MapDefinition> maps = {map(u"Coppia"_s, 0x100), map(u"Pedale"_s, 0x200)};
        const QString path = m_dir.filePath(u"round.tvp"_s);
        QVERIFY(writeMapPack(path, maps, bytes, nullptr));
        MapPackData pack;
        QVERIFY(readMapPack(path, pack));
        QVERIFY(pack.errorMessage.isEmpty());
        QCOMPARE(pack.maps, maps);
        QVERIFY(isCompatible(pack, bytes));
        QByteArray changed = bytes;
        changed[1234] = char(changed.at(1234) ^ 1);
        QVERIFY(!isCompatible(pack, changed));
        QVERIFY(!isCompatible(pack, bytes.left(4095)));
        // Compact JSON naming the image in lower-case hex.
        const QByteArray text = testsupport::readFile(path);
        QVERIFY(!text.contains('\n') && text.contains(shaText(bytes).toLatin1()));

        // A failed write leaves the previous pack as it was.
        QString error;
        QVERIFY(!writeMapPack(m_dir.filePath(u"no/such/x.tvp"_s), {}, bytes, &error));
        QCOMPARE(error, u"Impossibile creare il pacchetto mappe."_s);
        QVERIFY(!writeMapPack(m_dir.path(), {}, bytes, &error));
        QVERIFY(readMapPack(path, pack));
        QCOMPARE(pack.maps.size(), 2);
    }

    void refusals_data()
    {
        // content (null: a path that is no file)
        testsupport::addColumns<QByteArray, QString>({"content", "message"});
        const QString damaged = u"Pacchetto mappe non valido o danneggiato."_s;
        const QString notPack = u"Il file non è un pacchetto mappe Tessamorvandi."_s;
        const QString version = u"Versione del pacchetto mappe non supportata."_s;
        const QJsonValue none(QJsonValue::Null);
        QTest::newRow("no file") << QByteArray() << "Impossibile aprire il pacchetto mappe.";
        QTest::newRow("not json") << QByteArray("{\"magic\": ") << damaged;
        QTest::newRow("empty file") << QByteArray("") << damaged;
        QTest::newRow("array") << QByteArray("[1,2]") << "Formato pacchetto mappe non valido.";
        QTest::newRow("lower-case magic")
            << packText({{u"magic"_s, u"tessamorvandi_map_pack"_s}}) << notPack;
        QTest::newRow("no magic") << packText({{u"magic"_s, none}}) << notPack;
        QTest::newRow("version 2") << packText({{u"formatVersion"_s, 2}}) << version;
        QTest::newRow("no version") << packText({{u"formatVersion"_s, none}}) << version;
        QTest::newRow("magic checked before version")
            << packText({{u"magic"_s, u"X"_s}, {u"formatVersion"_s, none}}) << notPack;
    }

    void refusals()
    {
        QFETCH(QByteArray, content);
        MapPackData pack;
        pack.maps.append(MapDefinition()); // cleared by the read
        QVERIFY(!readMapPack(content.isNull() ? m_dir.path() : write(content), pack));
        QTEST(pack.errorMessage, "message");
        QVERIFY(pack.maps.isEmpty());
    }

    // Odd values the reader takes without refusing the file: maps that are no objects are
    // skipped, and a header that cannot match makes the pack incompatible, not a crash.
    void toleratedValues_data()
    {
        testsupport::addColumns<QJsonObject, int, bool>({"changes", "maps", "compatible"});
        const QString maps = u"maps"_s;
        const QString size = u"firmwareSize"_s;
        const QString sha = u"firmwareSha256"_s;
        QTest::newRow("number among the maps")
            << QJsonObject{{maps, QJsonArray{5, QJsonObject{{u"name"_s, "X"}}}}} << 1 << true;
        QTest::newRow("maps not an array") << QJsonObject{{maps, "maps"}} << 0 << true;
        QTest::newRow("maps missing")
            << QJsonObject{{maps, QJsonValue(QJsonValue::Null)}} << 0 << true;
        QTest::newRow("huge size") << QJsonObject{{size, 1e300}} << 1 << false;
        QTest::newRow("size as text") << QJsonObject{{size, "64"}} << 1 << false;
        QTest::newRow("sha not hex") << QJsonObject{{sha, "zz-not-hex"}} << 1 << false;
    }

    void toleratedValues()
    {
        QFETCH(QJsonObject, changes);
        MapPackData pack;
        QVERIFY(readMapPack(write(packText(changes)), pack));
        QTEST(int(pack.maps.size()), "maps");
        QTEST(isCompatible(pack, image(64)), "compatible");
    }

    void names_data()
    {
        // proposal (proposed for an image, or a chosen export path)
        testsupport::addColumns<QString, bool, QString>({"given", "proposal", "name"});
        QTest::newRow("no extension") << "C:/x/pack" << false << "C:/x/pack.tvp";
        QTest::newRow("upper case kept") << "/x/PACK.TVP" << false << "/x/PACK.TVP";
        QTest::newRow("json gets .tvp") << "/x/pack.json" << false << "/x/pack.json.tvp";
        QTest::newRow("image") << "tessa-demo.bin" << true << "tessa-demo.tvp";
        QTest::newRow("image with two dots") << "ecu.v2.hex" << true << "ecu.v2.tvp";
        QTest::newRow("no image name") << "" << true << "Tessamorvandi_MapPack.tvp";
    }

    void names()
    {
        QFETCH(bool, proposal);
        QFETCH(QString, given);
        QTEST(proposal ? proposedMapPackName(given) : withMapPackSuffix(given), "name");
    }
};

QTEST_GUILESS_MAIN(TestMapPack)
#include "tst_mappack.moc"
