#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

// The questions and notices of the hex view's commands. The interactive set shows the usual
// input dialogs and message boxes; tests put their own answers in.
struct HexPrompts
{
    std::function<std::optional<int>(QWidget *parent,
                                     const QString &title,
                                     const QString &label,
                                     int value,
                                     int minimum,
                                     int maximum)>
        integer;
    std::function<std::optional<double>(QWidget *parent,
                                        const QString &title,
                                        const QString &label,
                                        double value,
                                        double minimum,
                                        double maximum,
                                        int decimals)>
        number;
    std::function<std::optional<QString>(
        QWidget *parent, const QString &title, const QString &label, const QString &text)>
        text;
    std::function<void(QWidget *parent, const QString &title, const QString &text)> warning;
    std::function<void(QWidget *parent, const QString &title, const QString &text)> information;

    static HexPrompts interactive();
};
