// The small controls the windows are made of: flat label buttons, painted
// images, shapes and list boxes, with mouse events reported the way the
// window's handlers expect them (buttons 1 left, 2 right, 4 middle; positions
// in twips from the control's top-left corner).
#pragma once

#include <QAbstractListModel>
#include <QColor>
#include <QLabel>
#include <QListView>
#include <QStringList>
#include <QWidget>

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

// Mouse, click and file-drop events of any widget, as signals. Installed as an
// event filter; Click follows a left press and release inside the control, and
// the release that ends a double click raises DblClick instead of a second Click.
class ControlEvents : public QObject
{
    Q_OBJECT
public:
    // Watches target; events are read from eventSource (a list's viewport) when given.
    explicit ControlEvents(QWidget *target, QWidget *eventSource = nullptr);
    // Local files and folders dropped on the control arrive as FileDrop; other
    // drops are refused.
    void acceptFileDrops();

Q_SIGNALS:
    void MouseDown(int Button, int Shift, double X, double Y);
    void MouseMove(int Button, int Shift, double X, double Y);
    void MouseUp(int Button, int Shift, double X, double Y);
    void Click();
    void DblClick();
    void FileDrop(const QStringList &paths);
    void GotFocus();
    void LostFocus();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_source;
    bool m_pressedInside = false;
    bool m_swallowClick = false;
};

// A label acting as a button: opaque background, thin border, centred caption.
class LabelButton : public QLabel
{
    Q_OBJECT
public:
    explicit LabelButton(const QString &caption, QWidget *parent);
    ControlEvents *events() const { return m_events; }
    // Opaque with a border (the plain look) or transparent without one.
    void setOpaqueBordered(bool opaque);

protected:
    // The caption is drawn a size smaller where it would touch the border.
    void paintEvent(QPaintEvent *event) override;

private:
    ControlEvents *m_events;
};

// A plain caption that reports mouse events (the song title, the help line).
class EventLabel : public QLabel
{
    Q_OBJECT
public:
    explicit EventLabel(const QString &caption, QWidget *parent);
    ControlEvents *events() const { return m_events; }

private:
    ControlEvents *m_events;
};

// The song title: when the line is too long, the title is shortened with an
// ellipsis and the times after it, "(length) - position", stay readable. The
// text itself is never changed.
class SongTitle : public EventLabel
{
    Q_OBJECT
public:
    using EventLabel::EventLabel;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// The percentage over the progress bar: dark over the empty part, light over
// the filled part (fill, a sibling), so it reads over both.
class PercentLabel : public EventLabel
{
    Q_OBJECT
public:
    PercentLabel(const QString &caption, QWidget *parent, QWidget *fill);

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_fill;
};

// A picture drawn from vector paths, crisp at any scale.
class ImageButton : public QWidget
{
    Q_OBJECT
public:
    enum Glyph { Previous, Play, Pause, Stop, Next, ArrowUp, ArrowDown, AppIcon };
    ImageButton(Glyph glyph, QWidget *parent);
    ControlEvents *events() const { return m_events; }
    Glyph glyph() const { return m_glyph; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Glyph m_glyph;
    ControlEvents *m_events;
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

// An area with a background colour that reports mouse moves (frames, panels).
class Frame : public QWidget
{
    Q_OBJECT
public:
    Frame(QWidget *parent, const QColor &background);
    ControlEvents *events() const { return m_events; }

private:
    ControlEvents *m_events;
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
    ControlEvents *events() const { return m_events; }
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

private:
    StringListModel *m_strings = nullptr;
    ControlEvents *m_events;
};

// Background colour of a label or shape: lit RGB(192,192,192) or plain RGB(224,224,224).
void SetBackColor(QWidget *Ctl, bool Highlight);
QColor backColor(const QWidget *control);

// A menu caption that shows '&' literally instead of taking it for a shortcut.
QString menuCaption(const QString &text);

// The program's pointing-hand mouse pointer: 32 x 32, hot spot at the fingertip.
const QCursor &handCursor();
// The program icon, drawn at any size.
QIcon programIcon();
