#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QDialog;
class QTableWidget;

// The common frame of the project and version pickers: a green heading, a read-only table
// with one row selected at a time, "Annulla" and "Apri". Double click and "Apri" accept the
// dialog when canOpen says a row is chosen. Returns the table for the caller to fill.
QTableWidget *buildPickerDialog(QDialog *dialog,
                                const QString &heading,
                                int headingPixels,
                                const QStringList &columns,
                                const std::function<bool()> &canOpen);
