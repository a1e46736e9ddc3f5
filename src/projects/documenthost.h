#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class Firmware;
struct FirmwareProject;
struct MapDefinition;

// What the project commands need of the window that holds the open documents. The main
// window implements it, so that the commands know its documents but none of its widgets.
class DocumentHost
{
public:
    virtual ~DocumentHost() = default;

    // Opens an image with its maps as a new document, taking the firmware; its record, or
    // nullptr when none could be made.
    virtual FirmwareProject *createDocument(Firmware *firmware, const QList<MapDefinition> &maps)
        = 0;
    virtual FirmwareProject *activeDocument() const = 0;
    // Open documents in the order they were opened.
    virtual QList<FirmwareProject *> documents() const = 0;
    // Replaces a document's maps; its views and map list follow.
    virtual void setDocumentMaps(FirmwareProject *record, const QList<MapDefinition> &maps) = 0;
    // Makes originalBytes the reference of a document whose image differs from it.
    virtual void setReferenceBytes(FirmwareProject *record, const QByteArray &originalBytes) = 0;
    // The name a document goes by in its sub-window and in the map list.
    virtual void setDocumentTitle(FirmwareProject *record, const QString &title) = 0;
    virtual void showStatus(const QString &text, int timeoutMs) = 0;
};
