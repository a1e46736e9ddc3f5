#include "projects/projectfiles.h"
#include "projects/projectmatch.h"
#include "projects/projectstore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestProjectMatch : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_root;
    const QByteArray m_image = QByteArray(2048, '\x5a');
    const QByteArray m_other = QByteArray(2048, '\x11');

    static EcuIdentification loadedIdentification()
    {
        EcuIdentification id;
        id.ecuFamily = QStringLiteral("EDC17C46");
        id.softwareNumber = QStringLiteral("1037541778");
        id.hardwareNumber = QStringLiteral("0281017946");
        id.partNumber = QStringLiteral("03L906018JL");
        return id;
    }

    // A saved project whose original is `original`; fields override the record's texts.
    void addProject(const QString &name,
                    const QByteArray &original,
                    const QJsonObject &fields,
                    bool writeSha = true)
    {
        const QString folder = m_root + QLatin1Char('/') + name;
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/Originale")));
        QVERIFY(ProjectFiles::writeFileAtomically(
            folder + QStringLiteral("/Originale/firmware.bin"), original));
        QJsonObject record{{QStringLiteral("fileSize"), double(original.size())},
                           {QStringLiteral("vehicleBrand"), QStringLiteral("Audi")},
                           {QStringLiteral("vehicleModel"), QStringLiteral("A3")},
                           {QStringLiteral("customer"), QStringLiteral("Rossi")}};
        if (writeSha)
            record.insert(
                QStringLiteral("originalSha256"),
                QString::fromLatin1(QCryptographicHash::hash(original, QCryptographicHash::Sha256)
                                        .toHex()
                                        .toUpper()));
        for (auto it = fields.begin(); it != fields.end(); ++it)
            record.insert(it.key(), it.value());
        QVERIFY(
            ProjectFiles::writeJsonAtomically(folder + QStringLiteral("/project.json"), record));
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_root = m_dir->filePath(QStringLiteral("Projects"));
    }

    void matches_data()
    {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<QJsonObject>("fields");
        QTest::addColumn<bool>("writeSha");
        QTest::addColumn<QString>("label");

        const QJsonObject different{{QStringLiteral("ecu"), QStringLiteral("ME7.5")},
                                    {QStringLiteral("software"), QStringLiteral("x")},
                                    {QStringLiteral("hardware"), QStringLiteral("y")}};
        QTest::newRow("identical despite other texts")
            << m_image << different << true << "IDENTICO";
        QTest::newRow("identical by original file") << m_image << different << false << "IDENTICO";
        const QJsonObject two{{QStringLiteral("software"), QStringLiteral(" 1037541778 ")},
                              {QStringLiteral("hardware"), QStringLiteral("0281017946")}};
        QTest::newRow("similar: two fields, same size") << m_other << two << true << "SIMILE";
        const QJsonObject caseless{{QStringLiteral("ecu"), QStringLiteral("edc17c46")},
                                   {QStringLiteral("ecuNumber"), QStringLiteral("03l906018jl")}};
        QTest::newRow("similar ignoring case") << m_other << caseless << true << "SIMILE";
        const QJsonObject one{{QStringLiteral("software"), QStringLiteral("1037541778")}};
        QTest::newRow("one field is not enough") << m_other << one << true << "";
        QJsonObject otherSize = two;
        otherSize.insert(QStringLiteral("fileSize"), 4096);
        QTest::newRow("other size") << m_other << otherSize << true << "";
        const QJsonObject blanks{{QStringLiteral("ecu"), QString()},
                                 {QStringLiteral("software"), QStringLiteral(" ")}};
        QTest::newRow("blank texts never match") << m_other << blanks << true << "";
    }

    void matches()
    {
        QFETCH(QByteArray, original);
        QFETCH(QJsonObject, fields);
        QFETCH(bool, writeSha);
        QFETCH(QString, label);
        addProject(QStringLiteral("saved"), original, fields, writeSha);
        ProjectStore store(m_root);
        // The file on disk may be bigger than the image (Intel HEX); fileSize compares with it.
        const QList<ProjectMatch> matches
            = findProjectMatches(store, m_image, 2048, loadedIdentification());
        if (label.isEmpty()) {
            QVERIFY(matches.isEmpty());
            return;
        }
        QCOMPARE(matches.size(), 1);
        QCOMPARE(matches.first().label, label);
        QCOMPARE(matches.first().name, QStringLiteral("saved"));
        QCOMPARE(matches.first().vehicle, QStringLiteral("Audi A3"));
        QCOMPARE(matches.first().customer, QStringLiteral("Rossi"));
        QCOMPARE(QDir::cleanPath(matches.first().folder),
                 QDir::cleanPath(m_root + QStringLiteral("/saved")));
    }

    void brokenProjectsAreSkippedAndOrderKept()
    {
        addProject(QStringLiteral("b"), m_image, {});
        addProject(QStringLiteral("a"), m_image, {});
        addProject(QStringLiteral("c"), m_image, {});
        QVERIFY(QFile::remove(m_root + QStringLiteral("/c/Originale/firmware.bin")));
        QDir().mkpath(m_root + QStringLiteral("/d/Originale"));
        ProjectFiles::writeFileAtomically(m_root + QStringLiteral("/d/Originale/firmware.bin"),
                                          m_image);
        ProjectFiles::writeFileAtomically(m_root + QStringLiteral("/d/project.json"), "not json");
        const QList<ProjectMatch> matches
            = findProjectMatches(ProjectStore(m_root), m_image, 2048, {});
        QCOMPARE(matches.size(), 2);
        QCOMPARE(matches.at(0).name, QStringLiteral("a"));
        QCOMPARE(matches.at(1).name, QStringLiteral("b"));
    }

    void noRootNoMatches()
    {
        QVERIFY(findProjectMatches(ProjectStore(m_root), m_image, 2048, {}).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestProjectMatch)
#include "tst_projectmatch.moc"
