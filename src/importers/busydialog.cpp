#include "busydialog.h"

#include <QProgressDialog>

QProgressDialog *
createBusyDialog(QWidget *parent, const QString &label, Qt::WindowModality modality)
{
    auto *dialog = new QProgressDialog(parent);
    dialog->setWindowTitle(QStringLiteral("Tessamorvandi"));
    dialog->setLabelText(label);
    dialog->setRange(0, 0);
    dialog->setCancelButton(nullptr);
    dialog->setWindowModality(modality);
    dialog->setMinimumDuration(0);
    dialog->setMinimumWidth(420);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->show();
    return dialog;
}
