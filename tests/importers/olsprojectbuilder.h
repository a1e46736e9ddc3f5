#pragma once

#include <QByteArray>
#include <QtEndian>

#include <cstring>

// What every kind of WinOLS map record carries; text is the unit of a conversion-method record
// and the description of an object record.
struct OlsRecord
{
    QByteArray name;
    quint32 columns = 1;
    quint32 rows = 1;
    double factor = 1;
    double offset = 0;
    quint32 start = 0;
    quint32 end = 0;
    QByteArray text;
};

// Writes the pieces of a WinOLS-style project the way the parser expects to find them:
// little-endian words and doubles, length-prefixed Latin-1 strings.
class OlsProjectBuilder
{
public:
    explicit OlsProjectBuilder(const QByteArray &signature = "WinOLS File") { string(signature); }

    // The signature, an optional vendor text, and a 64 KiB firmware size as a length-prefixed
    // hexadecimal text: the fallback of a project without the usual size texts.
    static OlsProjectBuilder project(const QByteArray &vendor = {})
    {
        OlsProjectBuilder b;
        b.zeros(8);
        if (!vendor.isEmpty())
            b.string(vendor);
        return b.string("010000").zeros(8);
    }
    static QByteArray boschMarker()
    {
        return QByteArray("\x02\x00\x00\x00\x03\x00\x00\x00\x02\x00\x00\x00\x0A\x00\x00\x00", 16);
    }

    QByteArray bytes() const { return m_bytes; }
    qsizetype size() const { return m_bytes.size(); }

    OlsProjectBuilder &raw(const QByteArray &bytes)
    {
        m_bytes.append(bytes);
        return *this;
    }
    OlsProjectBuilder &u32(quint32 value)
    {
        const quint32 le = qToLittleEndian(value);
        return raw(QByteArray(reinterpret_cast<const char *>(&le), 4));
    }
    OlsProjectBuilder &f64(double value)
    {
        quint64 bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        bits = qToLittleEndian(bits);
        return raw(QByteArray(reinterpret_cast<const char *>(&bits), 8));
    }
    OlsProjectBuilder &string(const QByteArray &text)
    {
        return u32(quint32(text.size())).raw(text);
    }
    OlsProjectBuilder &zeros(qsizetype count) { return raw(QByteArray(count, '\0')); }
    OlsProjectBuilder &padTo(qsizetype position) { return zeros(position - size()); }
    OlsProjectBuilder &tail(const OlsRecord &r)
    {
        return f64(r.factor).f64(r.offset).u32(r.start).u32(r.end);
    }

    // Found by its "Conversion method" text; the dimensions lie 24 and 20 bytes before it.
    OlsProjectBuilder &conversion(const OlsRecord &r)
    {
        string(r.name).u32(r.columns).u32(r.rows).zeros(16).raw("Conversion method").zeros(1);
        return string(r.text).tail(r);
    }
    // A Bosch object record: the marker, the name at +24, then layout A or B.
    OlsProjectBuilder &bosch(const OlsRecord &r, bool layoutB = false)
    {
        return raw(boschMarker()).zeros(4).object(r, layoutB);
    }
    // What follows an object record's name length: name, NUL, dimensions, description, tail.
    OlsProjectBuilder &object(const OlsRecord &r, bool layoutB = false)
    {
        string(r.name).zeros(1);
        const qsizetype e = size();
        padTo(e + (layoutB ? 116 : 61)).u32(r.columns).u32(r.rows).padTo(e + (layoutB ? 140 : 85));
        if (layoutB && r.text.isEmpty())
            u32(quint32(-1));
        else
            string(r.text).zeros(layoutB ? 0 : 1);
        return tail(r);
    }
    // Four small words, the 0A marker, the name at +12, dimensions 40 bytes after it, tail.
    OlsProjectBuilder &generic(const OlsRecord &r, bool sixteenBit = false)
    {
        u32(1).u32(sixteenBit ? 2 : 5).u32(2).u32(2).u32(0x0A).zeros(4).string(r.name);
        return zeros(40).u32(r.columns).u32(r.rows).tail(r);
    }

private:
    QByteArray m_bytes;
};
