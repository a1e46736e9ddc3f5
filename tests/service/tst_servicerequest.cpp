#include "service/loginthrottle.h"
#include "service/multipartform.h"
#include "service/servicerequest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include "testsupport.h"

namespace {

const QString Hash = QString(64, QLatin1Char('a'));

QByteArray body(const QString &extra, const QString &hash = Hash)
{
    return QStringLiteral(R"({"customer_code":"C1","device_hash":"%1"%2})")
        .arg(hash, extra)
        .toUtf8();
}

} // namespace

// What the service makes of a JSON request body before any handler or database sees it.
class TestServiceRequest : public QObject
{
    Q_OBJECT

private slots:
    void searchRequest_data()
    {
        testsupport::addColumns<QByteArray, qint64, int, QString>(
            {"bytes", "limit", "status", "message"});
        const auto row = [](const char *tag, const QByteArray &bytes, int status,
                            const char *message, qint64 limit = 1024) {
            QTest::newRow(tag) << bytes << limit << status << QString::fromUtf8(message);
        };
        const auto fields = [](const char *size, const char *family, const QString &hash = Hash) {
            return body(QStringLiteral(R"(,"firmware_size":%1,"ecu_family":%2)")
                            .arg(QLatin1String(size), QLatin1String(family)),
                        hash);
        };
        const QByteArray plain = fields("0", "\"ME7\"");
        const char *notObject = "Il corpo della richiesta non è un oggetto JSON.";
        const char *badHash = "\"device_hash\" deve avere 64 cifre esadecimali.";
        const char *badSize = "Campo \"firmware_size\" mancante o non valido.";
        row("at the size limit", plain, 200, "", plain.size());
        row("one byte over it", plain, 413, "Richiesta troppo grande.", plain.size() - 1);
        row("not an object", "[1]", 400, notObject);
        row("cut short", plain.chopped(1), 400, notObject);
        row("family a number", fields("0", "7"), 400,
            "Campo \"ecu_family\" mancante o non di tipo testo.");
        row("another customer's code", QByteArray(plain).replace("\"C1\"", "\"C2\""), 403,
            "Il codice cliente non corrisponde alla sessione.");
        row("hash of 63 digits", fields("0", "\"ME7\"", Hash.left(63)), 400, badHash);
        row("hash in capitals", fields("0", "\"ME7\"", Hash.toUpper()), 400, badHash);
        row("size below 0", fields("-1", "\"x\""), 400, badSize);
        row("size a text", fields("\"5\"", "\"x\""), 400, badSize);
    }

    void searchRequest()
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

    // The driver request form: whether its "firmware" part is a file, and under which name, read
    // from the part's Content-Disposition as browsers and HTTP libraries write it.
    void uploadedFileName_data()
    {
        testsupport::addColumns<QByteArray, bool, QString>({"disposition", "isFile", "fileName"});

        // fileName null: no file at all
        const auto row = [](const char *tag, const char *parameters, const char *fileName) {
            QTest::newRow(tag) << QByteArray("form-data; ") + parameters << bool(fileName)
                               << QString::fromUtf8(fileName);
        };
        row("quoted", R"(name="firmware"; filename="dump.bin")", "dump.bin");
        row("unquoted", "name=firmware; filename=dump.bin", "dump.bin");
        row("name in other case", R"(Name="firmware"; FILENAME="dump.bin")", "dump.bin");
        row("semicolon in the name", R"(name="firmware"; filename="a;b.bin")", "a;b.bin");
        // moc misreads a backslash in a raw string, so this one is spelled out
        row("escaped quote", "name=\"firmware\"; filename=\"a\\\"b.bin\"", "a\"b.bin");
        row("empty file name", R"(name="firmware"; filename="")", "");
        row("text field", R"(name="firmware")", nullptr);
        row("filename inside another value", R"(name="firmware"; x="y; filename=dump.bin")",
            nullptr);
    }

    void uploadedFileName()
    {
        QFETCH(QByteArray, disposition);
        QFETCH(QString, fileName);

        const QByteArray body
            = "--b\r\nContent-Disposition: " + disposition + "\r\n\r\n\x01\x02\r\n--b--\r\n";
        const MultipartForm form = parseMultipartForm("multipart/form-data; boundary=b", body);
        QVERIFY2(form.error.isEmpty(), qPrintable(form.error));
        const MultipartPart *firmware = form.part(QStringLiteral("firmware"));
        QVERIFY(firmware);
        QTEST(firmware->hasFileName, "isFile");
        QCOMPARE(firmware->fileName, fileName);
        QCOMPARE(firmware->body, QByteArray("\x01\x02"));
    }

    // Where a part's bytes end: an empty part is a blank line then the delimiter; a delimiter that
    // takes the blank line's CRLF leaves the part without its blank line.
    void partEnds_data()
    {
        testsupport::addColumns<QByteArray, bool, QByteArray>({"body", "accepted", "notes"});

        const QByteArray head = "--b\r\nContent-Disposition: form-data; name=\"notes\"\r\n";
        const QByteArray tail = "--b\r\nContent-Disposition: form-data; name=\"x\"\r\n\r\nlong "
                                "enough to show a misplaced end\r\n--b--";
        QTest::newRow("one byte") << head + "\r\nA\r\n" + tail << true << QByteArray("A");
        QTest::newRow("empty") << head + "\r\n\r\n" + tail << true << QByteArray();
        QTest::newRow("blank line taken by the delimiter")
            << head + "\r\n" + tail << false << QByteArray();
        QTest::newRow("no closing boundary") << head + "\r\nA\r\n--b" << false << QByteArray();
    }

    void partEnds()
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

    void textCaps_data()
    {
        testsupport::addColumns<QString, int, bool>({"key", "length", "accepted"});
        for (const auto &[key, cap] :
             {std::pair{"ecu_family", 128}, {"password", 1024}, {"notes", 4096}})
            for (const int length : {cap, cap + 1})
                QTest::addRow("%s at %d", key, length)
                    << QString::fromLatin1(key) << length << (length == cap);
    }

    void textCaps()
    {
        QFETCH(QString, key);
        QFETCH(int, length);
        QFETCH(bool, accepted);
        // Counted in characters, not bytes: "è" takes two bytes in UTF-8.
        const QString text(length, QChar(0xE8));
        const QString refusal = textRefusal(key, text);
        QCOMPARE(refusal.isEmpty(), accepted);
        if (!accepted)
            QCOMPARE(
                refusal,
                QStringLiteral("Il campo \"%1\" supera %2 caratteri.").arg(key).arg(length - 1));
        // A JSON body carries the same caps.
        const JsonRequest read
            = readJsonRequest(QJsonDocument(QJsonObject{{key, text}}).toJson(), 1 << 20, {key});
        QCOMPARE(read.accepted(), accepted);
        QCOMPARE(read.status, accepted ? 200 : 400);
    }

    void requestHead_data()
    {
        testsupport::addColumns<QByteArray, QString, qint64, bool>(
            {"head", "message", "length", "close"});
        const auto row = [](const char *tag, const char *head, const char *message,
                            qint64 length = -1, bool close = false) {
            QTest::newRow(tag) << QByteArray(head) << QString::fromUtf8(message) << length << close;
        };
        const char *conflict = "Intestazioni Content-Length in conflitto.";
        const char *malformed = "Richiesta HTTP non valida.";
        row("keep-alive by default", "POST /api/login?x=1 HTTP/1.1\r\nContent-Length: 12", "", 12);
        row("two lengths that agree",
            "POST /api/login HTTP/1.1\r\nContent-Length: 7\r\ncontent-length: 7", "", 7);
        row("a list that agrees", "POST /api/login HTTP/1.1\r\nContent-Length: 7, 7", "", 7);
        row("two lengths that differ",
            "POST /api/login HTTP/1.1\r\nContent-Length: 7\r\nContent-Length: 70", conflict);
        row("a list that differs", "POST /api/login HTTP/1.1\r\nContent-Length: 7, 8", conflict);
        row("signed length", "POST /api/login HTTP/1.1\r\nContent-Length: +7",
            "Content-Length non valido.");
        row("length and chunks",
            "POST /api/x HTTP/1.1\r\nContent-Length: 7\r\nTransfer-Encoding: chunked",
            "Content-Length e Transfer-Encoding insieme non sono ammessi.");
        row("HTTP/1.0", "GET /api/status HTTP/1.0", "", -1, true);
        row("Connection: close", "GET /api/status HTTP/1.1\r\nConnection: keep-alive, Close", "",
            -1, true);
        row("no version", "GET /api/status", malformed);
        row("header without a colon", "GET /api/x HTTP/1.1\r\nContent-Length 5", malformed);
    }

    void requestHead()
    {
        QFETCH(QByteArray, head);
        QFETCH(QString, message);
        const RequestHead read = readRequestHead(head);
        QCOMPARE(read.message, message);
        QCOMPARE(read.status, message.isEmpty() ? 200 : 400);
        if (!message.isEmpty())
            return;
        QTEST(read.contentLength, "length");
        QTEST(read.closeAfterAnswer, "close");
        QCOMPARE(read.path,
                 head.mid(head.indexOf(' ') + 1).split(' ').value(0).split('?').value(0));
        QVERIFY(read.path.startsWith("/api/"));
    }

    // Five attempts of a code, twenty of an address in a minute; the sixth (or the twenty-first)
    // waits until the oldest of them is a minute old.
    void throttle_data()
    {
        // attempts ("code@address" at one per second); atMs (when the next attempt comes)
        testsupport::addColumns<QStringList, int, QString, int>(
            {"attempts", "atMs", "next", "wait"});
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
        QTest::newRow("five, the first nearly aged out")
            << many(5, "C1", "a") << 59999 << "C1@a" << 1;
        QTest::newRow("five of a code, from elsewhere")
            << many(5, "C1", "a") << 5000 << "C1@b" << 55;
        QTest::newRow("five of a code, another code") << many(5, "C1", "a") << 5000 << "C2@a" << 0;
        QTest::newRow("five of a code, then its success")
            << many(5, "C1", "a") + QStringList{"+C1@a"} << 5000 << "C1@a" << 0;
        QTest::newRow("nineteen codes of an address")
            << many(19, "K%1", "a") << 19000 << "Z@a" << 0;
        QTest::newRow("twenty codes of an address") << many(20, "K%1", "a") << 20000 << "Z@a" << 40;
        QTest::newRow("twenty codes, another address")
            << many(20, "K%1", "a") << 20000 << "Z@b" << 0;
    }

    void throttle()
    {
        QFETCH(QStringList, attempts);
        QFETCH(int, atMs);
        QFETCH(QString, next);
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
        QTEST(throttle.waitSeconds(parts.at(0), parts.at(1), atMs), "wait");
    }
};

QTEST_GUILESS_MAIN(TestServiceRequest)
#include "tst_servicerequest.moc"
