#include "postgrescluster.h"
#include "service/servicestore.h"

#include <QCryptographicHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "testsupport.h"

#include <memory>

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
        QVERIFY(store.addCustomer(QStringLiteral("C001"), QStringLiteral("Officina Rossi"),
                                  QStringLiteral("segreto-1"), &error));
        QVERIFY(store.addCustomer(QStringLiteral("C002"), QStringLiteral("Garage Bianchi"),
                                  QStringLiteral("segreto-1"), &error));
        QVERIFY(!store.addCustomer(QStringLiteral("C001"), QStringLiteral("Doppio"),
                                   QStringLiteral("x"), &error));
        QVERIFY(!store.addCustomer(QStringLiteral(" C003"), QStringLiteral("Spazi"),
                                   QStringLiteral("x"), &error));

        const auto first = store.checkPassword(QStringLiteral("C001"), QStringLiteral("segreto-1"));
        QVERIFY(first.has_value());
        QCOMPARE(first->code, QStringLiteral("C001"));
        QCOMPARE(first->fullName, QStringLiteral("Officina Rossi"));
        const auto second
            = store.checkPassword(QStringLiteral("C002"), QStringLiteral("segreto-1"));
        QVERIFY(second.has_value());
        QVERIFY(second->id != first->id);
        QVERIFY(!store.checkPassword(QStringLiteral("C001"), QStringLiteral("segreto-2")));
        QVERIFY(!store.checkPassword(QStringLiteral("C001"), QStringLiteral("segreto-")));
        QVERIFY(!store.checkPassword(QStringLiteral("c001"), QStringLiteral("segreto-1")));
        QVERIFY(!store.checkPassword(QStringLiteral("C009"), QStringLiteral("segreto-1")));

        // An unknown code is checked at the cost of a known one, so time tells nothing.
        const auto known = store.passwordRecord(QStringLiteral("C001"));
        const auto unknown = store.passwordRecord(QStringLiteral("C009"));
        QVERIFY(known.customer && !unknown.customer);
        QCOMPARE(unknown.iterations, known.iterations);
        QCOMPARE(unknown.salt.size(), known.salt.size());

        const QString name128(128, QLatin1Char('n'));
        QVERIFY(store.addCustomer(QStringLiteral("C128"), name128, QStringLiteral("p"), &error));
        QCOMPARE(store.checkPassword(QStringLiteral("C128"), QStringLiteral("p"))->fullName,
                 name128);
        QVERIFY(!store.addCustomer(QStringLiteral("C129"), name128 + QLatin1Char('n'),
                                   QStringLiteral("p"), &error));
        QVERIFY(error.contains(QStringLiteral("128")));
        QVERIFY(!store.addCustomer(QStringLiteral("C130"), QStringLiteral("N"),
                                   QString(1025, QLatin1Char('p')), &error));
    }

    void sessions_data() { addStores(); }
    void sessions()
    {
        ServiceStore store;
        QString url;
        OPEN_FRESH(store, url);
        QString error;
        QVERIFY(store.addCustomer(QStringLiteral("C001"), QStringLiteral("Officina Rossi"),
                                  QStringLiteral("pw"), &error));
        const auto customer = store.checkPassword(QStringLiteral("C001"), QStringLiteral("pw"));
        QVERIFY(customer);
        const QString live = store.createSession(*customer, 60, &error);
        const QString other = store.createSession(*customer, 60, &error);
        const QString expired = store.createSession(*customer, 0, &error);
        QCOMPARE(live.size(), 64);
        QVERIFY(live != other);
        QCOMPARE(store.customerOfToken(live)->code, QStringLiteral("C001"));
        QCOMPARE(store.customerOfToken(other)->code, QStringLiteral("C001"));
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
        const QString source = m_dir.filePath(QStringLiteral("source%1.ecudrv").arg(m_counter));
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
                    .addDriver(m_dir.filePath(QStringLiteral("missing")),
                               entry("X", "X", "X", "", "X", "1", 1), &error)
                    .isEmpty());

        QCOMPARE(store.families(),
                 QStringList({QStringLiteral("EDC17C46"), QStringLiteral("MED17.5")}));
        const auto groups = store.groups(QStringLiteral("EDC17C46"));
        QCOMPARE(groups.size(), 2);
        QCOMPARE(groups.at(0).brand, QStringLiteral("Fiat"));
        QCOMPARE(groups.at(0).text, QStringLiteral("2.3 MJ"));
        QCOMPARE(groups.at(1).model, QStringLiteral("Daily"));
        QVERIFY(store.groups(QStringLiteral("edc17c46")).isEmpty());

        const auto ducato = store.drivers(QStringLiteral("EDC17C46"), QStringLiteral("Fiat"),
                                          QStringLiteral("Ducato"));
        QCOMPARE(ducato.size(), 2);
        QCOMPARE(ducato.at(0).id, a);
        QCOMPARE(ducato.at(1).id, d);
        const auto one = store.driver(b);
        QVERIFY(one);
        QCOMPARE(one->family, QStringLiteral("MED17.5"));
        QCOMPARE(one->brand, QStringLiteral("VW"));
        QCOMPARE(one->model, QStringLiteral("Golf"));
        QCOMPARE(one->groupText, QStringLiteral("1.4 TSI"));
        QCOMPARE(one->name, QStringLiteral("Golf TSI"));
        QCOMPARE(one->version, QStringLiteral("1"));
        QCOMPARE(one->mapCount, 12);
        QCOMPARE(testsupport::readFile(one->storedFile), QByteArray("ECUD driver bytes"));
        QVERIFY(one->storedFile.startsWith(store.dataFolder()));
        QVERIFY(!store.driver(QStringLiteral("drv-99")));
    }

    void requests_data() { addStores(); }
    void requests()
    {
        ServiceStore store;
        QString url;
        OPEN_FRESH(store, url);
        ServiceStore::DriverRequest r;
        r.customerCode = QStringLiteral("C001");
        r.manufacturer = QStringLiteral("Fiat");
        r.ecuFamily = QStringLiteral("EDC17C46");
        r.notes = QStringLiteral("Ducato 2019, \"nota\"");
        r.fileName = QStringLiteral("../../etc/passwd");
        QString error;
        const QByteArray firmware("\x00\x01\x02firmware", 11);
        QCOMPARE(store.addRequest(r, firmware, &error), 1);
        r.customerCode = QStringLiteral("C002");
        QCOMPARE(store.addRequest(r, QByteArray(1000, 'x'), &error), 2);
        const auto list = store.requests();
        QCOMPARE(list.size(), 2);
        const ServiceStore::DriverRequest &first = list.at(0);
        QCOMPARE(first.id, 1);
        QCOMPARE(first.customerCode, QStringLiteral("C001"));
        QCOMPARE(first.manufacturer, QStringLiteral("Fiat"));
        QCOMPARE(first.ecuFamily, QStringLiteral("EDC17C46"));
        QCOMPARE(first.notes, QStringLiteral("Ducato 2019, \"nota\""));
        QCOMPARE(first.fileName, QStringLiteral("../../etc/passwd"));
        QCOMPARE(first.fileSize, qint64(11));
        QCOMPARE(first.fileSha256,
                 QString::fromLatin1(
                     QCryptographicHash::hash(firmware, QCryptographicHash::Sha256).toHex()));
        // The client's file name is only a label: the stored copy sits in the store's folder.
        QCOMPARE(QFileInfo(first.storedFile).absolutePath(),
                 store.dataFolder() + QStringLiteral("/requests"));
        QCOMPARE(testsupport::readFile(first.storedFile), firmware);
        QCOMPARE(list.at(1).fileSize, qint64(1000));

        r.notes = QString(4096, QLatin1Char('n'));
        QCOMPARE(store.addRequest(r, "x", &error), 3);
        QCOMPARE(store.requests().at(2).notes.size(), 4096);
        r.notes += QLatin1Char('n');
        QCOMPARE(store.addRequest(r, "x", &error), 0);
        QVERIFY(error.contains(QStringLiteral("4096")));
        QCOMPARE(store.requests().size(), 3);
        // Nothing is left of the refused one's firmware.
        QCOMPARE(QDir(store.filesFolder() + QStringLiteral("/requests")).entryList(QDir::Files),
                 QStringList({QStringLiteral("request-1.bin"), QStringLiteral("request-2.bin"),
                              QStringLiteral("request-3.bin")}));
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
        ServiceStore::DriverRequest r;
        r.customerCode = QStringLiteral("C001");
        r.manufacturer = QStringLiteral("Fiat");
        r.ecuFamily = QStringLiteral("EDC17C46");
        QString error;
        QCOMPARE(store.addRequest(r, "a", &error), 1);
        QCOMPARE(store.addRequest(r, "b", &error), 2);
        QSqlDatabase db = QSqlDatabase::database(store.connectionName(), false);
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("DELETE FROM requests WHERE id = 2")));
        QCOMPARE(store.addRequest(r, "c", &error), 3);

        // As a store made before sequences: rows numbered, no sequence yet.
        const bool postgres = store.driverName() == QLatin1String("QPSQL");
        for (const char *table : {"customers", "drivers", "requests", "releases"}) {
            if (postgres)
                QVERIFY(query.exec(
                    QStringLiteral("DROP SEQUENCE %1_id_seq").arg(QLatin1String(table))));
        }
        if (!postgres)
            QVERIFY(query.exec(QStringLiteral("DROP TABLE id_sequences")));
        QVERIFY(query.exec(QStringLiteral("UPDATE schema_info SET version = 2")));
        ServiceStore reopened;
        QVERIFY2(reopened.open(folder, url, &error), qPrintable(error));
        QCOMPARE(reopened.schemaVersion(), 3);
        QCOMPARE(reopened.addRequest(r, "d", &error), 4);
    }

    void filesFolder()
    {
        ServiceStore store;
        QString error;
        const QString files = m_dir.filePath(QStringLiteral("shared-files"));
        QVERIFY(store.open(m_dir.filePath(QStringLiteral("own-data")), QString(), &error, files));
        ServiceStore::DriverRequest r;
        r.customerCode = QStringLiteral("C001");
        r.manufacturer = QStringLiteral("Fiat");
        r.ecuFamily = QStringLiteral("EDC17C46");
        QCOMPARE(store.addRequest(r, "firmware", &error), 1);
        const QString stored = store.requests().at(0).storedFile;
        QCOMPARE(QFileInfo(stored).absolutePath(), files + QStringLiteral("/requests"));
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
            QVERIFY(store.setRelease({QStringLiteral("1.1.7"), QStringLiteral("https://a/1"),
                                      QStringLiteral("primo"), true},
                                     &error));
            QVERIFY(store.setRelease({QStringLiteral("1.2.0"), QStringLiteral("https://a/2"),
                                      QStringLiteral("secondo"), false},
                                     &error));
            QVERIFY(store.addCustomer(QStringLiteral("C001"), QStringLiteral("N"),
                                      QStringLiteral("p"), &error));
            QCOMPARE(store.schemaVersion(), 3);
        }
        ServiceStore again;
        QString error;
        QVERIFY2(again.open(folder, url, &error), qPrintable(error));
        QCOMPARE(again.schemaVersion(), 3);
        const ServiceStore::Release release = again.release();
        QCOMPARE(release.version, QStringLiteral("1.2.0"));
        QCOMPARE(release.downloadUrl, QStringLiteral("https://a/2"));
        QCOMPARE(release.notes, QStringLiteral("secondo"));
        QCOMPARE(release.mandatory, false);
        QVERIFY(again.checkPassword(QStringLiteral("C001"), QStringLiteral("p")));
    }

    // What the operator commands store is capped as what customers send.
    void operatorTextCaps_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("family at 128") << "family" << 128 << true;
        QTest::newRow("family at 129") << "family" << 129 << false;
        QTest::newRow("release version at 128") << "version" << 128 << true;
        QTest::newRow("release version at 129") << "version" << 129 << false;
        QTest::newRow("download URL at 2048") << "url" << 2048 << true;
        QTest::newRow("download URL at 2049") << "url" << 2049 << false;
        QTest::newRow("release notes at 4096") << "notes" << 4096 << true;
        QTest::newRow("release notes at 4097") << "notes" << 4097 << false;
    }
    void operatorTextCaps()
    {
        QFETCH(QString, field);
        QFETCH(int, length);
        QFETCH(bool, accepted);
        ServiceStore store;
        QString error;
        QVERIFY(store.open(m_dir.filePath(QStringLiteral("caps%1").arg(++m_counter)), QString(),
                           &error));
        const QString text(length, QLatin1Char('t'));
        if (field == QLatin1String("family")) {
            ServiceStore::DriverEntry entry;
            entry.family = text;
            entry.brand = entry.model = entry.name = entry.version = QStringLiteral("x");
            const QString source = m_dir.filePath(QStringLiteral("caps.ecudrv"));
            QVERIFY(!testsupport::writeFile(source, "ECUD").isEmpty());
            QCOMPARE(store.addDriver(source, entry, &error).isEmpty(), !accepted);
            QCOMPARE(store.families().size(), accepted ? 1 : 0);
            return;
        }
        ServiceStore::Release release{QStringLiteral("1.0"), QString(), QString(), false};
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
        QVERIFY(!store.open(m_dir.filePath(QStringLiteral("x")), QStringLiteral("mysql://h/db"),
                            &error));
        QVERIFY(error.contains(QStringLiteral("mysql://h/db")));
    }

private:
    void addStores()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("sqlite") << QStringLiteral("sqlite");
        QTest::newRow("postgresql") << QStringLiteral("postgresql");
    }

    // A fresh, empty store of the row's kind; its URL in url (empty for SQLite).
    bool openFresh(ServiceStore &store, QString &url)
    {
        QFETCH(QString, kind);
        const QString folder = m_dir.filePath(QStringLiteral("store%1").arg(++m_counter));
        url.clear();
        if (kind == QLatin1String("postgresql")) {
            if (!m_postgres->isRunning())
                return false;
            const QString name = QStringLiteral("tessa_test_%1").arg(m_counter);
            {
                QSqlDatabase admin
                    = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("admin"));
                const QUrl base(m_postgres->url());
                admin.setHostName(base.host());
                admin.setPort(base.port());
                admin.setUserName(base.userName());
                admin.setDatabaseName(QStringLiteral("postgres"));
                if (!admin.open())
                    return false;
                QSqlQuery(admin).exec(QStringLiteral("CREATE DATABASE ") + name);
                admin.close();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("admin"));
            url = m_postgres->url().replace(QStringLiteral("/postgres"), QLatin1Char('/') + name);
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
