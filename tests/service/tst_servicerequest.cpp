#include "service/servicerequest.h"

#include <QtTest>

// What the service makes of a JSON request body before any handler or database sees it.
class TestServiceRequest : public QObject
{
    Q_OBJECT

private slots:
    void searchRequest_data();
    void searchRequest();
};

namespace {

const QString Hash = QString(64, QLatin1Char('a'));

QByteArray body(const QString &extra, const QString &hash = Hash)
{
    return QStringLiteral(R"({"customer_code":"C1","device_hash":"%1"%2})")
        .arg(hash, extra)
        .toUtf8();
}

} // namespace

void TestServiceRequest::searchRequest_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const QByteArray plain = body(QStringLiteral(R"(,"firmware_size":0,"ecu_family":"ME7")"));
    QTest::newRow("at the size limit") << plain << qint64(plain.size()) << 200 << QString();
    QTest::newRow("one byte over it")
        << plain << qint64(plain.size() - 1) << 413 << QStringLiteral("Richiesta troppo grande.");
    QTest::newRow("not an object")
        << QByteArray("[1]") << qint64(1024) << 400
        << QStringLiteral("Il corpo della richiesta non è un oggetto JSON.");
    QTest::newRow("cut short") << plain.chopped(1) << qint64(1024) << 400
                               << QStringLiteral("Il corpo della richiesta non è un oggetto JSON.");
    QTest::newRow("family a number")
        << body(QStringLiteral(R"(,"firmware_size":0,"ecu_family":7)")) << qint64(1024) << 400
        << QStringLiteral("Campo \"ecu_family\" mancante o non di tipo testo.");
    QTest::newRow("another customer's code")
        << QByteArray(plain).replace("\"C1\"", "\"C2\"") << qint64(1024) << 403
        << QStringLiteral("Il codice cliente non corrisponde alla sessione.");
    QTest::newRow("hash of 63 digits")
        << body(QStringLiteral(R"(,"firmware_size":0,"ecu_family":"ME7")"), Hash.left(63))
        << qint64(1024) << 400
        << QStringLiteral("\"device_hash\" deve avere 64 cifre esadecimali.");
    QTest::newRow("hash in capitals")
        << body(QStringLiteral(R"(,"firmware_size":0,"ecu_family":"ME7")"), Hash.toUpper())
        << qint64(1024) << 400
        << QStringLiteral("\"device_hash\" deve avere 64 cifre esadecimali.");
    QTest::newRow("size below 0") << body(QStringLiteral(R"(,"firmware_size":-1,"ecu_family":"x")"))
                                  << qint64(1024) << 400
                                  << QStringLiteral(
                                         "Campo \"firmware_size\" mancante o non valido.");
    QTest::newRow("size a text") << body(QStringLiteral(R"(,"firmware_size":"5","ecu_family":"x")"))
                                 << qint64(1024) << 400
                                 << QStringLiteral(
                                        "Campo \"firmware_size\" mancante o non valido.");
}

void TestServiceRequest::searchRequest()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, limit);
    QFETCH(int, status);
    QFETCH(QString, message);
    const JsonRequest read = readSearchRequest(bytes, limit, {QStringLiteral("ecu_family")},
                                               QStringLiteral("C1"), true);
    QCOMPARE(read.status, status);
    QCOMPARE(read.message, message);
    QCOMPARE(read.accepted(), !read.body.isEmpty());
}

QTEST_GUILESS_MAIN(TestServiceRequest)
#include "tst_servicerequest.moc"
