// The playlist model: the pool of paths, titles derived from them, and the
// bulk edits.
#include "playlist/PlaylistModel.h"

#include "playlist/CollationKeys.h"
#include "playlist/FileTitle.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace {

// More separate runs than this are removed with one reset: removing rows one
// run at a time costs a move of the tail per run, and every attached view and
// selection model does work per run too.
constexpr std::size_t MaxRunsRemovedInPlace = 16;

// Below this many bytes of removed paths the pool is never rewritten.
constexpr qsizetype CompactedFrom = 64 * 1024;

// A path's UTF-8 bytes, up to its first NUL.
QByteArray pathUtf8(const QString &path)
{
    QByteArray bytes = path.toUtf8();
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return bytes;
}

} // namespace

void PlaylistModel::Batch::reserve(qsizetype entries, qsizetype bytes)
{
    m_starts.reserve(std::size_t(entries));
    if (bytes > 0)
        m_pool.reserve(bytes);
}

void PlaylistModel::Batch::add(const QString &path)
{
    const qsizetype start = m_pool.size();
    m_pool.append(pathUtf8(path)).append('\0');
    m_starts.push_back(start);
}

void PlaylistModel::Batch::adopt(QByteArray &&terminatedPaths)
{
    if (terminatedPaths.isEmpty())
        return;
    if (!terminatedPaths.endsWith('\0'))
        terminatedPaths.append('\0');
    const char *const first = terminatedPaths.constData();
    const char *const end = first + terminatedPaths.size();
    std::size_t entries = 0;
    for (const char *p = first; p < end; ++entries)
        p = static_cast<const char *>(std::memchr(p, '\0', std::size_t(end - p))) + 1;
    m_starts.reserve(m_starts.size() + entries);

    const qsizetype base = m_pool.size();
    if (base == 0)
        m_pool = std::move(terminatedPaths);
    else
        m_pool.append(terminatedPaths);
    const char *const pool = m_pool.constData();
    for (qsizetype at = base; at < m_pool.size();) {
        m_starts.push_back(at);
        at += qsizetype(std::strlen(pool + at)) + 1;
    }
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
    if (role == Qt::DisplayRole)
        return title(index.row());
    if (role == PathRole)
        return at(index.row());
    return QVariant();
}

QString PlaylistModel::at(qsizetype i) const
{
    return valid(i) ? QString::fromUtf8(pathBytes(i)) : QString();
}

QString PlaylistModel::title(qsizetype i) const
{
    return valid(i) ? FileTitle(at(i)) : QString();
}

QStringList PlaylistModel::paths() const
{
    QStringList result;
    result.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        result.append(at(i));
    return result;
}

QStringList PlaylistModel::titles() const
{
    QStringList result;
    result.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        result.append(title(i));
    return result;
}

void PlaylistModel::append(const QString &path)
{
    Batch batch;
    batch.add(path);
    append(std::move(batch));
}

void PlaylistModel::append(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    Batch batch;
    batch.reserve(paths.size());
    for (const QString &path : paths)
        batch.add(path);
    append(std::move(batch));
}

void PlaylistModel::append(Batch &&batch)
{
    if (batch.m_starts.empty())
        return;
    const int first = count();
    const int last = first + static_cast<int>(batch.m_starts.size()) - 1;
    if (m_starts.empty()) {
        beginInsertRows(QModelIndex(), first, last);
        m_pool.swap(batch.m_pool);
        m_starts.swap(batch.m_starts);
        m_deadBytes = 0;
        endInsertRows();
        batch = Batch();
        return;
    }
    // May throw; only capacity has changed then.
    m_pool.reserve(m_pool.size() + batch.m_pool.size());
    m_starts.reserve(m_starts.size() + batch.m_starts.size());
    beginInsertRows(QModelIndex(), first, last);
    const qsizetype base = m_pool.size();
    m_pool.append(batch.m_pool);
    for (const qsizetype start : batch.m_starts)
        m_starts.push_back(base + start);
    endInsertRows();
    batch = Batch();
}

void PlaylistModel::clear()
{
    if (m_starts.empty())
        return;
    beginResetModel();
    m_pool = QByteArray();
    std::vector<qsizetype>().swap(m_starts);
    m_deadBytes = 0;
    endResetModel();
}

int PlaylistModel::removeFlagged(const std::vector<bool> &flagged)
{
    const std::size_t n = std::min(flagged.size(), m_starts.size());
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
        m_deadBytes += qsizetype(std::strlen(pathBytes(row))) + 1;
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
            m_starts.erase(m_starts.begin() + run->first, m_starts.begin() + run->second + 1);
            endRemoveRows();
        }
    } else {
        beginResetModel();
        std::size_t kept = 0;
        for (std::size_t i = 0; i < m_starts.size(); ++i) {
            if (i < n && flagged[i])
                continue;
            m_starts[kept++] = m_starts[i];
        }
        m_starts.resize(kept);
        endResetModel();
    }
    if (m_starts.empty()) {
        m_pool = QByteArray();
        m_deadBytes = 0;
    }
    compactIfWasteful();
    return removed;
}

void PlaylistModel::compactIfWasteful()
{
    if (m_deadBytes < CompactedFrom || m_deadBytes < m_pool.size() - m_deadBytes)
        return;
    // The rows and what they show stay as they are: no signal is due.
    try {
        QByteArray pool;
        pool.reserve(m_pool.size() - m_deadBytes);
        std::vector<qsizetype> starts;
        starts.reserve(m_starts.size());
        for (qsizetype i = 0; i < size(); ++i) {
            const char *path = pathBytes(i);
            starts.push_back(pool.size());
            pool.append(path, qsizetype(std::strlen(path)) + 1);
        }
        m_pool.swap(pool);
        m_starts.swap(starts);
        m_deadBytes = 0;
    } catch (const std::bad_alloc &) {
        // Kept as it is: wasteful, but whole.
    }
}

void PlaylistModel::swapEntries(int a, int b)
{
    if (!valid(a) || !valid(b) || a == b)
        return;
    std::swap(m_starts[static_cast<std::size_t>(a)], m_starts[static_cast<std::size_t>(b)]);
    // One signal per row: a list view repaints a single changed row, but
    // answers a range of rows with a pass over all of them.
    Q_EMIT dataChanged(index(a), index(a), {Qt::DisplayRole, PathRole});
    Q_EMIT dataChanged(index(b), index(b), {Qt::DisplayRole, PathRole});
}

void PlaylistModel::shuffle(std::mt19937_64 &generator)
{
    if (m_starts.size() < 2)
        return;
    beginResetModel();
    std::shuffle(m_starts.begin(), m_starts.end(), generator);
    endResetModel();
}

void PlaylistModel::sortByPath(const QLocale &locale)
{
    if (m_starts.size() < 2)
        return;
    CollationKeys keys(locale);
    keys.reserve(m_starts.size());
    for (qsizetype i = 0; i < size(); ++i) {
        // Once shuffled, the paths lie scattered in the pool: fetch ahead.
        if (i + 4 < size())
            __builtin_prefetch(pathBytes(i + 4));
        keys.add(at(i));
    }
    const std::vector<std::uint32_t> order = keys.order();

    std::vector<qsizetype> sorted;
    sorted.reserve(m_starts.size());
    beginResetModel();
    for (const std::uint32_t row : order)
        sorted.push_back(m_starts[row]);
    m_starts = std::move(sorted);
    endResetModel();
}
