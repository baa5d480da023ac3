// The play menu's song items: plain menu items, or one scrolling list for a
// long playlist.
#include "ui/SongMenu.h"

#include "ui/Controls.h"

#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QWidgetAction>

namespace {

// Draws a row of the long-playlist list like a menu item, with a check mark in
// the margin of the current song. (The style's menu check mark primitive
// draws nothing outside a menu item in some styles: the item view's own
// check indicator is drawn instead.)
class SongRowDelegate : public QStyledItemDelegate
{
public:
    SongRowDelegate(const int *checked, QObject *parent)
        : QStyledItemDelegate(parent), m_checked(checked)
    {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const int margin = option.rect.height();
        QStyleOptionViewItem textOption = option;
        textOption.rect.adjust(margin, 0, 0, 0);
        QStyledItemDelegate::paint(painter, textOption, index);
        if (index.row() == *m_checked) {
            QStyleOptionViewItem mark = option;
            mark.rect = QRect(option.rect.left(), option.rect.top(), margin, margin);
            mark.state = QStyle::State_On | QStyle::State_Enabled;
            mark.features |= QStyleOptionViewItem::HasCheckIndicator;
            mark.checkState = Qt::Checked;
            const QWidget *widget = option.widget;
            widget->style()->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &mark, painter,
                                           widget);
        }
    }

private:
    const int *m_checked;
};

} // namespace

SongMenu::SongMenu(QMenu *playMenu, QAbstractItemModel *titles, QObject *parent)
    : QObject(parent), m_menu(playMenu), m_titles(titles)
{
    m_sep3 = m_menu->addSeparator();
    m_sep3->setVisible(false);
    connect(m_menu, &QMenu::aboutToShow, this, &SongMenu::build);
}

void SongMenu::invalidate(int checkedIndex)
{
    m_checked = checkedIndex;
    m_dirty = true;
}

void SongMenu::build()
{
    if (!m_dirty)
        return;
    m_dirty = false;
    const int count = m_titles->rowCount();
    m_sep3->setVisible(count > 0);

    const bool asList = count > PlainItemLimit;
    if (!asList && m_listAction) {
        // Back to plain items: the list goes. Hidden, its widget stayed painted
        // over the menu, a dead copy of the old playlist.
        m_menu->removeAction(m_listAction);
        delete m_listAction; // and the list, its widget
        m_listAction = nullptr;
        m_list = nullptr;
    }
    if (asList) {
        for (QAction *item : std::as_const(m_items))
            item->setVisible(false);
        if (!m_listAction) {
            m_list = new RowListView;
            m_list->setModel(m_titles);
            m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
            m_list->setItemDelegate(new SongRowDelegate(&m_checked, m_list));
            m_list->setMinimumSize(260, 320);
            connect(m_list, &QListView::clicked, this, [this](const QModelIndex &index) {
                m_menu->close();
                Q_EMIT songChosen(index.row());
            });
            m_listAction = new QWidgetAction(this);
            m_listAction->setDefaultWidget(m_list);
            m_menu->addAction(m_listAction);
        }
        // The current song in view, once the list has its size on the screen
        // (the menu is about to show: it has none yet).
        const auto showChecked = [this] {
            if (m_checked >= 0 && m_checked < m_titles->rowCount())
                m_list->scrollTo(m_titles->index(m_checked, 0),
                                 QAbstractItemView::PositionAtCenter);
            m_list->viewport()->update();
        };
        showChecked();
        QTimer::singleShot(0, m_list, showChecked);
        return;
    }

    // Plain items: reuse what exists, add what is missing, hide the rest.
    while (m_items.size() < count) {
        QAction *item = new QAction(this);
        const int index = static_cast<int>(m_items.size());
        connect(item, &QAction::triggered, this, [this, index] { Q_EMIT songChosen(index); });
        m_menu->insertAction(m_listAction, item);
        m_items.append(item);
    }
    for (int i = 0; i < m_items.size(); ++i) {
        QAction *item = m_items.at(i);
        const bool shown = i < count;
        item->setVisible(shown);
        if (shown) {
            item->setText(menuCaption(title(i)));
            // Only the current song is checkable: the menu style draws an
            // empty box beside every other checkable item.
            item->setCheckable(i == m_checked);
            item->setChecked(i == m_checked);
        }
    }
}

QString SongMenu::title(int row) const
{
    return m_titles->index(row, 0).data().toString();
}

QStringList SongMenu::captions() const
{
    QStringList result;
    if (isList()) {
        for (int i = 0; i < m_titles->rowCount(); ++i)
            result.append(title(i));
        return result;
    }
    for (QAction *item : m_items) {
        if (item->isVisible())
            result.append(item->text());
    }
    return result;
}

int SongMenu::checkedRow() const
{
    if (isList())
        return m_checked < m_titles->rowCount() ? m_checked : -1;
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items.at(i)->isVisible() && m_items.at(i)->isChecked())
            return i;
    }
    return -1;
}

bool SongMenu::separatorVisible() const
{
    return m_sep3->isVisible();
}

bool SongMenu::isList() const
{
    return m_listAction != nullptr;
}
