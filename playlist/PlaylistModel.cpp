// The playlist model: entries, titles and the bulk edits.
#include "playlist/PlaylistModel.h"

#include "playlist/CollationKeys.h"
#include "playlist/FileTitle.h"

#include <QThreadPool>
#include <algorithm>
#include <iterator>
#include <memory>
#include <numeric>
#include <utility>

namespace {

// More separate runs than this are removed with one reset: removing rows one
// run at a time costs a move of the tail per run, and every attached view and
// selection model does work per run too.
constexpr std::size_t MaxRunsRemovedInPlace = 16;

// Below this many entries a list is simply freed where it is dropped.
constexpr std::size_t ReleasedElsewhereFrom = 10000;

} // namespace

void PlaylistModel::releaseElsewhere(std::vector<Entry> &&entries)
{
    // Freeing 100 000 paths and titles one by one is most of the cost of
    // emptying a long playlist; a pool thread does it while the window goes
    // on. Shared string data is reference counted atomically, so strings
    // still held elsewhere (the song that plays) are unaffected.
    if (entries.size() < ReleasedElsewhereFrom)
        return;
    auto doomed = std::make_shared<std::vector<Entry>>(std::move(entries));
    QThreadPool::globalInstance()->start(
        [doomed = std::move(doomed)]() mutable { doomed.reset(); });
}

PlaylistModel::PlaylistModel(QObject *parent) : QAbstractListModel(parent)
{}

int PlaylistModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant PlaylistModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.column() != 0 || !valid(index.row()))
        return QVariant();
    const Entry &entry = m_entries[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole)
        return entry.title;
    if (role == PathRole)
        return entry.path;
    return QVariant();
}

QString PlaylistModel::at(qsizetype i) const
{
    return valid(i) ? m_entries[static_cast<std::size_t>(i)].path : QString();
}

QString PlaylistModel::title(qsizetype i) const
{
    return valid(i) ? m_entries[static_cast<std::size_t>(i)].title : QString();
}

QStringList PlaylistModel::paths() const
{
    QStringList result;
    result.reserve(size());
    for (const Entry &entry : m_entries)
        result.append(entry.path);
    return result;
}

QStringList PlaylistModel::titles() const
{
    QStringList result;
    result.reserve(size());
    for (const Entry &entry : m_entries)
        result.append(entry.title);
    return result;
}

PlaylistModel::Entry PlaylistModel::makeEntry(const QString &path)
{
    return Entry{path, FileTitle(path)};
}

void PlaylistModel::append(const QString &path)
{
    const int row = count();
    beginInsertRows(QModelIndex(), row, row);
    m_entries.push_back(makeEntry(path));
    endInsertRows();
}

void PlaylistModel::append(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    const int first = count();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(paths.size()) - 1);
    m_entries.reserve(m_entries.size() + static_cast<std::size_t>(paths.size()));
    for (const QString &path : paths)
        m_entries.push_back(makeEntry(path));
    endInsertRows();
}

void PlaylistModel::append(Batch &&batch)
{
    if (batch.m_entries.empty())
        return;
    const int first = count();
    const int last = first + static_cast<int>(batch.m_entries.size()) - 1;
    if (m_entries.empty()) {
        beginInsertRows(QModelIndex(), first, last);
        m_entries.swap(batch.m_entries);
        endInsertRows();
        return;
    }
    m_entries.reserve(m_entries.size() + batch.m_entries.size()); // may throw: nothing changed yet
    beginInsertRows(QModelIndex(), first, last);
    std::move(batch.m_entries.begin(), batch.m_entries.end(), std::back_inserter(m_entries));
    endInsertRows();
    batch.m_entries.clear();
}

void PlaylistModel::clear()
{
    if (m_entries.empty())
        return;
    beginResetModel();
    std::vector<Entry> old;
    old.swap(m_entries);
    endResetModel();
    releaseElsewhere(std::move(old));
}

int PlaylistModel::removeFlagged(const std::vector<bool> &flagged)
{
    const std::size_t n = std::min(flagged.size(), m_entries.size());
    // The runs of flagged rows, first and last row of each.
    std::vector<std::pair<int, int>> runs;
    for (std::size_t i = 0; i < n; ++i) {
        if (!flagged[i])
            continue;
        const int row = static_cast<int>(i);
        if (!runs.empty() && runs.back().second == row - 1)
            runs.back().second = row;
        else
            runs.emplace_back(row, row);
    }
    int removed = 0;
    for (const auto &run : runs)
        removed += run.second - run.first + 1;
    if (runs.empty())
        return 0;

    if (runs.size() <= MaxRunsRemovedInPlace) {
        // From the last run back, so the rows still to go keep their numbers.
        for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
            beginRemoveRows(QModelIndex(), run->first, run->second);
            m_entries.erase(m_entries.begin() + run->first, m_entries.begin() + run->second + 1);
            endRemoveRows();
        }
        return removed;
    }

    beginResetModel();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (i < n && flagged[i])
            continue;
        if (kept != i)
            m_entries[kept] = std::move(m_entries[i]);
        ++kept;
    }
    m_entries.resize(kept);
    endResetModel();
    return removed;
}

void PlaylistModel::swapEntries(int a, int b)
{
    if (!valid(a) || !valid(b) || a == b)
        return;
    std::swap(m_entries[static_cast<std::size_t>(a)], m_entries[static_cast<std::size_t>(b)]);
    // One signal per row: a list view repaints a single changed row, but
    // answers a range of rows with a pass over all of them.
    Q_EMIT dataChanged(index(a), index(a), {Qt::DisplayRole, PathRole});
    Q_EMIT dataChanged(index(b), index(b), {Qt::DisplayRole, PathRole});
}

void PlaylistModel::shuffle(std::mt19937_64 &generator)
{
    if (m_entries.size() < 2)
        return;
    beginResetModel();
    std::shuffle(m_entries.begin(), m_entries.end(), generator);
    endResetModel();
}

void PlaylistModel::sortByPath(const QLocale &locale)
{
    if (m_entries.size() < 2)
        return;
    CollationKeys keys(locale);
    keys.reserve(m_entries.size());
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        // Once shuffled, the paths lie scattered in memory: fetch ahead.
        if (i + 4 < m_entries.size())
            __builtin_prefetch(m_entries[i + 4].path.constData());
        keys.add(m_entries[i].path);
    }
    const std::vector<std::uint32_t> order = keys.order();

    beginResetModel();
    std::vector<Entry> sorted;
    sorted.reserve(m_entries.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i + 8 < order.size())
            __builtin_prefetch(&m_entries[order[i + 8]]);
        sorted.push_back(std::move(m_entries[order[i]]));
    }
    m_entries = std::move(sorted);
    endResetModel();
}
