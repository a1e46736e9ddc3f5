#include "app/driverscancommand.h"
#include "app/mainwindow.h"
#include "app/onlinecommands.h"
#include "localservice.h"
#include "model/firmware.h"
#include "model/firmwareproject.h"
#include "online/apiclient.h"
#include "online/driverrequestdialog.h"
#include "online/driverrequestform.h"
#include "online/onlinedriversearch.h"
#include "online/signindialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTreeWidgetItem>
#include <QtTest>

#include "testsupport.h"

namespace {

const QString DemoDriver = QStringLiteral(TESSA_SOURCE_DIR "/examples/tessa-demo.ecudrv");
const QString DemoImageV2 = QStringLiteral(TESSA_SOURCE_DIR "/examples/tessa-demo-v2.bin");

const QByteArray oneFamily = "{\"success\":true,\"ecu_families\":[\"EDC17C46\"]}";
const QByteArray oneGroup
    = "{\"groups\":[{\"vehicle_brand\":\"VW\",\"vehicle_model\":\"Golf\",\"group_text\":\"\"}]}";

using Replies = QHash<QByteArray, QByteArray>;
using Answers = QList<std::optional<int>>;

} // namespace

class TestOnlineSearch : public QObject
{
    Q_OBJECT

private:
    struct Run
    {
        OnlineDriverSearch::Outcome outcome;
        QStringList messages;  // "title|text"
        QStringList questions; // the label of each item choice
        QStringList manualRequests;
    };
    Run search(const QUrl &url,
               const QByteArray &firmware,
               QList<std::optional<int>> choices = {},
               int timeoutMs = 30000)
    {
        ApiClient client(url);
        client.setTimeout(timeoutMs);
        OnlineDriverSearch search(&client, nullptr);
        Run run;
        search.setMessageHook([&run](QMessageBox::Icon, const QString &title, const QString &text) {
            run.messages << title + QLatin1Char('|') + text;
        });
        search.setChoiceHook([&](const QString &, const QString &label, const QStringList &) {
            run.questions << label;
            return choices.isEmpty() ? std::optional<int>(0) : choices.takeFirst();
        });
        search.setManualRequest([&run](const QString &path) { run.manualRequests << path; });
        Driver driver;
        run.outcome = search.run(firmware, QStringLiteral("/fw/ori.bin"), driver);
        return run;
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("TessamorvandiTest"));
        QCoreApplication::setApplicationName(QStringLiteral("tst_onlinesearch"));
        QCoreApplication::setApplicationVersion(QStringLiteral("1.1.6"));
    }

    void init()
    {
        QSettings settings;
        settings.clear();
        settings.setValue(QLatin1String(ApiSettings::customerCode), LocalService::customerCode);
        settings.setValue(QLatin1String(ApiSettings::token), QStringLiteral("t"));
    }

    void wholeFlowToDriverMaps()
    {
        LocalService service(true);
        QVERIFY2(service.isReady(), qPrintable(service.error()));
        QVERIFY(!service
                     .addDriver(testsupport::readFile(DemoDriver), QStringLiteral("EDC17C46"),
                                QStringLiteral("Volkswagen"), QStringLiteral("Golf 2.0 TDI"))
                     .isEmpty());
        QSettings().clear();

        MainWindow window;
        OnlineCommands *online = window.onlineCommands();
        online->client()->setBaseUrl(service.url());
        online->client()->setSslConfiguration(service.clientTls());
        QStringList messages;
        auto record = [&messages](QMessageBox::Icon, const QString &title, const QString &text) {
            messages << title + QLatin1Char('|') + text;
        };
        online->setMessageHook(record);
        window.driverScanCommand()->setMessageHook(record);
        QStringList questions;
        online->setChoiceHook(
            [&questions](const QString &, const QString &label, const QStringList &items) {
                questions << label + QLatin1Char('|') + items.join(QLatin1Char(';'));
                return std::optional<int>(0);
            });
        QSignalSpy login(online->client(), &ApiClient::loginFinished);
        online->client()->login(LocalService::customerCode, LocalService::password);
        QVERIFY(login.wait());
        QVERIFY(login.at(0).at(0).toBool());
        QString error;
        QVERIFY(service.store().setRelease({QStringLiteral("1.1.6"), QString(), QString(), true},
                                           &error));
        QSignalSpy health(online->client(), &ApiClient::healthCheckFinished);
        QSignalSpy version(online->client(), &ApiClient::versionCheckFinished);
        online->checkService();
        QVERIFY(health.wait() || health.size() == 1);
        QVERIFY(version.size() == 1 || version.wait());
        QCOMPARE(online->serviceLines(),
                 QStringList({QStringLiteral("Servizio: Online"),
                              QStringLiteral("Ultima versione: 1.1.6"),
                              QStringLiteral("Aggiornamento: Obbligatorio")}));

        auto firmware = std::make_unique<Firmware>();
        QVERIFY(firmware->load(DemoImageV2.toStdString()));
        FirmwareProject *document = window.createDocumentFromFirmware(firmware.release(), {});
        QVERIFY(document);
        document->savedFirmwarePath = DemoImageV2;
        QSignalSpy scanned(window.driverScanCommand(), &DriverScanCommand::scanFinished);
        QCOMPARE(online->searchDrivers(document), OnlineDriverSearch::Outcome::DriverLoaded);
        QVERIFY(scanned.wait(60000));

        // One group skips the vehicle choice; the single driver is still offered.
        QCOMPARE(questions.size(), 1);
        QVERIFY(questions.at(0).startsWith(
            QStringLiteral("ECU identificata automaticamente: EDC17C46")));
        QVERIFY(
            questions.at(0).endsWith(QStringLiteral("Volkswagen | Golf 2.0 TDI | v2 | 5 mappe")));
        QCOMPARE(testsupport::readFile(OnlineDriverSearch::cacheFolder()
                                       + QStringLiteral("/driver_drv-1.ecudrv")),
                 testsupport::readFile(DemoDriver));
        QTreeWidgetItem *driverMaps = window.driverMapsItemOf(document);
        QVERIFY(driverMaps);
        int maps = 0;
        for (int i = 0; i < driverMaps->childCount(); ++i)
            maps += driverMaps->child(i)->childCount();
        QCOMPARE(maps, 4);
        QVERIFY(!messages.isEmpty());
        QVERIFY(messages.last().startsWith(QStringLiteral("Driver Scanner|Scansione completata.")));
    }

    void choices_data()
    {
        // families (one catalog entry each); groups (vehicles of the detected family)
        testsupport::addColumns<QStringList, int, Answers, int, int>(
            {"families", "groups", "answers", "expectedOutcome", "questions"});
        const int stopped = int(OnlineDriverSearch::Outcome::Stopped);
        const int manual = int(OnlineDriverSearch::Outcome::ManualRequest);
        const int loaded = int(OnlineDriverSearch::Outcome::DriverLoaded);
        auto row = [](const char *tag, const QStringList &families, int groups,
                      const Answers &answers, int outcome, int questions) {
            QTest::newRow(tag) << families << groups << answers << outcome << questions;
        };
        row("two families in the image", {"EDC17C46", "CFFB"}, 1, {}, manual, 0);
        row("no family in the image", {"MED17.5"}, 1, {}, manual, 0);
        row("one group, one driver", {"EDC17C46"}, 1, {0}, loaded, 1);
        row("two groups, second chosen", {"EDC17C46"}, 2, {1, 0}, loaded, 2);
        row("vehicle choice cancelled", {"EDC17C46"}, 2, {std::nullopt}, stopped, 1);
        row("driver choice cancelled", {"EDC17C46"}, 1, {std::nullopt}, stopped, 1);
    }

    void choices()
    {
        QFETCH(QStringList, families);
        QFETCH(int, groups);
        QFETCH(Answers, answers);
        QFETCH(int, expectedOutcome);
        QFETCH(int, questions);
        LocalService service(false);
        QVERIFY2(service.isReady(), qPrintable(service.error()));
        const QByteArray driver = testsupport::readFile(DemoDriver);
        for (const QString &family : families) {
            for (int g = 0; g < groups; ++g)
                service.addDriver(driver, family, QStringLiteral("VW"),
                                  QStringLiteral("Model %1").arg(g));
        }
        ApiClient signIn(service.url());
        QSignalSpy login(&signIn, &ApiClient::loginFinished);
        signIn.login(LocalService::customerCode, LocalService::password);
        QVERIFY(login.wait());

        const Run run = search(service.url(), testsupport::readFile(DemoImageV2), answers);
        QCOMPARE(int(run.outcome), expectedOutcome);
        QCOMPARE(run.questions.size(), questions);
        if (expectedOutcome == int(OnlineDriverSearch::Outcome::ManualRequest)) {
            QCOMPARE(run.manualRequests, QStringList{QStringLiteral("/fw/ori.bin")});
            QCOMPARE(run.messages, QStringList{QStringLiteral(
                                       "Driver Scanner|Nel database non e' presente un Driver "
                                       "identificabile per questo firmware.\n\nProcediamo "
                                       "con una richiesta manuale.")});
        }
        if (questions == 2)
            QVERIFY(
                run.questions.at(0).startsWith(QStringLiteral("ECU identificata: EDC17C46\n\n")));
    }

    void failures_data()
    {
        testsupport::addColumns<Replies, QByteArray, bool, QString>(
            {"replies", "firmware", "signedIn", "message"});
        const QByteArray image = "....EDC17C46....";
        const QByteArray catalogPath = "/api/drivers/identity-catalog";
        const QByteArray groupsPath = "/api/drivers/groups";
        const QByteArray driversPath = "/api/drivers/available";
        const QByteArray downloadPath = "/api/drivers/download";
        auto driverList = [](const QByteArray &id) -> QByteArray {
            return "{\"drivers\":[{\"driver_name\":\"D\",\"driver_version\":\"1\",\"map_count\":3,"
                   "\"driver_id\":\""
                   + id + "\",\"vehicle_brand\":\"VW\",\"vehicle_model\":\"Golf\"}]}";
        };
        const auto ok
            = [](const QByteArray &body) { return ScriptedServer::reply("200 OK", body); };
        auto row = [&image](const char *tag, const Replies &replies, const char *message,
                            const QByteArray &firmware = {}, bool signedIn = true) {
            QTest::newRow(tag) << replies << (firmware.isNull() ? image : firmware) << signedIn
                               << QString::fromUtf8(message);
        };
        row("not signed in", {}, "Codice cliente non disponibile.\nEffettua prima l'accesso.",
            image, false);
        row("no firmware bytes", {}, "Firmware originale non disponibile.", QByteArray(""));
        row("HTTP 500 with its text",
            {{catalogPath, ScriptedServer::reply("500 Internal Server Error", "boom")}},
            "Identificazione ECU non riuscita.\n\nHTTP: 500\nRisposta: boom");
        row("catalog not JSON", {{catalogPath, ok("<html>")}},
            "Risposta identificazione ECU non valida.");
        row("catalog refused without message", {{catalogPath, ok("{\"success\":false}")}},
            "Identificazione ECU non riuscita.");
        row("service never answers", {},
            "Identificazione ECU non riuscita.\n\nHTTP: 0\nRisposta: Il servizio non ha risposto "
            "entro 0.5 secondi.");
        // The replies as far as the driver list; a row adds its own or replaces one.
        const auto upToDrivers = [&](const Replies &rest) {
            Replies replies{{catalogPath, ok(oneFamily)}, {groupsPath, ok(oneGroup)}};
            replies.insert(rest);
            return replies;
        };
        row("groups not JSON", upToDrivers({{groupsPath, ok("[]")}}),
            "Risposta gruppo veicolo non valida.");
        row("drivers HTTP 502",
            upToDrivers({{driversPath, ScriptedServer::reply("502 Bad Gateway", "gateway")}}),
            "Ricerca Driver non riuscita.\n\nHTTP: 502\nRisposta: gateway");
        row("driver id climbing out of the cache",
            upToDrivers({{driversPath, ok(driverList("../../evil"))}}),
            "Identificativo del driver non valido: \"../../evil\".\nDownload rifiutato.");
        row("download announced over 256 MiB",
            upToDrivers({{driversPath, ok(driverList("big"))},
                         {downloadPath, ScriptedServer::reply("200 OK", "ECUD", "268435457")}}),
            "Download driver dalla VPS non riuscito.\n\nHTTP: 200\nRisposta: la risposta supera "
            "256 MiB.");
        row("download that is no driver",
            upToDrivers(
                {{driversPath, ok(driverList("plain_1"))}, {downloadPath, ok("not a driver")}}),
            "Impossibile caricare il driver:\nFile non riconosciuto come driver Tessamorvandi.");
    }

    void failures()
    {
        QFETCH(Replies, replies);
        QFETCH(QByteArray, firmware);
        QFETCH(bool, signedIn);
        QFETCH(QString, message);
        if (!signedIn)
            QSettings().clear();
        ScriptedServer server;
        server.replies = replies;
        const Run run = search(server.url(), firmware, {}, 500);
        QCOMPARE(int(run.outcome), int(OnlineDriverSearch::Outcome::Stopped));
        QCOMPARE(run.messages, QStringList{QStringLiteral("Driver Scanner|") + message});
    }

    void driverRequestDialog_data()
    {
        testsupport::addColumns<QString, QString, QString>({"brand", "family", "expected"});
        using testsupport::addRow;
        addRow("no brand", {"", "EDC17C69", "Richiesta Driver|Inserisci la marca."});
        addRow("blank family", {"Fiat", "  ", "Richiesta Driver|Inserisci ECU / Famiglia."});
        addRow("sent", {"Fiat", "EDC17C69",
                        "Richiesta Driver|Richiesta Driver inviata correttamente.\n\nNumero "
                        "richiesta: #1\n\nRichiesta registrata."});
    }

    void driverRequestDialog()
    {
        QFETCH(QString, brand);
        QFETCH(QString, family);
        QFETCH(QString, expected);
        LocalService service(false);
        QVERIFY2(service.isReady(), qPrintable(service.error()));
        ApiClient client(service.url());
        QSignalSpy login(&client, &ApiClient::loginFinished);
        client.login(LocalService::customerCode, LocalService::password);
        QVERIFY(login.wait());
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ori.bin"));
        QVERIFY(!testsupport::writeFile(path, QByteArray(1536, 'x')).isEmpty());

        DriverRequestDialog dialog(&client);
        QVERIFY(!dialog.sendButton()->isEnabled());
        dialog.brandEdit()->setText(QStringLiteral("old"));
        dialog.setFirmwarePath(path);
        QCOMPARE(dialog.sizeLabel()->text(), QStringLiteral("Dimensione: 1.5 KB"));
        QVERIFY(dialog.brandEdit()->text().isEmpty());
        QVERIFY(dialog.sendButton()->isEnabled());
        QStringList messages;
        dialog.setMessageHook(
            [&messages](QMessageBox::Icon, const QString &title, const QString &text) {
                messages << title + QLatin1Char('|') + text;
            });
        dialog.fill({QString(), brand, family, QString()}); // a blank file keeps the one chosen
        QCOMPARE(dialog.fileEdit()->text(), path);
        QSignalSpy finished(&client, &ApiClient::driverRequestFinished);
        dialog.send();
        if (!expected.contains(QStringLiteral("inviata"))) {
            QCOMPARE(messages, QStringList{expected});
            QCOMPARE(finished.size(), 0);
            QCOMPARE(dialog.result(), int(QDialog::Rejected)); // still open for the fix
            return;
        }
        QVERIFY(!dialog.brandEdit()->isEnabled());
        QVERIFY(finished.wait());
        QCOMPARE(messages, QStringList{expected});
        QVERIFY(dialog.brandEdit()->isEnabled());
        QCOMPARE(service.store().requests().value(0).manufacturer, brand);
        QCOMPARE(dialog.result(), int(QDialog::Accepted)); // sent: the dialog closes
    }

    // The service slows down repeated failures; the sign-in dialog says why and for how long.
    void signInThrottled()
    {
        ServiceLimits limits;
        limits.throttle.perCode = 1;
        LocalService service(false, limits);
        QVERIFY2(service.isReady(), qPrintable(service.error()));
        ApiClient client(service.url());
        SignInDialog dialog(&client);
        QSignalSpy login(&client, &ApiClient::loginFinished);
        dialog.codeEdit()->setText(LocalService::customerCode);
        dialog.passwordEdit()->setText(QStringLiteral("sbagliata"));
        dialog.signIn();
        QVERIFY(login.wait());
        QVERIFY(dialog.statusLabel()->text().contains(
            QStringLiteral("Accesso non riuscito. Codice cliente o password non validi.")));
        dialog.passwordEdit()->setText(LocalService::password);
        dialog.signIn();
        QVERIFY(login.wait());
        QVERIFY2(dialog.statusLabel()->text().contains(
                     QStringLiteral("Accesso non riuscito. Troppi tentativi di accesso: riprova "
                                    "tra ")),
                 qPrintable(dialog.statusLabel()->text()));
        QVERIFY(client.authToken().isEmpty());
    }
};

QTEST_MAIN(TestOnlineSearch)
#include "tst_onlinesearch.moc"
