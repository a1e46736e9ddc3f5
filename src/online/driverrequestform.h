#pragma once

#include <QString>

struct FirmwareProject;

// What "Richiesta Driver" starts with: the original file of the document being worked on and
// what is known of its control unit and vehicle, so that nobody retypes what the image and the
// project already say.
struct DriverRequestForm
{
    QString firmwarePath;
    QString brand;
    QString family;
    QString notes;
};

// The form for a document (none: an empty form). The file is the project's original image
// once the document is saved in a project, else the file it was opened from; blank when that
// file is gone. The notes list the identification texts that are known, one "label: value" a
// line. A non-empty firmwarePath (the file the online search looked up) is taken as the file.
DriverRequestForm driverRequestFormFor(const FirmwareProject *record,
                                       const QString &firmwarePath = {});
