#include "platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>

namespace Platform {

QStringList calculatorCandidates()
{
#ifdef Q_OS_WIN
    return {QStringLiteral("calc.exe")};
#elif defined(Q_OS_MACOS)
    return {QStringLiteral("/System/Applications/Calculator.app/Contents/MacOS/Calculator"),
            QStringLiteral("/Applications/Calculator.app/Contents/MacOS/Calculator")};
#else
    return {QStringLiteral("gnome-calculator"), QStringLiteral("kcalc"),
            QStringLiteral("galculator"),       QStringLiteral("qalculate-gtk"),
            QStringLiteral("mate-calc"),        QStringLiteral("xcalc")};
#endif
}

bool startCalculator()
{
    for (const QString &candidate : calculatorCandidates()) {
#ifdef Q_OS_WIN
        const QString program = candidate;
#else
        const QString program = candidate.startsWith(QLatin1Char('/'))
                                    ? candidate
                                    : QStandardPaths::findExecutable(candidate);
        if (program.isEmpty())
            continue;
#endif
        if (QProcess::startDetached(program, {}))
            return true;
    }
    return false;
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

} // namespace Platform
