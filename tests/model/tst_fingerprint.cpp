#include "model/fingerprint.h"

#include <QCryptographicHash>
#include <QtTest>

// The fingerprint has its own hashing path on processors with SHA instructions; it must agree
// with the reference digest for every tail length and padding case.
class TestFingerprint : public QObject
{
    Q_OBJECT

private slots:
    void knownDigests_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("digest");
        QTest::newRow("empty")
            << QByteArray() << "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
        QTest::newRow("abc") << QByteArray("abc")
                             << "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
        QTest::newRow("two blocks")
            << QByteArray("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")
            << "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1";
        QTest::newRow("million a")
            << QByteArray(1000000, 'a')
            << "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";
    }

    void knownDigests()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, digest);
        QCOMPARE(imageFingerprint(input), digest);
    }

    void agreesWithReferenceForEveryTailLength()
    {
        QByteArray data(300, Qt::Uninitialized);
        for (int i = 0; i < data.size(); ++i)
            data[i] = char(i * 131 + 7);
        for (int length = 0; length <= data.size(); ++length) {
            const QByteArray part = data.left(length);
            const QString expected = QString::fromLatin1(
                QCryptographicHash::hash(part, QCryptographicHash::Sha256).toHex());
            QVERIFY2(imageFingerprint(part) == expected, qPrintable(QString::number(length)));
        }
    }
};

QTEST_GUILESS_MAIN(TestFingerprint)
#include "tst_fingerprint.moc"
