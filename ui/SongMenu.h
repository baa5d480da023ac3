// The song items of the play menu: one item per playlist entry, captioned with
// its display name, the check mark at the current song.
//
// The items are built when the menu is about to show, not on every change of
// the playlist: an advance or an edit only marks them out of date, so a long
// playlist costs nothing until the menu opens. Up to PlainItemLimit songs are
// ordinary menu items; a longer playlist shows as one scrolling list inside
// the menu, with the same captions and check mark.
#pragma once

#include <QObject>
#include <QStringList>

class QAction;
class QListView;
class QMenu;
class QWidgetAction;
class QAbstractItemModel;

class SongMenu : public QObject
{
    Q_OBJECT
public:
    static constexpr int PlainItemLimit = 200;

    // Adds the separator and the song items at the end of playMenu; the
    // captions are the rows of titles (the playlist as the list shows it).
    SongMenu(QMenu *playMenu, QAbstractItemModel *titles, QObject *parent);

    // The songs changed and the check belongs at checkedIndex (-1: none).
    void invalidate(int checkedIndex);
    // Brings the items up to date now (the menu does this before it shows).
    void build();

    // What the menu shows, for tests and checks: the song captions in order,
    // the row that carries the check mark (-1: none), and whether the
    // separator before the songs is visible.
    QStringList captions() const;
    int checkedRow() const;
    bool separatorVisible() const;
    bool isList() const;

Q_SIGNALS:
    void songChosen(int Index);

private:
    QMenu *m_menu;
    QAbstractItemModel *m_titles;
    QString title(int row) const;
    QAction *m_sep3;
    QList<QAction *> m_items;
    QWidgetAction *m_listAction = nullptr;
    QListView *m_list = nullptr;
    int m_checked = -1;
    bool m_dirty = true;
};
