#pragma once

#include <QString>

#include <cstdint>

class Firmware;
struct FirmwareProject;

// What the printable text of an image says about its control unit; blank where nothing
// was found. upgrade and reserved are never filled by the scan.
struct EcuIdentification
{
    QString ecuFamily;
    QString softwareNumber;
    QString hardwareNumber;
    QString calibrationNumber;
    QString upgrade;
    QString partNumber;
    QString reserved;
    QString engineCode;
};

EcuIdentification identifyEcu(const Firmware &firmware);
EcuIdentification identifyEcu(const uint8_t *bytes, qint64 length);

// Copies the identification into a document record's texts.
void applyIdentification(FirmwareProject &record, const EcuIdentification &identification);
