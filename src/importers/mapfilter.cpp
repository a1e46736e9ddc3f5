#include "mapfilter.h"

namespace {

bool fieldMatches(const QString &filter, const QString &field)
{
    const QString wanted = filter.trimmed();
    return wanted.isEmpty() || field.contains(wanted, Qt::CaseInsensitive);
}

} // namespace

bool MapFilter::isEmpty() const
{
    return name.trimmed().isEmpty() && description.trimmed().isEmpty() && unit.trimmed().isEmpty()
           && compuMethod.trimmed().isEmpty() && !changedOnly;
}

bool MapFilter::matches(const MapDefinition &map, bool changed) const
{
    return (changed || !changedOnly) && fieldMatches(name, map.name) && fieldMatches(description, map.description)
           && fieldMatches(unit, map.unit) && fieldMatches(compuMethod, map.compuMethod);
}

QStringList mapGroupLevels(const QString &group)
{
    QStringList levels;
    for (const QString &level : group.split(u'/'))
        if (!level.trimmed().isEmpty())
            levels.append(level.trimmed());
    return levels;
}
