#include "checksums/checksummodule.h"
#include "checksums/hexmodelchecksums.h"
#include "checksums/rsasignature.h"
#include "hex/hexmodel.h"
#include "me7image.h"

#include <QCryptographicHash>
#include <QtTest>

#include "testsupport.h"

#include <functional>

using namespace me7image;
using Edit = std::function<void(QByteArray &)>;
Q_DECLARE_METATYPE(Edit)

namespace {

QStringList wrongKinds(const ChecksumReport &report)
{
    QStringList kinds;
    for (const ChecksumBlock &block : report.blocks)
        if (!block.ok)
            kinds << block.kind;
    return kinds;
}

// The block of a kind whose value lies at offset.
const ChecksumBlock *blockAt(const ChecksumReport &report, qint64 valueOffset)
{
    for (const ChecksumBlock &block : report.blocks)
        if (block.valueOffset == valueOffset)
            return &block;
    return nullptr;
}

QString sharedImage(const QString &name)
{
    return QStringLiteral(TESSA_SHARED_DATA_DIR "/") + name;
}

QByteArray md5OfRanges(const QByteArray &image)
{
    QCryptographicHash md5(QCryptographicHash::Md5);
    for (const auto &r : kMd5Ranges)
        md5.addData(image.mid(r[0], r[1] - r[0] + 1));
    return md5.result();
}

// The sealed image signed with a maker's key; every other value still right.
QByteArray signedImage()
{
    QByteArray image = sealed();
    putRsaLayout(image);
    const RsaSignature::KeyPair maker
        = RsaSignature::generateKey(3, 128, QByteArrayLiteral("maker"));
    image.replace(kRsaModulus, 128, maker.modulus);
    image.replace(kRsaSignature, 128, RsaSignature::sign(maker, md5OfRanges(image)));
    return image;
}

} // namespace

class TestChecksums : public QObject
{
    Q_OBJECT

private slots:
    // Every kind of block on an image whose values were worked out by hand.
    void knownValues_data()
    {
        testsupport::addColumns<qint64, QString, qint64, quint32>(
            {"size", "kind", "valueOffset", "value"});
        for (const qint64 size : {512 * 1024, 1024 * 1024}) {
            const QByteArray tag = QByteArray::number(size / 1024) + " KiB ";
            auto row = [&](const char *name, const char *kind, qint64 offset, quint32 value) {
                QTest::newRow(QByteArray(tag + name).constData())
                    << size << QString::fromLatin1(kind) << offset << value;
            };
            row("ROMSYS startup", "romsys-startup", 0x8038, kStartup);
            row("ROMSYS program pages", "romsys-program-pages", 0x803c, kProgramPages);
            row("ROMSYS parameter page", "romsys-param-page", kParamValue, kParam);
            for (int i = 0; i < 3; ++i)
                row(QByteArray("main data CRC " + QByteArray::number(i + 1)).constData(),
                    "main-data-crc", kCrcValues + 4 * i, kCrc[i]);
            row("main data byte sum", "main-data-checksum", kDataSum, kDataSumValue);
            row("main program", "main-program", size - 0x20, kMainProgram);
            row("multipoint boot block", "multipoint", kMultipointTable + 8, kMultipoint[0]);
            row("multipoint data", "multipoint", kMultipointTable + 2 * 16 + 8, kMultipoint[2]);
            row("multipoint over checksum values", "multipoint", kMultipointTable + 3 * 16 + 8,
                kMultipoint[3]);
            row("multipoint over its own table", "multipoint", kMultipointTable + 4 * 16 + 8,
                kMultipoint[4]);
        }
    }

    void knownValues()
    {
        QFETCH(qint64, size);
        QFETCH(QString, kind);
        QFETCH(qint64, valueOffset);
        QFETCH(quint32, value);
        const ChecksumReport report = checkImage(sealed(size));
        QCOMPARE(report.module, QStringLiteral("ME7"));
        QCOMPARE(report.blocks.size(), 13);
        const ChecksumBlock *block = blockAt(report, valueOffset);
        QVERIFY(block);
        QCOMPARE(block->kind, kind);
        QCOMPARE(block->computed, value);
        QCOMPARE(block->stored, value);
        QVERIFY(block->ok);
        QVERIFY(report.corrections.isEmpty());
    }

    // An edit makes exactly the blocks that cover it wrong; correcting them (and the blocks
    // whose areas hold the corrected values) makes the image whole, and a second correction
    // has nothing left to do.
    void correction_data()
    {
        testsupport::addColumns<Edit, QStringList, int>({"edit", "wrong", "corrected"});
        QTest::newRow("main data byte")
            << Edit([](QByteArray &i) { i[0x10104] = 'x'; })
            << QStringList{"main-data-crc", "main-data-checksum"} << 3; // + multipoint over values
        QTest::newRow("multipoint area word")
            << Edit([](QByteArray &i) { put16(i, 0x20010, 0x4321); })
            << QStringList{"main-program", "multipoint"} << 2;
        QTest::newRow("ROMSYS startup word")
            << Edit([](QByteArray &i) { put16(i, 0xfffe, 0x2223); })
            << QStringList{"romsys-startup", "romsys-program-pages"} << 3; // + main program
        QTest::newRow("parameter page last word")
            << Edit([](QByteArray &i) { put16(i, 0x1fffe, 0x0201); })
            << QStringList{"romsys-param-page"} << 1;
        QTest::newRow("several blocks at once")
            << Edit([](QByteArray &i) {
                   i[0x10300] = 'b';
                   put16(i, 0x20020, 0x0002);
                   put16(i, 0x1fffe, 0x0201);
               })
            << QStringList{"romsys-param-page", "main-data-crc", "main-data-checksum",
                           "main-program", "multipoint"}
            << 6; // + multipoint over the CRC values
        QTest::newRow("stored complement only")
            << Edit([](QByteArray &i) { put32(i, kDataSum + 4, 0); })
            // The pair lies in a multipoint block, which is right again once the pair is.
            << QStringList{"main-data-checksum", "multipoint"} << 1;
    }

    void correction()
    {
        QFETCH(Edit, edit);
        QFETCH(QStringList, wrong);
        QByteArray image = sealed();
        edit(image);
        const ChecksumReport before = checkImage(image);
        QCOMPARE(wrongKinds(before), wrong);
        QCOMPARE(checksumStatusText(before),
                 wrong.size() == 1
                     ? QStringLiteral("Checksum: 1 blocco errato")
                     : QStringLiteral("Checksum: %1 blocchi errati").arg(wrong.size()));

        const QByteArray fixed = applyChecksumChanges(image, before.corrections);
        QTEST(blocksTouched(before.blocks, before.corrections), "corrected");
        const ChecksumReport after = checkImage(fixed);
        QVERIFY2(after.allOk(), qPrintable(wrongKinds(after).join(u',')));
        QCOMPARE(checksumStatusText(after), QStringLiteral("Checksum: OK"));
        QVERIFY(after.corrections.isEmpty());
        // Nothing but stored values changed.
        for (const ChecksumByteChange &change : before.corrections) {
            bool inValue = false;
            for (const ChecksumBlock &block : after.blocks)
                inValue = inValue
                          || (change.offset >= block.valueOffset
                              && change.offset + change.bytes.size()
                                     <= block.valueOffset + block.valueSize);
            QVERIFY2(inValue, qPrintable(QString::number(change.offset, 16)));
        }
    }

    // The last multipoint block covers its own table entry. Its stored pair (value and
    // complement) adds a constant to the sum wherever it is, so covering all of it or none of
    // it can be corrected; covering the value without its complement has no fixed point, and
    // the image gets no writes rather than some.
    void ownValueCovered_data()
    {
        testsupport::addColumns<qint64, bool>({"end", "correctable"});
        const qint64 value = kMultipointTable + 4 * 16 + 8;
        QTest::newRow("ends before the value") << value - 1 << true;
        QTest::newRow("ends inside the value") << value + 1 << false;
        QTest::newRow("ends with the value, before its complement") << value + 3 << false;
        QTest::newRow("ends with the complement") << value + 7 << true;
    }

    void ownValueCovered()
    {
        QFETCH(qint64, end);
        QFETCH(bool, correctable);
        QByteArray image = sealed();
        put32(image, kMultipointTable + 4 * 16 + 4, kBase + quint32(end));
        putPair(image, kMultipointTable + 4 * 16 + 8, 0x12345);
        const ChecksumReport report = checkImage(image);
        QVERIFY(!report.allOk());
        QCOMPARE(report.uncorrectable(), !correctable);
        QCOMPARE(report.corrections.isEmpty(), !correctable);
        if (correctable)
            QVERIFY(checkImage(applyChecksumChanges(image, report.corrections)).allOk());
    }

    // A 512 KiB program in a 1 MiB image, known by its erased second half or by its own
    // descriptor: its program pages end at 0x7ffff and its main program sum lies before that
    // end. A written second half and a descriptor that runs to 0xfffff make a 1 MiB image,
    // which those values do not fit.
    void erasedSecondHalf_data()
    {
        testsupport::addColumns<QByteArray, int, QStringList>({"image", "blocks", "wrong"});
        const QByteArray erased = erasedToOneMiB(sealed(512 * 1024));
        QByteArray written = erased;
        written[0xc0010] = '\0';
        QByteArray described = written;
        put32(described, kMainDescriptor + 12, kBase + 0xfffff);
        QTest::newRow("erased") << erased << 13 << QStringList{};
        QTest::newRow("written, described to 0x7ffff") << written << 13 << QStringList{};
        QTest::newRow("written, described to 0xfffff")
            << described << 12 << QStringList{"romsys-program-pages"};
    }

    void erasedSecondHalf()
    {
        QFETCH(QByteArray, image);
        const ChecksumReport report = checkImage(image);
        QTEST(int(report.blocks.size()), "blocks");
        QTEST(wrongKinds(report), "wrong");
        QCOMPARE(blockAt(report, 0x803c)->computed == kProgramPages, report.allOk());
        QCOMPARE(blockAt(report, 512 * 1024 - 0x20) != nullptr, report.allOk());
    }

    // The fixed main data areas of 512 KiB images whose code names only where the values lie,
    // also with a second half of erased flash: a byte in the last area is found and corrected.
    void fixedMainDataAreas_data()
    {
        QTest::addColumn<bool>("erased");
        QTest::newRow("512 KiB") << false;
        QTest::newRow("second half erased") << true;
    }

    void fixedMainDataAreas()
    {
        QFETCH(bool, erased);
        QByteArray image = fixedAreasLayout();
        image = applyChecksumChanges(image, checkImage(image).corrections);
        if (erased)
            image = erasedToOneMiB(image);
        QVERIFY(checkImage(image).allOk());
        image[0x1c000] = '\x01';
        const ChecksumReport edited = checkImage(image);
        const ChecksumBlock *crc = blockAt(edited, kFixedCrcValues + 8);
        QVERIFY(crc);
        QCOMPARE(crc->covered.size(), 1);
        QCOMPARE(crc->start(), qint64(0x18191));
        QCOMPARE(crc->end(), qint64(0x1fbff));
        QCOMPARE(wrongKinds(edited), (QStringList{"main-data-crc", "main-data-checksum"}));
        const ChecksumReport after = checkImage(applyChecksumChanges(image, edited.corrections));
        QVERIFY2(after.allOk(), qPrintable(wrongKinds(after).join(u',')));
    }

    // Damaged and foreign images: not recognised, or reported without the broken part; never a
    // read outside the image (the sanitizer build checks that) and never an endless walk.
    void hostile_data()
    {
        testsupport::addColumns<Edit, bool, int, QString>(
            {"edit", "recognised", "blocks", "evidence"});
        const int all = 13;
        QTest::newRow("empty") << Edit([](QByteArray &i) { i.clear(); }) << false << 0 << "0 byte";
        QTest::newRow("truncated by one byte")
            << Edit([](QByteArray &i) { i.chop(1); }) << false << 0 << "1048575 byte";
        QTest::newRow("one byte too many")
            << Edit([](QByteArray &i) { i.append('\0'); }) << false << 0 << "1048577 byte";
        QTest::newRow("all 0xff") << Edit([](QByteArray &i) { i.fill('\xff'); }) << false << 0
                                  << "multipoint principale non trovata";
        QTest::newRow("multipoint block ends at the last byte")
            << Edit([](QByteArray &i) { put32(i, kMultipointTable + 2 * 16 + 4, kBase + 0xfffff); })
            << true << all << "5 blocchi";
        QTest::newRow("multipoint block ends past the image") << Edit([](QByteArray &i) {
            put32(i, kMultipointTable + 2 * 16 + 4, kBase + 0x100000);
        }) << true << all - 1 << "voce 3 non valida";
        QTest::newRow("multipoint block starts after its end")
            << Edit([](QByteArray &i) { put32(i, kMultipointTable + 2 * 16, kBase + 0x30000); })
            << true << all - 1 << "voce 3 non valida";
        QTest::newRow("multipoint table without end marker") << Edit([](QByteArray &i) {
            for (int e = 5; e < 80; ++e)
                putDescriptor(i, e, kBase + 0x20000, kBase + 0x2ffff, 0);
        }) << true << all - 5 + 66 << "66 blocchi";
        QTest::newRow("parameter value in the last four bytes")
            << Edit([](QByteArray &i) { put32(i, 0x8010, kBase + 0xffffc); }) << true << all
            << "pagina dei parametri a 0xffffc";
        QTest::newRow("parameter value past the end")
            << Edit([](QByteArray &i) { put32(i, 0x8010, kBase + 0xffffd); }) << true << all - 1
            << "pagina dei parametri fuori";
        QTest::newRow("parameter words past the end")
            << Edit([](QByteArray &i) { put32(i, 0x8034, kBase + 0x100000); }) << true << all - 1
            << "pagina dei parametri fuori";
        QTest::newRow("CRC value address past the end") << Edit([](QByteArray &i) {
            // The third load's high half: 0x0091 points 64 KiB past a 1 MiB image.
            const qint64 third = kCodeArea + 3 * 12 + 3 * 12 + 2 * 16 + 10;
            put16(i, third, 0x0090);
        }) << true << all - 3 << "Dati principali: 3 aree, somma";
        QTest::newRow("main program descriptor reversed") << Edit([](QByteArray &i) {
            put32(i, kMainDescriptor + 8, kBase + 0xfffff);
            put32(i, kMainDescriptor + 12, kBase + 0x20000);
        }) << true << all - 1 << "Somma del programma principale non trovata";
        QTest::newRow("ROMSYS without boot word") << Edit([](QByteArray &i) { put16(i, 0, 0); })
                                                  << false << 0 << "ROMSYS: descrittore assente";
    }

    void hostile()
    {
        QFETCH(Edit, edit);
        QFETCH(bool, recognised);
        QFETCH(int, blocks);
        QFETCH(QString, evidence);
        QByteArray image = sealed();
        edit(image);
        const ChecksumReport report = checkImage(image);
        const ChecksumRecognition found = checksumModules().front()->recognise(image);
        QCOMPARE(found.recognised, recognised);
        QVERIFY2(found.evidence.join(u'\n').contains(evidence),
                 qPrintable(found.evidence.join(u'\n')));
        QCOMPARE(report.recognised(), recognised);
        QCOMPARE(report.blocks.size(), blocks);
        // An image nobody recognises still says why.
        QVERIFY(report.evidence.join(u'\n').contains(evidence));
        // Whatever was found can be corrected, and the correction holds.
        const ChecksumReport after = checkImage(applyChecksumChanges(image, report.corrections));
        QCOMPARE(after.wrongBlocks(), 0);
    }

    void randomImagesDoNotCrash()
    {
        QRandomGenerator random(15);
        for (const qint64 size : {512 * 1024, 1024 * 1024}) {
            QByteArray image(size, '\0');
            random.fillRange(reinterpret_cast<quint32 *>(image.data()), size / 4);
            const ChecksumReport report = checkImage(image);
            QVERIFY(!report.recognised() || report.blocks.size() >= 1);
        }
    }

    // One undo step takes the whole correction back; a second correction writes nothing.
    void correctionThroughTheHexModel()
    {
        HexModel model;
        model.setFirmware(sealed());
        QByteArray edited = sealed();
        edited[0x10104] = 'x';
        edited[0x20020] = '\x07';
        model.setCurrentData(edited);
        const int undoDepth = int(model.undoStack().size());

        QCOMPARE(correctChecksums(model, checkModel(model)), 5);
        QCOMPARE(model.undoStack().size(), undoDepth + 1);
        QVERIFY(checkModel(model).allOk());
        QCOMPARE(correctChecksums(model, checkModel(model)), 0);
        QCOMPARE(model.undoStack().size(), undoDepth + 1);

        model.undo();
        QCOMPARE(model.currentData(), edited);
        model.redo();
        QVERIFY(checkModel(model).allOk());
    }

    void rsaSignature_data()
    {
        testsupport::addColumns<Edit, QStringList>({"edit", "wrong"});
        QTest::newRow("as signed") << Edit([](QByteArray &) {}) << QStringList{};
        QTest::newRow("byte in a signed area")
            << Edit([](QByteArray &i) { i[0x10150] = '\x01'; }) << QStringList{"rsa-signature"};
        QTest::newRow("byte of the key")
            << Edit([](QByteArray &i) { i[kRsaModulus + 5] = char(i.at(kRsaModulus + 5) ^ 1); })
            << QStringList{"rsa-signature"};
        QTest::newRow("byte of the signature")
            << Edit([](QByteArray &i) { i[kRsaSignature + 9] = char(i.at(kRsaSignature + 9) ^ 1); })
            << QStringList{"rsa-signature"};
        QTest::newRow("signed CRC area")
            << Edit([](QByteArray &i) { i[0x10100] = '0'; })
            << QStringList{"main-data-crc", "main-data-checksum", "rsa-signature"};
    }

    void rsaSignature()
    {
        QFETCH(Edit, edit);
        QFETCH(QStringList, wrong);
        QByteArray image = signedImage();
        edit(image);
        const ChecksumReport before = checkImage(image);
        QCOMPARE(before.blocks.size(), 14);
        QCOMPARE(wrongKinds(before), wrong);
        const ChecksumBlock *rsa = blockAt(before, kRsaSignature);
        QVERIFY(rsa);
        QCOMPARE(rsa->computedBytes, md5OfRanges(image));

        const QByteArray fixed = applyChecksumChanges(image, before.corrections);
        const ChecksumReport after = checkImage(fixed);
        QVERIFY2(after.allOk(), qPrintable(wrongKinds(after).join(u',')));
        QVERIFY(after.corrections.isEmpty());
        // A wrong signature gets a key of the image's own; a right one keeps the maker's.
        QCOMPARE(fixed.mid(kRsaModulus, 128) != image.mid(kRsaModulus, 128),
                 wrong.contains(QStringLiteral("rsa-signature")));
        QCOMPARE(RsaSignature::recoverDigest(fixed.mid(kRsaSignature, 128),
                                             fixed.mid(kRsaModulus, 128), 3, 16),
                 md5OfRanges(fixed));
        // The same image is always signed with the same key.
        QCOMPARE(applyChecksumChanges(image, checkImage(image).corrections), fixed);
    }

    void rsaDamaged_data()
    {
        testsupport::addColumns<Edit, QString>({"edit", "evidence"});
        QTest::newRow("exponent 2")
            << Edit([](QByteArray &i) { putRsaLayout(i, 2); }) << "Firma RSA: chiave non valida";
        QTest::newRow("signature in the last 127 bytes") << Edit([](QByteArray &i) {
            put16(i, kCodeArea + 0x100 + 6, quint16(0x100000 - 127));
            put16(i, kCodeArea + 0x100 + 10, 0x008f);
        }) << "Firma RSA: chiave non valida";
        QTest::newRow("signed area past the end")
            << Edit([](QByteArray &i) { put32(i, kMd5Table + 16, kBase + 0x100000); })
            << "Firma RSA: area firmata 1 non valida";
        QTest::newRow("signed area reversed")
            << Edit([](QByteArray &i) { put32(i, kMd5Table, kBase + 0x20000); })
            << "Firma RSA: area firmata 1 non valida";
        QTest::newRow("key of zeros")
            << Edit([](QByteArray &i) { i.replace(kRsaModulus, 128, QByteArray(128, '\0')); })
            << "Firma RSA a 0x1a000";
    }

    // A damaged key or table leaves the signature out (and says why); nothing is read outside
    // the image and a key of zeros divides nothing by zero.
    void rsaDamaged()
    {
        QFETCH(Edit, edit);
        QFETCH(QString, evidence);
        QByteArray image = signedImage();
        edit(image);
        const ChecksumReport report = checkImage(image);
        QVERIFY2(report.evidence.join(u'\n').contains(evidence),
                 qPrintable(report.evidence.join(u'\n')));
        const bool listed = blockAt(report, kRsaSignature) != nullptr;
        QCOMPARE(listed, evidence.startsWith(QStringLiteral("Firma RSA a")));
    }

    // The published ME7 images carry correct checksums; an edit in a covered area and its
    // correction leave them whole again. The Volvo images keep their checksums elsewhere: they
    // are not recognised, so nothing in them is called wrong.
    void realImages_data()
    {
        testsupport::addColumns<QString, int>({"file", "blocks"});
        QTest::newRow("006410010A0, signed") << "ecu/006410010A0.bin" << 70;
        QTest::newRow("022906032CS") << "ecu/022906032CS.bin" << 72;
        QTest::newRow("06A906032T") << "ecu/06A906032T.bin" << 41;
        QTest::newRow("8D0907551N") << "ecu/8D0907551N.bin" << 73;
        for (const char *name :
             {"8D0907551L", "8D0907551M-0001", "8D0907551M-0002", "8D0907551M-0002-16bit-kfzw"})
            QTest::newRow(name)
                << QStringLiteral("definitions/me7-8D0907551/%1.bin").arg(QLatin1String(name))
                << 73;
        for (const char *name : {"50GMHJ-22GMJVD0-AUT-AWD-US", "50GSHJ-22GSI-AUT-AWD-US"})
            QTest::newRow(name) << QStringLiteral("definitions/me7-volvo-50GMHJ-50GSHJ/%1.bin")
                                       .arg(QLatin1String(name))
                                << 0;
    }

    void realImages()
    {
        QFETCH(QString, file);
        QFETCH(int, blocks);
        QByteArray image = testsupport::readFile(sharedImage(file));
        if (image.isEmpty())
            QSKIP("the shared ME7 images are not here");
        const ChecksumReport report = checkImage(image);
        if (blocks == 0) {
            QVERIFY(!report.recognised());
            QVERIFY(report.corrections.isEmpty());
            return;
        }
        QCOMPARE(report.module, QStringLiteral("ME7"));
        QCOMPARE(report.blocks.size(), blocks);
        QVERIFY2(report.allOk(), qPrintable(wrongKinds(report).join(u',')));
        QVERIFY(report.corrections.isEmpty());

        // A map value in the first main data area.
        const qint64 offset = report.blocks.at(2).start() + 0x400;
        image[offset] = char(image.at(offset) ^ 0x5a);
        const ChecksumReport edited = checkImage(image);
        QVERIFY(edited.wrongBlocks() > 0);
        const QByteArray fixed = applyChecksumChanges(image, edited.corrections);
        const ChecksumReport after = checkImage(fixed);
        QVERIFY2(after.allOk(), qPrintable(wrongKinds(after).join(u',')));
        QVERIFY(after.corrections.isEmpty());
        QCOMPARE(fixed.at(offset), image.at(offset));
    }
};

QTEST_GUILESS_MAIN(TestChecksums)
#include "tst_checksums.moc"
