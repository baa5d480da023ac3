// The small controls the windows are made of: the flat buttons, the song
// title, the seek bar's percentage, shapes and frames. The list box is in
// ui/ListBox.cpp.
#include "ui/Controls.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QIcon>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QStyleOptionFocusRect>
#include <QSvgRenderer>
#include <QUrl>

void placeTwips(QWidget *control, int left, int top, int width, int height)
{
    control->setGeometry(px(left), px(top), px(width), px(height));
}

QStringList droppedPaths(const QMimeData *data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    const QList<QUrl> urls = data->urls();
    for (const QUrl &url : urls) {
        if (url.isLocalFile())
            paths.append(QFileInfo(url.toLocalFile()).filePath());
    }
    return paths;
}

void acceptFileDrag(QDropEvent *event)
{
    takeDroppedPaths(event);
}

QStringList takeDroppedPaths(QDropEvent *event)
{
    const QStringList paths = droppedPaths(event->mimeData());
    if (paths.isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
    return paths;
}

namespace {

class MouseMoveFilter : public QObject
{
public:
    MouseMoveFilter(QWidget *widget, std::function<void()> onMove)
        : QObject(widget), m_onMove(std::move(onMove))
    {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseMove)
            m_onMove();
        return false;
    }

private:
    std::function<void()> m_onMove;
};

// A control's pointer moves are its own: the window's move handler would undo
// at once what the control's handler just did.
void keepMouseMoves(QWidget *widget)
{
    widget->setMouseTracking(true);
    widget->setAttribute(Qt::WA_NoMousePropagation);
}

} // namespace

void onMouseMove(QWidget *widget, std::function<void()> onMove)
{
    keepMouseMoves(widget);
    widget->installEventFilter(new MouseMoveFilter(widget, std::move(onMove)));
}

// ---- buttons ----

FlatButton::FlatButton(QWidget *parent) : QAbstractButton(parent)
{
    keepMouseMoves(this);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
}

void FlatButton::mouseMoveEvent(QMouseEvent *event)
{
    Q_EMIT hovered();
    QAbstractButton::mouseMoveEvent(event);
}

void FlatButton::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double click is not a press: its release clicks nothing.
    if (event->button() == Qt::LeftButton)
        Q_EMIT doubleClicked();
    event->accept();
}

void FlatButton::mouseReleaseEvent(QMouseEvent *event)
{
    Q_EMIT mouseUp(event->button());
    m_mouseClick = true;
    QAbstractButton::mouseReleaseEvent(event);
    m_mouseClick = false;
}

void FlatButton::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        animateClick();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void FlatButton::focusInEvent(QFocusEvent *event)
{
    QAbstractButton::focusInEvent(event);
    Q_EMIT focused();
    update();
}

void FlatButton::focusOutEvent(QFocusEvent *event)
{
    QAbstractButton::focusOutEvent(event);
    update();
}

void FlatButton::paintFocusMark(QPainter &painter) const
{
    if (!hasFocus())
        return;
    QPen pen(palette().color(QPalette::WindowText), 1, Qt::DotLine);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(pen);
    painter.drawRect(rect().adjusted(1, 1, -2, -2));
    painter.restore();
}

LabelButton::LabelButton(const QString &caption, QWidget *parent) : FlatButton(parent)
{
    setText(caption);
    setOpaqueBordered(true);
    SetBackColor(this, false);
}

void LabelButton::setOpaqueBordered(bool opaque)
{
    m_opaque = opaque;
    update();
}

void LabelButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (m_opaque) {
        p.fillRect(rect(), palette().color(QPalette::Window));
        p.setPen(palette().color(QPalette::WindowText));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    const int border = m_opaque ? 1 : 0;
    const QRect contents = rect().adjusted(border, border, -border, -border);
    const QRect room = contents.adjusted(1, 0, -1, 0);
    QFont f = font();
    auto fits = [&] {
        return QFontMetrics(f).horizontalAdvance(text()) <= room.width();
    };
    // A narrower cut of the same font first, then a size smaller.
    for (int stretch : {QFont::SemiCondensed, QFont::Condensed}) {
        if (fits())
            break;
        f.setStretch(stretch);
    }
    for (int i = 0; i < 4 && !fits(); ++i) {
        if (f.pixelSize() > 0)
            f.setPixelSize(f.pixelSize() - 1);
        else
            f.setPointSizeF(f.pointSizeF() * 0.9);
    }
    p.setFont(f);
    p.setPen(palette().color(foregroundRole()));
    p.drawText(contents, Qt::AlignCenter, text());
    paintFocusMark(p);
}

ImageButton::ImageButton(Glyph glyph, QWidget *parent) : FlatButton(parent), m_glyph(glyph)
{}

namespace {

// Glyphs are drawn in a 16 x 12 box and scaled to the control.
QPainterPath glyphPath(ImageButton::Glyph glyph)
{
    QPainterPath path;
    auto triangleRight = [&](double x0, double x1) {
        path.moveTo(x0, 2);
        path.lineTo(x1, 6);
        path.lineTo(x0, 10);
        path.closeSubpath();
    };
    auto triangleLeft = [&](double x0, double x1) {
        path.moveTo(x1, 2);
        path.lineTo(x0, 6);
        path.lineTo(x1, 10);
        path.closeSubpath();
    };
    switch (glyph) {
    case ImageButton::Previous:
        path.addRect(2.5, 2, 1.5, 8);
        triangleLeft(4, 9);
        triangleLeft(8.5, 13.5);
        break;
    case ImageButton::Play:
        triangleRight(5, 11.5);
        break;
    case ImageButton::Pause:
        path.addRect(5, 2.5, 2, 7);
        path.addRect(9, 2.5, 2, 7);
        break;
    case ImageButton::Stop:
        path.addRect(5, 2.5, 7, 7);
        break;
    case ImageButton::Next:
        triangleRight(2.5, 7.5);
        triangleRight(7, 12);
        path.addRect(12, 2, 1.5, 8);
        break;
    case ImageButton::ArrowUp:
        path.moveTo(8, 1);
        path.lineTo(14, 11);
        path.lineTo(2, 11);
        path.closeSubpath();
        break;
    case ImageButton::ArrowDown:
        path.moveTo(2, 1);
        path.lineTo(14, 1);
        path.lineTo(8, 11);
        path.closeSubpath();
        break;
    case ImageButton::AppIcon:
        break;
    }
    return path;
}

} // namespace

void ImageButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (m_glyph == AppIcon) {
        const double side = std::min(width(), height());
        paintProgramIcon(p, QRectF((width() - side) / 2, (height() - side) / 2, side, side));
    } else {
        const double sx = width() / 16.0;
        const double sy = height() / 12.0;
        const double s = std::min(sx, sy);
        p.save();
        p.translate((width() - 16 * s) / 2, (height() - 12 * s) / 2);
        p.scale(s, s);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(32, 32, 64));
        p.drawPath(glyphPath(m_glyph));
        p.restore();
    }
    paintFocusMark(p);
}

void paintProgramIcon(QPainter &painter, const QRectF &box)
{
    static QSvgRenderer renderer(QStringLiteral(":/sonabel.svg"));
    renderer.render(&painter, box);
}

QIcon programIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        paintProgramIcon(p, QRectF(0, 0, size, size));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// ---- the song title ----

SongTitle::SongTitle(const QString &caption, QWidget *parent) : QLabel(caption, parent)
{
    keepMouseMoves(this);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setAcceptDrops(true);
}

void SongTitle::paintEvent(QPaintEvent *event)
{
    const QFontMetrics metrics(font());
    const QRect room = contentsRect();
    if (metrics.horizontalAdvance(text()) <= room.width()) {
        QLabel::paintEvent(event);
    } else {
        static const QRegularExpression times(
            QStringLiteral(R"(^(.*)( \(\d+:\d\d\) - \d+:\d\d)$)"));
        const QRegularExpressionMatch match = times.match(text());
        QString shown;
        if (match.hasMatch()) {
            const QString tail = match.captured(2);
            const int left = std::max(0, room.width() - metrics.horizontalAdvance(tail));
            shown = metrics.elidedText(match.captured(1), Qt::ElideRight, left) + tail;
        } else {
            shown = metrics.elidedText(text(), Qt::ElideRight, room.width());
        }
        QPainter p(this);
        p.setPen(palette().color(foregroundRole()));
        p.drawText(room, static_cast<int>(alignment()), shown);
    }
    if (hasFocus() && m_markFocus) {
        QPainter p(this);
        p.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void SongTitle::focusInEvent(QFocusEvent *event)
{
    m_markFocus =
        event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QLabel::focusInEvent(event);
    update();
}

void SongTitle::focusOutEvent(QFocusEvent *event)
{
    m_markFocus = false;
    QLabel::focusOutEvent(event);
    update();
}

void SongTitle::mousePressEvent(QMouseEvent *event)
{
    Q_EMIT mouseDown(event->button(), event->position());
}

void SongTitle::mouseMoveEvent(QMouseEvent *event)
{
    Q_EMIT mouseMove(event->position());
}

void SongTitle::mouseReleaseEvent(QMouseEvent *)
{
    Q_EMIT mouseUp();
}

void SongTitle::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press, then the double click.
    Q_EMIT mouseDown(event->button(), event->position());
    if (event->button() == Qt::LeftButton)
        Q_EMIT doubleClicked();
}

void SongTitle::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        Q_EMIT menuRequested();
    else
        event->ignore(); // the window's keys
}

void SongTitle::contextMenuEvent(QContextMenuEvent *event)
{
    // The right button has its own handler; this is the menu key.
    if (event->reason() == QContextMenuEvent::Keyboard)
        Q_EMIT menuRequested();
}

void SongTitle::dragEnterEvent(QDragEnterEvent *event)
{
    acceptFileDrag(event);
}

void SongTitle::dropEvent(QDropEvent *event)
{
    const QStringList paths = takeDroppedPaths(event);
    if (!paths.isEmpty())
        Q_EMIT filesDropped(paths);
}

// ---- the seek bar ----

namespace {

class BarAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit BarAccessible(PercentLabel *bar) : QAccessibleWidget(bar, QAccessible::Slider) {}

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return bar()->text();
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return bar()->percent(); }
    void setCurrentValue(const QVariant &value) override
    {
        Q_EMIT bar()->percentRequested(std::clamp(value.toInt(), 0, 100));
    }
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    PercentLabel *bar() const { return static_cast<PercentLabel *>(widget()); }
};

QAccessibleInterface *barAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("PercentLabel"))
        return new BarAccessible(static_cast<PercentLabel *>(object));
    return nullptr;
}

} // namespace

PercentLabel::PercentLabel(const QString &caption, QWidget *parent, QWidget *fill)
    : QLabel(caption, parent), m_fill(fill)
{
    static const bool installed = [] {
        QAccessible::installFactory(barAccessible);
        return true;
    }();
    (void)installed;
    keepMouseMoves(this);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    m_fill->installEventFilter(this);
}

int PercentLabel::percent() const
{
    QString shown = text();
    shown.chop(1);
    return shown.toInt();
}

bool PercentLabel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_fill && (event->type() == QEvent::Resize || event->type() == QEvent::Move ||
                              event->type() == QEvent::Show || event->type() == QEvent::Hide))
        update();
    return QLabel::eventFilter(watched, event);
}

void PercentLabel::paintEvent(QPaintEvent *)
{
    // The fill's right edge, in this label's coordinates (both share a parent).
    const int split = m_fill->isVisible() ? m_fill->geometry().right() + 1 - x() : 0;
    QPainter p(this);
    const QRect room = contentsRect();
    const int flags = static_cast<int>(alignment());
    p.setClipRect(QRect(split, 0, width(), height()));
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(room, flags, text());
    if (split > 0) {
        p.setClipRect(QRect(0, 0, split, height()));
        p.setPen(Qt::white);
        p.drawText(room, flags, text());
    }
    if (hasFocus()) {
        p.setClipping(false);
        p.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void PercentLabel::mousePressEvent(QMouseEvent *event)
{
    Q_EMIT mouseDown(event->button());
}

void PercentLabel::mouseMoveEvent(QMouseEvent *event)
{
    Q_EMIT mouseMove(event->position());
}

void PercentLabel::mouseReleaseEvent(QMouseEvent *event)
{
    Q_EMIT mouseUp(event->button(), event->position());
}

void PercentLabel::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right)
        Q_EMIT stepped(event->key() == Qt::Key_Left ? -1 : 1);
    else
        event->ignore(); // the window's keys
}

// ---- shapes and frames ----

Shape::Shape(QWidget *parent, bool rounded, bool bordered)
    : QWidget(parent), m_rounded(rounded), m_bordered(bordered)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    SetBackColor(this, false);
}

void Shape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, m_rounded);
    p.setBrush(palette().color(QPalette::Window));
    p.setPen(m_bordered ? QPen(QColor(96, 96, 96), 1) : QPen(Qt::NoPen));
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (m_rounded)
        p.drawRoundedRect(r, 4, 4);
    else
        p.drawRect(r);
}

Frame::Frame(QWidget *parent, const QColor &background) : QWidget(parent)
{
    keepMouseMoves(this);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, background);
    setPalette(pal);
    setAutoFillBackground(true);
}

void Frame::mouseMoveEvent(QMouseEvent *)
{
    Q_EMIT mouseMoved();
}

void SetBackColor(QWidget *Ctl, bool Highlight)
{
    QPalette pal = Ctl->palette();
    pal.setColor(QPalette::Window, Highlight ? Colors::Lit : Colors::Window);
    Ctl->setPalette(pal);
    Ctl->update();
}

QColor backColor(const QWidget *control)
{
    return control->palette().color(QPalette::Window);
}

QString menuCaption(const QString &text)
{
    QString caption = text;
    return caption.replace(u'&', QLatin1String("&&"));
}
