#include "platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTranslator>

#ifndef Q_OS_WIN
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace Platform {

QStringList calculatorCandidates()
{
#ifdef Q_OS_WIN
    return {QStringLiteral("calc.exe")};
#elif defined(Q_OS_MACOS)
    return {QStringLiteral("/System/Applications/Calculator.app/Contents/MacOS/Calculator"),
            QStringLiteral("/Applications/Calculator.app/Contents/MacOS/Calculator")};
#else
    // The calculators of the common Linux desktops: GNOME, KDE, GTK and plain X.
    return {QStringLiteral("gnome-calculator"), QStringLiteral("kcalc"),
            QStringLiteral("galculator"), QStringLiteral("qalculate-gtk"), QStringLiteral("xcalc")};
#endif
}

QString findCalculator(const QStringList &searchPaths)
{
    for (const QString &candidate : calculatorCandidates()) {
#ifdef Q_OS_WIN
        Q_UNUSED(searchPaths);
        return candidate;
#else
        if (candidate.startsWith(QLatin1Char('/'))) {
            if (QFileInfo(candidate).isExecutable())
                return candidate;
            continue;
        }
        const QString program = QStandardPaths::findExecutable(candidate, searchPaths);
        if (!program.isEmpty())
            return program;
#endif
    }
    return {};
}

bool startCalculator()
{
    const QString program = findCalculator();
    return !program.isEmpty() && QProcess::startDetached(program, {});
}

bool loadQtItalian(QTranslator &translator, const QString &folder)
{
    const QString from
        = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    return translator.load(QLocale(QLocale::Italian, QLocale::Italy), QStringLiteral("qtbase"),
                           QStringLiteral("_"), from);
}

QString updaterPath()
{
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("TessamorvandiUpdater.exe");
#else
    const QString name = QStringLiteral("TessamorvandiUpdater");
#endif
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

bool startUpdater(const QString &downloadUrl)
{
    return QProcess::startDetached(updaterPath(),
                                   {downloadUrl, QCoreApplication::applicationDirPath(),
                                    QCoreApplication::applicationFilePath()});
}

bool syncFolder(const QString &folder)
{
#ifdef Q_OS_WIN
    // NTFS logs the changes to a folder's entries in order; a folder cannot be flushed there.
    return QFileInfo(folder).isDir();
#else
    const int fd
        = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Some file systems cannot sync a folder and say so; there is nothing more to do on them.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    ::close(fd);
    return synced;
#endif
}

} // namespace Platform
