// The file association on the freedesktop: the user's desktop entry and
// mimeapps.list.
#include "settings/Association.h"

#include "engine/RegularFile.h"
#include "platform/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>
#include <cctype>

using namespace Qt::StringLiterals;

namespace {

const QByteArray DefaultGroup = "Default Applications"_ba;
const QString BackupName = u"Backup"_s;

// The name of a group header line ("[Name]"), or nothing for any other line.
std::optional<QByteArray> groupName(const QByteArray &line)
{
    const QByteArray text = line.trimmed();
    if (text.size() < 2 || !text.startsWith('[') || !text.endsWith(']'))
        return std::nullopt;
    return text.mid(1, text.size() - 2);
}

// The key of an entry line; empty for blank lines and comments.
QByteArray keyOf(const QByteArray &line)
{
    const QByteArray text = line.trimmed();
    if (text.startsWith('#'))
        return {};
    const qsizetype equals = text.indexOf('=');
    return equals > 0 ? text.left(equals).trimmed() : QByteArray();
}

QByteArray valueOf(const QByteArray &line)
{
    return line.mid(line.indexOf('=') + 1).trimmed();
}

// line with its value replaced, the key, the blanks around "=" and whatever
// follows the value (blanks, a CR) kept as they were.
QByteArray withValue(const QByteArray &line, const QByteArray &value)
{
    qsizetype start = line.indexOf('=') + 1;
    while (start < line.size() && std::isspace(static_cast<unsigned char>(line[start])))
        ++start;
    qsizetype end = line.size();
    while (end > start && std::isspace(static_cast<unsigned char>(line[end - 1])))
        --end;
    return line.left(start) + value + line.mid(end);
}

// The lines of a text; a final line end does not start another line.
QList<QByteArray> splitLines(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The desktop entry IDs of a value, in order.
QList<QByteArray> desktopIds(const QByteArray &value)
{
    QList<QByteArray> ids;
    for (const QByteArray &id : value.split(';')) {
        if (!id.trimmed().isEmpty())
            ids.append(id.trimmed());
    }
    return ids;
}

bool playerIsHandler(const std::optional<QByteArray> &value)
{
    if (!value)
        return false;
    const QList<QByteArray> ids = desktopIds(*value);
    return !ids.isEmpty() && ids.first() == DesktopEntryName;
}

// The player first, the other handlers after it as fall-backs.
QByteArray playerFirst(const std::optional<QByteArray> &value)
{
    QByteArray result = QByteArray(DesktopEntryName) + ';';
    for (const QByteArray &id : desktopIds(value.value_or(QByteArray()))) {
        if (id != DesktopEntryName)
            result += id + ';';
    }
    return result;
}

// A path as one argument of an Exec line. Quoted only where it holds a
// character the line reserves, since simple readers of Exec lines take the
// first word as it stands; inside the quotes the characters special there are
// escaped. "%" is doubled either way, and the backslashes are doubled once
// more for the entry's own string escapes.
QByteArray execArgument(const QString &path)
{
    static const QString reserved = u" \t\"'\\><~|&;$*?#()`"_s;
    const bool quote =
        std::any_of(path.begin(), path.end(), [](QChar c) { return reserved.contains(c); });
    QString argument = quote ? u"\""_s : QString();
    for (const QChar c : path) {
        if (quote && (c == u'"' || c == u'`' || c == u'$' || c == u'\\'))
            argument += u'\\';
        argument += c;
        if (c == u'%')
            argument += u'%';
    }
    if (quote)
        argument += u'"';
    argument.replace(u"\\"_s, u"\\\\"_s);
    return argument.toUtf8();
}

// The whole file; empty when it does not exist, nothing when it exists but
// cannot be read (then it must not be replaced either).
std::optional<QByteArray> readWhole(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return QByteArray();
    // A regular file only: a FIFO in its place would never answer.
    std::vector<std::uint8_t> bytes;
    std::string why;
    if (!readRegularFile(QFile::encodeName(path).constData(), 64 << 20, &bytes, &why))
        return std::nullopt;
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
}

// Replaces the file in one step: readers see the old or the new text, never
// a mix. A link to the file stays a link.
bool writeAtomically(const QString &path, const QByteArray &contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(contents);
    return file.commit();
}

// Puts the desktop entry in place, running places.executable; true when it
// is there with the right contents.
bool writeDesktopEntry(const AssociationPlaces &places)
{
    const QByteArray text = desktopEntryText(places.executable);
    if (text.isEmpty())
        return false;
    const QString path = places.applicationsFolder + u'/' + QLatin1String(DesktopEntryName);
    if (readWhole(path) == text)
        return true;
    if (!writeAtomically(path, text))
        return false;
    // Menus and "Open with" lists read the folder's cache where there is one.
    const QString refresh = QStandardPaths::findExecutable(u"update-desktop-database"_s);
    if (!refresh.isEmpty())
        QProcess::startDetached(refresh, {u"-q"_s, places.applicationsFolder});
    return true;
}

// The program an Exec line starts: its first word, unquoted, found on PATH
// when it is a bare name; empty when there is none.
QString execProgram(const QByteArray &exec)
{
    QString line = QString::fromUtf8(exec).trimmed();
    QString word;
    if (line.startsWith(u'"')) {
        for (qsizetype i = 1; i < line.size() && line[i] != u'"'; ++i) {
            if (line[i] == u'\\' && i + 1 < line.size())
                ++i;
            word += line[i];
        }
    } else {
        word = line.section(u' ', 0, 0);
    }
    return word.contains(u'/') ? word : QStandardPaths::findExecutable(word);
}

// True when the first system entry of the player's name runs this program.
bool systemEntryRunsThis(const AssociationPlaces &places)
{
    const QString self = QFileInfo(places.executable).canonicalFilePath();
    for (const QString &folder : places.systemApplicationsFolders) {
        QFile entry(folder + u'/' + QLatin1String(DesktopEntryName));
        if (!QFileInfo(entry).isFile())
            continue;
        if (!entry.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray &line : splitLines(entry.readAll())) {
            if (keyOf(line) == "Exec")
                return !self.isEmpty() &&
                       QFileInfo(execProgram(valueOf(line))).canonicalFilePath() == self;
        }
        return false;
    }
    return false;
}

// Puts in place the entry the association names; true when it is there.
bool provideDesktopEntry(const AssociationPlaces &places)
{
    if (!systemEntryRunsThis(places))
        return writeDesktopEntry(places);
    const QString userCopy = places.applicationsFolder + u'/' + QLatin1String(DesktopEntryName);
    if (QFileInfo::exists(userCopy) && readWhole(userCopy) == desktopEntryText(places.executable))
        QFile::remove(userCopy);
    return true;
}

// "Backup" holds one line per MIME type: the type, "=", and the handlers the
// type had ("" when it had none).
QString encodeBackup(const QByteArray &mimeapps)
{
    QStringList lines;
    for (const QString &type : associatedMimeTypes()) {
        const QByteArray value =
            defaultApplications(mimeapps, type.toUtf8()).value_or(QByteArray());
        lines.append(type + u'=' + QString::fromUtf8(value));
    }
    return lines.join(u'\n');
}

QMap<QString, QByteArray> decodeBackup(const QString &text)
{
    QMap<QString, QByteArray> backup;
    for (const QString &line : text.split(u'\n')) {
        const qsizetype equals = line.indexOf(u'=');
        if (equals > 0)
            backup.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed().toUtf8());
    }
    return backup;
}

} // namespace

QStringList associatedMimeTypes()
{
    return {u"audio/midi"_s, u"audio/x-midi"_s};
}

AssociationPlaces userAssociationPlaces()
{
    QStringList system = QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
    const QString user = QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
    system.removeAll(user);
    return {QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation), user,
            QCoreApplication::applicationFilePath(), system};
}

QByteArray desktopEntryText(const QString &executable)
{
    for (const QChar c : executable) {
        if (c.category() == QChar::Other_Control)
            return {};
    }
    if (executable.isEmpty())
        return {};
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Sonabel\n"
           "GenericName=MIDI Player\n"
           "GenericName[de]=MIDI-Player\n"
           "GenericName[fr]=Lecteur MIDI\n"
           "Comment=Play a folder full of MIDI files\n"
           "Comment[de]=Einen Ordner voller MIDI-Dateien abspielen\n"
           "Comment[fr]=Jouer un dossier plein de fichiers MIDI\n"
           "Exec="_ba +
           execArgument(executable) +
           " %F\n"
           "Icon=sonabel\n"
           "Terminal=false\n"
           "Categories=AudioVideo;Audio;Player;Midi;\n"
           "Keywords=MIDI;music;player;playlist;album;\n"
           "Keywords[de]=MIDI;Musik;Player;Wiedergabeliste;Album;\n"
           "Keywords[fr]=MIDI;musique;lecteur;liste de lecture;album;\n"
           "MimeType=audio/midi;audio/x-midi;audio/x-sonabel-album;\n"_ba;
}

std::optional<QByteArray> defaultApplications(const QByteArray &mimeapps,
                                              const QByteArray &mimeType)
{
    bool inDefaults = false;
    for (const QByteArray &line : splitLines(mimeapps)) {
        if (const std::optional<QByteArray> group = groupName(line))
            inDefaults = *group == DefaultGroup;
        else if (inDefaults && keyOf(line) == mimeType)
            return valueOf(line);
    }
    return std::nullopt;
}

QByteArray withDefaultApplications(const QByteArray &mimeapps, const QByteArray &mimeType,
                                   const std::optional<QByteArray> &value)
{
    // Lines keep their own ends (a CR before the LF stays with its line); a
    // line added follows the file's first line, so a CR LF file stays one.
    const QByteArray lineEnd =
        mimeapps.left(mimeapps.indexOf('\n')).endsWith('\r') ? "\r"_ba : QByteArray();
    const QByteArray entry = mimeType + '=' + value.value_or(QByteArray()) + lineEnd;
    QList<QByteArray> lines;
    bool inDefaults = false;
    bool firstDefaults = false; // inside the first [Default Applications] group
    bool seenDefaults = false;
    bool done = !value;      // a removal has nothing to add
    qsizetype insertAt = -1; // after the last line of the first group
    for (const QByteArray &line : splitLines(mimeapps)) {
        if (const std::optional<QByteArray> group = groupName(line)) {
            inDefaults = *group == DefaultGroup;
            firstDefaults = inDefaults && !seenDefaults;
            seenDefaults = seenDefaults || inDefaults;
            lines.append(line);
            if (firstDefaults)
                insertAt = lines.size();
            continue;
        }
        if (inDefaults && keyOf(line) == mimeType) {
            // The first occurrence takes the new value where it stands, in its
            // own spelling; repeats go, since readers disagree on which counts.
            if (!done)
                lines.append(withValue(line, *value));
            done = true;
            continue;
        }
        lines.append(line);
        if (firstDefaults && !line.trimmed().isEmpty())
            insertAt = lines.size();
    }
    // A last line without a line end keeps it that way, unless lines follow it.
    bool finalLineEnd = mimeapps.isEmpty() || mimeapps.endsWith('\n');
    if (!done) {
        if (insertAt < 0) {
            if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
                lines.append(lineEnd);
            lines.append('[' + DefaultGroup + ']' + lineEnd);
            insertAt = lines.size();
        }
        finalLineEnd = finalLineEnd || insertAt == lines.size();
        lines.insert(insertAt, entry);
    }
    if (lines.isEmpty())
        return {};
    return lines.join('\n') + (finalLineEnd ? "\n"_ba : QByteArray());
}

void SetDefaultPlayer(bool Enable, SettingsStore &store, const AssociationPlaces &places)
{
    if (places.configFolder.isEmpty() || places.applicationsFolder.isEmpty())
        return;
    const QString listPath = places.configFolder + u"/mimeapps.list"_s;
    const std::optional<QByteArray> current = readWhole(listPath);
    if (!current)
        return;
    const QString backupText = store.read(BackupName).value_or(QString());

    QByteArray updated = *current;
    if (Enable) {
        if (!provideDesktopEntry(places))
            return;
        if (backupText.trimmed().isEmpty()) {
            // The handlers found now are the ones to give back, ever after.
            // They are safely stored before anything is taken over.
            store.write(BackupName, encodeBackup(*current));
            if (!store.flush())
                return;
        }
        for (const QString &type : associatedMimeTypes()) {
            const QByteArray key = type.toUtf8();
            const std::optional<QByteArray> handlers = defaultApplications(updated, key);
            if (!playerIsHandler(handlers))
                updated = withDefaultApplications(updated, key, playerFirst(handlers));
        }
    } else {
        const QMap<QString, QByteArray> backup = decodeBackup(backupText);
        for (const QString &type : associatedMimeTypes()) {
            const QByteArray key = type.toUtf8();
            if (!backup.contains(type) || !playerIsHandler(defaultApplications(updated, key)))
                continue;
            const QByteArray earlier = backup.value(type);
            updated = withDefaultApplications(
                updated, key, earlier.isEmpty() ? std::nullopt : std::optional(earlier));
        }
    }
    if (updated != *current)
        writeAtomically(listPath, updated);
}
