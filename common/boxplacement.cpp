#include "boxplacement.h"

#include <QScreen>
#include <QWidget>

namespace {

constexpr int kGap = 8;

QRect screenOf(const QWidget *widget)
{
    const QScreen *screen = widget->screen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

} // namespace

QPoint besidePosition(const QRect &window, const QSize &box, const QRect &screen)
{
    const int top = qBound(screen.top(), window.top(), screen.bottom() + 1 - box.height());
    if (window.right() + kGap + box.width() <= screen.right() + 1)
        return {window.right() + 1 + kGap, top};
    if (window.left() - kGap - box.width() >= screen.left())
        return {window.left() - kGap - box.width(), top};
    return {screen.right() + 1 - box.width(), screen.bottom() + 1 - box.height()};
}

void placeBeside(QWidget *box, const QWidget *window)
{
    box->adjustSize();
    box->move(besidePosition(window->frameGeometry(), box->size(), screenOf(window)));
}

void centreOnScreen(QWidget *window)
{
    // Never above the screen's top edge, where the title bar could not be reached.
    const QRect screen = screenOf(window);
    const QPoint centred = screen.center() - window->rect().center();
    window->move(qMax(screen.left(), centred.x()), qMax(screen.top(), centred.y()));
}

void placeOver(QWidget *box, const QWidget *window)
{
    box->adjustSize();
    box->move(window->frameGeometry().center() - box->rect().center());
}
