// The dialogs the player shows: a message box and the album file dialogs.
// Behind an interface so that tests answer them.
#pragma once

#include <QString>
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

class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // A message box titled "Sonabel", OK only, no icon; returns when closed.
    virtual void MsgBox(const QString &text) = 0;
    // The chosen full path, or nothing when the user cancelled.
    virtual std::optional<QString> ShowOpen(const FileDialogSetup &setup) = 0;
    virtual std::optional<QString> ShowSave(const FileDialogSetup &setup) = 0;
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
    void CloseAll() override;

private:
    std::optional<QString> runFileDialog(const FileDialogSetup &setup, bool save);

    bool m_closing = false;
};
