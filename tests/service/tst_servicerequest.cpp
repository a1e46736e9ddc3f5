#include "service/loginthrottle.h"
#include "service/multipartform.h"
#include "service/servicerequest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

// What the service makes of a JSON request body before any handler or database sees it.
class TestServiceRequest : public QObject
{
    Q_OBJECT

private slots:
    void searchRequest_data();
    void searchRequest();
    void uploadedFileName_data();
    void uploadedFileName();
    void partEnds_data();
    void partEnds();
    void textCaps_data();
    void textCaps();
    void requestHead_data();
    void requestHead();
    void throttle_data();
    void throttle();
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

// The driver request form: whether its "firmware" part is a file, and under which name, read from
// the part's Content-Disposition as browsers and HTTP libraries write it.
void TestServiceRequest::uploadedFileName_data()
{
    QTest::addColumn<QByteArray>("disposition");
    QTest::addColumn<bool>("isFile");
    QTest::addColumn<QString>("fileName");

    QTest::newRow("quoted") << QByteArray(R"(form-data; name="firmware"; filename="dump.bin")")
                            << true << QStringLiteral("dump.bin");
    QTest::newRow("unquoted") << QByteArray("form-data; name=firmware; filename=dump.bin") << true
                              << QStringLiteral("dump.bin");
    QTest::newRow("name in other case")
        << QByteArray(R"(form-data; Name="firmware"; FILENAME="dump.bin")") << true
        << QStringLiteral("dump.bin");
    QTest::newRow("semicolon in the name")
        << QByteArray(R"(form-data; name="firmware"; filename="a;b.bin")") << true
        << QStringLiteral("a;b.bin");
    QTest::newRow("escaped quote")
        << QByteArray(R"(form-data; name="firmware"; filename="a\"b.bin")") << true
        << QStringLiteral("a\"b.bin");
    QTest::newRow("empty file name")
        << QByteArray(R"(form-data; name="firmware"; filename="")") << true << QString();
    QTest::newRow("text field") << QByteArray(R"(form-data; name="firmware")") << false
                                << QString();
    QTest::newRow("filename inside another value")
        << QByteArray(R"(form-data; name="firmware"; x="y; filename=dump.bin")") << false
        << QString();
}

void TestServiceRequest::uploadedFileName()
{
    QFETCH(QByteArray, disposition);
    QFETCH(bool, isFile);
    QFETCH(QString, fileName);

    const QByteArray body
        = "--b\r\nContent-Disposition: " + disposition + "\r\n\r\n\x01\x02\r\n--b--\r\n";
    const MultipartForm form = parseMultipartForm("multipart/form-data; boundary=b", body);
    QVERIFY2(form.error.isEmpty(), qPrintable(form.error));
    const MultipartPart *firmware = form.part(QStringLiteral("firmware"));
    QVERIFY(firmware);
    QCOMPARE(firmware->hasFileName, isFile);
    QCOMPARE(firmware->fileName, fileName);
    QCOMPARE(firmware->body, QByteArray("\x01\x02"));
}

// Where a part's bytes end: an empty part is a blank line then the delimiter; a delimiter that
// takes the blank line's CRLF leaves the part without its blank line.
void TestServiceRequest::partEnds_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QByteArray>("notes");

    const QByteArray head = "--b\r\nContent-Disposition: form-data; name=\"notes\"\r\n";
    const QByteArray tail = "--b\r\nContent-Disposition: form-data; name=\"x\"\r\n\r\nlong "
                            "enough to show a misplaced end\r\n--b--";
    QTest::newRow("one byte") << head + "\r\nA\r\n" + tail << true << QByteArray("A");
    QTest::newRow("empty") << head + "\r\n\r\n" + tail << true << QByteArray();
    QTest::newRow("blank line taken by the delimiter")
        << head + "\r\n" + tail << false << QByteArray();
    QTest::newRow("no closing boundary") << head + "\r\nA\r\n--b" << false << QByteArray();
}

void TestServiceRequest::partEnds()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, accepted);
    QFETCH(QByteArray, notes);

    const MultipartForm form = parseMultipartForm("multipart/form-data; boundary=b", body);
    QCOMPARE(form.error.isEmpty(), accepted);
    if (!accepted) {
        QVERIFY(form.parts.isEmpty());
        return;
    }
    QCOMPARE(form.parts.size(), 2);
    QCOMPARE(form.part(QStringLiteral("notes"))->body, notes);
}

void TestServiceRequest::textCaps_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("family at 128") << "ecu_family" << 128 << true;
    QTest::newRow("family at 129") << "ecu_family" << 129 << false;
    QTest::newRow("password at 1024") << "password" << 1024 << true;
    QTest::newRow("password at 1025") << "password" << 1025 << false;
    QTest::newRow("notes at 4096") << "notes" << 4096 << true;
    QTest::newRow("notes at 4097") << "notes" << 4097 << false;
}

void TestServiceRequest::textCaps()
{
    QFETCH(QString, key);
    QFETCH(int, length);
    QFETCH(bool, accepted);
    // Counted in characters, not bytes: "è" takes two bytes in UTF-8.
    const QString text(length, QChar(0xE8));
    const QString refusal = textRefusal(key, text);
    QCOMPARE(refusal.isEmpty(), accepted);
    if (!accepted)
        QCOMPARE(refusal,
                 QStringLiteral("Il campo \"%1\" supera %2 caratteri.").arg(key).arg(length - 1));
    // A JSON body carries the same caps.
    const JsonRequest read
        = readJsonRequest(QJsonDocument(QJsonObject{{key, text}}).toJson(), 1 << 20, {key});
    QCOMPARE(read.accepted(), accepted);
    QCOMPARE(read.status, accepted ? 200 : 400);
}

void TestServiceRequest::requestHead_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QString>("message");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<bool>("close");
    const QString conflict = QStringLiteral("Intestazioni Content-Length in conflitto.");
    const QString badLength = QStringLiteral("Content-Length non valido.");
    const QString malformed = QStringLiteral("Richiesta HTTP non valida.");
    QTest::newRow("keep-alive by default")
        << QByteArray("POST /api/login?x=1 HTTP/1.1\r\nContent-Length: 12") << QString()
        << qint64(12) << false;
    QTest::newRow("two lengths that agree")
        << QByteArray("POST /api/login HTTP/1.1\r\nContent-Length: 7\r\ncontent-length: 7")
        << QString() << qint64(7) << false;
    QTest::newRow("a list that agrees")
        << QByteArray("POST /api/login HTTP/1.1\r\nContent-Length: 7, 7") << QString() << qint64(7)
        << false;
    QTest::newRow("two lengths that differ")
        << QByteArray("POST /api/login HTTP/1.1\r\nContent-Length: 7\r\nContent-Length: 70")
        << conflict << qint64(-1) << false;
    QTest::newRow("a list that differs")
        << QByteArray("POST /api/login HTTP/1.1\r\nContent-Length: 7, 8") << conflict << qint64(-1)
        << false;
    QTest::newRow("signed length") << QByteArray("POST /api/login HTTP/1.1\r\nContent-Length: +7")
                                   << badLength << qint64(-1) << false;
    QTest::newRow("length and chunks")
        << QByteArray("POST /api/x HTTP/1.1\r\nContent-Length: 7\r\nTransfer-Encoding: chunked")
        << QStringLiteral("Content-Length e Transfer-Encoding insieme non sono ammessi.")
        << qint64(-1) << false;
    QTest::newRow("HTTP/1.0") << QByteArray("GET /api/status HTTP/1.0") << QString() << qint64(-1)
                              << true;
    QTest::newRow("Connection: close")
        << QByteArray("GET /api/status HTTP/1.1\r\nConnection: keep-alive, Close") << QString()
        << qint64(-1) << true;
    QTest::newRow("no version") << QByteArray("GET /api/status") << malformed << qint64(-1)
                                << false;
    QTest::newRow("header without a colon") << QByteArray("GET /api/x HTTP/1.1\r\nContent-Length 5")
                                            << malformed << qint64(-1) << false;
}

void TestServiceRequest::requestHead()
{
    QFETCH(QByteArray, head);
    QFETCH(QString, message);
    QFETCH(qint64, length);
    QFETCH(bool, close);
    const RequestHead read = readRequestHead(head);
    QCOMPARE(read.message, message);
    QCOMPARE(read.status, message.isEmpty() ? 200 : 400);
    if (!message.isEmpty())
        return;
    QCOMPARE(read.contentLength, length);
    QCOMPARE(read.closeAfterAnswer, close);
    QCOMPARE(read.path, head.mid(head.indexOf(' ') + 1).split(' ').value(0).split('?').value(0));
    QVERIFY(read.path.startsWith("/api/"));
}

// Five attempts of a code, twenty of an address in a minute; the sixth (or the twenty-first)
// waits until the oldest of them is a minute old.
void TestServiceRequest::throttle_data()
{
    QTest::addColumn<QStringList>("attempts"); // "code@address" at one per second
    QTest::addColumn<int>("atMs");             // when the next attempt comes
    QTest::addColumn<QString>("next");
    QTest::addColumn<int>("wait");
    auto many = [](int count, const QString &code, const QString &address) {
        QStringList list;
        for (int i = 0; i < count; ++i)
            list << (code.contains(QLatin1Char('%')) ? code.arg(i) : code) + QLatin1Char('@')
                        + address;
        return list;
    };
    QTest::newRow("four of a code") << many(4, "C1", "a") << 4000 << "C1@a" << 0;
    QTest::newRow("five of a code") << many(5, "C1", "a") << 5000 << "C1@a" << 55;
    QTest::newRow("five, the first aged out") << many(5, "C1", "a") << 60000 << "C1@a" << 0;
    QTest::newRow("five, the first nearly aged out") << many(5, "C1", "a") << 59999 << "C1@a" << 1;
    QTest::newRow("five of a code, from elsewhere") << many(5, "C1", "a") << 5000 << "C1@b" << 55;
    QTest::newRow("five of a code, another code") << many(5, "C1", "a") << 5000 << "C2@a" << 0;
    QTest::newRow("five of a code, then its success")
        << many(5, "C1", "a") + QStringList{"+C1@a"} << 5000 << "C1@a" << 0;
    QTest::newRow("nineteen codes of an address") << many(19, "K%1", "a") << 19000 << "Z@a" << 0;
    QTest::newRow("twenty codes of an address") << many(20, "K%1", "a") << 20000 << "Z@a" << 40;
    QTest::newRow("twenty codes, another address") << many(20, "K%1", "a") << 20000 << "Z@b" << 0;
}

void TestServiceRequest::throttle()
{
    QFETCH(QStringList, attempts);
    QFETCH(int, atMs);
    QFETCH(QString, next);
    QFETCH(int, wait);
    LoginThrottle throttle;
    qint64 now = 0;
    for (const QString &attempt : std::as_const(attempts)) {
        const QStringList parts = attempt.mid(attempt.startsWith(QLatin1Char('+'))).split('@');
        if (attempt.startsWith(QLatin1Char('+'))) {
            throttle.succeeded(parts.at(0), parts.at(1));
            continue;
        }
        QCOMPARE(throttle.waitSeconds(parts.at(0), parts.at(1), now), 0);
        throttle.attempt(parts.at(0), parts.at(1), now);
        now += 1000;
    }
    const QStringList parts = next.split('@');
    QCOMPARE(throttle.waitSeconds(parts.at(0), parts.at(1), atMs), wait);
}

QTEST_GUILESS_MAIN(TestServiceRequest)
#include "tst_servicerequest.moc"
