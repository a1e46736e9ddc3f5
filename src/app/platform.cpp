#include "platform.h"

#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QTranslator>

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

} // namespace Platform
