// Making the player the desktop's handler for MIDI files, and giving that back.
//
// The freedesktop way: a desktop entry "sonabel.desktop" in the user's
// applications folder runs this very executable, and the user's
// "mimeapps.list" names that entry the default application of each MIDI type.
// The handlers found there the first time the player takes over are kept in
// the settings under "Backup" and never deleted; giving the files back puts
// them in place again. Every other line of "mimeapps.list" is kept as it was,
// and the file is replaced in one step, never left half written. Plain code:
// no widgets.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

class SettingsStore;

// Where the association lives.
struct AssociationPlaces
{
    QString configFolder;       // holds "mimeapps.list" ($XDG_CONFIG_HOME)
    QString applicationsFolder; // holds the desktop entry ($XDG_DATA_HOME/applications)
    QString executable;         // the program the desktop entry runs
    // The system's applications folders ($XDG_DATA_DIRS/applications), most
    // important first: an installed player's packaged entry is there.
    QStringList systemApplicationsFolders;
};

// The places of the user running this program, and this program itself.
AssociationPlaces userAssociationPlaces();

// The desktop entry's file name, which is also the window's desktop file name
// with ".desktop" appended.
inline constexpr char DesktopEntryName[] = "sonabel.desktop";

// The MIME types the player takes over.
QStringList associatedMimeTypes();

// True makes the player the default handler of MIDI files, keeping the
// handlers it replaces under "Backup" the first time. Where the system's
// entry "sonabel.desktop" runs this very program (an installed player), that
// entry is the one named, and no user copy is written to hide it from the
// menu (one the player wrote earlier goes); otherwise the user's copy is. False puts those back,
// provided the player is still the handler (a handler the user picked since is
// left alone); without a backup nothing changes. Files are written only when
// their contents change.
void SetDefaultPlayer(bool Enable, SettingsStore &store, const AssociationPlaces &places);

// ---- the pieces, exposed for tests ----

// The desktop entry that runs executable with one file; empty when the path
// cannot be written in an Exec line (control characters).
QByteArray desktopEntryText(const QString &executable);

// The value of mimeType under [Default Applications] ("a.desktop;b.desktop;"),
// nothing when the key is absent.
std::optional<QByteArray> defaultApplications(const QByteArray &mimeapps,
                                              const QByteArray &mimeType);

// mimeapps with mimeType's value under [Default Applications] set to value, or
// the key removed when value is nothing. Every other line stays as it was.
QByteArray withDefaultApplications(const QByteArray &mimeapps, const QByteArray &mimeType,
                                   const std::optional<QByteArray> &value);
