#pragma once

#include <QString>

#include <functional>

// What the version check leads to, decided without a window.
enum class UpdateKind { None, NoPackage, Optional, Mandatory };
UpdateKind updateKind(bool checkSucceeded,
                      const QString &latestVersion,
                      bool mandatory,
                      const QString &downloadUrl,
                      const QString &runningVersion);

// The update prompt of the main window: shows the box the version check calls for and starts
// the updater. Every window and the quit go through replaceable calls, for tests.
struct UpdatePrompt
{
    // The update box; true for "AGGIORNA".
    std::function<bool(UpdateKind kind, const QString &text, const QString &informative)> ask;
    std::function<void(const QString &title, const QString &text)> warning;
    std::function<void(const QString &title, const QString &text)> critical;
    std::function<bool(const QString &downloadUrl)> startUpdater;
    std::function<void()> quit;

    static UpdatePrompt dialogs(class QWidget *parent);

    // Handles one version check result.
    void handle(bool success,
                const QString &message,
                const QString &latestVersion,
                bool mandatory,
                const QString &downloadUrl,
                const QString &notes) const;
};
