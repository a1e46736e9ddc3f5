#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

// The addresses an image's own code names. Code loads the address of a table or an axis as an
// immediate word after an instruction byte; which instruction byte, and how much of the address
// the word holds (the low 16 bits, or the low 14 of a paged address), differs between processor
// families, so it is learnt from the image: from addresses known to start a structure (counts
// in front of stored axes), against addresses drawn evenly from the same stretch. An image
// whose code follows no such rule gives no references, and nothing is named.
class CodeReferences
{
public:
    // anchors: addresses where structures are known to start; they need not be sorted or unique.
    static CodeReferences learn(const uint8_t *image, qint64 size, std::vector<qint64> anchors);

    bool empty() const { return forms.empty(); }
    // Whether a word of the code names this address (by the forms learnt).
    bool named(qint64 address) const;
    // "0xE6 + parola di 14 bit (LoHi)", the forms learnt, for the evidence of a reading.
    QString description() const;
    // A word of the code that names an address by a form learnt: where it stands, and the
    // bits of the address it holds (the low 14 or 16).
    struct Load
    {
        // (in 16 bytes, as an image holds hundreds of thousands of these; images are read no
        // further than 2 GiB)
        qint32 at = 0;
        quint32 word = 0;
        quint8 bits = 16;
        bool littleEndian = true;
        // Where in the image the word points, when the image's paging is learnt and says so;
        // -1 where it cannot be told, or where the word is the page of the load before it.
        qint32 address = -1;
        bool names(qint64 address) const
        {
            return (quint32(address) & ((1u << bits) - 1)) == word;
        }
    };
    // Every such word of the image, in the order they stand.
    std::vector<Load> loads(const uint8_t *image, qint64 size) const;
    // The same words handed to use one at a time, without their addresses, for a pass that
    // needs no list of them.
    void
    scan(const uint8_t *image, qint64 size, const std::function<void(const Load &)> &use) const;

private:
    // How a word becomes an address. Paged code loads a page number right after a 14-bit
    // offset: the address is (page - firstPage) pages of 16 KiB plus the offset. Other loads
    // hold the address less a base, one for each value of the word's top two bits.
    static constexpr qint64 PageBytes = 0x4000;
    void learnPaging(const uint8_t *image, qint64 size, const std::vector<qint64> &anchors);
    std::vector<Load> rawLoads(const uint8_t *image, qint64 size) const;
    qint64 firstPage = -1;
    std::array<qint64, 4> base{{-1, -1, -1, -1}};

    struct Form
    {
        int bits = 16;
        bool littleEndian = true;
        uint8_t instruction = 0;
        std::vector<uint64_t> words; // one bit per value of the immediate word
    };
    std::vector<Form> forms;
};
