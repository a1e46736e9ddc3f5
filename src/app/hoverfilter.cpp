#include "hoverfilter.h"

#include <QEvent>

HoverFilter::HoverFilter(std::function<void()> onEnter, std::function<void()> onLeave,
                         QObject *parent)
    : QObject(parent)
    , m_onEnter(std::move(onEnter))
    , m_onLeave(std::move(onLeave))
{}

bool HoverFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Enter && m_onEnter)
        m_onEnter();
    else if (event->type() == QEvent::Leave && m_onLeave)
        m_onLeave();
    return QObject::eventFilter(watched, event);
}
