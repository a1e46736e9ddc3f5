#include "model/firmwareproject.h"
#include "online/driverrequestform.h"
#include "online/onlineprotocol.h"
#include "online/updateprompt.h"

#include <QCoreApplication>
#include <QtTest>

#include "testsupport.h"

class TestOnlineProtocol : public QObject
{
    Q_OBJECT

private slots:
    void detectEcuFamilies_data()
    {
        testsupport::addColumns<QByteArray, QStringList, QStringList>(
            {"firmware", "catalog", "detected"});
        const QByteArray image = QByteArray("\x00\x01", 2) + "..Bosch EDC17C46 sw 1037541779.."
                                 + QByteArray("\xff\x00", 2) + "me7.5 text";
        QTest::newRow("exact") << image << QStringList{"EDC17C46"} << QStringList{"EDC17C46"};
        QTest::newRow("catalog in lower case")
            << image << QStringList{"edc17c46"} << QStringList{"edc17c46"};
        QTest::newRow("firmware in lower case")
            << image << QStringList{"ME7.5"} << QStringList{"ME7.5"};
        QTest::newRow("space in the family, none in the image")
            << image << QStringList{"EDC 17C46"} << QStringList{"EDC 17C46"};
        QTest::newRow("family split by a zero byte in the image")
            << QByteArray("xxEDC17") + '\0' + "C46yy" << QStringList{"EDC17C46"}
            << QStringList{"EDC17C46"};
        QTest::newRow("two families, catalog order, trimmed, no duplicates")
            << image << QStringList{"  ME7.5 ", QString(), "   ", "EDC17C46", "ME7.5", "MED17.5"}
            << QStringList{"ME7.5", "EDC17C46"};
        QTest::newRow("one character short")
            << QByteArray("EDC17C4") << QStringList{"EDC17C46"} << QStringList();
        QTest::newRow("only punctuation in the family")
            << image << QStringList{"--"} << QStringList();
    }

    void detectEcuFamilies()
    {
        QFETCH(QByteArray, firmware);
        QFETCH(QStringList, catalog);
        QTEST(OnlineProtocol::detectEcuFamilies(firmware, catalog), "detected");
    }

    // "Richiesta Driver" filled from the document: the original file, brand, family, notes.
    void driverRequestForm_data()
    {
        QTest::addColumn<bool>("document");
        QTest::addColumn<bool>("projectOriginal"); // the project's Originale/firmware.bin exists
        QTest::addColumn<bool>("openedFile");      // the file the document came from exists
        QTest::addColumn<bool>("searched");        // the online search hands over "ori.bin"
        QTest::addColumn<QString>("expected");     // the file in the form
        QTest::newRow("no document") << false << false << false << false << "";
        QTest::newRow("imported file") << true << false << true << false << "opened.bin";
        QTest::newRow("saved project") << true << true << true << false << "Originale/firmware.bin";
        QTest::newRow("project lost its original")
            << true << false << true << false << "opened.bin";
        QTest::newRow("file gone") << true << false << false << false << "";
        QTest::newRow("search's file") << true << true << true << true << "ori.bin";
    }
    void driverRequestForm()
    {
        QFETCH(bool, document);
        QFETCH(bool, projectOriginal);
        QFETCH(bool, openedFile);
        QFETCH(bool, searched);
        QFETCH(QString, expected);
        testsupport::TempFolder dir;
        QVERIFY(dir.isValid());
        QDir(dir.path()).mkdir(QStringLiteral("Originale"));
        FirmwareProject record;
        record.projectFolder = dir.path();
        record.savedFirmwarePath = dir.filePath(QStringLiteral("opened.bin"));
        if (projectOriginal)
            QVERIFY(!dir.write(QStringLiteral("Originale/firmware.bin"), "o").isEmpty());
        if (openedFile)
            QVERIFY(!dir.write(QStringLiteral("opened.bin"), "m").isEmpty());
        record.vehicleBrand = QStringLiteral(" Audi ");
        record.ecu = QStringLiteral("EDC17C46");
        record.vehicleModel = QStringLiteral("A4");
        record.software = QStringLiteral("1037541778");
        record.engineCode = QStringLiteral("CAGA");
        const DriverRequestForm form
            = driverRequestFormFor(document ? &record : nullptr,
                                   searched ? dir.filePath(QStringLiteral("ori.bin")) : QString());
        QCOMPARE(form.firmwarePath, expected.isEmpty() ? expected : dir.filePath(expected));
        QCOMPARE(form.brand, document ? QStringLiteral("Audi") : QString());
        QCOMPARE(form.family, document ? record.ecu : QString());
        QCOMPARE(form.notes, document ? QStringLiteral("Modello: A4\nSoftware: 1037541778\n"
                                                       "Codice motore: CAGA")
                                      : QString());
    }

    void plainIdentifier_data()
    {
        testsupport::addColumns<QString, bool>({"id", "plain"});
        QTest::newRow("service id") << "drv-12" << true;
        QTest::newRow("letters digits underscore") << "A_z9" << true;
        QTest::newRow("64 characters") << QString(64, QLatin1Char('a')) << true;
        QTest::newRow("65 characters") << QString(65, QLatin1Char('a')) << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("parent folder") << "../drv-1" << false;
        QTest::newRow("backslash") << "a\\b" << false;
        QTest::newRow("dot") << "drv.1" << false;
        QTest::newRow("accented letter") << "drvè" << false;
    }

    void plainIdentifier()
    {
        QFETCH(QString, id);
        QTEST(OnlineProtocol::isPlainIdentifier(id), "plain");
    }

    void newerVersion_data()
    {
        testsupport::addColumns<QString, bool>({"latest", "newer"});
        QTest::newRow("next patch") << "1.1.7" << true;
        QTest::newRow("same") << "1.1.6" << false;
        QTest::newRow("older") << "1.1.5" << false;
        QTest::newRow("numeric, not text order") << "1.1.10" << true;
        QTest::newRow("shorter, newer") << "1.2" << true;
        QTest::newRow("trailing zero is the same") << "1.1.6.0" << false;
        QTest::newRow("one more part") << "1.1.6.1" << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("not a version") << "2.0-beta" << false;
    }

    void newerVersion()
    {
        QFETCH(QString, latest);
        QTEST(OnlineProtocol::isNewerVersion(latest, QStringLiteral("1.1.6")), "newer");
    }

    void itemTexts()
    {
        QCOMPARE(OnlineProtocol::groupItemText(
                     QJsonObject{{QStringLiteral("vehicle_brand"), QStringLiteral("Fiat")},
                                 {QStringLiteral("vehicle_model"), QStringLiteral(" ")}}),
                 QStringLiteral("Fiat | - | -"));
        const QJsonObject driver{{QStringLiteral("driver_name"), QStringLiteral("Ducato")},
                                 {QStringLiteral("vehicle_brand"), QStringLiteral("Fiat")},
                                 {QStringLiteral("vehicle_model"), QStringLiteral("Ducato 2.3")},
                                 {QStringLiteral("driver_version"), QStringLiteral("3")},
                                 {QStringLiteral("map_count"), 41},
                                 {QStringLiteral("driver_id"), 17}};
        QCOMPARE(OnlineProtocol::driverItemText(driver),
                 QStringLiteral("Ducato | Fiat | Ducato 2.3 | v3 | 41 mappe"));
        QJsonObject withNotes = driver;
        withNotes.insert(QStringLiteral("notes"), QStringLiteral("Euro 6"));
        QCOMPARE(OnlineProtocol::driverItemText(withNotes),
                 QStringLiteral("Ducato | Fiat | Ducato 2.3 | v3 | 41 mappe | Euro 6"));
        QCOMPARE(OnlineProtocol::driverIdOf(driver), QStringLiteral("17"));
    }

    void readReply_data()
    {
        using OnlineProtocol::Transport;
        testsupport::addColumns<int, int, QByteArray, QString, bool, QString>(
            {"transport", "status", "body", "networkText", "ok", "errorText"});
        const QByteArray answer = R"({"success":false,"message":"  Sessione scaduta. "})";
        const int answered = int(Transport::Answered);
        QTest::newRow("199") << answered << 199 << answer << QString() << false
                             << "Sessione scaduta.";
        QTest::newRow("200") << answered << 200 << answer << QString() << true << QString();
        QTest::newRow("299") << answered << 299 << QByteArray() << QString() << true << QString();
        QTest::newRow("300, no message: the body")
            << answered << 300 << QByteArray(" moved ") << QString() << false << "HTTP 300: moved";
        QTest::newRow("500, empty body: the network's words")
            << int(Transport::Failed) << 500 << QByteArray() << "Server error" << false
            << "HTTP 500: Server error";
        QTest::newRow("500, nothing to say still says something")
            << answered << 500 << QByteArray() << QString() << false
            << "HTTP 500: Risposta non valida dal servizio.";
        QTest::newRow("no answer") << int(Transport::Failed) << 0 << QByteArray()
                                   << "Connection refused" << false << "Connection refused";
        QTest::newRow("no answer, no words") << answered << 0 << QByteArray() << QString() << false
                                             << "Risposta non valida dal servizio.";
        QTest::newRow("timed out, whatever came")
            << int(Transport::TimedOut) << 200 << answer << "Operation canceled" << false
            << "Il servizio non ha risposto entro 2.5 secondi.";
    }

    void readReply()
    {
        QFETCH(int, transport);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, networkText);
        QFETCH(bool, ok);
        QFETCH(QString, errorText);
        const OnlineProtocol::Reply reply = OnlineProtocol::readReply(
            OnlineProtocol::Transport(transport), status, body, networkText, 2500);
        QCOMPARE(reply.ok, ok);
        QCOMPARE(reply.errorText, errorText);
        QCOMPARE(reply.isJsonObject, body.startsWith('{'));
        QCOMPARE(reply.json.value(QStringLiteral("success")).isBool(), body.startsWith('{'));
    }

    void updatePrompt_data()
    {
        // answer (true for "AGGIORNA"); expected (what happened, in order)
        testsupport::addColumns<QString, bool, QString, bool, bool, QString>(
            {"latest", "mandatory", "url", "answer", "updaterStarts", "expected"});
        const QString url = QStringLiteral("https://dl.example/1.2.0");
        QTest::newRow("up to date") << "1.1.6" << true << url << true << true << "";
        QTest::newRow("newer without a package")
            << "1.2.0" << false << "" << true << true << "warning:Aggiornamento disponibile";
        QTest::newRow("optional, later")
            << "1.2.0" << false << url << false << true << "ask:optional";
        QTest::newRow("optional, update")
            << "1.2.0" << false << url << true << true << "ask:optional,start,quit";
        QTest::newRow("mandatory, ESCI quits")
            << "1.2.0" << true << url << false << true << "ask:mandatory,quit";
        QTest::newRow("mandatory, updater missing")
            << "1.2.0" << true << url << true << false
            << "ask:mandatory,start,critical:Errore aggiornamento";
    }

    void updatePrompt()
    {
        QFETCH(QString, latest);
        QFETCH(bool, mandatory);
        QFETCH(QString, url);
        QFETCH(bool, answer);
        QFETCH(bool, updaterStarts);
        QCoreApplication::setApplicationVersion(QStringLiteral("1.1.6"));
        QStringList events;
        UpdatePrompt prompt;
        prompt.ask = [&](UpdateKind kind, const QString &text, const QString &) {
            events << (kind == UpdateKind::Mandatory ? QStringLiteral("ask:mandatory")
                                                     : QStringLiteral("ask:optional"));
            if (!text.contains(QStringLiteral("\n\nNovità:\nCorrezioni")))
                events << QStringLiteral("notes missing");
            return answer;
        };
        prompt.warning = [&](const QString &title, const QString &text) {
            events << QStringLiteral("warning:") + title;
            if (!text.endsWith(QStringLiteral("\n\nIl pacchetto di aggiornamento non è ancora "
                                              "disponibile.")))
                events << QStringLiteral("wrong ending");
        };
        prompt.critical = [&](const QString &title, const QString &) {
            events << QStringLiteral("critical:") + title;
        };
        prompt.startUpdater = [&](const QString &u) {
            events << (u == url ? QStringLiteral("start") : QStringLiteral("start with wrong URL"));
            return updaterStarts;
        };
        prompt.quit = [&] { events << QStringLiteral("quit"); };
        prompt.handle(true, QString(), latest, mandatory, url, QStringLiteral("Correzioni"));
        QTEST(events.join(QLatin1Char(',')), "expected");
    }
};

QTEST_GUILESS_MAIN(TestOnlineProtocol)
#include "tst_onlineprotocol.moc"
