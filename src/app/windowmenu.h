#pragma once

#include <QList>
#include <QObject>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

// "Finestre": arranges the sub-windows of the document area and lists them by title, so that
// a document stays reachable behind a maximised map window. Next and previous (Ctrl+Tab,
// Ctrl+Shift+Tab) go round the windows in the order the menu lists them.
class WindowMenu : public QObject
{
    Q_OBJECT
public:
    WindowMenu(QMenu *menu, QMdiArea *area);

    // The windows as the menu lists them: in the order they were opened, hidden ones left out.
    QList<QMdiSubWindow *> windows() const;
    // Brings a window to the front, out of its minimised state; maximised when the window it
    // replaces was.
    void activate(QMdiSubWindow *window);
    // The next (step 1) or previous (step -1) window.
    void activateNeighbour(int step);

    // The menu text of the window listed at position (from 0): the first nine get their
    // number as accelerator; an "&" of the title stays a character.
    static QString entryText(int position, const QString &title);
    // The position step away from current among count windows, going round; with no current
    // window (-1) next is the first and previous the last. -1 when there are none.
    static int neighbour(int current, int count, int step);

    QMenu *menu() const { return m_menu; }
    QAction *nextAction() const { return m_next; }
    QAction *previousAction() const { return m_previous; }

private:
    void listWindows();

    QMenu *m_menu;
    QMdiArea *m_area;
    QAction *m_next = nullptr;
    QAction *m_previous = nullptr;
    QAction *m_listStart = nullptr;
    QList<QAction *> m_entries;
};
