// The web service under load: requests per second and latency of the driver catalog and the
// driver download with 32 concurrent clients, and the upload of a 16 MiB firmware with a
// driver request. The service runs as its own process (the real binary, SQLite store), the
// clients in this one; both share the machine.
// Usage: bench_service_requests [REQUESTS_PER_CLIENT]   (default 100)
#include "servicebench.h"

#include "online/apiclient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

const QString DemoDriver = QStringLiteral(TESSA_SOURCE_DIR "/examples/tessa-demo.ecudrv");
constexpr int Clients = 32;

using servicebench::runCommand;

struct Figures
{
    double perSecond = 0;
    double p50 = 0;
    double p99 = 0;
    int failures = 0;
    qint64 bytes = 0;
};

// Clients clients, each sending `each` requests one after the other.
Figures load(const QUrl &url, const QByteArray &body, const QByteArray &token, int each)
{
    std::vector<std::unique_ptr<QNetworkAccessManager>> managers;
    std::vector<double> latencies;
    latencies.reserve(size_t(Clients * each));
    Figures f;
    int running = Clients;
    QEventLoop loop;
    QElapsedTimer total;
    total.start();
    for (int c = 0; c < Clients; ++c) {
        managers.push_back(std::make_unique<QNetworkAccessManager>());
        QNetworkAccessManager *m = managers.back().get();
        auto left = std::make_shared<int>(each);
        auto send = std::make_shared<std::function<void()>>();
        *send = [&, m, left, send] {
            QNetworkRequest r(url);
            r.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
            r.setRawHeader("Authorization", "Bearer " + token);
            auto timer = std::make_shared<QElapsedTimer>();
            timer->start();
            QNetworkReply *reply = m->post(r, body);
            QObject::connect(reply, &QNetworkReply::finished, reply, [&, reply, timer, left, send] {
                latencies.push_back(timer->nsecsElapsed() / 1e6);
                const QByteArray data = reply->readAll();
                f.bytes += data.size();
                if (reply->error() != QNetworkReply::NoError)
                    ++f.failures;
                reply->deleteLater();
                if (--*left > 0)
                    (*send)();
                else if (--running == 0)
                    loop.quit();
            });
        };
        (*send)();
    }
    loop.exec();
    const double seconds = total.nsecsElapsed() / 1e9;
    std::sort(latencies.begin(), latencies.end());
    f.perSecond = latencies.size() / seconds;
    f.p50 = latencies[latencies.size() / 2];
    f.p99 = latencies[std::min(latencies.size() - 1, size_t(latencies.size() * 0.99))];
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("TessamorvandiBench"));
    const int each = argc > 1 ? std::max(1, std::min(10000, atoi(argv[1]))) : 100;
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("data"));
    if (!runCommand({QStringLiteral("add-customer"), QStringLiteral("--data"), data,
                     QStringLiteral("B001"), QStringLiteral("Bench")},
                    "bench-password\n")
        || !runCommand({QStringLiteral("add-driver"), QStringLiteral("--data"), data, DemoDriver,
                        QStringLiteral("--family"), QStringLiteral("EDC17C46"),
                        QStringLiteral("--brand"), QStringLiteral("VW"), QStringLiteral("--model"),
                        QStringLiteral("Golf"), QStringLiteral("--version"), QStringLiteral("1")}))
        return 1;
    QProcess service;
    const quint16 port = servicebench::startService(service, data);
    if (port == 0)
        return 1;
    const QUrl base(QStringLiteral("http://127.0.0.1:%1/").arg(port));

    ApiClient client(base);
    client.setTimeout(120000);
    QSignalSpy login(&client, &ApiClient::loginFinished);
    client.login(QStringLiteral("B001"), QStringLiteral("bench-password"));
    login.wait(10000);
    const QByteArray token = client.authToken().toLatin1();
    const QByteArray hash(64, 'a');
    const QByteArray catalogBody
        = QJsonDocument(QJsonObject{{QStringLiteral("customer_code"), QStringLiteral("B001")},
                                    {QStringLiteral("device_hash"), QString::fromLatin1(hash)},
                                    {QStringLiteral("firmware_size"), 262144}})
              .toJson(QJsonDocument::Compact);
    const QByteArray downloadBody
        = QJsonDocument(QJsonObject{{QStringLiteral("customer_code"), QStringLiteral("B001")},
                                    {QStringLiteral("device_hash"), QString::fromLatin1(hash)},
                                    {QStringLiteral("driver_id"), QStringLiteral("drv-1")}})
              .toJson(QJsonDocument::Compact);

    QTextStream out(stdout);
    out << "service on 127.0.0.1, SQLite, " << Clients << " clients x " << each
        << " requests each\n\n| endpoint | requests/s | p50 ms | p99 ms | failures "
           "|\n|---|---:|---:|---:|---:|\n";
    const struct
    {
        const char *name;
        const char *path;
        QByteArray body;
    } endpoints[] = {{"identity-catalog", "api/drivers/identity-catalog", catalogBody},
                     {"download (4 KiB driver)", "api/drivers/download", downloadBody}};
    for (const auto &e : endpoints) {
        load(base.resolved(QUrl(QString::fromLatin1(e.path))), e.body, token, 5); // warm-up
        const Figures f
            = load(base.resolved(QUrl(QString::fromLatin1(e.path))), e.body, token, each);
        out << "| " << e.name << " | " << qRound(f.perSecond) << " | "
            << QString::number(f.p50, 'f', 1) << " | " << QString::number(f.p99, 'f', 1) << " | "
            << f.failures << " |\n";
        out.flush();
    }

    // One firmware of 16 MiB, sent five times as a driver request; median of the five.
    const QString firmware = dir.filePath(QStringLiteral("firmware.bin"));
    {
        QFile file(firmware);
        file.open(QIODevice::WriteOnly);
        QByteArray bytes(16 * 1024 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = char((i * 2654435761u) >> 13);
        file.write(bytes);
    }
    std::vector<double> uploads;
    for (int i = 0; i < 5; ++i) {
        QSignalSpy request(&client, &ApiClient::driverRequestFinished);
        QElapsedTimer timer;
        timer.start();
        client.submitDriverRequest(QStringLiteral("Bench"), QStringLiteral("EDC17C46"), QString(),
                                   firmware);
        request.wait(120000);
        uploads.push_back(timer.nsecsElapsed() / 1e6);
        if (request.isEmpty() || !request.at(0).at(0).toBool())
            out << "upload failed: "
                << (request.isEmpty() ? QStringLiteral("time-out") : request.at(0).at(1).toString())
                << "\n";
    }
    std::sort(uploads.begin(), uploads.end());
    out << "\nupload of a 16 MiB firmware (driver request), median of 5: "
        << QString::number(uploads[2], 'f', 0) << " ms (min " << QString::number(uploads[0], 'f', 0)
        << " ms)\n";
    service.terminate();
    service.waitForFinished(5000);
    return 0;
}
