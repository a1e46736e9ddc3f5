#pragma once

// What the service benchmarks share: running one of the service's operator commands.
#include <QByteArray>
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

} // namespace servicebench
