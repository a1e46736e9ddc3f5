#pragma once

// What the service benchmarks share: running one of the service's operator commands.
#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace servicebench {

inline const QString &serviceBinary()
{
    static const QString path = QStringLiteral(TESSA_SERVICE_BIN);
    return path;
}

// Runs the service binary with arguments (input on its stdin); false, with its stderr shown,
// when it fails or takes over 30 s.
inline bool runCommand(const QStringList &arguments, const QByteArray &input = {})
{
    QProcess p;
    p.start(serviceBinary(), arguments);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(arguments.value(0)),
                     p.readAllStandardError().constData());
        return false;
    }
    return true;
}

// Starts `serve` on a free loopback port over the data folder; the port, or 0 (with a line on
// stderr) when the service did not answer within 10 s.
inline quint16 startService(QProcess &service, const QString &data)
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    service.start(serviceBinary(), {QStringLiteral("serve"), QStringLiteral("--data"), data,
                                    QStringLiteral("--listen"),
                                    QStringLiteral("127.0.0.1:%1").arg(port)});
    if (!service.waitForReadyRead(10000)) {
        std::fprintf(stderr, "the service did not start\n");
        return 0;
    }
    return port;
}

} // namespace servicebench
