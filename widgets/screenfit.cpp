#include "widgets/screenfit.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>

namespace {

constexpr char kPageName[] = "quintarra-screen-fit-page";

QRect availableArea(const QWidget *window)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

QWidget *pageOf(const QWidget *window)
{
    return window->findChild<QWidget *>(QLatin1String(kPageName));
}

// What the scroll area of a fitted window hears besides its own events. A
// control that keeps mouse events from its parents (the preview's picture
// area, its bars and buttons) keeps the wheel from the area too: a turn of the
// wheel over one that has no use for it scrolls the window. A window shown
// again (the preview after "< Back") shows its top left first, as it did.
class FittedAreaEvents : public QObject
{
public:
    FittedAreaEvents(QScrollArea *area, QWidget *window) : QObject(area), mArea(area), mWindow(window) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == mWindow) {
            if (event->type() == QEvent::Show) {
                mArea->horizontalScrollBar()->setValue(0);
                mArea->verticalScrollBar()->setValue(0);
            }
            return false;
        }
        auto *control = qobject_cast<QWidget *>(watched);
        if (event->type() != QEvent::Wheel || !control
            || !control->testAttribute(Qt::WA_NoMousePropagation)
            || qobject_cast<QAbstractSlider *>(control))
            return false;
        QCoreApplication::sendEvent(mArea->viewport(), event);
        return true;
    }

private:
    QScrollArea *mArea;
    QWidget *mWindow;
};

QMargins marginsOf(const QWidget *window)
{
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                    outer.right() - inner.right(), outer.bottom() - inner.bottom());
}

// Moves the window's controls, at their places, onto a page of the window's
// size in a scroll area that fills the window; a layout goes with the
// controls it arranges.
void wrapInScrollArea(QWidget *window)
{
    const QSize designed = window->size();
    auto *area = new QScrollArea(window);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(false);
    // Tabbing to a control scrolls it into view; the area itself takes no
    // place in the tab order.
    area->setFocusPolicy(Qt::NoFocus);
    area->horizontalScrollBar()->setAccessibleName(QStringLiteral("Scroll the window across"));
    area->verticalScrollBar()->setAccessibleName(QStringLiteral("Scroll the window up and down"));
    auto *page = new QWidget;
    page->setObjectName(QLatin1String(kPageName));
    area->setWidget(page);

    if (QLayout *layout = window->layout())
        page->setLayout(layout);
    const QObjectList children = window->children();
    for (QObject *child : children) {
        auto *control = qobject_cast<QWidget *>(child);
        if (!control || control == area || control->isWindow())
            continue;
        const QRect place = control->geometry();
        const bool hidden = control->isHidden();
        control->setParent(page);
        control->setGeometry(place);
        control->setVisible(!hidden);
    }
    page->setFixedSize(designed);
    auto *events = new FittedAreaEvents(area, window);
    window->installEventFilter(events);
    for (QWidget *control : page->findChildren<QWidget *>())
        control->installEventFilter(events);

    auto *fill = new QVBoxLayout(window);
    fill->setContentsMargins(QMargins());
    fill->addWidget(area);
}

} // namespace

QSize DesignedSize(const QWidget *window)
{
    const QWidget *page = pageOf(window);
    return page ? page->size() : window->size();
}

bool FitToScreen(QWidget *window, const QMargins &frame)
{
    const QRect area = availableArea(window);
    if (area.isEmpty())
        return pageOf(window) != nullptr;
    const QSize room = area.size().shrunkBy(frame);
    const QSize designed = DesignedSize(window);
    if (!pageOf(window)) {
        if (designed.width() <= room.width() && designed.height() <= room.height())
            return false;
        wrapInScrollArea(window);
    }
    // A bar across takes height from the page shown, a bar down width.
    const int bar = window->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, window);
    QSize size = designed;
    if (size.height() > room.height())
        size.rwidth() += bar;
    if (size.width() > room.width())
        size.rheight() += bar;
    window->setFixedSize(size.boundedTo(room));
    return true;
}

QMargins ExpectedFrame(const QWidget *window)
{
    if (window->isVisible() && !marginsOf(window).isNull())
        return marginsOf(window);
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (const QWidget *other : windows) {
        if (other != window && other->isVisible() && !other->isMinimized()
            && !marginsOf(other).isNull())
            return marginsOf(other);
    }
    const QStyle *style = window->style();
    const int border = style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, window);
    const int title = style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
    return QMargins(border, title + border, border, border);
}

void KeepFrameOnScreen(QWidget *window, const QMargins &frame)
{
    const QRect area = availableArea(window);
    if (area.isEmpty())
        return;
    const QSize outer = window->size().grownBy(frame);
    // A frame wider or taller than the area keeps its left and top edges,
    // where the title bar and the window's menu are, on the screen.
    const int x = qMax(area.left(), qMin(window->x(), area.left() + area.width() - outer.width()));
    const int y = qMax(area.top(), qMin(window->y(), area.top() + area.height() - outer.height()));
    window->move(x, y);
}
