#pragma once

#include <QSpinBox>

// A zoom box: each step up doubles the value, each step down halves it, within the range.
class ZoomSpinBox : public QSpinBox
{
    Q_OBJECT
public:
    using QSpinBox::QSpinBox;
    void stepBy(int steps) override;

    // The value after the given number of steps from value, clamped to [minimum, maximum].
    static int steppedValue(int value, int steps, int minimum, int maximum);
};
