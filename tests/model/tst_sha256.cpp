#include "model/fingerprint.h"
#include "model/sha256.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtTest>

#include "testsupport.h"

// The digest has its own path on processors with SHA instructions; it must agree with the
// reference for every tail length and padding case.
class TestSha256 : public QObject
{
    Q_OBJECT

private slots:
    void fingerprints_data()
    {
        testsupport::addColumns<QByteArray, QString>({"input", "digest"});
        QTest::newRow("empty")
            << QByteArray() << "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
        QTest::newRow("abc") << QByteArray("abc")
                             << "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    }

    void fingerprints()
    {
        QFETCH(QByteArray, input);
        QTEST(imageFingerprint(input), "digest");
    }

    // Every length across the first block and padding boundaries, and one long random image.
    void sameAsReference()
    {
        QByteArray bytes(1000003, Qt::Uninitialized);
        QRandomGenerator generator{7};
        for (char &c : bytes)
            c = char(generator.generate());
        for (int length = 0; length <= 300; ++length) {
            const QByteArrayView part(bytes.constData(), length);
            QVERIFY2(sha256(part) == QCryptographicHash::hash(part, QCryptographicHash::Sha256),
                     qPrintable(QString::number(length)));
        }
        QCOMPARE(sha256(bytes), QCryptographicHash::hash(bytes, QCryptographicHash::Sha256));
    }
};

QTEST_GUILESS_MAIN(TestSha256)
#include "tst_sha256.moc"
