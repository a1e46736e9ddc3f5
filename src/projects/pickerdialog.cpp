#include "pickerdialog.h"

#include "projectbrowser.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

QTableWidget *buildPickerDialog(QDialog *dialog,
                                const QString &heading,
                                int headingPixels,
                                const QStringList &columns,
                                const std::function<bool()> &canOpen)
{
    auto *layout = new QVBoxLayout(dialog);
    auto *title = new QLabel(heading, dialog);
    title->setStyleSheet(ProjectBrowser::headingStyle(headingPixels));
    layout->addWidget(title);

    auto *table = new QTableWidget(0, int(columns.size()), dialog);
    table->setHorizontalHeaderLabels(columns);
    table->setAlternatingRowColors(true);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    const auto openIfChosen = [dialog, canOpen] {
        if (canOpen())
            dialog->accept();
    };
    QObject::connect(table, &QTableWidget::cellDoubleClicked, dialog, openIfChosen);
    layout->addWidget(table, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto *cancel = new QPushButton(QStringLiteral("Annulla"), dialog);
    auto *open = new QPushButton(QStringLiteral("Apri"), dialog);
    open->setObjectName(QStringLiteral("openButton"));
    open->setStyleSheet(ProjectBrowser::buttonStyle());
    open->setDefault(true);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    QObject::connect(open, &QPushButton::clicked, dialog, openIfChosen);
    buttons->addWidget(cancel);
    buttons->addWidget(open);
    layout->addLayout(buttons);
    return table;
}
