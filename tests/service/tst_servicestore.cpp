#include "postgrescluster.h"
#include "service/servicestore.h"

#include <QCryptographicHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

#include <memory>

using namespace Qt::StringLiterals;

#define OPEN_FRESH(store, url)                                                                     \
    do {                                                                                           \
        QFETCH(QString, kind);                                                                     \
        if (!openFresh(store, url)) {                                                              \
            if (kind == QLatin1String("postgresql"))                                               \
                QSKIP(qPrintable(m_postgres->reason()));                                           \
            QFAIL("store did not open");                                                           \
        }                                                                                          \
    } while (false)

// One test body for both stores: SQLite in the data folder and PostgreSQL on a cluster the
// test starts itself.
class TestServiceStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_postgres = std::make_unique<PostgresCluster>();
        if (!m_postgres->isRunning())
            qWarning("PostgreSQL store not tested: %s", qPrintable(m_postgres->reason()));
    }

    void customers_data() { addStores(); }
    void customers()
    {
        ServiceStore store;
        QString url;
        OPEN_FRESH(store, url);
        QString error;
        QVERIFY(store.addCustomer(u"C001"_s, u"Officina Rossi"_s, u"segreto-1"_s, &error));
        QVERIFY(store.addCustomer(u"C002"_s, u"Garage Bianchi"_s, u"segreto-1"_s, &error));
        QVERIFY(!store.addCustomer(u"C001"_s, u"Doppio"_s, u"x"_s, &error));
        QVERIFY(!store.addCustomer(u" C003"_s, u"Spazi"_s, u"x"_s, &error));

        const auto first = store.checkPassword(u"C001"_s, u"segreto-1"_s);
        QVERIFY(first.has_value());
        QCOMPARE(first->code, u"C001"_s);
        QCOMPARE(first->fullName, u"Officina Rossi"_s);
        const auto second = store.checkPassword(u"C002"_s, u"segreto-1"_s);
        QVERIFY(second.has_value());
        QVERIFY(second->id != first->id);
        QVERIFY(!store.checkPassword(u"C001"_s, u"segreto-2"_s));
        QVERIFY(!store.checkPassword(u"C001"_s, u"segreto-"_s));
        QVERIFY(!store.checkPassword(u"c001"_s, u"segreto-1"_s));
        QVERIFY(!store.checkPassword(u"C009"_s, u"segreto-1"_s));

        // An unknown code is checked at the cost of a known one, so time tells nothing.
        const auto known = store.passwordRecord(u"C001"_s);
        const auto unknown = store.passwordRecord(u"C009"_s);
        QVERIFY(known.customer && !unknown.customer);
        QCOMPARE(unknown.iterations, known.iterations);
        QCOMPARE(unknown.salt.size(), known.salt.size());

        const QString name128(128, QLatin1Char('n'));
        QVERIFY(store.addCustomer(u"C128"_s, name128, u"p"_s, &error));
        QCOMPARE(store.checkPassword(u"C128"_s, u"p"_s)->fullName, name128);
        QVERIFY(!store.addCustomer(u"C129"_s, name128 + QLatin1Char('n'), u"p"_s, &error));
        QVERIFY(error.contains(u"128"_s));
        QVERIFY(!store.addCustomer(u"C130"_s, u"N"_s, QString(1025, QLatin1Char('p')), &error));
    }

    void sessions_data() { addStores(); }
    void sessions()
    {
        ServiceStore store;
        QString url;
        OPEN_FRESH(store, url);
        QString error;
        QVERIFY(store.addCustomer(u"C001"_s, u"Officina Rossi"_s, u"pw"_s, &error));
        const auto customer = store.checkPassword(u"C001"_s, u"pw"_s);
        QVERIFY(customer);
        const QString live = store.createSession(*customer, 60, &error);
        const QString other = store.createSession(*customer, 60, &error);
        const QString expired = store.createSession(*customer, 0, &error);
        QCOMPARE(live.size(), 64);
        QVERIFY(live != other);
        QCOMPARE(store.customerOfToken(live)->code, u"C001"_s);
        QCOMPARE(store.customerOfToken(other)->code, u"C001"_s);
        QVERIFY(!store.customerOfToken(expired));
        QVERIFY(!store.customerOfToken(live.left(63)));
        QVERIFY(!store.customerOfToken(QString()));
    }

    void catalog_data() { addStores(); }
    void catalog()
    {
        ServiceStore store;
        QString url;
        OPEN_FRESH(store, url);
        const QString source = m_dir.filePath(u"source%1.ecudrv"_s.arg(m_counter));
        QVERIFY(!testsupport::writeFile(source, "ECUD driver bytes").isEmpty());

        auto entry = [](const char *family, const char *brand, const char *model, const char *group,
                        const char *name, const char *version, int maps) {
            ServiceStore::DriverEntry e;
            e.family = QString::fromLatin1(family);
            e.brand = QString::fromLatin1(brand);
            e.model = QString::fromLatin1(model);
            e.groupText = QString::fromLatin1(group);
            e.name = QString::fromLatin1(name);
            e.version = QString::fromLatin1(version);
            e.mapCount = maps;
            return e;
        };
        QString error;
        const QString a = store.addDriver(
            source, entry("EDC17C46", "Fiat", "Ducato", "2.3 MJ", "Ducato 2.3", "3", 41), &error);
        const QString b = store.addDriver(
            source, entry("MED17.5", "VW", "Golf", "1.4 TSI", "Golf TSI", "1", 12), &error);
        const QString c = store.addDriver(
            source, entry("EDC17C46", "Iveco", "Daily", "", "Daily", "2", 7), &error);
        const QString d = store.addDriver(
            source, entry("EDC17C46", "Fiat", "Ducato", "2.3 MJ", "Ducato 2.3 bis", "4", 40),
            &error);
        QVERIFY2(!a.isEmpty() && !b.isEmpty() && !c.isEmpty() && !d.isEmpty(), qPrintable(error));
        QCOMPARE(QSet<QString>({a, b, c, d}).size(), 4);
        QVERIFY(store
                    .addDriver(m_dir.filePath(u"missing"_s), entry("X", "X", "X", "", "X", "1", 1),
                               &error)
                    .isEmpty());

        QCOMPARE(store.families(), QStringList({u"EDC17C46"_s, u"MED17.5"_s}));
        const auto groups = store.groups(u"EDC17C46"_s);
        QCOMPARE(groups.size(), 2);
        QCOMPARE(groups.at(0).brand, u"Fiat"_s);
        QCOMPARE(groups.at(0).text, u"2.3 MJ"_s);
        QCOMPARE(groups.at(1).model, u"Daily"_s);
        QVERIFY(store.groups(u"edc17c46"_s).isEmpty());

        const auto ducato = store.drivers(u"EDC17C46"_s, u"Fiat"_s, u"Ducato"_s);
        QCOMPARE(ducato.size(), 2);
        QCOMPARE(ducato.at(0).id, a);
        QCOMPARE(ducato.at(1).id, d);
        const auto one = store.driver(b);
        QVERIFY(one);
        QCOMPARE(std::make_tuple(one->family, one->brand, one->model, one->groupText, one->name,
                                 one->version, one->mapCount),
                 std::make_tuple(u"MED17.5"_s, u"VW"_s, u"Golf"_s, u"1.4 TSI"_s, u"Golf TSI"_s,
                                 u"1"_s, 12));
        QCOMPARE(testsupport::readFile(one->storedFile), QByteArray("ECUD driver bytes"));
        QVERIFY(one->storedFile.startsWith(store.dataFolder()));
        QVERIFY(!store.driver(u"drv-99"_s));
    }

    void requests_data() { addStores(); }
    void requests()
    {
        ServiceStore store;
        QString url;
        OPEN_FRESH(store, url);
        ServiceStore::DriverRequest r = request();
        r.notes = u"Ducato 2019, \"nota\""_s;
        r.fileName = u"../../etc/passwd"_s;
        QString error;
        const QByteArray firmware("\x00\x01\x02firmware", 11);
        QCOMPARE(store.addRequest(r, firmware, &error), 1);
        r.customerCode = u"C002"_s;
        QCOMPARE(store.addRequest(r, QByteArray(1000, 'x'), &error), 2);
        const auto list = store.requests();
        QCOMPARE(list.size(), 2);
        const ServiceStore::DriverRequest &first = list.at(0);
        QCOMPARE(std::make_tuple(first.id, first.customerCode, first.manufacturer, first.ecuFamily,
                                 first.notes, first.fileName, first.fileSize),
                 std::make_tuple(1, u"C001"_s, u"Fiat"_s, u"EDC17C46"_s, u"Ducato 2019, \"nota\""_s,
                                 u"../../etc/passwd"_s, qint64(11)));
        QCOMPARE(first.fileSha256,
                 QString::fromLatin1(
                     QCryptographicHash::hash(firmware, QCryptographicHash::Sha256).toHex()));
        // The client's file name is only a label: the stored copy sits in the store's folder.
        QCOMPARE(QFileInfo(first.storedFile).absolutePath(), store.dataFolder() + u"/requests"_s);
        QCOMPARE(testsupport::readFile(first.storedFile), firmware);
        QCOMPARE(list.at(1).fileSize, qint64(1000));

        r.notes = QString(4096, QLatin1Char('n'));
        QCOMPARE(store.addRequest(r, "x", &error), 3);
        QCOMPARE(store.requests().at(2).notes.size(), 4096);
        r.notes += QLatin1Char('n');
        QCOMPARE(store.addRequest(r, "x", &error), 0);
        QVERIFY(error.contains(u"4096"_s));
        QCOMPARE(store.requests().size(), 3);
        // Nothing is left of the refused one's firmware.
        QCOMPARE(QDir(store.filesFolder() + u"/requests"_s).entryList(QDir::Files),
                 QStringList({u"request-1.bin"_s, u"request-2.bin"_s, u"request-3.bin"_s}));
    }

    // Numbers come from the database: never one taken before, also after the newest row is
    // gone, and an older store's sequence starts after its rows.
    void numbers_data() { addStores(); }
    void numbers()
    {
        ServiceStore store;
        QString url;
        OPEN_FRESH(store, url);
        const QString folder = store.dataFolder();
        ServiceStore::DriverRequest r = request();
        QString error;
        QCOMPARE(store.addRequest(r, "a", &error), 1);
        QCOMPARE(store.addRequest(r, "b", &error), 2);
        QSqlDatabase db = QSqlDatabase::database(store.connectionName(), false);
        QSqlQuery query(db);
        QVERIFY(query.exec(u"DELETE FROM requests WHERE id = 2"_s));
        QCOMPARE(store.addRequest(r, "c", &error), 3);

        // As a store made before sequences: rows numbered, no sequence yet.
        const bool postgres = store.driverName() == QLatin1String("QPSQL");
        for (const char *table : {"customers", "drivers", "requests", "releases"}) {
            if (postgres)
                QVERIFY(query.exec(u"DROP SEQUENCE %1_id_seq"_s.arg(QLatin1String(table))));
        }
        if (!postgres)
            QVERIFY(query.exec(u"DROP TABLE id_sequences"_s));
        QVERIFY(query.exec(u"UPDATE schema_info SET version = 2"_s));
        ServiceStore reopened;
        QVERIFY2(reopened.open(folder, url, &error), qPrintable(error));
        QCOMPARE(reopened.schemaVersion(), 3);
        QCOMPARE(reopened.addRequest(r, "d", &error), 4);
    }

    void filesFolder()
    {
        ServiceStore store;
        QString error;
        const QString files = m_dir.filePath(u"shared-files"_s);
        QVERIFY(store.open(m_dir.filePath(u"own-data"_s), QString(), &error, files));
        ServiceStore::DriverRequest r = request();
        QCOMPARE(store.addRequest(r, "firmware", &error), 1);
        const QString stored = store.requests().at(0).storedFile;
        QCOMPARE(QFileInfo(stored).absolutePath(), files + u"/requests"_s);
        QCOMPARE(testsupport::readFile(stored), QByteArray("firmware"));
    }

    void releaseAndReopen_data() { addStores(); }
    void releaseAndReopen()
    {
        QString url;
        QString folder;
        {
            ServiceStore store;
            OPEN_FRESH(store, url);
            folder = store.dataFolder();
            QCOMPARE(store.release().version, QString());
            QString error;
            QVERIFY(store.setRelease({u"1.1.7"_s, u"https://a/1"_s, u"primo"_s, true}, &error));
            QVERIFY(store.setRelease({u"1.2.0"_s, u"https://a/2"_s, u"secondo"_s, false}, &error));
            QVERIFY(store.addCustomer(u"C001"_s, u"N"_s, u"p"_s, &error));
            QCOMPARE(store.schemaVersion(), 3);
        }
        ServiceStore again;
        QString error;
        QVERIFY2(again.open(folder, url, &error), qPrintable(error));
        QCOMPARE(again.schemaVersion(), 3);
        const ServiceStore::Release release = again.release();
        QCOMPARE(release.version, u"1.2.0"_s);
        QCOMPARE(release.downloadUrl, u"https://a/2"_s);
        QCOMPARE(release.notes, u"secondo"_s);
        QCOMPARE(release.mandatory, false);
        QVERIFY(again.checkPassword(u"C001"_s, u"p"_s));
    }

    // What the operator commands store is capped as what customers send.
    void operatorTextCaps_data()
    {
        testsupport::addColumns<QString, int, bool>({"field", "length", "accepted"});
        for (const auto &[field, cap] :
             {std::pair{"family", 128}, {"version", 128}, {"url", 2048}, {"notes", 4096}})
            for (const int length : {cap, cap + 1})
                QTest::addRow("%s at %d", field, length)
                    << QString::fromLatin1(field) << length << (length == cap);
    }

    void operatorTextCaps()
    {
        QFETCH(QString, field);
        QFETCH(int, length);
        QFETCH(bool, accepted);
        ServiceStore store;
        QString error;
        QVERIFY(store.open(m_dir.filePath(u"caps%1"_s.arg(++m_counter)), QString(), &error));
        const QString text(length, QLatin1Char('t'));
        if (field == QLatin1String("family")) {
            ServiceStore::DriverEntry entry;
            entry.family = text;
            entry.brand = entry.model = entry.name = entry.version = u"x"_s;
            const QString source = m_dir.filePath(u"caps.ecudrv"_s);
            QVERIFY(!testsupport::writeFile(source, "ECUD").isEmpty());
            QCOMPARE(store.addDriver(source, entry, &error).isEmpty(), !accepted);
            QCOMPARE(store.families().size(), accepted ? 1 : 0);
            return;
        }
        ServiceStore::Release release{u"1.0"_s, QString(), QString(), false};
        (field == QLatin1String("version") ? release.version
         : field == QLatin1String("url")   ? release.downloadUrl
                                           : release.notes)
            = text;
        QCOMPARE(store.setRelease(release, &error), accepted);
        QCOMPARE(store.release().version, accepted ? release.version : QString());
    }

    void refusesUnknownDatabaseUrl()
    {
        ServiceStore store;
        QString error;
        QVERIFY(!store.open(m_dir.filePath(u"x"_s), u"mysql://h/db"_s, &error));
        QVERIFY(error.contains(u"mysql://h/db"_s));
    }

private:
    static ServiceStore::DriverRequest request()
    {
        ServiceStore::DriverRequest r;
        r.customerCode = u"C001"_s;
        r.manufacturer = u"Fiat"_s;
        r.ecuFamily = u"EDC17C46"_s;
        return r;
    }

    void addStores()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("sqlite") << u"sqlite"_s;
        QTest::newRow("postgresql") << u"postgresql"_s;
    }

    // A fresh, empty store of the row's kind; its URL in url (empty for SQLite).
    bool openFresh(ServiceStore &store, QString &url)
    {
        QFETCH(QString, kind);
        const QString folder = m_dir.filePath(u"store%1"_s.arg(++m_counter));
        url.clear();
        if (kind == QLatin1String("postgresql")) {
            if (!m_postgres->isRunning())
                return false;
            const QString name = u"tessa_test_%1"_s.arg(m_counter);
            {
                QSqlDatabase admin = QSqlDatabase::addDatabase(u"QPSQL"_s, u"admin"_s);
                const QUrl base(m_postgres->url());
                admin.setHostName(base.host());
                admin.setPort(base.port());
                admin.setUserName(base.userName());
                admin.setDatabaseName(u"postgres"_s);
                if (!admin.open())
                    return false;
                QSqlQuery(admin).exec(u"CREATE DATABASE "_s + name);
                admin.close();
            }
            QSqlDatabase::removeDatabase(u"admin"_s);
            url = m_postgres->url().replace(u"/postgres"_s, QLatin1Char('/') + name);
        }
        QString error;
        const bool opened = store.open(folder, url, &error);
        if (!opened)
            qWarning("%s", qPrintable(error));
        return opened;
    }

    std::unique_ptr<PostgresCluster> m_postgres;
    QTemporaryDir m_dir;
    int m_counter = 0;
};

QTEST_GUILESS_MAIN(TestServiceStore)
#include "tst_servicestore.moc"
