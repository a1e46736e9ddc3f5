#pragma once

#include <Qt>

class QProgressDialog;
class QString;
class QWidget;

// The busy indicator shown while a parser runs on the thread pool: title "Tessamorvandi",
// an endless bar, no cancel button, at least 420 pixels wide, shown at once.
QProgressDialog *
createBusyDialog(QWidget *parent, const QString &label, Qt::WindowModality modality);
