#pragma once

#include "model/projecttexts.h"

#include <QString>

struct FirmwareProject;

// What the import wizard hands back: the project texts as the user left them, the facts of
// the selected file, and either a saved project to open instead or a new import.
struct WizardResult : ProjectTexts
{
    QString fileName;
    QString fileExtension;
    qint64 fileSize = 0;

    QString projectFolderToOpen;
    bool searchMapsAfterImport = false;
};

// Copies the thirteen texts and the file facts into a new document's record.
void applyWizardResult(FirmwareProject &record, const WizardResult &result);

// "%1 byte  (%2 KB / %3 MB)" for a file size on disk.
QString fileLengthText(qint64 size);
// The suffix after the last dot of a file name; blank when there is none.
QString fileSuffixAfterLastDot(const QString &fileName);
