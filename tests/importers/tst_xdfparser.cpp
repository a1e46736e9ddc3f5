#include "importers/xdfparser.h"
#include "importers/xdfwriter.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include "testsupport.h"

namespace {

QByteArray document(const QByteArray &body, const QByteArray &header = {})
{
    return "<!-- test -->\n<XDFFORMAT version=\"1.70\"><XDFHEADER>"
           "<CATEGORY index=\"0x0\" name=\"Accensione\" /><CATEGORY index=\"0x1\" name=\"Turbo\" />"
           + header + "</XDFHEADER>" + body + "</XDFFORMAT>";
}

QByteArray embedded(const QByteArray &attributes)
{
    return "<EMBEDDEDDATA " + attributes + " />";
}

// A table whose Z is described by zAttributes; axes are given whole (or left out).
QByteArray table(const QByteArray &zAttributes,
                 const QByteArray &x = {},
                 const QByteArray &y = {},
                 const QByteArray &equation = "X",
                 const QByteArray &extra = {})
{
    return "<XDFTABLE uniqueid=\"0x10\"><title>T</title><description>D</description>"
           "<CATEGORYMEM index=\"0\" category=\"2\" />"
           + extra + x + y + "<XDFAXIS id=\"z\">" + embedded(zAttributes) + "<MATH equation=\""
           + equation + "\"><VAR id=\"X\" /></MATH></XDFAXIS></XDFTABLE>";
}

QByteArray stored(const char *id,
                  const QByteArray &attributes,
                  int count,
                  const QByteArray &equation = "X",
                  const QByteArray &embedInfo = "type=\"1\"")
{
    return QByteArray("<XDFAXIS id=\"") + id + "\" uniqueid=\"0x0\">" + embedded(attributes)
           + "<indexcount>" + QByteArray::number(count) + "</indexcount><embedinfo " + embedInfo
           + " /><MATH equation=\"" + equation + "\"><VAR id=\"X\" /></MATH></XDFAXIS>";
}

QString notesText(const XdfParser::Result &r)
{
    QStringList lines;
    for (const XdfParser::Note &n : r.notes)
        lines << QString::number(n.kind) + u' ' + n.title + QStringLiteral(": ") + n.reason;
    return lines.join(u'\n');
}

MapDefinition only(const XdfParser::Result &r)
{
    if (r.maps.size() != 1)
        qWarning("maps: %lld, error: %s, notes: %s", qlonglong(r.maps.size()),
                 qPrintable(r.errorMessage), qPrintable(notesText(r)));
    return r.maps.value(0);
}

} // namespace

class TestXdfParser : public QObject
{
    Q_OBJECT
private slots:
    // Each type flag, checked on the value it gives from known bytes.
    void typeFlags_data()
    {
        testsupport::addColumns<QByteArray, QByteArray, int, int, bool, double>(
            {"attributes", "bytes", "organisation", "kind", "littleEndian", "first"});
        // The element's width is that of the bytes given.
        const auto row = [](const char *tag, const char *flags, const char *hex, int organisation,
                            int kind, bool littleEndian, double first) {
            QByteArray attributes
                = "mmedelementsizebits=\"" + QByteArray::number(qstrlen(hex) * 4) + '"';
            if (flags)
                attributes.prepend(QByteArray("mmedtypeflags=\"") + flags + "\" ");
            QTest::newRow(tag) << attributes << QByteArray(hex) << organisation << kind
                               << littleEndian << first;
        };
        row("8 bit", nullptr, "FE", 0, ValueUnsigned, false, 254);
        row("8 bit signed", "0x01", "FE", 0, ValueSigned, false, -2);
        row("16 bit LSB first", "0x02", "FEFF", 1, ValueUnsigned, true, 65534);
        row("16 bit MSB first signed", "0x01", "FEFF", 2, ValueSigned, false, -257);
        row("32 bit LSB first signed", "0x03", "FEFFFFFF", 3, ValueSigned, true, -2);
        row("32 bit float MSB first", "0x10000", "3FC00000", 3, ValueFloat, false, 1.5);
        row("32 bit float LSB first, sign flag ignored", "0x10003", "0000C0BF", 3, ValueFloat, true,
            -1.5);
    }

    void typeFlags()
    {
        QFETCH(QByteArray, attributes);
        QFETCH(QByteArray, bytes);
        const QByteArray image = QByteArray(16, '\0') + QByteArray::fromHex(bytes);
        const MapDefinition d = only(XdfParser::parseData(
            document(table("mmedaddress=\"0x10\" " + attributes)), image.size()));
        QTEST(d.dataType, "organisation");
        QTEST(d.zValueKind, "kind");
        QTEST(d.littleEndian, "littleEndian");
        QCOMPARE(d.zElementSize, int(bytes.size() / 2));
        const QList<double> values
            = readMapValues(d, reinterpret_cast<const uint8_t *>(image.constData()), image.size());
        QTEST(values.value(0), "first");
    }

    void columnMajorAndStrides_data()
    {
        testsupport::addColumns<QByteArray, bool>({"attributes", "imported"});
        // Z of 3 rows x 4 columns of 16 bits at 0x10.
        const QByteArray base = "mmedaddress=\"0x10\" mmedelementsizebits=\"16\" "
                                "mmedrowcount=\"3\" mmedcolcount=\"4\" ";
        QTest::newRow("strides 0") << base + "mmedmajorstridebits=\"0\"" << true;
        QTest::newRow("row stride of one row")
            << base + "mmedmajorstridebits=\"64\" mmedminorstridebits=\"16\"" << true;
        QTest::newRow("gap after each row") << base + "mmedmajorstridebits=\"80\"" << false;
        QTest::newRow("gap between elements") << base + "mmedminorstridebits=\"32\"" << false;
        QTest::newRow("column-major, column stride of one column")
            << base + "mmedtypeflags=\"0x04\" mmedmajorstridebits=\"48\"" << true;
        QTest::newRow("column-major, row-sized stride")
            << base + "mmedtypeflags=\"0x04\" mmedmajorstridebits=\"64\"" << false;
        QTest::newRow("one row, element stride")
            << QByteArray("mmedaddress=\"0x10\" mmedelementsizebits=\"16\" mmedcolcount=\"4\" "
                          "mmedmajorstridebits=\"16\"")
            << true;
    }

    void columnMajorAndStrides()
    {
        QFETCH(QByteArray, attributes);
        QFETCH(bool, imported);
        const XdfParser::Result r = XdfParser::parseData(document(table(attributes)), 0x100);
        QCOMPARE(r.maps.size(), imported ? 1 : 0);
        if (!imported) {
            QCOMPARE(r.notes.value(0).kind, XdfParser::Note::Skipped);
            QVERIFY(r.notes.value(0).reason.contains(QLatin1String("stride")));
            return;
        }
        QCOMPARE(r.maps.first().zColumnMajor, attributes.contains("0x04"));
    }

    // Axes stored, linked to another table, given as labels or as a count only.
    void axes_data()
    {
        // expected (source offset factor shift values, or a reason)
        testsupport::addColumns<QByteArray, QString>({"x", "expected"});
        QTest::newRow("stored, 16 bit LSB first, scaled")
            << stored("x", "mmedtypeflags=\"0x02\" mmedaddress=\"0x40\" mmedelementsizebits=\"16\"",
                      3, "X*0.25+10")
            << "1 64 0.25 10 -";
        QTest::newRow("linked, own scale")
            << stored("x", "mmedelementsizebits=\"16\"", 3, "X*2", "type=\"2\" linkobjid=\"0x20\"")
            << "1 128 2 0 -";
        QTest::newRow("linked, scale of the link then its own") << stored(
            "x", "mmedelementsizebits=\"16\"", 3, "X*2+4", "type=\"3\" linkobjid=\"0x20\"")
                                                                << "1 128 1 4 -";
        QTest::newRow("linked to nothing")
            << stored("x", "mmedelementsizebits=\"16\"", 3, "X", "type=\"3\" linkobjid=\"0x99\"")
            << "collegato";
        QTest::newRow("numeric labels")
            << QByteArray("<XDFAXIS id=\"x\"><indexcount>3</indexcount>"
                          "<LABEL index=\"2\" value=\"30.5\" /><LABEL index=\"0\" value=\"-10\" />"
                          "<LABEL index=\"1\" value=\"20\" /></XDFAXIS>")
            << "1 -1 1 0 -10,20,30.5";
        QTest::newRow("text labels make an index axis")
            << QByteArray("<XDFAXIS id=\"x\"><indexcount>3</indexcount>"
                          "<LABEL index=\"0\" value=\"\" /><LABEL index=\"1\" value=\"a\" />"
                          "<LABEL index=\"2\" value=\"2\" /></XDFAXIS>")
            << "0 -1 1 0 -";
        QTest::newRow("count only")
            << QByteArray("<XDFAXIS id=\"x\"><indexcount>3</indexcount></XDFAXIS>") << "0 -1 1 0 -";
        QTest::newRow("stored, with fewer points than columns")
            << stored("x", "mmedaddress=\"0x40\" mmedelementsizebits=\"16\"", 2) << "0 -1 1 0 -";
        QTest::newRow("stored past the image")
            << stored("x", "mmedaddress=\"0xFF\" mmedelementsizebits=\"16\"", 3) << "fuori";
    }

    void axes()
    {
        QFETCH(QByteArray, x);
        QFETCH(QString, expected);
        // The linked table: 3 x 1 of 16 bits at 0x80, scaled by 0.5.
        const QByteArray linked
            = "<XDFTABLE uniqueid=\"0x20\"><title>L</title><XDFAXIS id=\"z\">"
              + embedded("mmedaddress=\"0x80\" mmedelementsizebits=\"16\" mmedcolcount=\"3\"")
              + "<MATH equation=\"X/2\"><VAR id=\"X\" /></MATH></XDFAXIS></XDFTABLE>";
        const XdfParser::Result r = XdfParser::parseData(
            document(table("mmedaddress=\"0x10\" mmedelementsizebits=\"8\" mmedcolcount=\"3\"", x)
                     + linked),
            0x100);
        const MapDefinition *d = nullptr;
        for (const MapDefinition &m : r.maps)
            if (m.name == QLatin1String("T"))
                d = &m;
        if (!expected.front().isDigit()) {
            QVERIFY(!d);
            QVERIFY2(notesText(r).contains(expected), qPrintable(notesText(r)));
            return;
        }
        QVERIFY2(d, qPrintable(notesText(r)));
        QCOMPARE(notesText(r).contains(QLatin1String("asse X di 2 punti per 3 colonne")),
                 x.contains("<indexcount>2<"));
        QStringList values;
        for (double v : d->xAxis)
            values << QString::number(v);
        QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(d->xAxisSource)
                     .arg(d->xAxisOffset)
                     .arg(d->xFactor)
                     .arg(d->xOffsetFactor)
                     .arg(values.isEmpty() ? QStringLiteral("-") : values.join(u',')),
                 expected);
        QCOMPARE(d->columns, 3);
    }

    void linearEquations_data()
    {
        testsupport::addColumns<QString, bool, double, double>(
            {"equation", "linear", "factor", "offset"});
        QTest::newRow("X") << "X" << true << 1.0 << 0.0;
        QTest::newRow("factor first") << "0.750000 * X" << true << 0.75 << 0.0;
        QTest::newRow("factor after, leading point") << "X*.5" << true << 0.5 << 0.0;
        QTest::newRow("offset subtracted") << "X*0.1-48" << true << 0.1 << -48.0;
        QTest::newRow("plus a negative") << "0.75 * X+ -48" << true << 0.75 << -48.0;
        QTest::newRow("parenthesised sum divided") << "(X + 10) / 4" << true << 0.25 << 2.5;
        QTest::newRow("nested parentheses") << "(((0.75 * X)/2)*4) -48" << true << 1.5 << -48.0;
        QTest::newRow("negated") << "-X*2" << true << -2.0 << 0.0;
        QTest::newRow("constant minus X") << "10 - x" << true << -1.0 << 10.0;
        QTest::newRow("constant times a sum") << "2*(3-X)" << true << -2.0 << 6.0;
        QTest::newRow("exponent") << "1e-3*X + 2E1" << true << 0.001 << 20.0;
        QTest::newRow("X times X") << "X*X" << false << 0.0 << 0.0;
        QTest::newRow("divided by X") << "1/X" << false << 0.0 << 0.0;
        QTest::newRow("power") << "X^2" << false << 0.0 << 0.0;
        QTest::newRow("function") << "ABS(X)" << false << 0.0 << 0.0;
        QTest::newRow("other variable") << "X+Y" << false << 0.0 << 0.0;
        QTest::newRow("name starting with X") << "X1*2" << false << 0.0 << 0.0;
        QTest::newRow("division by zero") << "X/0" << false << 0.0 << 0.0;
        QTest::newRow("factor zero") << "0*X+5" << false << 0.0 << 0.0;
        QTest::newRow("unbalanced") << "((X*2)" << false << 0.0 << 0.0;
        QTest::newRow("empty") << "" << false << 0.0 << 0.0;
        QTest::newRow("too deep") << QString(100, u'(') + u'X' + QString(100, u')') << false << 0.0
                                  << 0.0;
    }

    void linearEquations()
    {
        QFETCH(QString, equation);
        QFETCH(bool, linear);
        QFETCH(double, offset);
        double gotFactor = 0.0;
        double gotOffset = 0.0;
        QCOMPARE(XdfParser::parseLinearEquation(equation, &gotFactor, &gotOffset), linear);
        if (linear) {
            QTEST(gotFactor, "factor");
            QCOMPARE(gotOffset + 1.0, offset + 1.0); // 0 and -0 alike
        }
    }

    // A table whose equation is not linear is still imported, with raw values, and said so.
    void nonLinearEquationGivesRawValues()
    {
        const XdfParser::Result r = XdfParser::parseData(
            document(table("mmedaddress=\"0x10\" mmedelementsizebits=\"8\"", {}, {}, "1000/X")),
            0x100);
        const MapDefinition d = only(r);
        QCOMPARE(d.factor, 1.0);
        QCOMPARE(d.offset, 0.0);
        QCOMPARE(r.notes.size(), 1);
        QCOMPARE(r.notes.first().kind, XdfParser::Note::RawValues);
        QVERIFY(r.notes.first().reason.contains(QLatin1String("1000/X")));
        QVERIFY(XdfParser::summaryText(r).contains(QLatin1String("valori grezzi")));
    }

    void baseOffset_data()
    {
        // offset (-1: skipped)
        testsupport::addColumns<QByteArray, QByteArray, int>({"base", "address", "offset"});
        const auto row
            = [](const char *tag, const char *subtract, const char *address, int offset) {
                  QTest::newRow(tag) << QByteArray("offset=\"0x1000\" subtract=\"") + subtract + '"'
                                     << QByteArray(address) << offset;
              };
        row("added", "0", "0x100", 0x1100);
        row("subtracted", "1", "0x1100", 0x100);
        row("subtracted below the image", "1", "0xFFF", -1);
    }

    void baseOffset()
    {
        QFETCH(QByteArray, base);
        QFETCH(QByteArray, address);
        const XdfParser::Result r = XdfParser::parseData(
            document(table("mmedaddress=\"" + address + "\" mmedelementsizebits=\"8\""),
                     "<BASEOFFSET " + base + " />"),
            0x2000);
        QTEST(r.maps.isEmpty() ? -1 : r.maps.first().mapOffset, "offset");
    }

    // Both sides of the image's end, for the data and for an axis.
    void imageBounds_data()
    {
        testsupport::addColumns<QByteArray, bool>({"body", "imported"});
        const QByteArray grid = "mmedelementsizebits=\"16\" mmedrowcount=\"2\" mmedcolcount=\"4\"";
        QTest::newRow("ends at the image end") << table("mmedaddress=\"0xF0\" " + grid) << true;
        QTest::newRow("one byte past") << table("mmedaddress=\"0xF1\" " + grid) << false;
        QTest::newRow("axis ends at the image end")
            << table("mmedaddress=\"0x0\" " + grid,
                     stored("x", "mmedaddress=\"0xF8\" mmedelementsizebits=\"16\"", 4))
            << true;
        QTest::newRow("axis one byte past")
            << table("mmedaddress=\"0x0\" " + grid,
                     stored("x", "mmedaddress=\"0xF9\" mmedelementsizebits=\"16\"", 4))
            << false;
        QTest::newRow("side beyond any table")
            << table("mmedaddress=\"0x0\" mmedelementsizebits=\"8\" mmedcolcount=\"2000000000\"")
            << false;
        QTest::newRow("64-bit elements")
            << table("mmedaddress=\"0x0\" mmedelementsizebits=\"64\"") << false;
    }

    void imageBounds()
    {
        QFETCH(QByteArray, body);
        const XdfParser::Result r = XdfParser::parseData(document(body), 0x100);
        QFETCH(bool, imported);
        QCOMPARE(r.maps.size(), imported ? 1 : 0);
        if (!imported) {
            // Named, with a reason, and the only table: the import as a whole fails.
            QCOMPARE(r.notes.value(0).title, QStringLiteral("T"));
            QVERIFY(!r.notes.value(0).reason.isEmpty());
            QVERIFY(!r.errorMessage.isEmpty());
        }
    }

    void kindsOfObject()
    {
        const QByteArray body
            = "<XDFCONSTANT uniqueid=\"0x1\"><title>K</title>"
              "<CATEGORYMEM index=\"0\" category=\"1\" />"
              + embedded("mmedtypeflags=\"0x02\" mmedaddress=\"0x20\" mmedelementsizebits=\"16\"")
              + "<units>Nm</units><decimalpl>1</decimalpl><rangelow>-48</rangelow>"
                "<MATH equation=\"X*0.75-48\"><VAR id=\"X\" /></MATH></XDFCONSTANT>"
                "<XDFFLAG uniqueid=\"0x2\"><title>F</title></XDFFLAG>"
                "<XDFPATCH uniqueid=\"0x3\"><title>P</title></XDFPATCH>"
                "<XDFFUNCTION uniqueid=\"0x4\"><title>U</title></XDFFUNCTION>"
              + table("mmedaddress=\"0x40\" mmedelementsizebits=\"8\" mmedrowcount=\"2\" "
                      "mmedcolcount=\"3\"");
        const XdfParser::Result r = XdfParser::parseData(document(body), 0x100);
        QCOMPARE(r.maps.size(), 2);
        const MapDefinition &k = r.maps.at(0);
        QCOMPARE(QStringLiteral("%1 %2x%3 %4 %5 %6 %7 %8")
                     .arg(k.characteristicType)
                     .arg(k.rows)
                     .arg(k.columns)
                     .arg(k.group, k.unit)
                     .arg(k.factor)
                     .arg(k.offset)
                     .arg(k.minimum),
                 QStringLiteral("VALUE 1x1 Accensione Nm 0.75 -48 -48"));
        QCOMPARE(r.maps.at(1).characteristicType, QStringLiteral("MAP"));
        QCOMPARE(r.maps.at(1).group, QStringLiteral("Turbo"));
        QCOMPARE(r.maps.at(1).sourceKind, int(MapDefinition::SourceXDF));
        QCOMPARE(notesText(r), QStringLiteral("2 F: flag (XDFFLAG): non importato\n"
                                              "2 P: patch (XDFPATCH): non importata\n"
                                              "2 U: funzione (XDFFUNCTION): non importata"));
    }

    void hostileOrMalformed_data()
    {
        testsupport::addColumns<QByteArray, QString>({"xml", "error"});
        const QByteArray good = table("mmedaddress=\"0x0\" mmedelementsizebits=\"8\"");
        QTest::newRow("empty") << QByteArray() << "XDF";
        QTest::newRow("not XML") << QByteArray("\x00\x01garbage", 9) << "XDF";
        QTest::newRow("another root") << QByteArray("<foo/>") << "XDFFORMAT";
        QTest::newRow("cut short") << document(good).left(120) << "finisce";
        QTest::newRow("unclosed tag")
            << QByteArray("<XDFFORMAT><XDFTABLE></XDFFORMAT>") << "non valido";
        QTest::newRow("entity expansion")
            << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"aaaaaaaaaa\">"
                          "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                          "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>"
                          "<XDFFORMAT><XDFTABLE><title>&c;</title></XDFTABLE></XDFFORMAT>")
            << "DTD";
        QTest::newRow("external entity")
            << QByteArray("<!DOCTYPE x [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>"
                          "<XDFFORMAT><XDFTABLE><title>&e;</title></XDFTABLE></XDFFORMAT>")
            << "DTD";
        QTest::newRow("undeclared entity")
            << document("<XDFTABLE><title>&e;</title></XDFTABLE>") << "non valido";
        QTest::newRow("deep nesting")
            << document(QByteArray("<a>").repeated(XdfParser::MaxDepth)
                        + QByteArray("</a>").repeated(XdfParser::MaxDepth))
            << "livelli";
        QTest::newRow("nesting at the limit is read")
            << document(QByteArray("<a>").repeated(XdfParser::MaxDepth - 1)
                        + QByteArray("</a>").repeated(XdfParser::MaxDepth - 1) + good)
            << "";
        QTest::newRow("too many labels") << document(
            "<XDFTABLE><XDFAXIS id=\"x\">"
            + QByteArray("<LABEL index=\"0\" value=\"1\"/>").repeated(XdfParser::MaxListEntries + 1)
            + "</XDFAXIS></XDFTABLE>") << "etichette";
        QTest::newRow("second root") << document(good) + "<XDFFORMAT/>"
                                     << "non valido";
    }

    void hostileOrMalformed()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, error);
        const XdfParser::Result r = XdfParser::parseData(xml, 0x100);
        if (error.isEmpty()) {
            QCOMPARE(r.maps.size(), 1);
            return;
        }
        QVERIFY2(r.errorMessage.contains(error), qPrintable(r.errorMessage));
        QVERIFY(r.maps.isEmpty());
    }

    // Every field XDF carries, each set to a value of its own, comes back as it was written.
    void exportImportRoundTrip()
    {
        MapDefinition map;
        map.sourceKind = MapDefinition::SourceXDF;
        map.name = QStringLiteral("KFZW <Zündung> & \"Basis\"");
        map.description = QStringLiteral("Anticipo d'accensione");
        map.group = QStringLiteral("Accensione/Base");
        map.characteristicType = QStringLiteral("MAP");
        map.zColumnMajor = true;
        map.rows = 3;
        map.columns = 4;
        map.mapOffset = 0x100;
        map.xAxisOffset = 0x200;
        map.yAxisOffset = 0x301;
        map.dataType = Organisation16BitHiLo;
        map.littleEndian = false;
        map.zValueKind = ValueSigned;
        map.zElementSize = 2;
        map.xDataType = Organisation32Bit;
        map.xElementSize = 4;
        map.xLittleEndian = false;
        map.xValueKind = ValueFloat;
        map.yDataType = Organisation8Bit;
        map.yElementSize = 1;
        map.yLittleEndian = true;
        map.yValueKind = ValueSigned;
        map.factor = 0.0234375;
        map.offset = -48.5;
        map.decimals = 3;
        map.unit = QStringLiteral("°KW");
        map.xFactor = 1.0 / 3;
        map.xOffsetFactor = 7;
        map.xDecimals = 1;
        map.xUnit = QStringLiteral("rpm");
        map.yFactor = -0.1;
        map.yOffsetFactor = 1e-9;
        map.yDecimals = 2;
        map.yUnit = QStringLiteral("%");
        map.minimum = -20.25;
        map.maximum = 60.5;
        map.xMinimum = 400;
        map.xMaximum = 7000;
        map.yMinimum = -1;
        map.yMaximum = 101;

        MapDefinition curve = map;
        curve.name = QStringLiteral("Curva");
        curve.description.clear();
        curve.group = QStringLiteral("Turbo");
        curve.characteristicType = QStringLiteral("CURVE");
        curve.zColumnMajor = false;
        curve.rows = 1;
        curve.mapOffset = 0x400;
        curve.dataType = Organisation32Bit;
        curve.zElementSize = 4;
        curve.littleEndian = true;
        curve.zValueKind = ValueUnsigned;
        // Values the record holds itself travel as labels; the index axis as a count.
        curve.xAxisOffset = -1;
        curve.xAxis = {-1.5, 0, 2.25, 1e6};
        curve.xFactor = 1.0;
        curve.xOffsetFactor = 0.0;
        curve.yAxisSource = 0;
        curve.yAxisOffset = -1;

        MapDefinition constant;
        constant.sourceKind = MapDefinition::SourceXDF;
        constant.name = QStringLiteral("Costante");
        constant.characteristicType = QStringLiteral("VALUE");
        constant.rows = constant.columns = 1;
        constant.mapOffset = 0x500;
        constant.xAxisSource = constant.yAxisSource = 0;
        constant.dataType = Organisation8Bit;
        constant.zElementSize = 1;
        constant.littleEndian = false;
        constant.factor = 10;
        constant.minimum = 5;
        constant.maximum = 2550;
        constant.decimals = 0;
        constant.unit = QStringLiteral("U/min");

        MapDefinition unplaced = constant;
        unplaced.name = QStringLiteral("Senza indirizzo");
        unplaced.mapOffset = -1;

        QStringList skipped;
        const QByteArray text = XdfWriter::toXdf({map, curve, constant, unplaced},
                                                 QStringLiteral("Prova"), 0x1000, &skipped);
        QCOMPARE(skipped,
                 QStringList{QStringLiteral("Senza indirizzo: nessun indirizzo o dimensione")});
        const XdfParser::Result r = XdfParser::parseData(text, 0x1000);
        QVERIFY2(r.notes.isEmpty(), qPrintable(notesText(r)));
        QCOMPARE(r.maps.size(), 3);
        // A control character XML cannot carry is left out rather than spoiling the file.
        constant.name = QStringLiteral("Co\x01stante");
        QCOMPARE(XdfParser::parseData(XdfWriter::toXdf({constant}, {}, -1), -1).maps.value(0).name,
                 QStringLiteral("Costante"));
        constant.name = QStringLiteral("Costante");
        const QList<MapDefinition> expected{map, curve, constant};
        for (int i = 0; i < 3; ++i) {
            if (r.maps.at(i) != expected.at(i)) {
                const QJsonObject got = toJson(r.maps.at(i));
                const QJsonObject want = toJson(expected.at(i));
                for (auto it = want.begin(); it != want.end(); ++it)
                    QVERIFY2(got.value(it.key()) == it.value(),
                             qPrintable(expected.at(i).name + u' ' + it.key()));
                QVERIFY(got.size() == want.size());
            }
        }
    }

    // The community's files: every table is imported or named with its reason, and what is
    // read agrees with what the definitions say of it.
    void realDefinitions_data()
    {
        testsupport::addColumns<QString, QString>({"xdf", "image"});
        const QString root = QStringLiteral(TESSA_SHARED_DATA_DIR "/definitions/");
        QTest::newRow("Audi ME7.1") << root + "me7-8D0907551/8D0907551M-16bit-kfzw.xdf"
                                    << root + "me7-8D0907551/8D0907551M-0002-16bit-kfzw.bin";
        QTest::newRow("Volvo 50GMHJ")
            << root + "me7-volvo-50GMHJ-50GSHJ/50GMHJ.xdf"
            << root + "me7-volvo-50GMHJ-50GSHJ/50GMHJ-22GMJVD0-AUT-AWD-US.bin";
        QTest::newRow("Volvo 50GSHJ")
            << root + "me7-volvo-50GMHJ-50GSHJ/50GSHJ.xdf"
            << root + "me7-volvo-50GMHJ-50GSHJ/50GSHJ-22GSI-AUT-AWD-US.bin";
    }

    void realDefinitions()
    {
        QFETCH(QString, xdf);
        QFETCH(QString, image);
        QFile xdfFile(xdf);
        QFile imageFile(image);
        if (!xdfFile.open(QIODevice::ReadOnly) || !imageFile.open(QIODevice::ReadOnly))
            QSKIP("the public definitions are not here");
        const QByteArray text = xdfFile.readAll();
        const QByteArray bytes = imageFile.readAll();
        const XdfParser::Result r = XdfParser::parseData(text, bytes.size());
        const qsizetype objects = text.count("<XDFTABLE") + text.count("<XDFCONSTANT")
                                  + text.count("<XDFFLAG") + text.count("<XDFPATCH")
                                  + text.count("<XDFFUNCTION");
        const auto reported = std::count_if(r.notes.cbegin(), r.notes.cend(), [](const auto &n) {
            return n.kind == XdfParser::Note::Skipped || n.kind == XdfParser::Note::NotImported;
        });
        QCOMPARE(r.maps.size() + reported, objects);
        // Written out and read again, every map comes back as it was.
        QCOMPARE(
            XdfParser::parseData(XdfWriter::toXdf(r.maps, QString(), bytes.size()), bytes.size())
                .maps,
            r.maps);
        // Stored axes run one way (a few community slips aside), and every map is grouped.
        const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
        int axes = 0;
        int monotonic = 0;
        for (const MapDefinition &m : r.maps) {
            for (const QList<double> &axis :
                 {readXAxis(m, data, bytes.size()), readYAxis(m, data, bytes.size())}) {
                if (axis.size() < 3)
                    continue;
                ++axes;
                bool up = true;
                bool down = true;
                for (qsizetype i = 1; i < axis.size(); ++i) {
                    up = up && axis.at(i) >= axis.at(i - 1);
                    down = down && axis.at(i) <= axis.at(i - 1);
                }
                monotonic += up || down;
            }
        }
        QVERIFY2(monotonic >= axes * 95 / 100,
                 qPrintable(QStringLiteral("%1 of %2").arg(monotonic).arg(axes)));
        // The ignition maps: signed degrees of crank angle a spark can really have, read from
        // 8-bit signed cells (Audi) or column by column (Volvo).
        const QRegularExpression ignition(QStringLiteral("^\\[?KFZW\\d?(\\]| \\(|$)"));
        int ignitionMaps = 0;
        for (const MapDefinition &m : r.maps) {
            if (!ignition.match(m.name).hasMatch())
                continue;
            ++ignitionMaps;
            for (double raw : readMapValues(m, data, bytes.size())) {
                const double degrees = rawToPhysical(raw, m.factor, m.offset);
                QVERIFY2(degrees > -30 && degrees < 70, qPrintable(m.name));
            }
        }
        QVERIFY(ignitionMaps >= 2);
        // Calibration grids are smooth: read in their stated order (by rows, or by columns
        // when flagged), neighbouring cells differ less than in the other order.
        int grids = 0;
        int smoother = 0;
        for (const MapDefinition &m : r.maps) {
            if (m.rows < 4 || m.columns < 4)
                continue;
            const QList<double> values = readMapValues(m, data, bytes.size());
            MapDefinition other = m;
            other.zColumnMajor = !m.zColumnMajor;
            const auto roughness = [&values](const MapDefinition &d) {
                double sum = 0;
                for (int row = 0; row < d.rows; ++row)
                    for (int column = 0; column < d.columns; ++column) {
                        const double v = values.at(cellIndex(d, row, column));
                        if (column + 1 < d.columns)
                            sum += qAbs(values.at(cellIndex(d, row, column + 1)) - v);
                        if (row + 1 < d.rows)
                            sum += qAbs(values.at(cellIndex(d, row + 1, column)) - v);
                    }
                return sum;
            };
            ++grids;
            smoother += roughness(m) <= roughness(other);
        }
        QVERIFY2(smoother >= grids * 9 / 10,
                 qPrintable(QStringLiteral("%1 of %2").arg(smoother).arg(grids)));
    }
};

QTEST_GUILESS_MAIN(TestXdfParser)
#include "tst_xdfparser.moc"
