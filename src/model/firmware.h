#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class QFile;

// What decoding an Intel HEX text found wrong but worked around: lines that were dropped
// (too short, or with a digit that is not hexadecimal) and a missing end-of-file record.
struct IntelHexFindings
{
    std::size_t droppedLines = 0;
    std::size_t firstDroppedLine = 0; // 1-based; 0 when none was dropped
    bool endRecordMissing = false;

    // One text per finding, in the user's language; empty when the text was clean.
    std::vector<std::string> warnings() const;
};

// The image of one open document: the bytes being edited and the path they came from.
// Intel HEX files are decoded on load; every other file is taken byte for byte.
class Firmware
{
public:
    // Images larger than this are refused: no real ECU dump comes near it, and a hostile
    // Intel HEX file could otherwise ask for gigabytes.
    static constexpr std::size_t MaxImageSize = 256u * 1024u * 1024u;

    bool load(const std::string &path);
    bool save(const std::string &path) const;

    std::string fileName() const;
    std::string extension() const;

    std::vector<uint8_t> &data() { return m_data; }
    const std::vector<uint8_t> &data() const { return m_data; }
    std::size_t size() const { return m_data.size(); }
    void setData(const std::vector<uint8_t> &data) { m_data = data; }
    void setData(const char *bytes, std::size_t length) { m_data.assign(bytes, bytes + length); }

    const std::string &filePath() const { return m_filePath; }
    void setFilePath(const std::string &path) { m_filePath = path; }

    int byteAt(std::size_t offset) const { return offset < m_data.size() ? m_data[offset] : 0; }
    bool isValidOffset(std::size_t offset) const { return offset < m_data.size(); }

    // Why the last load or save failed, in the user's language; blank after success.
    const std::string &errorString() const { return m_error; }

    // What the last load worked around (see IntelHexFindings); empty after a clean load. The
    // image is usable, but the user must hear about it before trusting it.
    const std::vector<std::string> &loadWarnings() const { return m_warnings; }

    // How the last load read the file: decoded as Intel HEX, or taken byte for byte.
    enum class Format { Raw, IntelHex };
    Format format() const { return m_format; }

    // Decodes Intel HEX text into an image; false (with a reason) when it yields no image or
    // one larger than maxImageSize (a caller may set a lower bound than the loader's).
    static bool decodeIntelHex(const char *text, std::size_t length, std::vector<uint8_t> &image,
                               std::string *error = nullptr, IntelHexFindings *findings = nullptr,
                               std::size_t maxImageSize = MaxImageSize);

    // What every way of loading a file shares (this class and FirmwareFile). Opens the file
    // for reading with the checks every load makes (it opens, is not empty, is not larger than
    // an image or its Intel HEX text can be) and says whether it is Intel HEX by its name.
    static bool
    openImageFile(const std::string &path, QFile &file, bool *intelHex, std::string *error);
    // Decodes an open Intel HEX file into image, with the texts of what it worked around.
    static bool decodeIntelHexFile(QFile &file,
                                   std::vector<uint8_t> &image,
                                   std::string *error,
                                   std::vector<std::string> *warnings);
    // Writes bytes to path whole and atomically; false with the reason.
    static bool writeImage(const std::string &path,
                           const uint8_t *bytes,
                           std::size_t length,
                           std::string *error);
    // The part of a path after its last "/" or "\", and after its last ".".
    static std::string fileNameOf(const std::string &path);
    static std::string extensionOf(const std::string &path);

private:
    std::string m_filePath;
    std::vector<uint8_t> m_data;
    mutable std::string m_error;
    std::vector<std::string> m_warnings;
    Format m_format = Format::Raw;
};
