// The small controls the windows are made of.
#include "ui/Controls.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QBitmap>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QIcon>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QRegularExpression>
#include <QUrl>

void placeTwips(QWidget *control, int left, int top, int width, int height)
{
    control->setGeometry(px(left), px(top), px(width), px(height));
}

namespace {

int buttonCode(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

int buttonsCode(Qt::MouseButtons buttons)
{
    return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
           (buttons & Qt::MiddleButton ? 4 : 0);
}

int shiftCode(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}

QStringList localPaths(const QMimeData *data)
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

// Label buttons and pictures act as push buttons: a screen reader announces a
// button with a name, and the press action clicks it.
class ButtonAccessible : public QAccessibleWidget
{
public:
    ButtonAccessible(QWidget *widget, ControlEvents *events)
        : QAccessibleWidget(widget, QAccessible::Button), m_events(events)
    {}

    QString text(QAccessible::Text t) const override
    {
        QString value = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && value.isEmpty()) {
            if (const auto *label = qobject_cast<const QLabel *>(widget()))
                value = label->text();
        }
        return value;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &action) override
    {
        if (action == pressAction() && m_events)
            Q_EMIT m_events->Click();
    }

private:
    QPointer<ControlEvents> m_events;
};

QAccessibleInterface *buttonAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("LabelButton"))
        return new ButtonAccessible(static_cast<LabelButton *>(object),
                                    static_cast<LabelButton *>(object)->events());
    if (className == QLatin1String("ImageButton"))
        return new ButtonAccessible(static_cast<ImageButton *>(object),
                                    static_cast<ImageButton *>(object)->events());
    return nullptr;
}

void installButtonAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(buttonAccessible);
        return true;
    }();
    (void)installed;
}

} // namespace

ControlEvents::ControlEvents(QWidget *target, QWidget *eventSource)
    : QObject(target), m_source(eventSource ? eventSource : target)
{
    m_source->setMouseTracking(true);
    // A control's mouse events are its own: a label or a picture ignores them,
    // and the toolkit would hand them on to the window underneath, whose own
    // move handler would undo at once what the control's handler just did.
    m_source->setAttribute(Qt::WA_NoMousePropagation);
    m_source->installEventFilter(this);
    if (m_source != target)
        target->installEventFilter(this);
}

void ControlEvents::acceptFileDrops()
{
    m_source->setAcceptDrops(true);
}

bool ControlEvents::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_source) {
        // The target itself: only focus changes matter.
        if (event->type() == QEvent::FocusIn)
            Q_EMIT GotFocus();
        else if (event->type() == QEvent::FocusOut)
            Q_EMIT LostFocus();
        return false;
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *e = static_cast<QMouseEvent *>(event);
        m_pressedInside = e->button() == Qt::LeftButton;
        m_swallowClick = false;
        Q_EMIT MouseDown(buttonCode(e->button()), shiftCode(e->modifiers()),
                         twips(e->position().x()), twips(e->position().y()));
        break;
    }
    case QEvent::MouseButtonDblClick: {
        auto *e = static_cast<QMouseEvent *>(event);
        Q_EMIT MouseDown(buttonCode(e->button()), shiftCode(e->modifiers()),
                         twips(e->position().x()), twips(e->position().y()));
        if (e->button() == Qt::LeftButton) {
            m_pressedInside = false;
            m_swallowClick = true;
            Q_EMIT DblClick();
        }
        break;
    }
    case QEvent::MouseMove: {
        auto *e = static_cast<QMouseEvent *>(event);
        Q_EMIT MouseMove(buttonsCode(e->buttons()), shiftCode(e->modifiers()),
                         twips(e->position().x()), twips(e->position().y()));
        break;
    }
    case QEvent::MouseButtonRelease: {
        auto *e = static_cast<QMouseEvent *>(event);
        const bool inside = m_source->rect().contains(e->position().toPoint());
        const bool click =
            e->button() == Qt::LeftButton && m_pressedInside && inside && !m_swallowClick;
        m_pressedInside = false;
        m_swallowClick = false;
        Q_EMIT MouseUp(buttonCode(e->button()), shiftCode(e->modifiers()), twips(e->position().x()),
                       twips(e->position().y()));
        if (click)
            Q_EMIT Click();
        break;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *e = static_cast<QDragMoveEvent *>(event);
        if (!localPaths(e->mimeData()).isEmpty()) {
            e->acceptProposedAction();
        } else {
            e->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto *e = static_cast<QDropEvent *>(event);
        const QStringList paths = localPaths(e->mimeData());
        if (paths.isEmpty()) {
            e->ignore();
            return true;
        }
        e->acceptProposedAction();
        Q_EMIT FileDrop(paths);
        return true;
    }
    case QEvent::FocusIn:
        Q_EMIT GotFocus();
        break;
    case QEvent::FocusOut:
        Q_EMIT LostFocus();
        break;
    default:
        break;
    }
    return false;
}

LabelButton::LabelButton(const QString &caption, QWidget *parent)
    : QLabel(caption, parent), m_events(new ControlEvents(this))
{
    installButtonAccessibility();
    setAlignment(Qt::AlignCenter);
    setCursor(handCursor());
    setOpaqueBordered(true);
    SetBackColor(this, false);
}

void LabelButton::setOpaqueBordered(bool opaque)
{
    setAutoFillBackground(opaque);
    setFrameStyle(opaque ? (QFrame::Box | QFrame::Plain) : QFrame::NoFrame);
    setLineWidth(1);
}

void LabelButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    drawFrame(&p);
    const QRect room = contentsRect().adjusted(1, 0, -1, 0);
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
    p.drawText(contentsRect(), static_cast<int>(alignment()), text());
}

void SongTitle::paintEvent(QPaintEvent *event)
{
    const QFontMetrics metrics(font());
    const QRect room = contentsRect();
    if (metrics.horizontalAdvance(text()) <= room.width()) {
        QLabel::paintEvent(event);
        return;
    }
    static const QRegularExpression times(QStringLiteral(R"(^(.*)( \(\d+:\d\d\) - \d+:\d\d)$)"));
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

PercentLabel::PercentLabel(const QString &caption, QWidget *parent, QWidget *fill)
    : EventLabel(caption, parent), m_fill(fill)
{
    m_fill->installEventFilter(this);
}

bool PercentLabel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_fill && (event->type() == QEvent::Resize || event->type() == QEvent::Move ||
                              event->type() == QEvent::Show || event->type() == QEvent::Hide))
        update();
    return EventLabel::eventFilter(watched, event);
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
}

EventLabel::EventLabel(const QString &caption, QWidget *parent)
    : QLabel(caption, parent), m_events(new ControlEvents(this))
{}

ImageButton::ImageButton(Glyph glyph, QWidget *parent)
    : QWidget(parent), m_glyph(glyph), m_events(new ControlEvents(this))
{
    installButtonAccessibility();
    setCursor(handCursor());
}

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

// The program icon: a quaver on a round badge, in a 16 x 16 box.
void paintAppIcon(QPainter &p, const QRectF &box)
{
    p.save();
    p.translate(box.topLeft());
    p.scale(box.width() / 16.0, box.height() / 16.0);
    p.setPen(QPen(QColor(40, 40, 120), 0.8));
    p.setBrush(QColor(250, 250, 255));
    p.drawEllipse(QRectF(0.6, 0.6, 14.8, 14.8));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 120));
    p.drawEllipse(QRectF(4, 9.5, 4.2, 3.2));
    p.drawRect(QRectF(7.2, 3.2, 1.1, 7.8));
    QPainterPath flag;
    flag.moveTo(8.3, 3.2);
    flag.cubicTo(10.5, 4.2, 11.8, 5.6, 11.2, 8);
    flag.cubicTo(10.8, 6.6, 9.8, 5.8, 8.3, 5.6);
    flag.closeSubpath();
    p.drawPath(flag);
    p.restore();
}

} // namespace

void ImageButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (m_glyph == AppIcon) {
        const double side = std::min(width(), height());
        paintAppIcon(p, QRectF((width() - side) / 2, (height() - side) / 2, side, side));
        return;
    }
    const double sx = width() / 16.0;
    const double sy = height() / 12.0;
    const double s = std::min(sx, sy);
    p.translate((width() - 16 * s) / 2, (height() - 12 * s) / 2);
    p.scale(s, s);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(32, 32, 64));
    p.drawPath(glyphPath(m_glyph));
}

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

Frame::Frame(QWidget *parent, const QColor &background)
    : QWidget(parent), m_events(new ControlEvents(this))
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, background);
    setPalette(pal);
    setAutoFillBackground(true);
}

int StringListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_strings.size());
}

QVariant StringListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_strings.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_strings.at(index.row());
    return {};
}

void StringListModel::append(const QStringList &items)
{
    if (items.isEmpty())
        return;
    const int first = static_cast<int>(m_strings.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(items.size()) - 1);
    m_strings.append(items);
    endInsertRows();
}

void StringListModel::set(int row, const QString &text)
{
    m_strings[row] = text;
    const QModelIndex i = index(row);
    Q_EMIT dataChanged(i, i, {Qt::DisplayRole});
}

void StringListModel::remove(int row)
{
    beginRemoveRows(QModelIndex(), row, row);
    m_strings.removeAt(row);
    endRemoveRows();
}

void StringListModel::clear()
{
    beginResetModel();
    m_strings.clear();
    endResetModel();
}

RowListView::RowListView(QWidget *parent) : QListView(parent)
{
    setUniformItemSizes(true);
}

void RowListView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                              const QList<int> &roles)
{
    // Skips QListView's own handling, which lays out all rows anew; with rows
    // of one height a change of text moves nothing.
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
}

ListBox::ListBox(QWidget *parent, QAbstractItemModel *rows)
    : RowListView(parent), m_events(new ControlEvents(this, viewport()))
{
    if (!rows) {
        m_strings = new StringListModel(this);
        rows = m_strings;
    }
    setModel(rows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragDropMode(QAbstractItemView::NoDragDrop);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

int ListBox::ListIndex() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void ListBox::setListIndex(int i)
{
    if (i < 0 || i >= ListCount())
        setCurrentIndex(QModelIndex());
    else
        setCurrentIndex(model()->index(i, 0));
}

bool ListBox::Selected(int i) const
{
    return selectionModel()->isRowSelected(i, QModelIndex());
}

void ListBox::setSelected(int i, bool selected)
{
    if (i < 0 || i >= ListCount())
        return;
    selectionModel()->select(model()->index(i, 0), selected ? QItemSelectionModel::Select
                                                            : QItemSelectionModel::Deselect);
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

const QCursor &handCursor()
{
    // A pointing hand: 1 bits in the mask are drawn, 1 bits in the bitmap black.
    static const QCursor cursor = [] {
        QImage shape(32, 32, QImage::Format_Mono);
        QImage mask(32, 32, QImage::Format_Mono);
        shape.fill(0);
        mask.fill(0);
        // Outline rows of the hand, one string per row from the top: 'X' black,
        // '.' white, ' ' transparent. Fingertip at column 11, row 6.
        static const char *const rows[] = {
            "",
            "",
            "",
            "",
            "",
            "",
            "          XX",
            "         X..X",
            "         X..X",
            "         X..X",
            "         X..X",
            "         X..XXX",
            "         X..X..XXX",
            "         X..X..X..XX",
            "      XX X..X..X..X.X",
            "     X..XX........X.X",
            "     X...X..........X",
            "      X.............X",
            "       X............X",
            "       X...........X",
            "        X..........X",
            "        X.........X",
            "         X........X",
            "         XXXXXXXXXX",
        };
        for (int y = 0; y < static_cast<int>(std::size(rows)); ++y) {
            for (int x = 0; rows[y][x]; ++x) {
                const char c = rows[y][x];
                if (c == ' ')
                    continue;
                mask.setPixel(x, y, 1);
                shape.setPixel(x, y, c == 'X' ? 1 : 0);
            }
        }
        return QCursor(QBitmap::fromImage(shape), QBitmap::fromImage(mask), 11, 6);
    }();
    return cursor;
}

QString menuCaption(const QString &text)
{
    QString caption = text;
    return caption.replace(u'&', QLatin1String("&&"));
}

QIcon programIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        paintAppIcon(p, QRectF(0, 0, size, size));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
