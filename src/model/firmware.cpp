#include "firmware.h"

#include <QFile>
#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

QString toQPath(const std::string &path)
{
    return QString::fromStdString(path);
}

// Value of two hex digits, indexed by (first char << 8) | second char; -1 when either one is
// not a hex digit. One lookup per byte keeps decoding of tens of MiB of text quick.
const int16_t *hexPairTable()
{
    static const std::vector<int16_t> table = [] {
        auto digit = [](int c) {
            if (c >= '0' && c <= '9')
                return c - '0';
            if (c >= 'a' && c <= 'f')
                return c - 'a' + 10;
            if (c >= 'A' && c <= 'F')
                return c - 'A' + 10;
            return -1;
        };
        std::vector<int16_t> t(65536);
        for (int hi = 0; hi < 256; ++hi)
            for (int lo = 0; lo < 256; ++lo) {
                const int h = digit(hi);
                const int l = digit(lo);
                t[std::size_t(hi << 8 | lo)] = int16_t((h < 0 || l < 0) ? -1 : (h << 4 | l));
            }
        return t;
    }();
    return table.data();
}

// Two hex digits at line[pos]; -1 when they are missing or not hexadecimal.
inline int hexByte(const int16_t *table, const char *line, std::size_t length, std::size_t pos)
{
    if (pos + 2 > length)
        return -1;
    return table[std::size_t(uint8_t(line[pos])) << 8 | uint8_t(line[pos + 1])];
}

inline int hexWord(const int16_t *table, const char *line, std::size_t length, std::size_t pos)
{
    const int hi = hexByte(table, line, length, pos);
    const int lo = hexByte(table, line, length, pos + 2);
    return (hi < 0 || lo < 0) ? -1 : (hi << 8) | lo;
}

struct HexRecord
{
    uint32_t address;
    uint32_t count;
    std::size_t digitsAt; // where the record's data digits start in the text
};

} // namespace

std::vector<std::string> IntelHexFindings::warnings() const
{
    std::vector<std::string> texts;
    if (droppedLines > 0)
        texts.push_back(QStringLiteral("Righe Intel HEX scartate perché non valide: %1 (la prima è "
                                       "la riga %2).")
                            .arg(qulonglong(droppedLines))
                            .arg(qulonglong(firstDroppedLine))
                            .toStdString());
    if (endRecordMissing)
        texts.push_back("Manca il record di fine file Intel HEX: il file potrebbe essere troncato.");
    return texts;
}

bool Firmware::decodeIntelHex(const char *text, std::size_t length, std::vector<uint8_t> &image,
                              std::string *error, IntelHexFindings *findings,
                              std::size_t maxImageSize)
{
    IntelHexFindings found;
    std::size_t lineNumber = 0;
    // A line that is not blank and yields no usable record is dropped; counting it lets the
    // caller tell the user that the image is incomplete instead of opening it silently.
    auto drop = [&found, &lineNumber] {
        if (found.droppedLines++ == 0)
            found.firstDroppedLine = lineNumber;
    };
    bool endRecordSeen = false;
    const int16_t *table = hexPairTable();
    // The image's base and size are known only after the last record, so the records are
    // checked in this pass and their digits decoded straight into the image afterwards:
    // reading the text twice costs less than holding a second copy of the image.
    std::vector<HexRecord> records;
    uint32_t base = 0;
    uint64_t lowest = UINT64_MAX;
    uint64_t highest = 0;

    std::size_t pos = 0;
    while (pos < length) {
        const char *nl = static_cast<const char *>(memchr(text + pos, '\n', length - pos));
        std::size_t end = nl ? std::size_t(nl - text) : length;
        const std::size_t next = nl ? end + 1 : length;
        if (end > pos && text[end - 1] == '\r')
            --end;
        const char *line = text + pos;
        const std::size_t lineLength = end - pos;
        pos = next;
        ++lineNumber;

        if (lineLength < 11 || line[0] != ':') {
            if (std::any_of(line, line + lineLength,
                            [](char c) { return !std::isspace(uint8_t(c)); }))
                drop();
            continue;
        }
        const int count = hexByte(table, line, lineLength, 1);
        const int addrHi = hexByte(table, line, lineLength, 3);
        const int addrLo = hexByte(table, line, lineLength, 5);
        const int type = hexByte(table, line, lineLength, 7);
        if (count < 0 || addrHi < 0 || addrLo < 0 || type < 0) {
            drop();
            continue;
        }

        if (type == 0) {
            // The whole record is dropped when the line ends before its data does.
            if (count == 0)
                continue; // legal, and nothing to place
            if (9 + std::size_t(count) * 2 > lineLength) {
                drop();
                continue;
            }
            const char *digits = line + 9;
            int invalid = 0;
            for (int i = 0; i < count; ++i)
                invalid |= table[std::size_t(uint8_t(digits[2 * i])) << 8
                                 | uint8_t(digits[2 * i + 1])];
            if (invalid < 0) {
                drop(); // a record with a non-hex data digit is dropped whole as well
                continue;
            }
            const uint32_t address = uint32_t((addrHi << 8) | addrLo) + base; // 32-bit wrap
            records.push_back({address, uint32_t(count), std::size_t(digits - text)});
            lowest = std::min<uint64_t>(lowest, address);
            // 64-bit end: a record that runs past 0xFFFFFFFF must not wrap to a small end.
            highest = std::max<uint64_t>(highest, uint64_t(address) + uint64_t(count));
        } else if (type == 1) {
            endRecordSeen = true;
            break;
        } else if (type == 2 && count > 1) {
            const int w = hexWord(table, line, lineLength, 9);
            if (w >= 0)
                base = uint32_t(w) * 16u;
        } else if (type == 4 && count > 1) {
            const int w = hexWord(table, line, lineLength, 9);
            if (w >= 0)
                base = uint32_t(w) << 16;
        }
    }

    found.endRecordMissing = !endRecordSeen;
    if (findings)
        *findings = found;

    if (records.empty() || lowest >= highest) {
        if (error)
            *error = "Il file Intel HEX non contiene dati utilizzabili.";
        return false;
    }

    const uint64_t imageBase = (uint32_t(uint32_t(lowest) - 0x80000000u) <= 0xFFFFFFu)
                                   ? 0x80000000u
                                   : lowest;
    // The base is never above the lowest record, so every record lands inside the image.
    if (highest <= imageBase || highest - imageBase > maxImageSize) {
        if (error)
            *error = "Il file Intel HEX descrive un'immagine troppo grande (oltre 256 MiB).";
        return false;
    }
    const std::size_t size = std::size_t(highest - imageBase);
    image.assign(size, 0xFF);
    for (const HexRecord &r : records) {
        const uint64_t offset = uint64_t(r.address) - imageBase;
        if (offset >= size)
            continue;
        const std::size_t n = std::size_t(std::min<uint64_t>(r.count, size - offset));
        const char *digits = text + r.digitsAt;
        uint8_t *out = image.data() + offset;
        for (std::size_t i = 0; i < n; ++i)
            out[i] = uint8_t(table[std::size_t(uint8_t(digits[2 * i])) << 8
                                   | uint8_t(digits[2 * i + 1])]);
    }
    return true;
}

bool Firmware::openImageFile(const std::string &path,
                             QFile &file,
                             bool *intelHex,
                             std::string *error)
{
    std::string ext = extensionOf(path);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    *intelHex = ext == "hex" || ext == "ihx";
    file.setFileName(toQPath(path));
    if (!file.open(QIODevice::ReadOnly)) {
        *error = "Impossibile aprire il file.";
        return false;
    }
    // Intel HEX text is a bit over twice the image size; allow for that plus line overhead.
    const qint64 limit = *intelHex ? qint64(MaxImageSize) * 4 : qint64(MaxImageSize);
    if (file.size() > limit) {
        *error = "Il file è troppo grande (oltre 256 MiB).";
        return false;
    }
    // An empty document could never be saved as a project; a 0-byte dump is a failed read.
    if (file.size() == 0) {
        *error = "Il file è vuoto (0 byte): non contiene un'immagine firmware.";
        return false;
    }
    return true;
}

bool Firmware::decodeIntelHexFile(QFile &file,
                                  std::vector<uint8_t> &image,
                                  std::string *error,
                                  std::vector<std::string> *warnings)
{
    IntelHexFindings findings;
    // Read, not mapped: a mapped file that another program shortens while it is decoded ends
    // the process (SIGBUS), where a read text is only shorter. The peak is the same, since
    // the pages of a mapped text count as resident as soon as they are read.
    const QByteArray text = file.readAll();
    const bool ok
        = decodeIntelHex(text.constData(), std::size_t(text.size()), image, error, &findings);
    if (ok && warnings)
        *warnings = findings.warnings();
    return ok;
}

bool Firmware::load(const std::string &path)
{
    m_filePath = path;
    m_error.clear();
    m_warnings.clear();
    QFile file;
    bool intelHex = false;
    if (!openImageFile(path, file, &intelHex, &m_error))
        return false;
    m_format = intelHex ? Format::IntelHex : Format::Raw;

    if (intelHex) {
        std::vector<uint8_t> image;
        if (!decodeIntelHexFile(file, image, &m_error, &m_warnings))
            return false;
        m_data.swap(image);
        return true;
    }

    std::vector<uint8_t> bytes(std::size_t(file.size()));
    qint64 total = 0;
    while (total < qint64(bytes.size())) {
        const qint64 n = file.read(reinterpret_cast<char *>(bytes.data()) + total,
                                   qint64(bytes.size()) - total);
        if (n <= 0)
            break;
        total += n;
    }
    if (total != qint64(bytes.size())) {
        m_error = "Errore durante la lettura del file.";
        return false;
    }
    m_data.swap(bytes);
    return true;
}

bool Firmware::save(const std::string &path) const
{
    m_error.clear();
    return writeImage(path, m_data.data(), m_data.size(), &m_error);
}

bool Firmware::writeImage(const std::string &path,
                          const uint8_t *bytes,
                          std::size_t length,
                          std::string *error)
{
    // Written whole to a temporary file and renamed, so an interrupted save never leaves
    // half an image where a good one was.
    QSaveFile file(toQPath(path));
    if (!file.open(QIODevice::WriteOnly)) {
        *error = "Impossibile scrivere il file.";
        return false;
    }
    if (length > 0
        && file.write(reinterpret_cast<const char *>(bytes), qint64(length)) != qint64(length)) {
        file.cancelWriting();
        *error = "Errore durante la scrittura del file.";
        return false;
    }
    if (!file.commit()) {
        *error = "Errore durante la scrittura del file.";
        return false;
    }
    return true;
}

std::string Firmware::fileName() const
{
    return fileNameOf(m_filePath);
}

std::string Firmware::extension() const
{
    return extensionOf(m_filePath);
}

std::string Firmware::fileNameOf(const std::string &path)
{
    const std::size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string Firmware::extensionOf(const std::string &path)
{
    const std::size_t dot = path.find_last_of('.');
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}
