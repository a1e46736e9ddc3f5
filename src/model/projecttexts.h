#pragma once

#include <QString>

// The identification and customer texts of a project, blank when unknown: what the import
// wizard proposes, the project data dialog edits and "project.json" stores.
struct ProjectTexts
{
    QString ecu;
    QString software;
    QString calibration;
    QString hardware;
    QString upgrade;
    QString ecuNumber;
    QString engineCode;
    QString customer;
    QString vehicleBrand;
    QString vehicleModel;
    QString engine;
    QString year;
    QString notes;
};
