#pragma once

#include <QString>

#include <functional>
#include <optional>

class ProjectStore;
struct FirmwareProject;

// The questions a save may ask. The application answers them with dialogs; tests answer
// them directly.
struct VersionQuestions
{
    enum class Choice { SaveInto, NewVersion, Cancel };

    // A version name: nullopt when the user cancels.
    std::function<std::optional<QString>(
        const QString &title, const QString &label, const QString &preset)>
        askName;
    // How to save the changes of the named version being edited.
    std::function<Choice(const QString &versionName)> askChoice;
    // A document saved for the first time meets a project of the same original that already
    // holds maps and versions: add a version to it (NewVersion), replace what its original
    // holds (SaveInto) or stop. Unanswered, the save stops.
    std::function<Choice(const QString &projectName)> askExisting;
};

// Saves a document as its project: the original once, the current image and its maps as
// the original (unchanged image) or as a named version. False when something cannot be
// written or the user cancels; files written before a failure stay.
bool saveProject(FirmwareProject &project,
                 const ProjectStore &store,
                 const VersionQuestions &questions);
