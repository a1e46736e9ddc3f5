#include "firmwarefile.h"

#include "firmware.h"

#include <QFile>

FirmwareFile::FirmwareFile()
    : m_file(std::make_unique<QFile>())
{
}

FirmwareFile::~FirmwareFile()
{
    close();
}

void FirmwareFile::close()
{
    if (m_mapped)
        m_file->unmap(const_cast<uchar *>(m_mapped));
    m_mapped = nullptr;
    m_file->close();
    m_bytes = nullptr;
    m_size = 0;
    m_decoded.clear();
}

bool FirmwareFile::open(const std::string &path)
{
    close();
    m_filePath = path;
    m_error.clear();
    m_warnings.clear();
    if (!Firmware::openImageFile(path, *m_file, &m_intelHex, &m_error))
        return false;
    if (m_intelHex) {
        if (!Firmware::decodeIntelHexFile(*m_file, m_decoded, &m_error, &m_warnings))
            return false;
        m_file->close();
    } else if (uchar *mapped = m_file->map(0, m_file->size())) {
        m_mapped = mapped;
        m_bytes = mapped;
        m_size = std::size_t(m_file->size());
        return true;
    } else {
        m_decoded.resize(std::size_t(m_file->size()));
        if (m_file->read(reinterpret_cast<char *>(m_decoded.data()), m_file->size())
            != m_file->size()) {
            m_error = "Errore durante la lettura del file.";
            m_decoded.clear();
            return false;
        }
        m_file->close();
    }
    m_bytes = m_decoded.data();
    m_size = m_decoded.size();
    return true;
}

std::string FirmwareFile::fileName() const
{
    return Firmware::fileNameOf(m_filePath);
}
