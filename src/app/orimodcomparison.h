#pragma once

#include "projects/comparestatistics.h"

#include <QString>

#include <functional>

class DocumentWindow;
class FirmwareProject;
class MainWindow;

// Compares a dropped modified image (MOD) with the original (ORI) of an open document and,
// when the user goes on through both reports, opens MOD as a new document whose views mark
// every byte that differs from ORI.
class OriModComparison
{
public:
    // The questions and messages of a comparison; tests replace them so that nothing blocks.
    struct Prompts
    {
        // Shows a report; true when the user goes on ("Avanti" / OK).
        std::function<bool(const CompareReport &report, bool second)> showReport;
        std::function<void(const QString &title, const QString &text)> warning;
    };

    explicit OriModComparison(MainWindow *mainWindow);
    void setPrompts(const Prompts &prompts);

    // The new document's record, or null when the comparison stopped.
    FirmwareProject *run(DocumentWindow *ori, const QString &modPath);

    static Prompts defaultPrompts(MainWindow *parent);

private:
    MainWindow *m_mainWindow;
    Prompts m_prompts;
};
