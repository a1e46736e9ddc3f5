#pragma once

// A throwaway PostgreSQL cluster for tests: made with Debian's initdb in a temporary folder,
// listening on 127.0.0.1 only, stopped and removed when the object goes. Under root the
// server runs as the "postgres" user, which PostgreSQL insists on.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>

#include <unistd.h>

class PostgresCluster
{
public:
    PostgresCluster()
    {
        const QString bin = findBin();
        m_hasBinaries = !bin.isEmpty();
        if (bin.isEmpty()) {
            m_reason = QStringLiteral("PostgreSQL binaries not found (Debian: postgresql)");
            return;
        }
        if (!m_dir.isValid()) {
            m_reason = QStringLiteral("no temporary folder");
            return;
        }
        m_data = m_dir.path() + QStringLiteral("/data");
        if (::geteuid() == 0) {
            m_prefix = {QStringLiteral("runuser"), QStringLiteral("-u"), QStringLiteral("postgres"),
                        QStringLiteral("--")};
            QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                    | QFileDevice::ExeOwner | QFileDevice::ExeOther
                                                    | QFileDevice::ReadOther
                                                    | QFileDevice::WriteOther);
        }
        QTcpServer probe; // a free port, released just before the cluster takes it
        probe.listen(QHostAddress::LocalHost, 0);
        m_port = probe.serverPort();
        probe.close();
        if (!run(bin + QStringLiteral("/initdb"),
                 {QStringLiteral("-D"), m_data, QStringLiteral("-U"), QStringLiteral("tessa"),
                  QStringLiteral("--auth=trust"), QStringLiteral("-E"), QStringLiteral("UTF8")}))
            return;
        m_ctl = bin + QStringLiteral("/pg_ctl");
        if (!run(m_ctl, {QStringLiteral("-D"), m_data, QStringLiteral("-w"), QStringLiteral("-t"),
                         QStringLiteral("30"), QStringLiteral("-l"),
                         m_data + QStringLiteral("/log"), QStringLiteral("-o"),
                         QStringLiteral("-c listen_addresses=127.0.0.1 -c unix_socket_directories= "
                                        "-p %1")
                             .arg(m_port),
                         QStringLiteral("start")}))
            return;
        m_started = true;
    }
    ~PostgresCluster()
    {
        if (m_started)
            run(m_ctl, {QStringLiteral("-D"), m_data, QStringLiteral("-m"),
                        QStringLiteral("immediate"), QStringLiteral("stop")});
    }

    bool isRunning() const { return m_started; }
    bool hasBinaries() const { return m_hasBinaries; }
    QString reason() const { return m_reason; }
    QString url() const
    {
        return QStringLiteral("postgresql://tessa@127.0.0.1:%1/postgres").arg(m_port);
    }

private:
    static QString findBin()
    {
        const QDir versions(QStringLiteral("/usr/lib/postgresql"));
        const QStringList found
            = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed);
        for (const QString &v : found) {
            const QString bin = versions.filePath(v) + QStringLiteral("/bin");
            if (QFile::exists(bin + QStringLiteral("/initdb")))
                return bin;
        }
        const QString initdb = QStandardPaths::findExecutable(QStringLiteral("initdb"));
        return initdb.isEmpty() ? QString() : QFileInfo(initdb).absolutePath();
    }

    bool run(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        QStringList all = m_prefix;
        all << program << arguments;
        process.start(all.takeFirst(), all);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
            || process.exitCode() != 0) {
            m_reason = QStringLiteral("%1 failed: %2")
                           .arg(QFileInfo(program).fileName(),
                                QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
            return false;
        }
        return true;
    }

    QTemporaryDir m_dir;
    QString m_data;
    QString m_ctl;
    QStringList m_prefix;
    quint16 m_port = 0;
    bool m_started = false;
    bool m_hasBinaries = false;
    QString m_reason;
};
