// The image loader: Intel HEX text decoded in memory and through a ".hex" file, and any bytes
// saved and loaded again as a raw image.
#include "fuzzcheck.h"
#include "model/firmware.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// Images up to the loader's 256 MiB take seconds under the sanitizers; in memory the text is
// decoded with a lower bound, and only texts within it also take the file road.
constexpr std::size_t FuzzImageLimit = 1024u * 1024;

std::string noDataMessage()
{
    std::vector<uint8_t> image;
    std::string error;
    Firmware::decodeIntelHex("", 0, image, &error);
    return error;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string noData = noDataMessage();
    static QTemporaryDir dir(fuzzScratchRoot() + QStringLiteral("/tessa-fuzz-XXXXXX"));
    static const std::string hexPath = QDir(dir.path()).filePath(QStringLiteral("image.hex")).toStdString();
    static const std::string rawPath = QDir(dir.path()).filePath(QStringLiteral("image.bin")).toStdString();

    std::vector<uint8_t> image;
    std::string error;
    IntelHexFindings findings;
    const bool decoded = Firmware::decodeIntelHex(reinterpret_cast<const char *>(data), size, image,
                                                  &error, &findings, FuzzImageLimit);
    if (decoded) {
        TESSA_FUZZ_CHECK(!image.empty() && image.size() <= FuzzImageLimit);
    } else {
        TESSA_FUZZ_CHECK(!error.empty());
    }
    TESSA_FUZZ_CHECK((findings.droppedLines == 0 && !findings.endRecordMissing)
                     == findings.warnings().empty());

    Firmware written;
    written.setData(reinterpret_cast<const char *>(data), size);
    TESSA_FUZZ_CHECK(written.save(rawPath) && written.save(hexPath));

    // The file road gives what the memory road gives, or a reason.
    Firmware hex;
    const bool withinLimit = decoded || error == noData;
    const bool loaded = withinLimit && hex.load(hexPath);
    TESSA_FUZZ_CHECK(loaded || !withinLimit || !hex.errorString().empty());
    if (size > 0 && withinLimit) {
        TESSA_FUZZ_CHECK(loaded == decoded);
        if (loaded)
            TESSA_FUZZ_CHECK(hex.data() == image);
    }

    Firmware raw;
    const bool rawLoaded = raw.load(rawPath);
    TESSA_FUZZ_CHECK(rawLoaded == (size > 0));
    if (rawLoaded)
        TESSA_FUZZ_CHECK(raw.data() == written.data() && raw.loadWarnings().empty());
    else
        TESSA_FUZZ_CHECK(!raw.errorString().empty());
    return 0;
}
