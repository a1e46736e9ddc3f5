// The web service under abuse, on loopback: 16 connections announce 31 MiB uploads with a
// valid session and send all but the last bytes, 16 more announce 31 MiB bodies to
// /api/login, all of them then go silent; 8 clients (each from an address of its own in
// 127.0.0.0/8) send bad sign-ins back to back. Meanwhile one client asks /api/status every
// 10 ms. Reported: the latency of /api/status, the service's memory (VmRSS sampled, VmHWM),
// how the flood was answered, how long a wrong password takes for a known and an unknown
// customer code, and when the service closed the silent connections. The service runs as its
// own process (the real binary, SQLite store).
// Usage: bench_service_abuse [SECONDS]   (default 20, at most 120)
#include "servicebench.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr qint64 MiB = 1024 * 1024;

using servicebench::runCommand;

double memoryMiB(qint64 pid, const char *field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

QByteArray loginRequest(const QString &code, const QString &password)
{
    const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("customer_code"), code},
                                                      {QStringLiteral("password"), password}})
                                .toJson(QJsonDocument::Compact);
    return "POST /api/login HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
           "Content-Length: "
           + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// Length of the first whole answer in buffer, 0 while it is incomplete.
qsizetype answerLength(const QByteArray &buffer)
{
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return 0;
    qint64 length = 0;
    for (const QByteArray &line : buffer.left(end).split('\n')) {
        if (line.toLower().startsWith("content-length:"))
            length = line.mid(15).trimmed().toLongLong();
    }
    return buffer.size() >= end + 4 + length ? end + 4 + length : 0;
}

// One keep-alive connection sending a request each time the answer to the last one is in;
// reconnects when the service closes it. done gets the status and the milliseconds taken.
class Asker : public QObject
{
public:
    Asker(quint16 port,
          const QHostAddress &from,
          std::function<QByteArray()> next,
          std::function<void(int, double)> done)
        : m_port(port)
        , m_from(from)
        , m_next(std::move(next))
        , m_done(std::move(done))
    {
        connect(&m_socket, &QIODevice::readyRead, this, &Asker::onReadyRead);
        connect(&m_socket, &QAbstractSocket::disconnected, this, [this] {
            if (m_running)
                QTimer::singleShot(0, this, &Asker::ask);
        });
    }
    void start() { m_running = true, ask(); }
    void stop() { m_running = false, m_socket.abort(); }
    void ask()
    {
        if (!m_running)
            return;
        if (m_socket.state() == QAbstractSocket::UnconnectedState) {
            m_socket.bind(m_from, 0);
            m_socket.connectToHost(QHostAddress::LocalHost, m_port);
        }
        m_buffer.clear();
        m_timer.start();
        m_socket.write(m_next());
    }

private:
    void onReadyRead()
    {
        m_buffer += m_socket.readAll();
        const qsizetype length = answerLength(m_buffer);
        if (length == 0)
            return;
        m_done(m_buffer.mid(9, 3).toInt(), m_timer.nsecsElapsed() / 1e6);
        m_buffer.clear();
        QTimer::singleShot(m_pauseMs, this, &Asker::ask);
    }

public:
    int m_pauseMs = 0;

private:
    QTcpSocket m_socket;
    quint16 m_port;
    QHostAddress m_from;
    std::function<QByteArray()> m_next;
    std::function<void(int, double)> m_done;
    QByteArray m_buffer;
    QElapsedTimer m_timer;
    bool m_running = false;
};

// Announces a body of `announced` bytes, sends `sent` of them as fast as the service takes
// them, then says nothing more.
class Staller : public QObject
{
public:
    Staller(quint16 port, const QByteArray &head, qint64 sent)
        : m_left(sent)
    {
        connect(&m_socket, &QAbstractSocket::connected, this, [this, head] {
            m_socket.write(head);
            feed();
        });
        connect(&m_socket, &QIODevice::bytesWritten, this, &Staller::feed);
        connect(&m_socket, &QIODevice::readyRead, this, [this] { m_answer += m_socket.readAll(); });
        connect(&m_socket, &QAbstractSocket::disconnected, this, [this] { m_closedAt.start(); });
        m_socket.connectToHost(QHostAddress::LocalHost, port);
    }
    bool closed() const { return m_socket.state() == QAbstractSocket::UnconnectedState; }
    int status() const { return m_answer.startsWith("HTTP/1.") ? m_answer.mid(9, 3).toInt() : 0; }

private:
    void feed()
    {
        static const QByteArray chunk(MiB, 'z');
        while (m_left > 0 && m_socket.bytesToWrite() < MiB
               && m_socket.state() == QAbstractSocket::ConnectedState) {
            const qint64 n = std::min<qint64>(m_left, chunk.size());
            m_socket.write(chunk.constData(), n);
            m_left -= n;
        }
    }

    QTcpSocket m_socket;
    qint64 m_left;
    QByteArray m_answer;
    QElapsedTimer m_closedAt;
};

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(values.size() * p))];
}

void pump(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(5, std::min(120, atoi(argv[1]))) : 20;
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("data"));
    if (!runCommand({QStringLiteral("add-customer"), QStringLiteral("--data"), data,
                     QStringLiteral("B001"), QStringLiteral("Bench")},
                    "bench-password\n"))
        return 1;
    QProcess service;
    const quint16 port = servicebench::startService(service, data);
    if (port == 0)
        return 1;
    const qint64 pid = service.processId();
    QTextStream out(stdout);

    // A wrong password for a known and for an unknown code, one after the other, from an
    // address of their own (the throttle allows five per code a minute).
    std::vector<double> known, unknown;
    QByteArray token;
    {
        int left = 8;
        QEventLoop loop;
        Asker asker(
            port, QHostAddress(QStringLiteral("127.0.0.10")),
            [&left] {
                if (left == 0)
                    return loginRequest(QStringLiteral("B001"), QStringLiteral("bench-password"));
                return loginRequest(left % 2 ? QStringLiteral("B001")
                                             : QStringLiteral("X%1").arg(left),
                                    QStringLiteral("wrong"));
            },
            [&](int, double ms) {
                if (left == 0) {
                    loop.quit();
                    return;
                }
                (left % 2 ? known : unknown).push_back(ms);
                --left;
            });
        // The last request signs in; its token is read from a separate exchange below.
        asker.start();
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
        asker.stop();
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.waitForConnected(5000);
        socket.write(loginRequest(QStringLiteral("B001"), QStringLiteral("bench-password")));
        QByteArray answer;
        QElapsedTimer wait;
        wait.start();
        while (answerLength(answer) == 0 && wait.elapsed() < 10000) {
            socket.waitForReadyRead(1000);
            answer += socket.readAll();
        }
        token = QJsonDocument::fromJson(answer.mid(answer.indexOf("\r\n\r\n") + 4))
                    .object()
                    .value(QStringLiteral("token"))
                    .toString()
                    .toLatin1();
    }
    if (token.isEmpty()) {
        std::fprintf(stderr, "the bench customer could not sign in\n");
        return 1;
    }

    const QByteArray statusRequest = "GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    auto measureStatus = [&](int ms, const std::function<void()> &during) {
        std::vector<double> latencies;
        double peakRss = 0;
        Asker status(
            port, QHostAddress::LocalHost, [&] { return statusRequest; },
            [&](int code, double t) {
                if (code == 200)
                    latencies.push_back(t);
            });
        status.m_pauseMs = 10;
        status.start();
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout,
                         [&] { peakRss = std::max(peakRss, memoryMiB(pid, "VmRSS:")); });
        sampler.start(100);
        if (during)
            during();
        pump(ms);
        status.stop();
        return std::make_pair(latencies, peakRss);
    };

    const auto quiet = measureStatus(3000, {});

    std::vector<std::unique_ptr<Staller>> stallers;
    std::vector<std::unique_ptr<Asker>> flood;
    QHash<int, int> floodAnswers;
    int floodCount = 0;
    QElapsedTimer abuseClock;
    const auto abused = measureStatus(seconds * 1000, [&] {
        abuseClock.start();
        const QByteArray uploadHead
            = "POST /api/customer/driver-requests HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: "
              "Bearer "
              + token + "\r\nContent-Type: multipart/form-data; boundary=b\r\nContent-Length: "
              + QByteArray::number(31 * MiB) + "\r\n\r\n";
        const QByteArray loginHead = "POST /api/login HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: "
                                     "application/json\r\nContent-Length: "
                                     + QByteArray::number(31 * MiB) + "\r\n\r\n";
        for (int i = 0; i < 16; ++i) {
            stallers.push_back(std::make_unique<Staller>(port, uploadHead, 31 * MiB - 1024));
            stallers.push_back(std::make_unique<Staller>(port, loginHead, 31 * MiB - 1024));
        }
        for (int i = 0; i < 8; ++i) {
            const QHostAddress from(QStringLiteral("127.0.0.%1").arg(20 + i));
            auto counter = std::make_shared<int>(0);
            flood.push_back(std::make_unique<Asker>(
                port, from,
                [i, counter] {
                    ++*counter;
                    return loginRequest(*counter % 2
                                            ? QStringLiteral("B001")
                                            : QStringLiteral("F%1-%2").arg(i).arg(*counter),
                                        QStringLiteral("guess-%1").arg(*counter));
                },
                [&](int code, double) {
                    ++floodAnswers[code];
                    ++floodCount;
                }));
            flood.back()->start();
        }
    });
    for (auto &f : flood)
        f->stop();
    const double hwm = memoryMiB(pid, "VmHWM:");
    QHash<int, int> stallAnswers;
    for (const auto &s : stallers)
        ++stallAnswers[s->status()];

    // The silent connections still open go once idle for the service's time-out.
    QElapsedTimer closing;
    closing.start();
    auto open = [&] {
        return int(std::count_if(stallers.begin(), stallers.end(),
                                 [](const auto &s) { return !s->closed(); }));
    };
    const int openAfterAbuse = open();
    while (open() > 0 && closing.elapsed() < 45000)
        pump(200);
    const double closedAfter = (abuseClock.elapsed()) / 1000.0;

    auto ms = [](double v) { return QString::number(v, 'f', 1); };
    out << "service on 127.0.0.1, SQLite; abuse for " << seconds << " s\n\n";
    out << "| /api/status | answers | p50 ms | p99 ms | max ms | service VmRSS peak MiB |\n"
           "|---|---:|---:|---:|---:|---:|\n";
    for (const auto &[name, run] : {std::pair{"quiet", quiet}, std::pair{"under abuse", abused}}) {
        out << "| " << name << " | " << run.first.size() << " | " << ms(percentile(run.first, 0.5))
            << " | " << ms(percentile(run.first, 0.99)) << " | " << ms(percentile(run.first, 1.0))
            << " | " << ms(run.second) << " |\n";
    }
    out << "\nservice VmHWM (peak resident) " << ms(hwm) << " MiB\n";
    out << "bad sign-ins answered: " << floodCount;
    for (auto it = floodAnswers.cbegin(); it != floodAnswers.cend(); ++it)
        out << ", HTTP " << it.key() << ": " << it.value();
    out << "\nsilent connections (32) answered:";
    for (auto it = stallAnswers.cbegin(); it != stallAnswers.cend(); ++it)
        out << " " << (it.key() ? QString::number(it.key()) : QStringLiteral("none")) << " x "
            << it.value();
    out << "; still open at the end of the abuse: " << openAfterAbuse
        << "; all closed by the service " << ms(closedAfter) << " s after the abuse began"
        << (open() ? QStringLiteral(" (NOT ALL: %1 open)").arg(open()) : QString()) << "\n";
    out << "wrong password, median of 4: known code " << ms(percentile(known, 0.5))
        << " ms, unknown code " << ms(percentile(unknown, 0.5)) << " ms\n";
    out << "target: /api/status p99 <= 50 ms and memory <= 150 MiB under abuse: "
        << (percentile(abused.first, 0.99) <= 50 && std::max(hwm, abused.second) <= 150 ? "met"
                                                                                        : "NOT met")
        << "\n";
    service.terminate();
    service.waitForFinished(5000);
    return 0;
}
