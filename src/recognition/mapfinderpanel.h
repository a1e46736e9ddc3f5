#pragma once

#include "recognition/mapfinder.h"

#include <QByteArray>
#include <QList>
#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;

// The maps proposed by the finder for one image: score, size, address, type and a small
// picture of each, best first. Choosing a row marks its bytes in the views, a double click
// opens it, "Aggiungi" / "Aggiungi selezionate" make it a map of the document.
class MapFinderPanel : public QWidget
{
    Q_OBJECT
public:
    explicit MapFinderPanel(QWidget *parent = nullptr);

    // image: the bytes the candidates were found in, for their pictures.
    void setCandidates(const QList<MapCandidate> &candidates, const QByteArray &image);
    QList<MapCandidate> candidates() const { return m_candidates; }
    // Takes out the candidates that joined the document's maps.
    void removeCandidates(const QList<MapCandidate> &added);
    QTableWidget *table() const { return m_table; }

    // A small picture of the values: a shaded grid for a table, a line for a curve.
    static QPixmap preview(const MapCandidate &candidate, const QByteArray &image, QSize size);

signals:
    void candidateSelected(const MapCandidate &candidate);
    void openRequested(const MapCandidate &candidate);
    void addRequested(const QList<MapCandidate> &candidates);

private:
    QList<MapCandidate> selectedCandidates() const;
    void updateButtons();

    QList<MapCandidate> m_candidates;
    QByteArray m_image;
    QLabel *m_summary = nullptr;
    QTableWidget *m_table = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_addSelected = nullptr;
};
