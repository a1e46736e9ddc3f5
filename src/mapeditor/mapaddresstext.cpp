#include "mapaddresstext.h"

#include "model/mapdefinition.h"

#include <limits>

namespace MapAddressText {

QString address(int offset)
{
    return QStringLiteral("%1").arg(uint(offset), 8, 16, QLatin1Char('0')).toUpper();
}

QString axisAddress(int offset)
{
    return offset < 0 ? QStringLiteral("Non assegnato") : address(offset);
}

bool parseAddress(const QString &text, int *offset)
{
    QString t = text.trimmed();
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        t = t.mid(2);
    if (t.isEmpty() || t.startsWith(QLatin1Char('+')) || t.startsWith(QLatin1Char('-')))
        return false;
    bool ok = false;
    const qulonglong value = t.toULongLong(&ok, 16);
    if (!ok || value > qulonglong(std::numeric_limits<int>::max()))
        return false;
    *offset = int(value);
    return true;
}

QString prefixedAddress(int offset)
{
    return offset < 0 ? QStringLiteral("-") : QStringLiteral("0x") + address(offset);
}

QString sizeText(const MapDefinition &d)
{
    return QStringLiteral("%1 x %2").arg(d.rows).arg(d.columns);
}

QString hoverCard(const MapDefinition &d)
{
    return QStringLiteral("<b>Indirizzo Z:</b> 0x%1<br><b>Nome:</b> %2<br><b>Descrizione:</b> "
                          "%3<br><b>Unità:</b> %4<br><b>COMPU_METHOD:</b> %5")
        .arg(address(d.mapOffset), d.name.toHtmlEscaped(), d.description.toHtmlEscaped(),
             d.unit.toHtmlEscaped(), d.compuMethod.toHtmlEscaped());
}

} // namespace MapAddressText
