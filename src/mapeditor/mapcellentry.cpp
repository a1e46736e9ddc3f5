#include "mapcellentry.h"

#include <cmath>

namespace MapCellEntry {

bool startsEntry(const QString &typed, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    if (typed.size() != 1)
        return false;
    const char16_t c = typed.at(0).unicode();
    return (c >= u'0' && c <= u'9') || c == u'-' || c == u'.' || c == u',';
}

QString pattern()
{
    return QStringLiteral("[-+]?[0-9]*[.,]?[0-9]*");
}

std::optional<double> parse(const QString &text)
{
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = t.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace MapCellEntry
