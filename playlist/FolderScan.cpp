// The folder walk: readdir with the entry types the file system hands out, so
// a plain file or folder costs no stat; only links and entries of unknown type
// are looked up.
#include "playlist/FolderScan.h"

#include <QFile>
#include <algorithm>
#include <array>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// The endings of MIDI file names, lower-case ASCII.
constexpr std::array<std::string_view, 5> MidiExtensions{".mid", ".midi", ".kar", ".rmi", ".smf"};

// True when name ends in extension, ignoring ASCII letter case. Char is a
// byte of a native name or a UTF-16 unit of a path; either way an extension
// is plain ASCII.
template <typename Char>
bool endsWithAscii(const Char *name, std::size_t length, std::string_view extension)
{
    if (length < extension.size())
        return false;
    const Char *end = name + length - extension.size();
    for (std::size_t i = 0; i < extension.size(); ++i) {
        auto c = static_cast<char16_t>(static_cast<std::make_unsigned_t<Char>>(end[i]));
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c + (u'a' - u'A'));
        if (c != static_cast<char16_t>(extension[i]))
            return false;
    }
    return true;
}

// The one test of a MIDI file name, for paths and for names read from a folder.
template <typename Char> bool midiName(const Char *name, std::size_t length)
{
    return std::any_of(
        MidiExtensions.begin(), MidiExtensions.end(),
        [&](std::string_view extension) { return endsWithAscii(name, length, extension); });
}

// A name as it appears in a folder: its bytes for the system, its text for
// the playlist.
struct Name
{
    QByteArray bytes;
    QString text;
};

bool nameLess(const Name &a, const Name &b)
{
    const int c = a.text.compare(b.text, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a.text < b.text;
}

struct Listing
{
    std::vector<Name> files;   // the folder's MIDI files
    std::vector<Name> folders; // its subfolders
};

// Reads an open folder and closes it.
Listing readFolder(int fd)
{
    Listing listing;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return listing;
    }
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        // Hidden names, and "." and "..".
        if (name[0] == '.')
            continue;
        const std::size_t length = std::strlen(name);
        const bool isMidi = midiName(name, length);
        bool isFile = entry->d_type == DT_REG;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat info;
            if (::fstatat(::dirfd(dir), name, &info, 0) != 0)
                continue; // a dangling link
            isFile = S_ISREG(info.st_mode);
            isFolder = S_ISDIR(info.st_mode);
        }
        if (!(isFolder || (isFile && isMidi)))
            continue;

        Name item{QByteArray(name, static_cast<qsizetype>(length)), QString()};
        item.text = QFile::decodeName(item.bytes);
        // A name the program's text cannot hold could never be opened again by
        // its path.
        if (item.text.contains(QChar::ReplacementCharacter))
            continue;
        (isFolder ? listing.folders : listing.files).push_back(std::move(item));
    }
    ::closedir(dir);
    std::sort(listing.files.begin(), listing.files.end(), nameLess);
    std::sort(listing.folders.begin(), listing.folders.end(), nameLess);
    return listing;
}

int openFolder(const QByteArray &path)
{
    // O_DIRECTORY refuses anything else before it is opened, so a FIFO or a
    // device never blocks the walk.
    return ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
}

class Walk
{
public:
    Walk(const FolderVisitor &visit, const ScanCancelled &cancelled)
        : m_visit(visit), m_cancelled(cancelled)
    {}

    // Scans the open folder fd, then its subfolders; path is what the
    // playlist shows, nativePath what the system opens.
    void folder(int fd, const QString &path, const QByteArray &nativePath)
    {
        struct stat info;
        if (::fstat(fd, &info) != 0) {
            ::close(fd);
            return;
        }
        const std::pair<dev_t, ino_t> identity{info.st_dev, info.st_ino};
        if (std::find(m_path.begin(), m_path.end(), identity) != m_path.end()) {
            ::close(fd); // a link back into a folder on the current path
            return;
        }

        const Listing listing = readFolder(fd);
        const QString prefix = path.endsWith(u'/') ? path : path + u'/';
        const QByteArray nativePrefix = nativePath.endsWith('/') ? nativePath : nativePath + '/';

        QStringList files;
        files.reserve(static_cast<qsizetype>(listing.files.size()));
        for (const Name &file : listing.files) {
            QString full = prefix + file.text;
            if (full.contains(u'\n') || full.contains(u'\r'))
                ++refused;
            else
                files.append(std::move(full));
        }
        if (m_visit)
            m_visit(path, files);
        result.append(files);

        m_path.push_back(identity);
        for (const Name &sub : listing.folders) {
            if (m_cancelled && (m_stopped || m_cancelled())) {
                m_stopped = true;
                break;
            }
            const QByteArray subPath = nativePrefix + sub.bytes;
            const int subFd = openFolder(subPath);
            if (subFd >= 0)
                folder(subFd, prefix + sub.text, subPath);
        }
        m_path.pop_back();
    }

    QStringList result;
    int refused = 0;

private:
    const FolderVisitor &m_visit;
    const ScanCancelled &m_cancelled;
    bool m_stopped = false;
    std::vector<std::pair<dev_t, ino_t>> m_path; // the folders being scanned
};

} // namespace

bool hasMidiExtension(const QString &Name)
{
    return midiName(Name.utf16(), static_cast<std::size_t>(Name.size()));
}

bool hasAlbumExtension(const QString &Name)
{
    return endsWithAscii(Name.utf16(), static_cast<std::size_t>(Name.size()), ".mal");
}

QStringList scanFolderTree(const QString &Root, const FolderVisitor &Visit,
                           const ScanCancelled &Cancelled, int *refused)
{
    Walk walk(Visit, Cancelled);
    const QByteArray nativeRoot = QFile::encodeName(Root);
    // A path with a NUL, or one the system's encoding cannot carry, would name
    // some other folder once encoded: it names nothing.
    const bool representable =
        !Root.contains(QChar(u'\0')) && QFile::decodeName(nativeRoot) == Root;
    const int fd = representable ? openFolder(nativeRoot) : -1;
    if (fd < 0) {
        if (Visit)
            Visit(Root, QStringList());
        return {};
    }
    walk.folder(fd, Root, nativeRoot);
    if (refused)
        *refused += walk.refused;
    return std::move(walk.result);
}
