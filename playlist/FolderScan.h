// The folder walk behind the folder scan: every MIDI file of a folder tree, in
// the order the playlist takes them. Plain code: no widgets, safe to drive
// from a test.
//
// The walk is depth-first and pre-order. In each folder its own MIDI files
// come first, then its subfolders, each completely before the next; both are
// taken in ascending name order ignoring letter case (names equal but for case
// are ordered by their exact text, so the order is always the same). MIDI
// files are those hasMidiExtension accepts. Names starting with a dot are
// hidden and left out, files and folders alike. Links are followed, but never
// back into a folder on the current path, so a link loop ends. A folder that
// cannot be opened is skipped, and a root that names nothing is an empty
// folder.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// True when Name ends in ".mid", ".midi", ".kar", ".rmi" or ".smf", in any
// letter case (ASCII case only: the extensions are plain ASCII). The one test
// of a MIDI file everywhere: command line, hand-over, drop and folder scan.
bool hasMidiExtension(const QString &Name);
// The same for ".mal", the extension of album files.
bool hasAlbumExtension(const QString &Name);

// Called as the walk starts a folder that it could open (the root always),
// with the folder's path and its MIDI files as full paths in walk order. The
// lists reach the callback in the order they end up in the result.
using FolderVisitor = std::function<void(const QString &Folder, const QStringList &MidiFiles)>;

// Asked before each folder after the root's own files; true ends the walk
// there, with what was found so far as its result.
using ScanCancelled = std::function<bool()>;

// The MIDI files under Root, full paths in walk order. Paths are Root, "/"
// and the names below it; a trailing "/" of Root is not doubled. Names with a
// line break cannot stand in an album and are left out; *refused, when
// given, counts those files.
QStringList scanFolderTree(const QString &Root, const FolderVisitor &Visit = {},
                           const ScanCancelled &Cancelled = {}, int *refused = nullptr);
