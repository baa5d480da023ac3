// What the player asks of the window system beyond plain widgets.
#include "platform/WindowSystem.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

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
    // Only the xcb platform has a server to ask (the offscreen one may offer
    // the same interface without a connection behind it).
    const auto *x11 = QGuiApplication::platformName() == QLatin1String("xcb")
                          ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                          : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (connection && window->isVisible() && window->windowHandle()) {
        const auto native = static_cast<xcb_window_t>(window->winId());
        // A window shown a moment ago may not be on the screen yet (the
        // window manager has still to map it): the server then says 0,0,
        // which is no place of the window's. Only a viewable one is asked.
        xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
            connection, xcb_get_window_attributes(connection, native), nullptr);
        const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(attributes);
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        xcb_translate_coordinates_reply_t *reply =
            viewable
                ? xcb_translate_coordinates_reply(
                      connection, xcb_translate_coordinates(connection, native, screen->root, 0, 0),
                      nullptr)
                : nullptr;
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

QPoint placeBeside(const QRect &anchor, const QSize &size)
{
    const QScreen *screen = QGuiApplication::screenAt(anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    QPoint at(anchor.left(), anchor.bottom() + 1);
    if (!screen)
        return at;
    const QRect room = screen->availableGeometry();
    if (at.y() + size.height() > room.bottom() + 1)
        at.setY(anchor.top() - size.height());
    at.setX(
        std::clamp(at.x(), room.left(), std::max(room.left(), room.right() + 1 - size.width())));
    at.setY(
        std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() + 1 - size.height())));
    return at;
}

QByteArray preferredWindowPlatform(const QStringList &arguments, const QByteArray &chosen,
                                   const QByteArray &display)
{
    if (!chosen.isEmpty() || display.isEmpty())
        return {};
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--"))
            break;
        if (argument == QLatin1String("-platform") || argument == QLatin1String("--platform"))
            return {};
    }
    return QByteArrayLiteral("xcb;wayland");
}

bool compositorPlacesWindows()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}
