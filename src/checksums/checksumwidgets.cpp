#include "checksums/checksumwidgets.h"

#include "checksums/hexmodelchecksums.h"
#include "hex/hexmodel.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// Long enough to let a run of keystrokes finish, short enough to feel immediate.
constexpr int kCheckDelayMs = 250;
constexpr int kRangesShown = 2;

std::function<ChecksumWriteChoice(const QString &, const ChecksumReport &)> &questionOverride()
{
    static std::function<ChecksumWriteChoice(const QString &, const ChecksumReport &)> question;
    return question;
}

QString hexOffset(qint64 offset)
{
    return QStringLiteral("0x%1").arg(offset, 5, 16, QLatin1Char('0'));
}

QString rangesText(const QList<ChecksumRange> &ranges)
{
    QStringList parts;
    for (int i = 0; i < ranges.size() && i < kRangesShown; ++i)
        parts << hexOffset(ranges.at(i).start) + QLatin1Char('-') + hexOffset(ranges.at(i).end);
    if (ranges.size() > kRangesShown)
        parts << QStringLiteral("… (+%1)").arg(ranges.size() - kRangesShown);
    return parts.join(QStringLiteral(", "));
}

} // namespace

ChecksumReportDialog::ChecksumReportDialog(const ChecksumReport &report, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Checksum"));
    resize(1120, 560);
    auto *layout = new QVBoxLayout(this);

    auto *summary = new QLabel(this);
    summary->setObjectName(QStringLiteral("checksumSummary"));
    summary->setWordWrap(true);
    QString text = report.recognised()
                       ? QStringLiteral("<b>Modulo: %1</b> — %2")
                             .arg(report.module, checksumStatusText(report).toHtmlEscaped())
                       : QStringLiteral("<b>Nessun modulo checksum riconosce questo firmware.</b>");
    for (const QString &line : report.evidence)
        text += QStringLiteral("<br>") + line.toHtmlEscaped();
    summary->setText(text);
    layout->addWidget(summary);

    auto *table = new QTableWidget(int(report.blocks.size()), 6, this);
    table->setObjectName(QStringLiteral("checksumTable"));
    table->setHorizontalHeaderLabels({QStringLiteral("Blocco"), QStringLiteral("Aree"),
                                      QStringLiteral("Valore a"), QStringLiteral("Memorizzato"),
                                      QStringLiteral("Calcolato"), QStringLiteral("Stato")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->setVisible(false);
    table->setAlternatingRowColors(true);
    for (int row = 0; row < report.blocks.size(); ++row) {
        const ChecksumBlock &block = report.blocks.at(row);
        const QStringList cells{block.label,
                                rangesText(block.covered),
                                hexOffset(block.valueOffset),
                                block.storedText(),
                                block.computedText(),
                                block.ok ? QStringLiteral("OK") : QStringLiteral("ERRATO")};
        for (int column = 0; column < cells.size(); ++column) {
            auto *item = new QTableWidgetItem(cells.at(column));
            if (!block.ok)
                item->setForeground(QColor(0xc0, 0x20, 0x20));
            table->setItem(row, column, item);
        }
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table, 1);

    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("Chiudi"), QDialogButtonBox::RejectRole);
    QPushButton *correct
        = buttons->addButton(QStringLiteral("Correggi checksum"), QDialogButtonBox::ActionRole);
    correct->setObjectName(QStringLiteral("correctChecksumButton"));
    correct->setEnabled(!report.corrections.isEmpty());
    if (report.uncorrectable()) {
        auto *why = new QLabel(uncorrectableChecksumText(report), this);
        why->setObjectName(QStringLiteral("uncorrectableChecksumLabel"));
        why->setWordWrap(true);
        layout->addWidget(why);
    }
    connect(correct, &QPushButton::clicked, this, [this] {
        m_correctionRequested = true;
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void setChecksumQuestion(
    std::function<ChecksumWriteChoice(const QString &title, const ChecksumReport &)> question)
{
    questionOverride() = std::move(question);
}

ChecksumWriteChoice
askAboutWrongChecksums(QWidget *parent, const QString &title, const ChecksumReport &report)
{
    if (questionOverride())
        return questionOverride()(title, report);
    const bool uncorrectable = report.uncorrectable();
    QMessageBox box(QMessageBox::Question, title,
                    uncorrectable ? uncorrectableChecksumText(report)
                                        + QStringLiteral("\n\nVuoi continuare comunque?")
                                  : QStringLiteral("I checksum del firmware non corrispondono "
                                                   "(%1).\n\nVuoi correggerli prima di continuare?")
                                        .arg(checksumStatusText(report)),
                    QMessageBox::NoButton, parent);
    QPushButton *correct = uncorrectable
                               ? nullptr
                               : box.addButton(QStringLiteral("Correggi"), QMessageBox::AcceptRole);
    QPushButton *keep = box.addButton(QStringLiteral("Lascia così"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(QStringLiteral("Annulla"), QMessageBox::RejectRole);
    box.setDefaultButton(uncorrectable ? cancel : correct);
    box.setEscapeButton(cancel);
    box.exec();
    if (correct && box.clickedButton() == correct)
        return ChecksumWriteChoice::Correct;
    if (box.clickedButton() == keep)
        return ChecksumWriteChoice::Keep;
    return ChecksumWriteChoice::Cancel;
}

DocumentChecksums::DocumentChecksums(HexModel *model, QWidget *parentWidget)
    : QObject(parentWidget)
    , m_model(model)
    , m_parentWidget(parentWidget)
    , m_button(new QToolButton(parentWidget))
    , m_timer(new QTimer(this))
{
    m_button->setObjectName(QStringLiteral("documentChecksumButton"));
    m_button->setAutoRaise(true);
    m_button->setToolTip(QStringLiteral("Rapporto dei checksum"));
    connect(m_button, &QToolButton::clicked, this, &DocumentChecksums::showReport);
    m_timer->setSingleShot(true);
    m_timer->setInterval(kCheckDelayMs);
    connect(m_timer, &QTimer::timeout, this, &DocumentChecksums::check);
    connect(m_model, &HexModel::dataModified, m_timer, qOverload<>(&QTimer::start));
    connect(m_model, &QAbstractItemModel::modelReset, m_timer, qOverload<>(&QTimer::start));
    check();
}

void DocumentChecksums::check()
{
    m_timer->stop();
    m_report = checkModel(*m_model);
    m_button->setText(checksumStatusText(m_report));
    m_button->setStyleSheet(m_report.recognised() && !m_report.allOk() ? QStringLiteral(
                                "QToolButton { color: #c02020; font-weight: bold; }")
                                                                       : QString());
}

const ChecksumReport &DocumentChecksums::report()
{
    if (m_timer->isActive())
        check();
    return m_report;
}

int DocumentChecksums::correct()
{
    const int corrected = correctChecksums(*m_model, report());
    check();
    return corrected;
}

void DocumentChecksums::showReport()
{
    ChecksumReportDialog dialog(report(), m_parentWidget);
    if (dialog.exec() == QDialog::Accepted && dialog.correctionRequested()) {
        const int corrected = correct();
        emit statusMessage(QStringLiteral("Checksum corretti: %1").arg(corrected), 4000);
    }
}

bool DocumentChecksums::confirmBeforeWriting(const QString &title)
{
    const ChecksumReport &current = report();
    if (!current.recognised() || current.allOk())
        return true;
    switch (askAboutWrongChecksums(m_parentWidget, title, current)) {
    case ChecksumWriteChoice::Correct:
        if (current.uncorrectable())
            return false; // only a question override can answer so; nothing was corrected
        correct();
        return true;
    case ChecksumWriteChoice::Keep:
        return true;
    case ChecksumWriteChoice::Cancel:
        break;
    }
    return false;
}
