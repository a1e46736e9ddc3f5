#include "model/sha256.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtTest>

class TestSha256 : public QObject
{
    Q_OBJECT

private slots:
    void knownDigests_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("digest");
        QTest::newRow("empty")
            << QByteArray()
            << QByteArray("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
        QTest::newRow("abc")
            << QByteArray("abc")
            << QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        QTest::newRow("two blocks")
            << QByteArray("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")
            << QByteArray("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    }

    void knownDigests()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, digest);
        QCOMPARE(sha256(input).toHex(), digest);
    }

    // Every length around the block and padding boundaries, and a long random image.
    void sameAsPortableCode_data()
    {
        QTest::addColumn<int>("length");
        for (int n : {1, 55, 56, 57, 63, 64, 65, 119, 120, 127, 128, 129, 1000, 4096, 1000003})
            QTest::newRow(qPrintable(QString::number(n))) << n;
    }

    void sameAsPortableCode()
    {
        QFETCH(int, length);
        QByteArray bytes(length, Qt::Uninitialized);
        QRandomGenerator generator{quint32(length)};
        for (char &c : bytes)
            c = char(generator.generate());
        QCOMPARE(sha256(bytes), QCryptographicHash::hash(bytes, QCryptographicHash::Sha256));
    }
};

QTEST_GUILESS_MAIN(TestSha256)
#include "tst_sha256.moc"
