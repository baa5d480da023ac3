// What the player asks of the window system beyond plain widgets.
#include "platform/WindowSystem.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#ifdef SONABEL_HAVE_XCB
#include <xcb/xcb.h>
#endif

void setStayOnTop(QWidget *window, bool onTop)
{
    // Changing a widget's flags while it is shown would hide and re-create it;
    // the native window takes the flag in place.
    if (QWindow *handle = window->windowHandle(); handle && window->isVisible()) {
        handle->setFlag(Qt::WindowStaysOnTopHint, onTop);
        window->overrideWindowFlags(onTop ? window->windowFlags() | Qt::WindowStaysOnTopHint
                                          : window->windowFlags() & ~Qt::WindowStaysOnTopHint);
    } else {
        window->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    }
}

bool onAnyScreen(const QRect &rect)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (const QScreen *screen : screens) {
        if (screen->geometry().intersects(rect))
            return true;
    }
    return false;
}

QPoint refreshWindowPosition(QWidget *window)
{
    QPoint real = window->pos();
#ifdef SONABEL_HAVE_XCB
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 && window->isVisible() && window->windowHandle()) {
        xcb_connection_t *connection = x11->connection();
        const auto native = static_cast<xcb_window_t>(window->winId());
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        xcb_translate_coordinates_reply_t *reply = xcb_translate_coordinates_reply(
            connection, xcb_translate_coordinates(connection, native, screen->root, 0, 0), nullptr);
        if (reply) {
            const qreal ratio = window->devicePixelRatioF();
            real = QPoint(qRound(reply->dst_x / ratio), qRound(reply->dst_y / ratio));
            std::free(reply);
        }
    }
#endif
    if (real != window->pos())
        window->move(real);
    return real;
}
