#include "drivermapdefinition.h"

#include <algorithm>

bool isLoadableMatch(const DriverMapMatch &match)
{
    return match.recognised && match.enabled && !match.excluded;
}

MapDefinition mapDefinitionFromMatch(const DriverMapMatch &match, const DriverMap &map)
{
    MapDefinition definition;
    definition.name = match.displayName;
    definition.description = match.description;
    definition.unit = match.unit;
    definition.compuMethod = match.compuMethod;
    definition.rows = match.rows;
    definition.columns = match.columns;
    definition.mapOffset = int(match.zAddress);
    definition.xAxisOffset = int(match.xAddress);
    definition.yAxisOffset = int(match.yAddress);
    definition.headerOffset = -1;
    definition.factor = 1.0;
    definition.xFactor = 1.0;
    definition.yFactor = 1.0;

    const bool littleEndian = map.littleEndian();
    definition.zElementSize = std::max(1, match.zElementSize);
    definition.dataType = organisationFor(definition.zElementSize, littleEndian);
    definition.littleEndian = littleEndian;
    definition.zValueKind = effectiveValueKind(definition.dataType, map.zValueKind());

    // An axis the scan placed is shown from the image in its own encoding; one it did not
    // place counts its points.
    const auto setAxis
        = [littleEndian](bool found, int elementSize, int kind, int &size, int &dataType,
                         bool &axisLittleEndian, int &valueKind, int &source) {
              size = found ? std::max(1, elementSize) : 2;
              dataType = organisationFor(size, found ? littleEndian : true);
              axisLittleEndian = found ? littleEndian : true;
              valueKind = found ? effectiveValueKind(dataType, kind) : ValueUnsigned;
              source = found ? 1 : 0;
          };
    setAxis(match.xFound, match.xElementSize, map.xValueKind(), definition.xElementSize,
            definition.xDataType, definition.xLittleEndian, definition.xValueKind,
            definition.xAxisSource);
    setAxis(match.yFound, match.yElementSize, map.yValueKind(), definition.yElementSize,
            definition.yDataType, definition.yLittleEndian, definition.yValueKind,
            definition.yAxisSource);
    return definition;
}

QString driverMapItemText(const DriverMapMatch &match)
{
    if (!match.displayName.isEmpty())
        return match.displayName;
    if (!match.description.isEmpty())
        return match.description;
    return QStringLiteral("Map 0x%1").arg(match.zAddress, 8, 16, QLatin1Char('0')).toUpper();
}
