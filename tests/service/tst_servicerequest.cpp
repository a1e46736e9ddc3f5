#include "service/multipartform.h"
#include "service/servicerequest.h"

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
    QTest::newRow("empty file name") << QByteArray(R"(form-data; name="firmware"; filename="")")
                                     << true << QString();
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

    const QByteArray body = "--b\r\nContent-Disposition: " + disposition
                            + "\r\n\r\n\x01\x02\r\n--b--\r\n";
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
    QTest::newRow("blank line taken by the delimiter") << head + "\r\n" + tail << false
                                                       << QByteArray();
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

QTEST_GUILESS_MAIN(TestServiceRequest)
#include "tst_servicerequest.moc"
