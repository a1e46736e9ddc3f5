#pragma once

#include "model/mapdefinition.h"

#include <QByteArray>
#include <QList>
#include <QString>

class QWidget;

// "Crea driver...": makes a recognition driver from an image and its maps and saves it where
// the user chooses, telling the outcome in message boxes titled "Crea driver".
void createDriverInteractively(QWidget *parent,
                               const QByteArray &image,
                               const QList<MapDefinition> &maps,
                               const QString &firmwareFileName);
