#pragma once

#include "hex/hex2dview.h"

#include <QApplication>
#include <QVariant>

// Ties a map window opened from the 2D view to that view: the window's edits come back as the
// view's dataEditRequested, its name and definition changes are passed on (the definition after
// renewing the view's band of that map), and its requests for the hex cursor as an axis address
// leave as the view's xAxisHexCursorRequested / yAxisHexCursorRequested. A template so that the
// view does not depend on the map editor; any window with the map window's signals fits.
template <class MapWindowType>
void linkMapWindowToView(Hex2DView *view, MapWindowType *window)
{
    window->setProperty("sourceHex2DViewPtr", QVariant::fromValue(static_cast<QObject *>(view)));
    window->setColorMode(qApp->property("ecuColorMode").toBool());
    window->setPercentMode(qApp->property("ecuPercentMode").toBool());
    QObject::connect(window, &MapWindowType::mapValueChanged, view,
                     [view](int offset, quint16 raw) { view->forwardMapValueChanged(offset, raw); });
    QObject::connect(window, &MapWindowType::mapBlockChanged, view,
                     [view](int offset, const QByteArray &data) {
                         view->forwardMapBlockChanged(offset, data);
                     });
    QObject::connect(window, &MapWindowType::mapNameChanged, view,
                     [view](int mapOffset, const QString &name) {
                         view->forwardMapNameChanged(mapOffset, name);
                     });
    QObject::connect(window, &MapWindowType::mapDefinitionChanged, view,
                     [view](const MapDefinition &d) { view->forwardMapDefinitionChanged(d); });
    QObject::connect(window, &MapWindowType::xAxisCursorRequested, view,
                     [view, window] { emit view->xAxisHexCursorRequested(window); });
    QObject::connect(window, &MapWindowType::yAxisCursorRequested, view,
                     [view, window] { emit view->yAxisHexCursorRequested(window); });
}
