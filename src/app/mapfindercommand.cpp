#include "app/mapfindercommand.h"

#include "app/documentwindow.h"
#include "app/mainwindow.h"
#include "app/mapwindowopener.h"
#include "hex/hexviewer.h"
#include "model/firmware.h"
#include "model/firmwareproject.h"
#include "recognition/mapfinderpanel.h"

#include <QFutureWatcher>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>
#include <QtConcurrent>

MapFinderCommand::MapFinderCommand(MainWindow *window)
    : QObject(window)
    , m_window(window)
{
}

MapFinderCommand::~MapFinderCommand()
{
    if (m_cancel)
        m_cancel->store(true);
}

MapFinderPanel *MapFinderCommand::panel() const
{
    return m_panel;
}

bool MapFinderCommand::start()
{
    DocumentWindow *document = m_window->activeDocumentWindow();
    if (m_busy || !document || !document->record()->firmware) {
        if (!m_busy)
            QMessageBox::warning(m_window, QStringLiteral("Cerca mappe potenziali"),
                                 QStringLiteral("Nessun firmware attivo."));
        return false;
    }
    m_busy = true;
    m_percent = std::make_shared<std::atomic<int>>(0);
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    m_progress = new QProgressDialog(QStringLiteral("Ricerca delle mappe potenziali..."),
                                     QStringLiteral("Annulla"), 0, 100, m_window);
    m_progress->setWindowTitle(QStringLiteral("Cerca mappe potenziali"));
    m_progress->setWindowModality(Qt::ApplicationModal);
    m_progress->setMinimumDuration(0);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    m_progress->setValue(0);
    connect(m_progress, &QProgressDialog::canceled, this,
            [cancel = m_cancel] { cancel->store(true); });
    auto *timer = new QTimer(m_progress);
    connect(timer, &QTimer::timeout, this, [this] {
        if (m_progress && !m_progress->wasCanceled())
            m_progress->setValue(qBound(0, m_percent->load(), 99));
    });
    timer->start(100);

    // The worker gets copies: the document may change or close while it runs.
    const Firmware &firmware = *document->record()->firmware;
    const QByteArray image(reinterpret_cast<const char *>(firmware.data().data()),
                           qsizetype(firmware.size()));
    MapFinderOptions options;
    options.known = document->record()->maps;
    auto *watcher = new QFutureWatcher<MapFinderResult>(this);
    const QPointer<DocumentWindow> target(document);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, target, image] {
        const MapFinderResult result = watcher->result();
        watcher->deleteLater();
        finish(target, image, result);
    });
    watcher->setFuture(QtConcurrent::run([image, options, percent = m_percent, cancel = m_cancel] {
        return findMaps(reinterpret_cast<const uint8_t *>(image.constData()), image.size(), options,
                        [percent, cancel](int done) {
                            percent->store(done);
                            return !cancel->load();
                        });
    }));
    return true;
}

void MapFinderCommand::finish(DocumentWindow *document,
                              const QByteArray &image,
                              const MapFinderResult &result)
{
    m_busy = false;
    if (m_progress)
        m_progress->deleteLater();
    if (!document || result.cancelled) {
        emit searchFinished();
        return;
    }
    m_document = document;
    if (!m_panel) {
        m_panel = new MapFinderPanel(m_window);
        connect(m_panel, &MapFinderPanel::candidateSelected, this, &MapFinderCommand::mark);
        connect(m_panel, &MapFinderPanel::openRequested, this, [this](const MapCandidate &c) {
            if (!m_document)
                return;
            const std::vector<uint8_t> &bytes = m_document->record()->firmware->data();
            mark(c);
            openUnlistedMapWindow(m_document,
                                  candidateDefinition(c, bytes.data(), qint64(bytes.size())));
        });
        connect(m_panel, &MapFinderPanel::addRequested, this,
                [this](const QList<MapCandidate> &chosen) {
                    if (m_document && addCandidates(m_document, chosen) > 0)
                        m_panel->removeCandidates(chosen);
                });
    }
    m_panel->setWindowTitle(
        QStringLiteral("Mappe potenziali - %1")
            .arg(document->record()->firmware->fileName().empty()
                     ? QStringLiteral("firmware")
                     : QString::fromStdString(document->record()->firmware->fileName())));
    m_panel->setCandidates(result.candidates, image);
    m_panel->show();
    m_panel->raise();
    emit searchFinished();
}

void MapFinderCommand::mark(const MapCandidate &candidate)
{
    if (!m_document)
        return;
    const int first = int(candidate.firstByte()), last = int(candidate.lastByte());
    m_document->hexViewer()->setSelectionRange(first, last);
    m_document->hexViewer()->goToOffset(int(candidate.zAddress));
    m_document->show2DSelection(first, last);
}

int MapFinderCommand::addCandidates(DocumentWindow *document, const QList<MapCandidate> &chosen)
{
    if (!document || !document->record()->firmware)
        return 0;
    const std::vector<uint8_t> &bytes = document->record()->firmware->data();
    int added = 0;
    for (const MapCandidate &c : chosen) {
        const bool taken
            = std::any_of(document->record()->maps.cbegin(), document->record()->maps.cend(),
                          [&](const MapDefinition &m) { return m.mapOffset == int(c.zAddress); });
        if (taken)
            continue;
        document->addMap(candidateDefinition(c, bytes.data(), qint64(bytes.size())));
        ++added;
    }
    return added;
}
