#include "windowmenu.h"

#include <QAction>
#include <QKeySequence>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>

WindowMenu::WindowMenu(QMenu *menu, QMdiArea *area)
    : QObject(menu)
    , m_menu(menu)
    , m_area(area)
{
    QAction *tile = menu->addAction(QStringLiteral("Affianca"));
    tile->setObjectName(QStringLiteral("tileWindowsAction"));
    connect(tile, &QAction::triggered, area, &QMdiArea::tileSubWindows);
    QAction *cascade = menu->addAction(QStringLiteral("Sovrapponi"));
    cascade->setObjectName(QStringLiteral("cascadeWindowsAction"));
    connect(cascade, &QAction::triggered, area, &QMdiArea::cascadeSubWindows);
    menu->addSeparator();
    m_next = menu->addAction(QStringLiteral("Finestra successiva"));
    m_next->setObjectName(QStringLiteral("nextWindowAction"));
    m_next->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab));
    connect(m_next, &QAction::triggered, this, [this] { activateNeighbour(1); });
    m_previous = menu->addAction(QStringLiteral("Finestra precedente"));
    m_previous->setObjectName(QStringLiteral("previousWindowAction"));
    // X11 reports Shift+Tab as Backtab; other platforms as Tab with Shift.
    m_previous->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
                              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)});
    connect(m_previous, &QAction::triggered, this, [this] { activateNeighbour(-1); });
    m_listStart = menu->addSeparator();
    connect(menu, &QMenu::aboutToShow, this, &WindowMenu::listWindows);
}

QList<QMdiSubWindow *> WindowMenu::windows() const
{
    QList<QMdiSubWindow *> shown;
    for (QMdiSubWindow *sub : m_area->subWindowList(QMdiArea::CreationOrder))
        if (!sub->isHidden())
            shown.append(sub);
    return shown;
}

void WindowMenu::activate(QMdiSubWindow *window)
{
    if (!window)
        return;
    if (window->isMinimized())
        window->showNormal();
    m_area->setActiveSubWindow(window);
    window->raise();
}

void WindowMenu::activateNeighbour(int step)
{
    const QList<QMdiSubWindow *> list = windows();
    const int position
        = neighbour(int(list.indexOf(m_area->activeSubWindow())), int(list.size()), step);
    if (position >= 0)
        activate(list.at(position));
}

QString WindowMenu::entryText(int position, const QString &title)
{
    QString text = title;
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    if (position < 9)
        return QStringLiteral("&%1 %2").arg(position + 1).arg(text);
    return QStringLiteral("%1 %2").arg(position + 1).arg(text);
}

int WindowMenu::neighbour(int current, int count, int step)
{
    if (count <= 0)
        return -1;
    if (current < 0 || current >= count)
        return step > 0 ? 0 : count - 1;
    return ((current + step) % count + count) % count;
}

void WindowMenu::listWindows()
{
    qDeleteAll(m_entries);
    m_entries.clear();
    const QList<QMdiSubWindow *> list = windows();
    for (int i = 0; i < list.size(); ++i) {
        QMdiSubWindow *sub = list.at(i);
        auto *entry = new QAction(entryText(i, sub->windowTitle()), m_menu);
        entry->setCheckable(true);
        entry->setChecked(sub == m_area->activeSubWindow());
        connect(entry, &QAction::triggered, this,
                [this, sub = QPointer<QMdiSubWindow>(sub)] { activate(sub); });
        m_menu->addAction(entry);
        m_entries.append(entry);
    }
    m_listStart->setVisible(!list.isEmpty());
}
