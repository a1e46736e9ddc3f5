#pragma once

#include "driverfile.h"

// The one statement of the driver map record: field names, their order and the version each
// field appeared in. Fields a version lacks are skipped and keep the value of a default
// record. The file reader and writer and the JSON form of a record all walk this list; Io has
// field(name, value) for every type of the record (the anchor count is folded into "anchors").
template<typename Io, typename Map>
void visitDriverMapFields(Io &io, Map &m, int version = DriverFileVersion)
{
    io.field("mapKey", m.mapKey);
    io.field("description", m.description);
    io.field("unit", m.unit);
    io.field("compuMethod", m.compuMethod);
    if (version >= 3) {
        io.field("displayName", m.displayName);
        io.field("category", m.category);
        io.field("enabled", m.enabled);
        io.field("excluded", m.excluded);
        io.field("remark", m.remark);
    }
    io.field("zAddress", m.zAddress);
    io.field("xAddress", m.xAddress);
    io.field("yAddress", m.yAddress);
    io.field("xAxisDelta", m.xAxisDelta);
    io.field("yAxisDelta", m.yAxisDelta);
    io.field("hasXAxis", m.hasXAxis);
    io.field("hasYAxis", m.hasYAxis);
    io.field("rows", m.rows);
    io.field("columns", m.columns);
    io.field("zElementSize", m.zElementSize);
    io.field("xElementSize", m.xElementSize);
    io.field("yElementSize", m.yElementSize);
    io.field("zSignature", m.zSignature);
    io.field("zTailSignature", m.zTailSignature);
    io.field("xAxisSignature", m.xAxisSignature);
    io.field("yAxisSignature", m.yAxisSignature);
    if (version >= 4) {
        io.field("xAnchorSignature", m.xAnchorSignature);
        io.field("yAnchorSignature", m.yAnchorSignature);
        io.field("xAnchorDelta", m.xAnchorDelta);
        io.field("yAnchorDelta", m.yAnchorDelta);
        io.field("useXAnchor", m.useXAnchor);
        io.field("useYAnchor", m.useYAnchor);
        io.field("zFingerprint", m.zFingerprint);
        io.field("xFingerprint", m.xFingerprint);
        io.field("yFingerprint", m.yFingerprint);
        io.field("xAnchorDivisor", m.xAnchorDivisor);
        io.field("yAnchorDivisor", m.yAnchorDivisor);
    }
    if (version >= 5) {
        io.field("byteOrder", m.byteOrder);
        io.field("zFactor", m.zFactor);
        io.field("zOffset", m.zOffset);
        io.field("xFactor", m.xFactor);
        io.field("xOffset", m.xOffset);
        io.field("yFactor", m.yFactor);
        io.field("yOffset", m.yOffset);
        io.field("anchors", m.anchors);
        io.field("rowProfile", m.rowProfile);
        io.field("columnProfile", m.columnProfile);
        io.field("zMin", m.zMin);
        io.field("zMax", m.zMax);
        io.field("zMean", m.zMean);
        io.field("zZeroRatio", m.zZeroRatio);
        io.field("xMin", m.xMin);
        io.field("xMax", m.xMax);
        io.field("yMin", m.yMin);
        io.field("yMax", m.yMax);
        io.field("xAxisMode", m.xAxisMode);
        io.field("yAxisMode", m.yAxisMode);
        io.field("autoEnabled", m.autoEnabled);
    }
    if (version >= 6) {
        io.field("manualProfile", m.manualProfile);
        io.field("matchLevel", m.matchLevel);
        io.field("checkXAxis", m.checkXAxis);
        io.field("checkYAxis", m.checkYAxis);
        io.field("minAnchorHits", m.minAnchorHits);
        io.field("neighbourhood", m.neighbourhood);
        io.field("axisWindow", m.axisWindow);
        io.field("minZFingerprint", m.minZFingerprint);
        io.field("minRowProfile", m.minRowProfile);
        io.field("minColumnProfile", m.minColumnProfile);
        io.field("minAxisScore", m.minAxisScore);
        io.field("minConfidence", m.minConfidence);
        io.field("hasZRange", m.hasZRange);
        io.field("zRangeA", m.zRangeA);
        io.field("zRangeB", m.zRangeB);
        io.field("hasXRange", m.hasXRange);
        io.field("xRangeA", m.xRangeA);
        io.field("xRangeB", m.xRangeB);
        io.field("hasYRange", m.hasYRange);
        io.field("yRangeA", m.yRangeA);
        io.field("yRangeB", m.yRangeB);
        io.field("rangeTolerance", m.rangeTolerance);
    }
    if (version >= 7) {
        io.field("rawXEnabled", m.rawXEnabled);
        io.field("rawXValues", m.rawXValues);
        io.field("rawXFactor", m.rawXFactor);
        io.field("rawXOffset", m.rawXOffset);
        io.field("rawXTolerance", m.rawXTolerance);
        io.field("rawYEnabled", m.rawYEnabled);
        io.field("rawYValues", m.rawYValues);
        io.field("rawYFactor", m.rawYFactor);
        io.field("rawYOffset", m.rawYOffset);
        io.field("rawYTolerance", m.rawYTolerance);
    }
    if (version >= 8) {
        io.field("manualAbsolute", m.manualAbsolute);
        io.field("absZAddress", m.absZAddress);
        io.field("absXAddress", m.absXAddress);
        io.field("absYAddress", m.absYAddress);
    }
    if (version >= 9) {
        io.field("absRows", m.absRows);
        io.field("absColumns", m.absColumns);
    }
    io.field("minScore", m.minScore);
    io.field("signatureValid", m.signatureValid);
}
