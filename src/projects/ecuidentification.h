#pragma once

#include <QString>

#include <cstdint>
#include <functional>

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

// Hands every run of at least 6 printable bytes (0x20..0x7E) that a non-printable byte closes
// to visit(offset, length), in image order, until visit returns false. The identification
// examines these runs only.
void forEachPrintableRun(const uint8_t *bytes,
                         qint64 length,
                         const std::function<bool(qint64, qint64)> &visit);

// Copies the identification into a document record's texts.
void applyIdentification(FirmwareProject &record, const EcuIdentification &identification);
