#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QFile;

// A firmware file's image for reading only, under the rules, limits and messages of
// Firmware::load. A raw file is mapped rather than read: its bytes come straight from the
// system's file cache, with no buffer to allocate, clear and fill, which is most of what
// reading a dump costs a tool that only looks at it (identification, fingerprint,
// comparison). Intel HEX is decoded as Firmware::load decodes it.
class FirmwareFile
{
public:
    FirmwareFile();
    ~FirmwareFile();
    FirmwareFile(const FirmwareFile &) = delete;
    FirmwareFile &operator=(const FirmwareFile &) = delete;

    bool open(const std::string &path);

    const uint8_t *data() const { return m_bytes; }
    std::size_t size() const { return m_size; }
    bool isIntelHex() const { return m_intelHex; }
    const std::string &filePath() const { return m_filePath; }
    std::string fileName() const;

    // Why open failed, in the user's language; blank after success.
    const std::string &errorString() const { return m_error; }
    // What decoding worked around, as Firmware::loadWarnings().
    const std::vector<std::string> &loadWarnings() const { return m_warnings; }

private:
    void close();

    std::unique_ptr<QFile> m_file;
    std::string m_filePath;
    const uint8_t *m_bytes = nullptr;
    std::size_t m_size = 0;
    const uint8_t *m_mapped = nullptr;
    std::vector<uint8_t> m_decoded; // Intel HEX, or a raw file the system would not map
    bool m_intelHex = false;
    std::string m_error;
    std::vector<std::string> m_warnings;
};
