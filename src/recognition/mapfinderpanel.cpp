#include "recognition/mapfinderpanel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

enum Column { ScoreColumn, SizeColumn, AddressColumn, TypeColumn, AxesColumn, PreviewColumn };

QString address(qint64 a)
{
    return a < 0 ? QStringLiteral("-") : QStringLiteral("0x") + QString::number(a, 16).toUpper();
}

// Blue for the lowest values to red for the highest.
QColor shade(double t)
{
    return QColor::fromHsvF(float(0.66 * (1.0 - std::clamp(t, 0.0, 1.0))), 0.85f, 0.95f);
}

} // namespace

MapFinderPanel::MapFinderPanel(QWidget *parent)
    : QWidget(parent, Qt::Tool)
{
    setWindowTitle(QStringLiteral("Mappe potenziali"));
    setObjectName(QStringLiteral("mapFinderPanel"));
    auto *layout = new QVBoxLayout(this);
    m_summary = new QLabel(this);
    layout->addWidget(m_summary);
    m_table = new QTableWidget(0, 6, this);
    m_table->setObjectName(QStringLiteral("mapFinderTable"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Punteggio"), QStringLiteral("Dimensioni"),
                                        QStringLiteral("Indirizzo"), QStringLiteral("Tipo"),
                                        QStringLiteral("Assi"), QStringLiteral("Anteprima")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->setVisible(false);
    m_table->verticalHeader()->setDefaultSectionSize(34);
    m_table->setIconSize(QSize(72, 28));
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table);
    auto *buttons = new QHBoxLayout;
    m_add = new QPushButton(QStringLiteral("Aggiungi"), this);
    m_addSelected = new QPushButton(QStringLiteral("Aggiungi selezionate"), this);
    auto *close = new QPushButton(QStringLiteral("Chiudi"), this);
    buttons->addWidget(m_add);
    buttons->addWidget(m_addSelected);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    resize(640, 480);

    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, [this] {
        updateButtons();
        const int row = m_table->currentRow();
        if (row >= 0 && row < m_candidates.size() && m_table->item(row, 0)->isSelected())
            emit candidateSelected(m_candidates.at(row));
    });
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (row >= 0 && row < m_candidates.size())
            emit openRequested(m_candidates.at(row));
    });
    connect(m_add, &QPushButton::clicked, this, [this] {
        const int row = m_table->currentRow();
        if (row >= 0 && row < m_candidates.size())
            emit addRequested({m_candidates.at(row)});
    });
    connect(m_addSelected, &QPushButton::clicked, this, [this] {
        const QList<MapCandidate> chosen = selectedCandidates();
        if (!chosen.isEmpty())
            emit addRequested(chosen);
    });
    updateButtons();
}

void MapFinderPanel::setCandidates(const QList<MapCandidate> &candidates, const QByteArray &image)
{
    m_candidates = candidates;
    m_image = image;
    m_table->clearContents();
    m_table->setRowCount(int(candidates.size()));
    for (int row = 0; row < candidates.size(); ++row) {
        const MapCandidate &c = candidates.at(row);
        const QString tip = c.evidence.join(QLatin1Char('\n'));
        auto set = [&](int column, const QString &text) {
            auto *item = new QTableWidgetItem(text);
            item->setToolTip(tip);
            m_table->setItem(row, column, item);
            return item;
        };
        set(ScoreColumn, QString::number(c.score, 'f', 1));
        set(SizeColumn, QStringLiteral("%1 × %2").arg(c.rows).arg(c.columns));
        set(AddressColumn, address(c.zAddress));
        set(TypeColumn, c.element.label());
        set(AxesColumn, candidateAxesText(c));
        set(PreviewColumn, QString())->setIcon(QIcon(preview(c, image, QSize(72, 28))));
    }
    m_table->resizeColumnsToContents();
    m_summary->setText(candidates.isEmpty()
                           ? QStringLiteral("Nessuna mappa potenziale trovata.")
                           : QStringLiteral("%1 mappe potenziali, la più probabile in alto. "
                                            "Doppio clic per aprirne una.")
                                 .arg(candidates.size()));
    updateButtons();
}

void MapFinderPanel::removeCandidates(const QList<MapCandidate> &added)
{
    QList<MapCandidate> rest;
    for (const MapCandidate &c : std::as_const(m_candidates)) {
        const bool gone = std::any_of(added.begin(), added.end(), [&](const MapCandidate &a) {
            return a.zAddress == c.zAddress && a.rows == c.rows && a.columns == c.columns;
        });
        if (!gone)
            rest.append(c);
    }
    setCandidates(rest, m_image);
}

QList<MapCandidate> MapFinderPanel::selectedCandidates() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_table->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    QList<MapCandidate> chosen;
    for (int row : rows)
        if (row < m_candidates.size())
            chosen.append(m_candidates.at(row));
    return chosen;
}

void MapFinderPanel::updateButtons()
{
    const bool any = m_table->selectionModel() && m_table->selectionModel()->hasSelection();
    m_add->setEnabled(any && m_table->currentRow() >= 0);
    m_addSelected->setEnabled(any);
}

QPixmap MapFinderPanel::preview(const MapCandidate &c, const QByteArray &image, QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::white);
    const QList<double> values
        = candidateValues(c, reinterpret_cast<const uint8_t *>(image.constData()), image.size());
    if (values.isEmpty())
        return pixmap;
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    const double span = *high - *low;
    auto level = [&](double v) { return span > 0 ? (v - *low) / span : 0.5; };
    QPainter p(&pixmap);
    if (c.rows == 1) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(0, 90, 180), 1.5));
        QPolygonF line;
        for (int i = 0; i < values.size(); ++i)
            line << QPointF(
                2 + (size.width() - 4) * double(i) / qMax<qsizetype>(values.size() - 1, 1),
                size.height() - 2 - (size.height() - 4) * level(values.at(i)));
        p.drawPolyline(line);
        return pixmap;
    }
    const double w = double(size.width()) / c.columns, h = double(size.height()) / c.rows;
    for (int r = 0; r < c.rows; ++r)
        for (int col = 0; col < c.columns; ++col)
            p.fillRect(QRectF(col * w, r * h, w + 0.5, h + 0.5),
                       shade(level(values.at(r * c.columns + col))));
    return pixmap;
}
