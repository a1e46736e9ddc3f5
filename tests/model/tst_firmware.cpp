#include "model/firmware.h"
#include "model/firmwarefile.h"

#include <QFile>
#include <QtTest>

#include "testsupport.h"

#include <memory>

using ByteList = QList<QPair<qint64, int>>;

namespace {

// One Intel HEX record; the checksum is left wrong on purpose, the decoder does not check it.
QByteArray rec(int count, int address, int type, const char *data = "")
{
    return ":" + QByteArray::number(count, 16).rightJustified(2, '0')
           + QByteArray::number(address, 16).rightJustified(4, '0').toUpper()
           + QByteArray::number(type, 16).rightJustified(2, '0') + QByteArray(data) + "00\n";
}

} // namespace

class TestFirmware : public QObject
{
    Q_OBJECT

    testsupport::TempFolder m_dir;

private slots:
    void intelHex_data()
    {
        // size (0: refused); bytes (offset -> expected byte)
        testsupport::addColumns<QByteArray, qint64, ByteList, int, int, bool>(
            {"text", "size", "bytes", "droppedLines", "firstDroppedLine", "endRecordMissing"});
        const char *sixteen = "000102030405060708090A0B0C0D0E0F";
        // dropped and firstDropped: the lines left out; endMissing: no end record.
        const auto row = [](const char *tag, const QByteArray &text, qint64 size,
                            const ByteList &bytes, int dropped = 0, int firstDropped = 0,
                            bool endMissing = true) {
            QTest::newRow(tag) << text << size << bytes << dropped << firstDropped << endMissing;
        };
        row("0x80000000 base, data 0x10000 above",
            rec(2, 0, 4, "8001") + rec(16, 0, 0, sixteen) + rec(0, 0, 1), 0x10010,
            {{0, 0xFF}, {0xFFFF, 0xFF}, {0x10000, 0}, {0x1000F, 15}}, 0, 0, false);
        row("later record overwrites, lower-case digits", rec(2, 0, 0, "1111") + ":01000100abff\n",
            2, {{0, 0x11}, {1, 0xAB}});
        row("CRLF, last line without newline", ":0100000077FF\r\n:0100010088FF", 2,
            {{0, 0x77}, {1, 0x88}});
        row("short data line dropped whole", QByteArray(":04000000AABB\n") + rec(1, 4, 0, "CC"), 1,
            {{0, 0xCC}}, 1, 1);
        row("data ending at the line's end, no checksum", ":02000000AABB\n", 2,
            {{0, 0xAA}, {1, 0xBB}});
        row("type 04 ending at the line's end, between records",
            rec(1, 0, 0, "01") + ":020000040001\n" + rec(1, 0, 0, "02"), 0x10001,
            {{0, 1}, {0x10000, 2}});
        row("type 02 between records",
            rec(1, 0, 0, "01") + rec(2, 0, 2, "0001") + rec(1, 0, 0, "02"), 0x11,
            {{0, 1}, {0x10, 2}});
        row("0x80000000 base, data at the window's last byte",
            rec(2, 0, 4, "80FF") + rec(1, 0xFFFF, 0, "01"), 0x1000000, {{0, 0xFF}, {0xFFFFFF, 1}});
        row("type 04 and 02 with count 1 keep the base",
            rec(1, 0, 4, "80") + rec(1, 0, 2, "10") + rec(1, 5, 0, "66"), 1, {{0, 0x66}});
        row("end record stops reading, a 10-character one does not",
            rec(1, 0, 0, "01") + ":00000001F\n" + rec(1, 1, 0, "02") + rec(0, 0, 1)
                + rec(1, 2, 0, "03"),
            2, {{1, 2}}, 1, 2, false);
        row("garbage lines and a non-hex data digit skipped",
            QByteArray("hello\n:zz000000\n\n :0100000011EE\n:02000000AXCD00\n")
                + rec(1, 2, 0, "07"),
            1, {{0, 7}}, 4, 1);
        row("count runs past the line end, nothing read beyond", ":FF000000AABBCCDD00\n", 0, {}, 1,
            1);
        row("no data, only count 0", rec(0, 0, 0) + rec(0, 0, 1), 0, {}, 0, 0, false);
        row("span over 256 MiB refused",
            rec(1, 0, 0, "01") + rec(2, 0, 4, "7FFF") + rec(1, 0xFFF0, 0, "02"), 0, {});
        row("record running past 4 GiB refused, no wrap",
            rec(2, 0, 4, "FFFF") + rec(1, 0xFFFF, 0, "01") + rec(2, 0, 4, "0000")
                + rec(1, 0, 0, "02"),
            0, {});
    }

    void intelHex()
    {
        QFETCH(QByteArray, text);
        QFETCH(qint64, size);
        QFETCH(ByteList, bytes);
        Firmware fw;
        QCOMPARE(fw.load(m_dir.write(QStringLiteral("image.hex"), text).toStdString()), size > 0);
        QCOMPARE(fw.errorString().empty(), size > 0);
        QCOMPARE(qint64(fw.size()), size);
        for (const auto &[offset, value] : bytes)
            QCOMPARE(fw.byteAt(size_t(offset)), value);

        QFETCH(int, droppedLines);
        QFETCH(int, firstDroppedLine);
        QFETCH(bool, endRecordMissing);
        std::vector<uint8_t> image;
        IntelHexFindings findings;
        Firmware::decodeIntelHex(text.constData(), std::size_t(text.size()), image, nullptr,
                                 &findings);
        QCOMPARE(int(findings.droppedLines), droppedLines);
        QCOMPARE(int(findings.firstDroppedLine), firstDroppedLine);
        QCOMPARE(findings.endRecordMissing, endRecordMissing);
        // Only an image that opens carries its findings, one text each.
        const std::size_t texts = size > 0 ? (droppedLines > 0) + endRecordMissing : 0;
        QCOMPARE(fw.loadWarnings().size(), texts);
    }

    void intelHexSizeCap()
    {
        std::vector<uint8_t> image;
        const QByteArray text = rec(4, 0, 0, "01020304");
        QVERIFY(Firmware::decodeIntelHex(text.constData(), std::size_t(text.size()), image, nullptr,
                                         nullptr, 4));
        QVERIFY(!Firmware::decodeIntelHex(text.constData(), std::size_t(text.size()), image,
                                          nullptr, nullptr, 3));
    }

    // Damaged text must give a clean refusal or a bounded image, never a read outside the
    // text (run under the sanitizers to see that).
    void corruptedIntelHexIsHandled()
    {
        QByteArray valid = rec(2, 0, 4, "8000");
        for (int i = 0; i < 64; ++i)
            valid += rec(16, i * 16, 0, QByteArray(16, char(i)).toHex().constData());
        valid += rec(0, 0, 1);
        const char alphabet[] = ":0123456789ABCDEFabcdefXZ\r\n ";
        quint32 state = 12345;
        auto next = [&state] { return ((state = state * 1103515245u + 12345u) >> 8) & 0xFFFFFF; };
        auto letter = [&] { return alphabet[next() % (sizeof(alphabet) - 1)]; };
        for (int round = 0; round < 2000; ++round) {
            QByteArray text = valid;
            for (int e = 1 + int(next() % 12); e > 0; --e) {
                const int at = int(next() % quint32(text.size()));
                switch (next() % 3) {
                case 0:
                    text[at] = letter();
                    break;
                case 1:
                    text.remove(at, int(next() % 40));
                    break;
                default:
                    text.insert(at, letter());
                }
            }
            if (next() % 4 == 0)
                text.truncate(int(next() % quint32(text.size())));
            // Decode from an exact-size heap copy so that an overread is caught.
            std::unique_ptr<char[]> exact(new char[std::size_t(qMax(1, int(text.size())))]);
            std::copy(text.cbegin(), text.cend(), exact.get());
            std::vector<uint8_t> image;
            std::string error;
            if (Firmware::decodeIntelHex(exact.get(), std::size_t(text.size()), image, &error))
                QVERIFY(!image.empty() && image.size() <= Firmware::MaxImageSize);
            else
                QVERIFY(!error.empty());
        }
    }

    // The name comes from either kind of separator; the extension alone decides decoding.
    void namesAndDecoding_data()
    {
        testsupport::addColumns<QString, bool, QString, QString>(
            {"fileName", "decoded", "path", "extension"});
        QTest::newRow("unix, upper case") << "ECU.HEX" << true << "/a/b/ECU.HEX"
                                          << "HEX";
        QTest::newRow("windows") << "x.ihx" << true << "C:\\dumps\\x.ihx"
                                 << "ihx";
        QTest::newRow("S-records are raw") << "ecu.s19" << false << "/a/ecu.s19"
                                           << "s19";
        QTest::newRow("no dot") << "dump" << false << "/a/dump"
                                << "";
        QTest::newRow("two dots") << "hex.tar.gz" << false << "hex.tar.gz"
                                  << "gz";
    }

    void namesAndDecoding()
    {
        QFETCH(QString, path);
        QFETCH(QString, fileName);
        QFETCH(bool, decoded);
        Firmware fw;
        fw.setFilePath(path.toStdString());
        QCOMPARE(QString::fromStdString(fw.fileName()), fileName);
        QTEST(QString::fromStdString(fw.extension()), "extension");
        const QByteArray text = ":02000000ABCD00\n";
        QVERIFY(fw.load(m_dir.write(fileName, text).toStdString()));
        QCOMPARE(qint64(fw.size()), decoded ? 2 : text.size());
    }

    void byteAtOutside()
    {
        Firmware fw;
        fw.setData({1, 2, 3});
        QCOMPARE(fw.byteAt(2), 3);
        QCOMPARE(fw.byteAt(fw.size()), 0);
        QCOMPARE(fw.byteAt(size_t(-1)), 0);
        QVERIFY(fw.isValidOffset(2) && !fw.isValidOffset(3));
    }

    void rawRoundTripAndSave()
    {
        QByteArray bytes(4096, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7);
        Firmware fw;
        QVERIFY(fw.load(m_dir.write(QStringLiteral("dump.ori"), bytes).toStdString()));
        const QString out = m_dir.filePath(QStringLiteral("out.bin"));
        QVERIFY(fw.save(out.toStdString()));
        QCOMPARE(testsupport::readFile(out), bytes);
        QVERIFY(!fw.save(m_dir.filePath(QStringLiteral("missing/dir/out.bin")).toStdString()));
        QVERIFY(!fw.errorString().empty());
    }

    void refusedFilesKeepTheImage_data()
    {
        // size (-1: no such file)
        testsupport::addColumns<QString, qint64>({"name", "size"});
        QTest::newRow("missing") << "nope.bin" << qint64(-1);
        QTest::newRow("raw, 0 bytes") << "empty.bin" << qint64(0);
        QTest::newRow("Intel HEX, 0 bytes") << "empty.hex" << qint64(0);
        QTest::newRow("raw over 256 MiB") << "huge.bin" << qint64(Firmware::MaxImageSize) + 1;
        QTest::newRow("Intel HEX text over 1 GiB")
            << "huge.hex" << qint64(Firmware::MaxImageSize) * 4 + 1;
    }

    void refusedFilesKeepTheImage()
    {
        QFETCH(QString, name);
        QFETCH(qint64, size);
        // A sparse file: the size is what counts, nothing needs to be written.
        QFile f(m_dir.filePath(name));
        if (size >= 0) {
            QVERIFY(f.open(QIODevice::WriteOnly));
            if (!f.resize(size))
                QSKIP("the file system cannot hold a sparse file of this size");
            f.close();
        }
        Firmware fw;
        fw.setData({9});
        QVERIFY(!fw.load(f.fileName().toStdString()));
        QVERIFY(!fw.errorString().empty());
        QCOMPARE(fw.size(), std::size_t(1));
        QFile::remove(f.fileName());
    }

    // Tools that only read an image use FirmwareFile (a raw file mapped, not copied); it must
    // accept, decode and refuse exactly what Firmware::load does, with the same texts.
    void readOnlyFileAgrees_data()
    {
        // content ("-" for no file at all)
        testsupport::addColumns<QString, QByteArray>({"name", "content"});
        QTest::newRow("raw") << "dump.bin" << QByteArray::fromHex("00ff10ef");
        QTest::newRow("raw, 1 byte") << "one.ori" << QByteArray(1, 'x');
        QTest::newRow("raw, 0 bytes") << "empty.bin" << QByteArray();
        QTest::newRow("missing") << "nope.bin" << QByteArray("-");
        QTest::newRow("Intel HEX") << "dump.HEX" << rec(4, 0x10, 0, "01020304") + rec(0, 0, 1);
        QTest::newRow("Intel HEX, a bad line and no end record")
            << "dump.ihx" << rec(2, 0, 0, "AABB") + ":02000200ZZ\n" + rec(1, 4, 0, "CC");
        QTest::newRow("Intel HEX without data") << "none.hex" << rec(0, 0, 1);
    }

    void readOnlyFileAgrees()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        const std::string path = m_dir.filePath(name).toStdString();
        if (content != "-")
            m_dir.write(name, content);
        Firmware firmware;
        FirmwareFile file;
        const bool loaded = firmware.load(path);
        QCOMPARE(file.open(path), loaded);
        QCOMPARE(file.errorString(), firmware.errorString());
        QCOMPARE(file.loadWarnings(), firmware.loadWarnings());
        if (loaded) {
            QCOMPARE(std::vector<uint8_t>(file.data(), file.data() + file.size()), firmware.data());
            QCOMPARE(file.fileName(), firmware.fileName());
            QCOMPARE(file.isIntelHex(), name.endsWith(QLatin1String("hex"), Qt::CaseInsensitive)
                                            || name.endsWith(QLatin1String(".ihx")));
        }
    }

    // The largest raw image is taken, one byte more is not; mapped, neither is read whole.
    void readOnlyFileSizeLimit_data()
    {
        testsupport::addColumns<qint64, bool>({"size", "accepted"});
        QTest::newRow("256 MiB") << qint64(Firmware::MaxImageSize) << true;
        QTest::newRow("256 MiB and a byte") << qint64(Firmware::MaxImageSize) + 1 << false;
    }

    void readOnlyFileSizeLimit()
    {
        QFETCH(qint64, size);
        QFETCH(bool, accepted);
        QFile f(m_dir.filePath(QStringLiteral("limit.bin")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (!f.resize(size))
            QSKIP("the file system cannot hold a sparse file of this size");
        f.close();
        FirmwareFile file;
        QCOMPARE(file.open(f.fileName().toStdString()), accepted);
        QCOMPARE(file.size(), accepted ? std::size_t(size) : std::size_t(0));
        if (accepted)
            QCOMPARE(file.data()[size - 1], uint8_t(0));
        QFile::remove(f.fileName());
    }
};

QTEST_GUILESS_MAIN(TestFirmware)
#include "tst_firmware.moc"
