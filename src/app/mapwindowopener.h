#pragma once

#include <QList>

class DocumentWindow;
class MapWindow;
class QMdiArea;

// The document's side of its map windows: opening one for a map of the record (current
// values from the image, original values from the untouched bytes), writing its edits through
// the document, answering its axis-cursor requests and keeping the record in step.

// Opens the map window of the map at mapIndex in the record's list, or brings forward the one
// already open (two windows of one map would each write their own stale copy of the values).
// A window belongs to its map, not to its address: another map at the same address has a
// window of its own. The window goes into area, by default the document's own document
// area; maximised when the active sub-window is. nullptr when the record has no such map.
MapWindow *openMapWindow(DocumentWindow *document, int mapIndex, QMdiArea *area = nullptr);

// The open map windows of a document (of the map at mapIndex when that is not negative).
QList<MapWindow *> mapWindowsOf(const DocumentWindow *document, int mapIndex = -1);

// The document a map window was opened for, null for none. Compare it with the open
// documents before use: it is not cleared when the document goes.
DocumentWindow *documentOfMapWindow(const MapWindow *window);
