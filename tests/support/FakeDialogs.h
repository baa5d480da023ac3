// Dialogs answered by the test: messages are recorded, file and folder
// dialogs return the next scripted answer (nothing: the user cancelled),
// questions are recorded and answered with askAnswer, and the sound dialog
// runs whileSoundShown (the user moving its controls), then hands its setup to
// soundAnswer (none: the user cancelled).
#pragma once

#include "platform/Dialogs.h"

#include <QStringList>
#include <functional>

class FakeDialogs : public Dialogs
{
public:
    void MsgBox(const QString &text) override { messages.append(text); }
    std::optional<QString> ShowOpen(const FileDialogSetup &setup) override { return answer(setup); }
    std::optional<QString> ShowSave(const FileDialogSetup &setup) override { return answer(setup); }
    std::optional<QString> ShowFolder(const QString &title, const QString &initDir) override
    {
        FileDialogSetup setup;
        setup.DialogTitle = title;
        setup.InitDir = initDir;
        return answer(setup);
    }
    bool Ask(const QString &text) override
    {
        questions.append(text);
        return askAnswer;
    }

    std::optional<SoundDialogSetup> ShowSound(const SoundDialogSetup &setup) override
    {
        soundShown.append(setup);
        if (whileSoundShown)
            whileSoundShown(setup);
        std::optional<SoundDialogSetup> choice;
        if (soundAnswer)
            soundAnswer(choice.emplace(setup));
        return choice;
    }

    QStringList messages;
    QStringList questions;
    bool askAnswer = false;
    std::function<void(SoundDialogSetup &)> soundAnswer;
    // Runs while the sound dialog is shown, before it is answered or cancelled.
    std::function<void(const SoundDialogSetup &)> whileSoundShown;
    QList<SoundDialogSetup> soundShown;
    QList<std::optional<QString>> answers;
    QList<FileDialogSetup> shown;

private:
    std::optional<QString> answer(const FileDialogSetup &setup)
    {
        shown.append(setup);
        return answers.isEmpty() ? std::nullopt : answers.takeFirst();
    }
};
