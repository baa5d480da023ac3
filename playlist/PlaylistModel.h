// The playlist: the full path of every entry in playing order, each with the
// name it is shown under. Paths and titles live in one list, so the visible
// list (a view of this model) can never drift from what plays.
//
// Plain Qt Core: tests drive it without a window. Every edit is linear or
// n log n in the number of entries, so a playlist of 100 000 songs stays
// responsive. Indexes outside the list read as empty, never past the end.
#pragma once

#include <QAbstractListModel>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <random>
#include <vector>

class PlaylistModel : public QAbstractListModel
{
    Q_OBJECT
    struct Entry;

public:
    // The full path of an entry; Qt::DisplayRole gives its title.
    static constexpr int PathRole = Qt::UserRole + 1;

    explicit PlaylistModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    qsizetype size() const { return static_cast<qsizetype>(m_entries.size()); }
    int count() const { return static_cast<int>(m_entries.size()); }
    bool isEmpty() const { return m_entries.empty(); }
    // The path of entry i; empty for an index outside the list.
    QString at(qsizetype i) const;
    // The display name of entry i (FileTitle of its path); empty outside the list.
    QString title(qsizetype i) const;
    QStringList paths() const;
    QStringList titles() const;

    // Entries made ahead of taking them in, so that the memory they need is
    // had (or std::bad_alloc thrown) before the model changes at all.
    class Batch
    {
    public:
        void reserve(qsizetype n) { m_entries.reserve(std::size_t(n)); }
        void add(const QString &path) { m_entries.push_back(makeEntry(path)); }
        qsizetype size() const { return qsizetype(m_entries.size()); }

    private:
        friend class PlaylistModel;
        std::vector<Entry> m_entries;
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

private:
    struct Entry
    {
        QString path;
        QString title;
    };
    static Entry makeEntry(const QString &path);
    // Frees dropped entries on a pool thread when there are many of them.
    static void releaseElsewhere(std::vector<Entry> &&entries);
    bool valid(qsizetype i) const { return i >= 0 && i < size(); }

    std::vector<Entry> m_entries;
};
