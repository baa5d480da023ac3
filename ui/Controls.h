// The small controls the windows are made of: flat label buttons and painted
// pictures (Qt buttons in the window's own look), the song title, the seek
// bar's percentage, shapes, frames and list boxes. Each reports what the
// window's handlers need as signals.
#pragma once

#include <QAbstractButton>
#include <QAbstractListModel>
#include <QColor>
#include <QLabel>
#include <QListView>
#include <QStringList>
#include <QWidget>
#include <functional>

class QDropEvent;
class QMimeData;

// Positions and sizes are given in twips; 15 twips are one logical pixel.
constexpr int TwipsPerPixel = 15;
constexpr int px(double twips)
{
    return static_cast<int>(twips / TwipsPerPixel + (twips >= 0 ? 0.5 : -0.5));
}
constexpr double twips(double pixels)
{
    return pixels * TwipsPerPixel;
}
void placeTwips(QWidget *control, int left, int top, int width, int height);

namespace Colors {
inline const QColor Window(224, 224, 224);
inline const QColor Lit(192, 192, 192);
inline const QColor Strip(192, 192, 255);
} // namespace Colors

// Local files and folders in dropped data, in order; empty when there are none.
QStringList droppedPaths(const QMimeData *data);
// A drag over a control that takes files: accepted only when it carries some.
void acceptFileDrag(QDropEvent *event);
// A drop on such a control: its paths, the drop accepted; empty (and the drop
// ignored) when it carries none.
QStringList takeDroppedPaths(QDropEvent *event);

// Calls onMove on every pointer move over widget (it gets mouse tracking), for
// widgets that are not the program's own classes (a window, a plain caption).
void onMouseMove(QWidget *widget, std::function<void()> onMove);

// A flat button of the window: reached with Tab (a click leaves the keyboard
// focus where it was), pressed with the mouse, Space or Return, with a
// pointing-hand pointer and a focus mark. A double click raises doubleClicked
// instead of a second click.
class FlatButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit FlatButton(QWidget *parent);
    // Whether the click being delivered came from the mouse (not a key or a
    // screen reader).
    bool clickedByMouse() const { return m_mouseClick; }

Q_SIGNALS:
    // The pointer moved over the button.
    void hovered();
    // The keyboard focus came to the button.
    void focused();
    void doubleClicked();
    // Any mouse button released over the button (the right one opens menus).
    void mouseUp(Qt::MouseButton button);

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    // A dotted rectangle inside the edge while the button has the keyboard focus.
    void paintFocusMark(QPainter &painter) const;

private:
    bool m_mouseClick = false;
};

// A label acting as a button: opaque background, thin border, centred caption.
class LabelButton : public FlatButton
{
    Q_OBJECT
public:
    explicit LabelButton(const QString &caption, QWidget *parent);
    // Opaque with a border (the plain look) or transparent without one.
    void setOpaqueBordered(bool opaque);

protected:
    // The caption is drawn a size smaller where it would touch the border.
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_opaque = true;
};

// A picture drawn from vector paths, crisp at any scale.
class ImageButton : public FlatButton
{
    Q_OBJECT
public:
    enum Glyph { Previous, Play, Pause, Stop, Next, ArrowUp, ArrowDown, AppIcon };
    ImageButton(Glyph glyph, QWidget *parent);
    Glyph glyph() const { return m_glyph; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Glyph m_glyph;
};

// The song title: when the line is too long, the title is shortened with an
// ellipsis and the times after it, "(length) - position", stay readable. The
// text itself is never changed. It is the window's handle (drag, double click,
// the right button's menu) and takes dropped files; with the keyboard focus
// it passes the window's keys on, and Return or the menu key opens its menu.
class SongTitle : public QLabel
{
    Q_OBJECT
public:
    explicit SongTitle(const QString &caption, QWidget *parent);

Q_SIGNALS:
    void mouseDown(Qt::MouseButton button, QPointF position); // pixels
    void mouseMove(QPointF position);
    void mouseUp();
    void doubleClicked();
    void menuRequested();
    void filesDropped(const QStringList &paths);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    // The focus mark shows when the focus came with a key, not from a click
    // or at the start.
    bool m_markFocus = false;
};

// The seek bar's percentage, over the bar: dark over the empty part, light
// over the filled part (fill, a sibling), so it reads over both. It is the
// bar's mouse area and, reached with Tab, takes Left and Right; screen readers
// see a slider whose value is the percentage shown.
class PercentLabel : public QLabel
{
    Q_OBJECT
public:
    PercentLabel(const QString &caption, QWidget *parent, QWidget *fill);
    // The percentage shown; 0 when none.
    int percent() const;

Q_SIGNALS:
    void mouseDown(Qt::MouseButton button);
    void mouseMove(QPointF position); // pixels
    void mouseUp(Qt::MouseButton button, QPointF position);
    void stepped(int direction); // -1 Left, +1 Right
    void percentRequested(int percent);

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QWidget *m_fill;
};

// A filled rectangle, square or rounded; takes no mouse events, so the pointer
// over it counts as over what lies beneath.
class Shape : public QWidget
{
    Q_OBJECT
public:
    Shape(QWidget *parent, bool rounded = false, bool bordered = true);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_rounded;
    bool m_bordered;
};

// An area with a background colour that reports pointer moves over it (frames,
// panels); the moves stop here.
class Frame : public QWidget
{
    Q_OBJECT
public:
    Frame(QWidget *parent, const QColor &background);

Q_SIGNALS:
    void mouseMoved();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
};

// The strings behind a list box.
class StringListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    const QStringList &strings() const { return m_strings; }
    void append(const QStringList &items);
    void set(int row, const QString &text);
    void remove(int row);
    void clear();

private:
    QStringList m_strings;
};

// A list view whose rows all have one height. A changed row is repainted;
// a plain QListView lays every row out again, which costs milliseconds for
// each changed row of a list of 100 000.
class RowListView : public QListView
{
    Q_OBJECT
public:
    explicit RowListView(QWidget *parent = nullptr);

protected:
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;
};

// A list box: an ordered list of strings shown one per row, with extended
// multiple selection. Rows are addressed from 0. It shows its own strings, or
// the rows of a model given to it; that model alone changes its rows, and the
// string editors here then do nothing.
class ListBox : public RowListView
{
    Q_OBJECT
public:
    explicit ListBox(QWidget *parent, QAbstractItemModel *rows = nullptr);
    // Local files and folders may be dropped on the list (filesDropped).
    void acceptFileDrops() { viewport()->setAcceptDrops(true); }
    // The list's own strings; nullptr when it shows a model given to it.
    StringListModel *strings() const { return m_strings; }

    int ListCount() const { return model()->rowCount(); }
    QString List(int i) const { return model()->index(i, 0).data().toString(); }
    void setList(int i, const QString &text)
    {
        if (m_strings)
            m_strings->set(i, text);
    }
    void AddItem(const QString &text) { AddItems(QStringList{text}); }
    void AddItems(const QStringList &texts)
    {
        if (m_strings)
            m_strings->append(texts);
    }
    void RemoveItem(int i)
    {
        if (m_strings)
            m_strings->remove(i);
    }
    void Clear()
    {
        if (m_strings)
            m_strings->clear();
    }
    // The focused row, -1 when none.
    int ListIndex() const;
    void setListIndex(int i);
    bool Selected(int i) const;
    void setSelected(int i, bool selected);

Q_SIGNALS:
    // A double click on a row, or Return.
    void rowActivated();
    void mouseMoved();
    void focusChanged(bool in);
    void filesDropped(const QStringList &paths);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    StringListModel *m_strings = nullptr;
};

// Background colour of a label or shape: lit RGB(192,192,192) or plain RGB(224,224,224).
void SetBackColor(QWidget *Ctl, bool Highlight);
QColor backColor(const QWidget *control);

// A menu caption that shows '&' literally instead of taking it for a shortcut.
QString menuCaption(const QString &text);

// The program icon (dist/sonabel.svg, built in), drawn at any size.
QIcon programIcon();
void paintProgramIcon(QPainter &painter, const QRectF &box);
