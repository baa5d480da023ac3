// The dialogs the player shows: a message box, a yes-or-no question, the file
// and folder dialogs and the sound dialog. Behind an interface so that tests
// answer them.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

struct FileDialogSetup
{
    QString DialogTitle;
    QString Filter;                // "Description|*.ext", shown as "Description (*.ext)"
    QString DefaultExt;            // ".mal": added to a name typed without one
    QString FileName;              // shown in the name box; a pattern such as "*.mal" is not
    QString InitDir;               // the folder the dialog opens in
    bool FileMustExist = false;    // open: only an existing file is accepted
    bool ConfirmOverwrite = false; // save: ask before replacing an existing file
};

// The sound dialog: what can be chosen, and what is chosen. ShowSound returns
// the same with the user's choice in the chosen fields.
struct SoundDialogSetup
{
    struct Output
    {
        QString name;  // "synth", "silent", "alsa:CLIENT:PORT"
        QString label; // what the list shows
    };
    QList<Output> outputs;    // the synthesizer, each MIDI port found now, silent
    QStringList soundFonts;   // the SoundFonts found, the synthesizer's default first
    QStringList audioDrivers; // "" (automatic), then driver names
    // An environment variable in force for a field, as "NAME=value"; empty when
    // none is. The field is then shown but cannot be changed here.
    QString outputFromEnvironment;
    QString soundFontFromEnvironment;
    QString audioDriverFromEnvironment;
    QString playingNow; // what plays the songs now

    // The choice: shown when the dialog opens, the user's when it returns.
    QString output;
    QString soundFont; // empty: the default
    QString audioDriver;
    double gain = 0.2;
    double maxGain = 2.0; // the top of the volume slider
    bool reverb = true;
    bool chorus = true;

    // Called while the dialog is open, each time the user moves the volume or
    // sets reverb or chorus, with all three as they stand: the sound follows
    // the controls. Unset: nothing follows.
    std::function<void(double gain, bool reverb, bool chorus)> follow;
};

class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // A message box titled "Sonabel", OK only, no icon; returns when closed.
    virtual void MsgBox(const QString &text) = 0;
    // The chosen full path, or nothing when the user cancelled.
    virtual std::optional<QString> ShowOpen(const FileDialogSetup &setup) = 0;
    virtual std::optional<QString> ShowSave(const FileDialogSetup &setup) = 0;
    // A folder chosen to save into, or nothing when the user cancelled (also
    // what a dialog that cannot ask returns).
    virtual std::optional<QString> ShowFolder(const QString &title, const QString &initDir)
    {
        (void)title;
        (void)initDir;
        return std::nullopt;
    }
    // A question titled "Sonabel" with Yes and No, No the default: true only
    // when the user answered Yes.
    virtual bool Ask(const QString &text)
    {
        (void)text;
        return false;
    }
    // The user's sound choice, or nothing when the user cancelled.
    virtual std::optional<SoundDialogSetup> ShowSound(const SoundDialogSetup &setup) = 0;
    // The program is closing: an open dialog ends as if cancelled (a message
    // box as if answered), and later ones return at once without showing.
    virtual void CloseAll() {}
};

// The real dialogs, on Qt's message box and file dialog.
class QtDialogs : public Dialogs
{
public:
    void MsgBox(const QString &text) override;
    std::optional<QString> ShowOpen(const FileDialogSetup &setup) override;
    std::optional<QString> ShowSave(const FileDialogSetup &setup) override;
    std::optional<QString> ShowFolder(const QString &title, const QString &initDir) override;
    bool Ask(const QString &text) override;
    // In platform/SoundDialog.cpp.
    std::optional<SoundDialogSetup> ShowSound(const SoundDialogSetup &setup) override;
    void CloseAll() override;

private:
    std::optional<QString> runFileDialog(const FileDialogSetup &setup, bool save);

    bool m_closing = false;
};
