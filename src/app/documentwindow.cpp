#include "documentwindow.h"

#include "app/mapwindowopener.h"
#include "model/fingerprint.h"
#include "model/firmwareproject.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

DocumentWindow::DocumentWindow(FirmwareProject *record, QWidget *parent)
    : QWidget(parent)
    , m_record(record)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_stack = new QStackedWidget(this);
    // Until the hex table arrives the text page tells honestly what was loaded.
    const Firmware &fw = *record->firmware;
    m_summary = new QLabel(this);
    m_summary->setAlignment(Qt::AlignCenter);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_summary->setText(QStringLiteral("%1\n\n%2 byte\nSHA-256: %3\n\nVista esadecimale non ancora disponibile.")
                           .arg(QString::fromStdString(fw.fileName()),
                                QLocale(QLocale::Italian).toString(qulonglong(fw.size())),
                                imageFingerprint(fw.data())));
    m_stack->addWidget(m_summary);
    m_placeholder2D = new QLabel(QStringLiteral("Vista 2D non ancora disponibile."), this);
    m_placeholder2D->setAlignment(Qt::AlignCenter);
    m_stack->addWidget(m_placeholder2D);
    m_placeholder3D = new QLabel(
        QStringLiteral("Visualizzazione 3D\n\nModulo 3D non ancora implementato."), this);
    m_placeholder3D->setAlignment(Qt::AlignCenter);
    m_stack->addWidget(m_placeholder3D);
    layout->addWidget(m_stack, 1);

    buildBar();

    connect(this, &DocumentWindow::openMapRequested, this,
            [this](int mapOffset) { openMapWindow(this, mapOffset); });
}

void DocumentWindow::buildBar()
{
    auto *bar = new QWidget(this);
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(4, 4, 4, 4);
    row->setSpacing(4);
    m_viewButtons = new QButtonGroup(this);
    m_viewButtons->setExclusive(true);
    const struct { const char *text; const char *objectName; } views[] = {
        {"Text", "documentTextButton"}, {"2D", "document2DButton"}, {"3D", "document3DButton"}};
    int id = 0;
    for (const auto &v : views) {
        auto *button = new QPushButton(QString::fromLatin1(v.text), bar);
        button->setObjectName(QString::fromLatin1(v.objectName));
        button->setCheckable(true);
        m_viewButtons->addButton(button, id++);
        row->addWidget(button);
    }
    m_viewButtons->button(0)->setChecked(true);
    connect(m_viewButtons, &QButtonGroup::idClicked, this, [this](int which) {
        if (which == 0)
            showTextPage();
        else if (which == 1)
            show2DPage();
        else
            show3DPage();
    });
    row->addStretch(1);
    const QStringList navigation = {QStringLiteral("|◀"), QStringLiteral("◀◀"),
                                    QStringLiteral("◀"),  QStringLiteral("▶"),
                                    QStringLiteral("▶▶"), QStringLiteral("▶|")};
    for (const QString &text : navigation) {
        auto *button = new QPushButton(text, bar);
        button->setFixedWidth(42);
        // They page the 2D graph, which is not there yet.
        button->setEnabled(false);
        m_navigationButtons.append(button);
        row->addWidget(button);
    }
    m_navigationButtons[2]->setToolTip(QStringLiteral("Parte precedente"));
    m_navigationButtons[3]->setToolTip(QStringLiteral("Parte successiva"));
    layout()->addWidget(bar);
}

void DocumentWindow::showTextPage()
{
    m_stack->setCurrentIndex(0);
    m_viewButtons->button(0)->setChecked(true);
}

void DocumentWindow::show2DPage()
{
    m_stack->setCurrentIndex(1);
    m_viewButtons->button(1)->setChecked(true);
}

void DocumentWindow::show3DPage()
{
    m_stack->setCurrentIndex(2);
    m_viewButtons->button(2)->setChecked(true);
}

int DocumentWindow::currentPage() const
{
    return m_stack->currentIndex();
}

void DocumentWindow::setMaps(const QList<MapDefinition> &maps)
{
    m_record->maps = maps;
    emit mapsChanged();
}

void DocumentWindow::addMap(const MapDefinition &map)
{
    m_record->maps.append(map);
    emit mapsChanged();
}

bool DocumentWindow::removeMap(int mapOffset)
{
    for (int i = 0; i < m_record->maps.size(); ++i) {
        if (m_record->maps.at(i).mapOffset == mapOffset) {
            m_record->maps.removeAt(i);
            emit mapsChanged();
            return true;
        }
    }
    return false;
}

bool DocumentWindow::renameMap(int mapOffset, const QString &name)
{
    for (MapDefinition &map : m_record->maps) {
        if (map.mapOffset == mapOffset) {
            map.name = name;
            emit mapsChanged();
            return true;
        }
    }
    return false;
}

bool DocumentWindow::updateMap(const MapDefinition &map)
{
    for (MapDefinition &existing : m_record->maps) {
        if (existing.mapOffset == map.mapOffset) {
            existing = map;
            emit mapsChanged();
            return true;
        }
    }
    return false;
}

bool DocumentWindow::writeBytes(int offset, const QByteArray &bytes)
{
    std::vector<uint8_t> &image = m_record->firmware->data();
    if (offset < 0 || bytes.isEmpty() || qint64(offset) + bytes.size() > qint64(image.size()))
        return false;
    std::copy(bytes.cbegin(), bytes.cend(), image.begin() + offset);
    m_record->modified = true;
    emit modifiedChanged(true);
    return true;
}

int DocumentWindow::hexCursorOffset() const
{
    return -1;
}
