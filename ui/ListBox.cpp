// The list boxes: a model of strings, a list view with rows of one height,
// and the list box with its double click, focus and file-drop signals.
#include "ui/Controls.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>

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

ListBox::ListBox(QWidget *parent, QAbstractItemModel *rows) : RowListView(parent)
{
    // Pointer moves over the rows are the list's own (a help line), not the window's.
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_NoMousePropagation);
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

void ListBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Q_EMIT rowActivated();
        return;
    }
    RowListView::keyPressEvent(event);
}

void ListBox::mouseMoveEvent(QMouseEvent *event)
{
    Q_EMIT mouseMoved();
    RowListView::mouseMoveEvent(event);
}

void ListBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    RowListView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        Q_EMIT rowActivated();
}

void ListBox::focusInEvent(QFocusEvent *event)
{
    RowListView::focusInEvent(event);
    Q_EMIT focusChanged(true);
}

void ListBox::focusOutEvent(QFocusEvent *event)
{
    RowListView::focusOutEvent(event);
    Q_EMIT focusChanged(false);
}

void ListBox::dragEnterEvent(QDragEnterEvent *event)
{
    acceptFileDrag(event);
}

void ListBox::dragMoveEvent(QDragMoveEvent *event)
{
    acceptFileDrag(event);
}

void ListBox::dropEvent(QDropEvent *event)
{
    const QStringList paths = takeDroppedPaths(event);
    if (!paths.isEmpty())
        Q_EMIT filesDropped(paths);
}
