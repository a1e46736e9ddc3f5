#include "subwindowclosefilter.h"

#include <QCloseEvent>

SubWindowCloseFilter::SubWindowCloseFilter(std::function<bool()> mayClose, QObject *parent)
    : QObject(parent)
    , m_mayClose(std::move(mayClose))
{}

bool SubWindowCloseFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Close && m_mayClose && !m_mayClose()) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
