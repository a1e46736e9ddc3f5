#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A byte pattern of the reference image that votes for the map's Z address when found.
struct DriverAnchor
{
    QByteArray pattern;
    qint64 delta = 0;    // Z address minus the position of the pattern
    qint32 divisor = 0;  // one hit votes 1 / divisor when positive, else 1
    qint32 reserved = 0; // carried, not interpreted

    bool operator==(const DriverAnchor &other) const;
    bool operator!=(const DriverAnchor &other) const { return !(*this == other); }
};

// One map of a recognition driver: where it lay in the reference image and what identifies it
// there. Fields are in the order of the driver file; a default record holds the values that a
// file of an older format version leaves to fields it does not carry.
struct DriverMap
{
    QString mapKey;
    QString description;
    QString unit;
    QString compuMethod;
    QString displayName;
    qint32 category = -1;
    bool enabled = false;
    bool excluded = false;
    QString remark;
    qint64 zAddress = -1;
    qint64 xAddress = -1;
    qint64 yAddress = -1;
    qint64 xAxisDelta = 0;
    qint64 yAxisDelta = 0;
    bool hasXAxis = false;
    bool hasYAxis = false;
    qint32 rows = 0;
    qint32 columns = 0;
    qint32 zElementSize = 0;
    qint32 xElementSize = 0;
    qint32 yElementSize = 0;
    QByteArray zSignature;
    QByteArray zTailSignature;
    QByteArray xAxisSignature;
    QByteArray yAxisSignature;
    QByteArray xAnchorSignature;
    QByteArray yAnchorSignature;
    qint64 xAnchorDelta = 0;
    qint64 yAnchorDelta = 0;
    bool useXAnchor = false;
    bool useYAnchor = false;
    QByteArray zFingerprint;
    QByteArray xFingerprint;
    QByteArray yFingerprint;
    qint32 xAnchorDivisor = 0;
    qint32 yAnchorDivisor = 0;
    qint32 byteOrder = 1; // 2 is big-endian, anything else little-endian; see littleEndian()
    double zFactor = 1.0;
    double zOffset = 0.0;
    double xFactor = 1.0;
    double xOffset = 0.0;
    double yFactor = 1.0;
    double yOffset = 0.0;
    QList<DriverAnchor> anchors;
    QByteArray rowProfile;
    QByteArray columnProfile;
    double zMin = 0.0;
    double zMax = 0.0;
    double zMean = 0.0;
    double zZeroRatio = 0.0;
    double xMin = 0.0;
    double xMax = 0.0;
    double yMin = 0.0;
    double yMax = 0.0;
    qint32 xAxisMode = 0; // 0 none, +1 rising, -1 falling
    qint32 yAxisMode = 0;
    bool autoEnabled = false;
    bool manualProfile = false;
    qint32 matchLevel = 0;
    bool checkXAxis = false;
    bool checkYAxis = false;
    qint32 minAnchorHits = -1;
    qint64 neighbourhood = -1;
    qint64 axisWindow = -1;
    double minZFingerprint = -1.0;
    double minRowProfile = -1.0;
    double minColumnProfile = -1.0;
    double minAxisScore = -1.0;
    double minConfidence = -1.0;
    bool hasZRange = false;
    double zRangeA = 0.0;
    double zRangeB = 0.0;
    bool hasXRange = false;
    double xRangeA = 0.0;
    double xRangeB = 0.0;
    bool hasYRange = false;
    double yRangeA = 0.0;
    double yRangeB = 0.0;
    double rangeTolerance = 25.0; // percent of the range width
    bool rawXEnabled = false;
    QList<double> rawXValues;
    double rawXFactor = 1.0;
    double rawXOffset = 0.0;
    double rawXTolerance = 5.0; // percent of each value
    bool rawYEnabled = false;
    QList<double> rawYValues;
    double rawYFactor = 1.0;
    double rawYOffset = 0.0;
    double rawYTolerance = 5.0;
    bool manualAbsolute = false;
    qint64 absZAddress = -1;
    qint64 absXAddress = -1;
    qint64 absYAddress = -1;
    qint32 absRows = 0;
    qint32 absColumns = 0;
    double minScore = 0.0;
    bool signatureValid = false;

    // The value kinds (ValueKind) of Z, X and Y travel in byteOrder, so that the file format
    // stays as it is: 1 and 2 as always for unsigned values, and 16 × (z + 3x + 9y) added for
    // signed and float ones. Any other value keeps its old meaning (unsigned, 2 big-endian).
    bool littleEndian() const;
    int zValueKind() const;
    int xValueKind() const;
    int yValueKind() const;
    static qint32 byteOrderFor(bool littleEndian, int zKind, int xKind, int yKind);

    // Exact equality, telling a null text or byte string from an empty one and comparing
    // doubles bit for bit, so that a file round trip can be checked field by field.
    bool operator==(const DriverMap &other) const;
    bool operator!=(const DriverMap &other) const { return !(*this == other); }
};

// A map-recognition driver for one ECU software family, made from a reference image.
struct Driver
{
    // The format version the driver was read from; files are always written as the newest.
    qint32 formatVersion = 9;
    QString text1;
    QString text2;
    QString text3;
    QString text4;
    QString text5;
    qint64 number = 0;
    QList<DriverMap> maps;

    // Compares the header and the maps, not the format version it was read from.
    bool operator==(const Driver &other) const;
    bool operator!=(const Driver &other) const { return !(*this == other); }
};
