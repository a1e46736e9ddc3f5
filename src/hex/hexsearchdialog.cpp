#include "hexsearchdialog.h"

#include "hex/hexmodel.h"
#include "hex/hexsearch.h"
#include "hex/hexviewer.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

HexSearchDialog::HexSearchDialog(HexViewer *viewer,
                                 bool hexadecimal,
                                 std::function<int()> cellBytes,
                                 QWidget *parent)
    : QDialog(parent)
    , m_viewer(viewer)
    , m_cellBytes(std::move(cellBytes))
{
    setWindowTitle(QStringLiteral("Cerca nei valori"));
    setModal(false);
    m_position = std::max(0, viewer ? viewer->currentOffset() : 0);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Valore da cercare:"), this));
    m_value = new QLineEdit(this);
    m_value->setPlaceholderText(QStringLiteral("Inserisci valore..."));
    layout->addWidget(m_value);

    auto *bases = new QHBoxLayout;
    m_decimal = new QRadioButton(QStringLiteral("Decimale"), this);
    m_hexadecimal = new QRadioButton(QStringLiteral("Esadecimale"), this);
    auto *group = new QButtonGroup(this);
    group->addButton(m_decimal);
    group->addButton(m_hexadecimal);
    (hexadecimal ? m_hexadecimal : m_decimal)->setChecked(true);
    bases->addWidget(m_decimal);
    bases->addWidget(m_hexadecimal);
    bases->addStretch(1);
    layout->addLayout(bases);

    auto *steps = new QHBoxLayout;
    auto *previous = new QPushButton(QStringLiteral("◀"), this);
    auto *next = new QPushButton(QStringLiteral("▶"), this);
    previous->setObjectName(QStringLiteral("searchPreviousButton"));
    next->setObjectName(QStringLiteral("searchNextButton"));
    for (QPushButton *b : {previous, next}) {
        b->setFixedWidth(55);
        b->setAutoDefault(false);
        steps->addWidget(b);
    }
    steps->addStretch(1);
    layout->addLayout(steps);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    auto *cancel = new QPushButton(QStringLiteral("Annulla"), this);
    ok->setAutoDefault(false);
    cancel->setAutoDefault(false);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    resize(320, sizeHint().height());

    connect(previous, &QPushButton::clicked, this, [this] { searchStep(false); });
    connect(next, &QPushButton::clicked, this, [this] { searchStep(true); });
    auto searchAndClose = [this] {
        if (searchStep(true))
            accept();
    };
    connect(ok, &QPushButton::clicked, this, searchAndClose);
    connect(m_value, &QLineEdit::returnPressed, this, searchAndClose);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool HexSearchDialog::searchStep(bool forward)
{
    if (!m_viewer) {
        reject(); // the document went away while the dialog was open
        return false;
    }
    const HexPrompts &prompts = m_viewer->prompts();
    const QString title = QStringLiteral("Ricerca");
    HexModel *model = m_viewer->model();
    const int w = m_cellBytes ? m_cellBytes() : model->cellBytes();
    const HexSearch::Pattern pattern = HexSearch::parseValue(
        m_value->text(), m_hexadecimal->isChecked(), w, model->effectiveByteOrder());
    if (!pattern.error.isEmpty()) {
        prompts.warning(this, title, pattern.error);
        return false;
    }
    const QByteArray &data = model->currentData();
    const int cursor = m_viewer->currentOffset();
    if (cursor >= 0 && cursor != m_position)
        m_position = cursor;
    const HexSearch::Step step
        = HexSearch::find(data.constData(), data.size(), pattern.bytes, m_position, forward);
    if (step.tooShort) {
        prompts.information(this, title, QStringLiteral("Valore non trovato."));
        return false;
    }
    if (step.wrapped) {
        prompts.information(this, title,
                            forward ? QStringLiteral("Raggiunta la fine del file.\n"
                                                     "La ricerca riparte dall'inizio.")
                                    : QStringLiteral("Raggiunto l'inizio del file.\n"
                                                     "La ricerca riparte dalla fine."));
    }
    if (step.hit < 0) {
        prompts.information(this, title, QStringLiteral("Valore non trovato nel firmware."));
        return false;
    }
    m_position = step.hit;
    emit hitFound(step.hit);
    m_viewer->goToOffset(step.hit);
    return true;
}
