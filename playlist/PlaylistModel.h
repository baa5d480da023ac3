// The playlist: the full path of every entry in playing order, shown under
// its title (FileTitle of the path). One list holds the paths and the title
// is derived from the path when it is asked for, so the visible list (a view
// of this model) can never drift from what plays.
//
// Memory: the paths lie as UTF-8, each followed by a NUL, in one pool of
// bytes, and a row is only where its path starts in the pool; an entry costs
// its path's bytes plus 9, so a playlist takes about the size of the album
// it was read from. Reordering moves only the row starts; removed paths stay
// in the pool until they are more than what is kept, then it is compacted.
//
// Plain Qt Core: tests drive it without a window. Every edit is linear or
// n log n in the number of entries, so a playlist of 100 000 songs stays
// responsive. Indexes outside the list read as empty, never past the end.
#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <random>
#include <vector>

class PlaylistModel : public QAbstractListModel
{
    Q_OBJECT

public:
    // The full path of an entry; Qt::DisplayRole gives its title.
    static constexpr int PathRole = Qt::UserRole + 1;

    explicit PlaylistModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    qsizetype size() const { return static_cast<qsizetype>(m_starts.size()); }
    int count() const { return static_cast<int>(m_starts.size()); }
    bool isEmpty() const { return m_starts.empty(); }
    // The path of entry i; empty for an index outside the list.
    QString at(qsizetype i) const;
    // The display name of entry i (FileTitle of its path); empty outside the list.
    QString title(qsizetype i) const;
    QStringList paths() const;
    QStringList titles() const;

    // Entries made ahead of taking them in (on any thread), so that the
    // memory they need is had (or std::bad_alloc thrown) before the model
    // changes at all.
    class Batch
    {
    public:
        void reserve(qsizetype entries, qsizetype bytes = 0);
        // A path is kept up to its first NUL (no path holds one).
        void add(const QString &path);
        // Takes paths as UTF-8 bytes, each followed by a NUL (the form the
        // album reader keeps them in), without copying them.
        void adopt(QByteArray &&terminatedPaths);
        qsizetype size() const { return qsizetype(m_starts.size()); }

    private:
        friend class PlaylistModel;
        QByteArray m_pool;
        std::vector<qsizetype> m_starts;
    };

    void append(const QString &path);
    void append(const QStringList &paths);
    // Takes the batch in at the end. Into an empty list it cannot fail; else
    // it throws std::bad_alloc, with the list unchanged, when there is no
    // room for the longer list.
    void append(Batch &&batch);
    void clear();
    // Removes every entry whose flag is set (flags past the end count as
    // clear); returns how many went. A few runs of rows are removed as such,
    // so views keep their place; many scattered rows reset the model.
    int removeFlagged(const std::vector<bool> &flagged);
    // Exchanges two entries, paths and titles together.
    void swapEntries(int a, int b);
    // A uniform random order (every permutation equally likely).
    void shuffle(std::mt19937_64 &generator);
    // Orders by the whole path, ignoring letter case, in the collation of
    // locale; entries that compare equal keep their order.
    void sortByPath(const QLocale &locale = QLocale());

    // Bytes the pool holds, removed paths included (for the benchmarks).
    qsizetype poolBytes() const { return m_pool.size(); }

private:
    bool valid(qsizetype i) const { return i >= 0 && i < size(); }
    const char *pathBytes(qsizetype i) const
    {
        return m_pool.constData() + m_starts[static_cast<std::size_t>(i)];
    }
    // Rewrites the pool with only the paths still listed, when removed ones
    // have come to outweigh them.
    void compactIfWasteful();

    QByteArray m_pool;
    std::vector<qsizetype> m_starts; // row i's path begins at m_pool[m_starts[i]]
    qsizetype m_deadBytes = 0;       // pool bytes of paths no row lists any more
};
