#include "hex/mapcut.h"

#include <algorithm>

MapCutResult cutMapFromSelection(const QByteArray &image, qint64 selStart, qint64 selEnd,
                                 int columns, bool littleEndian)
{
    MapCutResult result;
    const qint64 size = image.size();
    if (selStart < 0 || selStart >= selEnd || size == 0) {
        result.message = QStringLiteral("Prima seleziona una zona valida nel 2D.");
        return result;
    }
    const qint64 start = std::min(selStart, size - 1);
    const qint64 length = std::min(std::max(selEnd, start), size - 1) - start + 1;
    if (length % 2 != 0) {
        result.message = QStringLiteral("La selezione non contiene un numero intero di WORD 16-bit.");
        return result;
    }
    const qint64 words = length / 2;
    qint64 rows = 1;
    qint64 cols = 1;
    if (words > 1) {
        if (columns < 1 || words % columns != 0) {
            result.message = QStringLiteral("La selezione non contiene un numero intero di righe.");
            return result;
        }
        cols = columns;
        rows = words / columns;
    }

    const auto *bytes = reinterpret_cast<const uchar *>(image.constData());
    result.axes = findStoredAxes(bytes, size, start, int(rows), int(cols), littleEndian);

    MapDefinition &d = result.definition;
    d.name = QStringLiteral("Mappa %1 x %2").arg(cols).arg(rows);
    d.mapOffset = int(start);
    d.rows = int(rows);
    d.columns = int(cols);
    const int organisation = littleEndian ? Organisation16BitLoHi : Organisation16BitHiLo;
    d.dataType = d.xDataType = d.yDataType = organisation;
    d.littleEndian = d.xLittleEndian = d.yLittleEndian = littleEndian;
    d.zElementSize = d.xElementSize = d.yElementSize = 2;
    d.xValueKind = result.axes.xValueKind;
    d.yValueKind = result.axes.yValueKind;
    d.factor = 1.0;
    d.xAxisOffset = int(result.axes.xAxisOffset);
    d.yAxisOffset = int(result.axes.yAxisOffset);
    // Without a stored axis the map window numbers the cells instead.
    d.xAxisSource = d.xAxisOffset >= 0 ? 1 : 0;
    d.yAxisSource = d.yAxisOffset >= 0 ? 1 : 0;
    d.xAxis = readXAxis(d, bytes, size);
    d.yAxis = readYAxis(d, bytes, size);
    result.ok = true;
    return result;
}
