#include "createselectiondialog.h"

#include "hex/hexcells.h"
#include "hex/hexmodel.h"
#include "hex/hexviewer.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CreateSelectionDialog::CreateSelectionDialog(HexViewer *viewer,
                                             std::function<int()> cursorOffset,
                                             QWidget *parent)
    : QDialog(parent)
    , m_viewer(viewer)
    , m_cursorOffset(std::move(cursorOffset))
{
    setWindowTitle(QStringLiteral("Crea selezione"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    auto *form = new QFormLayout(this);
    auto addRow = [this, form](const QString &label, QLineEdit *&edit) {
        auto *row = new QHBoxLayout;
        edit = new QLineEdit(this);
        auto *fromCursor = new QPushButton(QStringLiteral("Come da cursore"), this);
        fromCursor->setAutoDefault(false);
        row->addWidget(edit, 1);
        row->addWidget(fromCursor);
        form->addRow(label, row);
        QLineEdit *target = edit;
        connect(fromCursor, &QPushButton::clicked, this, [this, target] {
            const int offset = m_cursorOffset ? m_cursorOffset() : -1;
            if (offset >= 0)
                target->setText(QString::number(offset, 16).toUpper());
        });
    };
    addRow(QStringLiteral("DA:"), m_from);
    addRow(QStringLiteral("A:"), m_to);
    form->addRow(new QLabel(QStringLiteral("Modalità: Continua"), this));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (apply())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

bool CreateSelectionDialog::apply()
{
    if (!m_viewer)
        return true; // nothing left to select in: just close
    const auto from = HexCells::parseAddress(m_from->text());
    const auto to = HexCells::parseAddress(m_to->text());
    const auto span
        = from && to ? HexCells::selectionFromAddresses(*from, *to, m_viewer->model()->cellBytes(),
                                                        m_viewer->model()->currentData().size())
                     : std::nullopt;
    if (!span) {
        m_viewer->prompts().warning(this, QStringLiteral("Crea selezione"),
                                    QStringLiteral("Inserire indirizzi HEX validi."));
        return false;
    }
    m_viewer->setSelectionRange(span->start, span->end);
    emit selectionCreated(span->start, span->end);
    return true;
}
