// Listing the projects that match an image among 500 saved ones carrying "originalSha256";
// target at most 500 ms. Run: build/bench/bench_projects_matches
#include "projects/projectfiles.h"
#include "projects/projectmatch.h"
#include "projects/projectstore.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QTextStream out(stdout);
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("Projects"));
    const int projects = 500;

    QByteArray image(2 << 20, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char((i * 131) >> 3);
    const QString imageSha
        = QString::fromLatin1(QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex());

    EcuIdentification id;
    id.ecuFamily = QStringLiteral("EDC17C46");
    id.softwareNumber = QStringLiteral("1037541778");
    id.hardwareNumber = QStringLiteral("0281017946");
    id.partNumber = QStringLiteral("03L906018JL");

    for (int n = 0; n < projects; ++n) {
        const QString folder = root + QStringLiteral("/project %1").arg(n, 3, 10, QLatin1Char('0'));
        QDir().mkpath(folder + QStringLiteral("/Originale"));
        ProjectFiles::writeFileAtomically(folder + QStringLiteral("/Originale/firmware.bin"),
                                          QByteArray(1024, char(n)));
        QJsonObject record{
            {QStringLiteral("ecu"), n % 3 ? QStringLiteral("EDC17C46") : QStringLiteral("ME7.5")},
            {QStringLiteral("software"),
             QStringLiteral("10375417%1").arg(n % 100, 2, 10, QLatin1Char('0'))},
            {QStringLiteral("hardware"), QStringLiteral("0281017946")},
            {QStringLiteral("ecuNumber"), QStringLiteral("03L906018JL")},
            {QStringLiteral("customer"), QStringLiteral("Cliente %1").arg(n)},
            {QStringLiteral("vehicleBrand"), QStringLiteral("Audi")},
            {QStringLiteral("vehicleModel"), QStringLiteral("A3")},
            {QStringLiteral("fileSize"), n % 2 ? double(image.size()) : 1048576.0},
            {QStringLiteral("originalSha256"),
             n == 250 ? imageSha
                      : QString::fromLatin1(QCryptographicHash::hash(QByteArray::number(n),
                                                                     QCryptographicHash::Sha256)
                                                .toHex())},
            {QStringLiteral("savedAt"), QStringLiteral("06/12/2026 10:00")},
            {QStringLiteral("projectFormat"), 2}};
        ProjectFiles::writeJsonAtomically(folder + QStringLiteral("/project.json"), record);
    }

    const ProjectStore store(root);
    std::vector<double> times;
    qsizetype rows = 0;
    qsizetype identical = 0;
    for (int i = 0; i < 7; ++i) {
        QElapsedTimer timer;
        timer.start();
        const QList<ProjectMatch> matches = findProjectMatches(store, image, image.size(), id);
        times.push_back(timer.nsecsElapsed() / 1e6);
        rows = matches.size();
        identical = std::count_if(matches.cbegin(), matches.cend(), [](const ProjectMatch &m) {
            return m.label == QLatin1String("IDENTICO");
        });
    }
    std::sort(times.begin(), times.end());
    out << "findProjectMatches over " << projects << " saved projects, 2 MiB image, 7 runs "
        << "(target <= 500 ms)\n";
    out << QStringLiteral("%1 %2 %3 %4\n")
               .arg(QStringLiteral("min ms"), 10)
               .arg(QStringLiteral("median ms"), 10)
               .arg(QStringLiteral("rows"), 6)
               .arg(QStringLiteral("IDENTICO"), 9);
    out << QStringLiteral("%1 %2 %3 %4\n")
               .arg(times.front(), 10, 'f', 1)
               .arg(times[times.size() / 2], 10, 'f', 1)
               .arg(rows, 6)
               .arg(identical, 9);
    return 0;
}
