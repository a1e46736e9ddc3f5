#include "hexprompts.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

HexPrompts HexPrompts::interactive()
{
    HexPrompts p;
    p.integer = [](QWidget *parent, const QString &title, const QString &label, int value,
                   int minimum, int maximum) -> std::optional<int> {
        bool ok = false;
        const int v = QInputDialog::getInt(parent, title, label, value, minimum, maximum, 1, &ok);
        return ok ? std::optional<int>(v) : std::nullopt;
    };
    p.number = [](QWidget *parent, const QString &title, const QString &label, double value,
                  double minimum, double maximum, int decimals) -> std::optional<double> {
        bool ok = false;
        const double v = QInputDialog::getDouble(parent, title, label, value, minimum, maximum,
                                                 decimals, &ok, Qt::WindowFlags(), 1.0);
        return ok ? std::optional<double>(v) : std::nullopt;
    };
    p.text = [](QWidget *parent, const QString &title, const QString &label,
                const QString &text) -> std::optional<QString> {
        bool ok = false;
        const QString v = QInputDialog::getText(parent, title, label, QLineEdit::Normal, text, &ok);
        return ok ? std::optional<QString>(v) : std::nullopt;
    };
    p.warning = [](QWidget *parent, const QString &title, const QString &text) {
        QMessageBox::warning(parent, title, text, QMessageBox::Ok);
    };
    p.information = [](QWidget *parent, const QString &title, const QString &text) {
        QMessageBox::information(parent, title, text, QMessageBox::Ok);
    };
    return p;
}
