#pragma once

#include <QObject>

#include <functional>

// Calls one function when the pointer enters the watched object and another when it leaves;
// the events go on as usual.
class HoverFilter : public QObject
{
    Q_OBJECT
public:
    HoverFilter(std::function<void()> onEnter, std::function<void()> onLeave,
                QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::function<void()> m_onEnter;
    std::function<void()> m_onLeave;
};
