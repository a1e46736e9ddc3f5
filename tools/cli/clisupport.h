#pragma once

// What every command of tessamorvandi-cli shares: its one-line failure, its one-object JSON
// output, and loading an image the same way everywhere. A command lives in a file of its own
// when it grows beyond a screen; it includes this header and is listed in main.cpp's table.
#include "model/firmware.h"
#include "model/mapdefinition.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QString>

// Prints "tessamorvandi-cli: MESSAGE" as one line on stderr and returns the exit status 1.
int fail(const QString &message);

using Fields = QList<QPair<QString, QJsonValue>>;

// A value in compact JSON text, escaped as QJsonDocument escapes it.
QByteArray jsonText(const QJsonValue &value);

// One JSON object on one line, keys in the given order (QJsonObject would sort them).
void printJson(const Fields &fields);

bool loadImage(const QString &path, Firmware &firmware, QString *error);
bool isIntelHex(const Firmware &firmware);

// Map definitions as JSON, each with its source kind.
QJsonArray mapsJson(const QList<MapDefinition> &maps);
