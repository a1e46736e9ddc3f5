#include "driverrequestform.h"

#include "model/firmwareproject.h"
#include "projects/projectfiles.h"

#include <QFileInfo>
#include <QStringList>

DriverRequestForm driverRequestFormFor(const FirmwareProject *record, const QString &firmwarePath)
{
    DriverRequestForm form;
    form.firmwarePath = firmwarePath;
    if (!record)
        return form;
    if (form.firmwarePath.isEmpty()) {
        // A saved version's own file is a modified image; the request is for the original.
        using namespace ProjectFiles;
        const QString original = record->projectFolder.isEmpty()
                                     ? QString()
                                     : record->projectFolder + QLatin1Char('/') + OriginalFolder
                                           + QLatin1Char('/') + FirmwareBin;
        for (const QString &candidate : {original, record->savedFirmwarePath}) {
            if (!candidate.isEmpty() && QFileInfo(candidate).isFile()) {
                form.firmwarePath = candidate;
                break;
            }
        }
    }
    form.brand = record->vehicleBrand.trimmed();
    form.family = record->ecu.trimmed();
    const struct
    {
        const char *label;
        const QString &value;
    } known[] = {{"Modello", record->vehicleModel},
                 {"Motore", record->engine},
                 {"Anno", record->year},
                 {"Software", record->software},
                 {"Calibration", record->calibration},
                 {"Hardware", record->hardware},
                 {"ECU Number", record->ecuNumber},
                 {"Codice motore", record->engineCode}};
    QStringList lines;
    for (const auto &k : known)
        if (!k.value.trimmed().isEmpty())
            lines << QStringLiteral("%1: %2").arg(QLatin1String(k.label), k.value.trimmed());
    form.notes = lines.join(QLatin1Char('\n'));
    return form;
}
