#include "mapeditor/mapcelltext.h"

#include <cmath>

namespace MapCellText {

QString format(const QList<QStringList> &rows, const QStringList &xTexts,
               const QStringList &yTexts)
{
    const bool withAxes = !xTexts.isEmpty() && yTexts.size() == rows.size();
    QString text;
    if (withAxes)
        text += QLatin1Char('\t') + xTexts.join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (qsizetype r = 0; r < rows.size(); ++r) {
        if (withAxes)
            text += yTexts.at(r) + QLatin1Char('\t');
        text += rows.at(r).join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

namespace {

bool number(QString cell, double *value)
{
    cell = cell.trimmed();
    if (cell.contains(QLatin1Char(',')) && !cell.contains(QLatin1Char('.')))
        cell.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    *value = cell.toDouble(&ok);
    return ok && std::isfinite(*value);
}

} // namespace

Grid parse(const QString &text, int maxCells)
{
    Grid grid;
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    if (lines.isEmpty()) {
        grid.error = QStringLiteral("Gli appunti non contengono valori da incollare.");
        return grid;
    }
    const QString tooMany = QStringLiteral("Il testo incollato ha più valori di quanti la mappa "
                                           "ne possa ricevere.");
    // One more line and column than the map may be the axes; anything beyond is refused
    // before it is split further.
    if (lines.size() > qint64(maxCells) + 1
        || text.count(QLatin1Char('\t')) > 2 * qint64(maxCells) + lines.size()) {
        grid.error = tooMany;
        return grid;
    }
    QList<QStringList> cells;
    for (const QString &line : std::as_const(lines)) {
        cells.append(line.split(QLatin1Char('\t')));
        if (cells.last().size() != cells.first().size()) {
            grid.error = QStringLiteral("Le righe incollate non hanno tutte lo stesso numero di "
                                        "valori.");
            return grid;
        }
    }
    // A block copied with its axes opens with an empty corner cell.
    const bool withAxes = cells.size() > 1 && cells.first().size() > 1
                          && cells.first().first().trimmed().isEmpty();
    const int skip = withAxes ? 1 : 0;
    if ((cells.size() - skip) * (cells.first().size() - skip) > qint64(maxCells)) {
        grid.error = tooMany;
        return grid;
    }
    for (qsizetype r = withAxes ? 1 : 0; r < cells.size(); ++r) {
        QList<double> row;
        for (qsizetype c = withAxes ? 1 : 0; c < cells.at(r).size(); ++c) {
            double value = 0.0;
            if (!number(cells.at(r).at(c), &value)) {
                grid.rows.clear();
                grid.error = QStringLiteral("\"%1\" non è un numero: nulla è stato incollato.")
                                 .arg(cells.at(r).at(c).trimmed().left(40));
                return grid;
            }
            row.append(value);
        }
        grid.rows.append(row);
    }
    return grid;
}

Placement place(const Grid &grid, int mapRows, int mapColumns, int top, int left,
                int selectionRows, int selectionColumns, int selectedCells)
{
    Placement p;
    p.rows = int(grid.rows.size());
    p.columns = grid.columns();
    const bool block = selectedCells > 1;
    if (block && selectedCells != selectionRows * selectionColumns) {
        p.error = QStringLiteral("Incolla: la selezione non è un rettangolo.");
        return p;
    }
    if (block && p.rows * p.columns == 1) {
        p.repeat = true;
        p.rows = selectionRows;
        p.columns = selectionColumns;
    } else if (block && (p.rows != selectionRows || p.columns != selectionColumns)) {
        p.error = QStringLiteral("Incolla: il testo ha %1 x %2 valori, la selezione %3 x %4.")
                      .arg(p.rows)
                      .arg(p.columns)
                      .arg(selectionRows)
                      .arg(selectionColumns);
        return p;
    }
    if (top < 0 || left < 0 || qint64(top) + p.rows > mapRows
        || qint64(left) + p.columns > mapColumns) {
        p.error = QStringLiteral("Incolla: %1 x %2 valori non entrano nella mappa (%3 x %4) "
                                 "dalla cella scelta.")
                      .arg(p.rows)
                      .arg(p.columns)
                      .arg(mapRows)
                      .arg(mapColumns);
        return p;
    }
    p.row = top;
    p.column = left;
    return p;
}

bool pastedRaw(double physical, const MapValueScaling &scaling, const ValueType &type,
               double *raw)
{
    double value = physical;
    if (scaling.reciprocal && value != 0.0)
        value = 1.0 / value;
    if (scaling.factor == 0.0 || !std::isfinite(value))
        return false;
    const double unrounded = (value - scaling.offset) / scaling.factor;
    const int kind = effectiveValueKind(type.organisation, type.kind);
    const double stored = kind == ValueFloat ? unrounded : std::round(unrounded);
    if (!std::isfinite(stored) || stored < minimumRaw(type.organisation, kind)
        || stored > maximumRaw(type.organisation, kind))
        return false;
    *raw = clampRaw(stored, type.organisation, kind);
    return true;
}

} // namespace MapCellText
