#pragma once

#include "recognition/mapfinder.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <memory>

class DocumentWindow;
class MainWindow;
class MapFinderPanel;
class QProgressDialog;

// "Cerca mappe potenziali...": runs the map finder on the active document's image on the
// thread pool, with progress and cancel, then lists what it proposes in a panel from which
// candidates are looked at, marked in the views and added to the document's maps.
class MapFinderCommand : public QObject
{
    Q_OBJECT
public:
    explicit MapFinderCommand(MainWindow *window);
    ~MapFinderCommand() override;

    // False when no document is open or a search is running.
    bool start();
    bool isBusy() const { return m_busy; }
    // The panel of the last search; null before one finished.
    MapFinderPanel *panel() const;
    // Adds the candidates to the document's maps as "Mappa potenziale RxC @ADDR"; returns how
    // many joined (one whose place a map already holds is left out).
    int addCandidates(DocumentWindow *document, const QList<MapCandidate> &candidates);

signals:
    void searchFinished();

private:
    void finish(DocumentWindow *document, const QByteArray &image, const MapFinderResult &result);
    void mark(const MapCandidate &candidate);

    MainWindow *m_window;
    QPointer<MapFinderPanel> m_panel;
    QPointer<DocumentWindow> m_document;
    QPointer<QProgressDialog> m_progress;
    // Shared with the worker, which may outlive this object by the end of its current step.
    std::shared_ptr<std::atomic<int>> m_percent;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    bool m_busy = false;
};
