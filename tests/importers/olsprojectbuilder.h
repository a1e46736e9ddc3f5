#pragma once

#include <QByteArray>
#include <QtEndian>

#include <cstring>

// Writes the pieces of a WinOLS-style project the way the parser expects to find them:
// little-endian words and doubles, length-prefixed Latin-1 strings.
class OlsProjectBuilder
{
public:
    explicit OlsProjectBuilder(const QByteArray &signature = QByteArrayLiteral("WinOLS File"))
    {
        string(signature);
    }

    qsizetype size() const { return m_bytes.size(); }
    QByteArray bytes() const { return m_bytes; }

    OlsProjectBuilder &u32(quint32 value)
    {
        char raw[4];
        qToLittleEndian(value, raw);
        m_bytes.append(raw, 4);
        return *this;
    }
    OlsProjectBuilder &f64(double value)
    {
        quint64 bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        char raw[8];
        qToLittleEndian(bits, raw);
        m_bytes.append(raw, 8);
        return *this;
    }
    OlsProjectBuilder &string(const QByteArray &text)
    {
        u32(quint32(text.size()));
        m_bytes.append(text);
        return *this;
    }
    OlsProjectBuilder &raw(const QByteArray &bytes)
    {
        m_bytes.append(bytes);
        return *this;
    }
    OlsProjectBuilder &zeros(qsizetype count)
    {
        m_bytes.append(QByteArray(count, '\0'));
        return *this;
    }
    // Pads with zeros up to an absolute position.
    OlsProjectBuilder &padTo(qsizetype position)
    {
        if (position > m_bytes.size())
            zeros(position - m_bytes.size());
        return *this;
    }

    // A record found by its "Conversion method" text; dimensions 24 and 20 bytes before it.
    OlsProjectBuilder &conversionRecord(const QByteArray &name,
                                        quint32 rows,
                                        quint32 columns,
                                        const QByteArray &unit,
                                        double factor,
                                        double offset,
                                        quint32 start,
                                        quint32 end)
    {
        string(name);
        u32(columns).u32(rows).zeros(16);
        raw(QByteArrayLiteral("Conversion method")).zeros(1);
        string(unit).f64(factor).f64(offset).u32(start).u32(end);
        return *this;
    }

    // A Bosch object record: the 16-byte marker, the name at +24, then layout A or B.
    OlsProjectBuilder &boschRecord(const QByteArray &name,
                                   quint32 columns,
                                   quint32 rows,
                                   const QByteArray &description,
                                   double factor,
                                   double offset,
                                   quint32 start,
                                   quint32 end,
                                   bool layoutB = false)
    {
        raw(QByteArray("\x02\x00\x00\x00\x03\x00\x00\x00\x02\x00\x00\x00\x0A\x00\x00\x00", 16));
        zeros(4);
        return objectBody(name, columns, rows, description, factor, offset, start, end, layoutB);
    }

    // What follows a record's name length: name, NUL, dimensions, description, scaling, range.
    OlsProjectBuilder &objectBody(const QByteArray &name,
                                  quint32 columns,
                                  quint32 rows,
                                  const QByteArray &description,
                                  double factor,
                                  double offset,
                                  quint32 start,
                                  quint32 end,
                                  bool layoutB = false)
    {
        string(name).zeros(1);
        const qsizetype e = m_bytes.size();
        if (!layoutB) {
            padTo(e + 61).u32(columns).u32(rows);
            padTo(e + 85).string(description).zeros(1);
        } else {
            padTo(e + 116).u32(columns).u32(rows);
            padTo(e + 140);
            if (description.isEmpty())
                u32(quint32(-1));
            else
                string(description);
        }
        return f64(factor).f64(offset).u32(start).u32(end);
    }

    // A generic record: four small words, the 0A marker, the name at +12, dimensions 40 bytes
    // after the name, then scaling and range.
    OlsProjectBuilder &genericRecord(const QByteArray &name,
                                     quint32 columns,
                                     quint32 rows,
                                     double factor,
                                     double offset,
                                     quint32 start,
                                     quint32 end,
                                     bool sixteenBit = false)
    {
        u32(1).u32(sixteenBit ? 2 : 5).u32(2).u32(2).u32(0x0A).zeros(4);
        string(name);
        zeros(40).u32(columns).u32(rows);
        return f64(factor).f64(offset).u32(start).u32(end);
    }

    // The embedded firmware, with its size written as a length-prefixed hexadecimal text.
    OlsProjectBuilder &firmware(const QByteArray &image)
    {
        m_bytes.append(image);
        return *this;
    }

private:
    QByteArray m_bytes;
};
