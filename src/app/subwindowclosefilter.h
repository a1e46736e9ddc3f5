#pragma once

#include <QObject>

#include <functional>

// Asks a callback before a document sub-window closes; the close goes ahead only when the
// callback says so (a modified document must be saved first).
class SubWindowCloseFilter : public QObject
{
    Q_OBJECT
public:
    explicit SubWindowCloseFilter(std::function<bool()> mayClose, QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<bool()> m_mayClose;
};
