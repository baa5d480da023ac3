// "Save as audio ..." (the selected songs, or the one that plays) and "Save
// album as audio ..." (the whole playlist): where to, asked in the file or
// folder dialog; the songs rendered with the player's sound on a worker
// (AudioSaver) while playback goes on; a progress dialog that can cancel; a
// failure told with the file and the reason.
#include "engine/DeviceFactory.h"
#include "engine/RegularFile.h"
#include "player/AudioSaver.h"
#include "player/Player.h"
#include "player/Progress.h"
#include "player/Sound.h"
#include "playlist/FileTitle.h"
#include "playlist/PlaylistModel.h"
#include "ui/frmMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QProgressDialog>
#include <QStandardPaths>
#include <algorithm>
#include <string>

namespace {

QString musicFolder()
{
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return !music.isEmpty() && QFileInfo(music).isDir() ? music : QDir::homePath();
}

bool standsThere(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool regular(const QString &path)
{
    std::string why;
    return !path.isEmpty() && isRegularFile(QFile::encodeName(path).constData(), &why);
}

// The files the songs go to, asked of the user: one song into the file the
// save dialog names, several into a folder; nothing when the user cancelled
// or would not replace what stands there.
std::optional<QStringList> askWhereTo(Dialogs &dlg, const QStringList &titles, bool intoFolder,
                                      const QString &dialogTitle)
{
    if (!intoFolder) {
        FileDialogSetup setup;
        setup.DialogTitle = dialogTitle;
        setup.Filter = frmMain::tr("Audio") + QStringLiteral("|*.flac *.ogg *.wav");
        setup.DefaultExt = QStringLiteral(".flac");
        if (!titles.constFirst().isEmpty())
            setup.FileName = titles.constFirst() + QStringLiteral(".flac");
        setup.InitDir = musicFolder();
        setup.ConfirmOverwrite = true;
        const std::optional<QString> chosen = dlg.ShowSave(setup);
        if (!chosen || chosen->isEmpty())
            return std::nullopt;
        const QString output = withAudioExtension(*chosen);
        // The dialog asked about the name as typed, not with the extension added.
        if (output != *chosen && standsThere(output) &&
            !dlg.Ask(frmMain::tr("%1 already exists.\nDo you want to replace it?")
                         .arg(QDir::toNativeSeparators(output))))
            return std::nullopt;
        return QStringList{output};
    }
    const std::optional<QString> folder = dlg.ShowFolder(dialogTitle, musicFolder());
    if (!folder || folder->isEmpty())
        return std::nullopt;
    QStringList outputs;
    const QDir dir(*folder);
    int existing = 0;
    for (qsizetype i = 0; i < titles.size(); ++i) {
        outputs.append(
            dir.filePath(numberedAudioName(int(i) + 1, int(titles.size()), titles.at(i))));
        existing += standsThere(outputs.constLast()) ? 1 : 0;
    }
    // Once for the lot.
    if (existing > 0 &&
        !dlg.Ask(frmMain::tr("%n of these files already exist in %1.\nDo you want to replace them?",
                             nullptr, existing)
                     .arg(QDir::toNativeSeparators(*folder))))
        return std::nullopt;
    return outputs;
}

} // namespace

bool frmMain::songsToSave(QStringList &paths, QStringList &titles) const
{
    paths.clear();
    titles.clear();
    QList<int> rows;
    const QModelIndexList selected = lstMIDI->selectionModel()->selectedRows();
    for (const QModelIndex &row : selected)
        rows.append(row.row());
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty() && player.index() >= 0 && player.index() < lstPlay.count())
        rows.append(player.index());
    for (const int row : std::as_const(rows)) {
        paths.append(lstPlay.at(row));
        titles.append(lstPlay.title(row));
    }
    // A file played outside the playlist.
    if (paths.isEmpty() && player.index() < 0 && !player.file().isEmpty()) {
        paths.append(player.file());
        titles.append(FileTitle(player.file()));
    }
    return !paths.isEmpty();
}

void frmMain::mnuSaveAudio_Click()
{
    QStringList paths, titles;
    if (songsToSave(paths, titles))
        saveAsAudio(paths, titles, paths.size() > 1, tr("Save as audio"));
    else
        dlg->MsgBox(tr("No song to save: select songs in the playlist, or play one."));
}

void frmMain::mnuSaveAlbumAudio_Click()
{
    if (!lstPlay.isEmpty())
        saveAsAudio(lstPlay.paths(), lstPlay.titles(), true, tr("Save album as audio"));
    else
        dlg->MsgBox(tr("No song to save: the playlist is empty."));
}

// What the songs are saved as: the files asked for, each with the sound the
// player has now.
void frmMain::saveAsAudio(const QStringList &paths, const QStringList &titles, bool intoFolder,
                          const QString &dialogTitle)
{
    if (m_audioSaver && m_audioSaver->isRunning()) {
        // One save at a time: the one running is shown.
        if (m_audioProgress) {
            m_audioProgress->show();
            m_audioProgress->raise();
            m_audioProgress->activateWindow();
        }
        return;
    }

    const std::optional<QStringList> outputs = askWhereTo(*dlg, titles, intoFolder, dialogTitle);
    if (!outputs)
        return;

    // The sound the player has now; a SoundFont or reset file that is gone is
    // done without, as the player does.
    SoundChoice sound = soundChoiceInForce(storedSoundChoice(*store));
    sound.gain = player.volume();
    if (!sound.soundFont.isEmpty() && !regular(sound.soundFont))
        sound.soundFont.clear();
    const QString reset =
        player.resetMode() != 0 && regular(player.resetFile()) ? player.resetFile() : QString();
    std::vector<RenderRequest> requests;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        RenderRequest r;
        r.song = paths.at(i);
        r.output = outputs->at(i);
        r.title = titles.at(i);
        r.sound = sound;
        r.resetFile = reset;
        requests.push_back(std::move(r));
    }
    if (!m_audioSaver) {
        m_audioSaver = new AudioSaver(this);
        // A player that closes leaves no unfinished file behind.
        connect(this, &frmMain::closed, m_audioSaver, &AudioSaver::cancel);
    }
    if (m_audioSaver->start(std::move(requests)))
        showAudioProgress(titles, dialogTitle);
}

void frmMain::showAudioProgress(const QStringList &titles, const QString &dialogTitle)
{
    auto *progress = new QProgressDialog(this);
    m_audioProgress = progress;
    progress->setWindowTitle(dialogTitle);
    progress->setWindowModality(Qt::NonModal); // the player goes on meanwhile
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(0);
    progress->setRange(0, 1000);
    progress->setMinimumWidth(360);

    const qsizetype count = titles.size();
    const auto songLine = [titles, count](int index) {
        const QString title = titles.value(index);
        return count == 1 ? tr("Saving “%1”").arg(title)
                          : tr("Saving “%1” (%2 of %3)").arg(title).arg(index + 1).arg(count);
    };
    progress->setLabelText(songLine(0) + u'\n' + tr("%1% done").arg(0));

    // Cancel ends the save at once; the saver removes the unfinished file.
    connect(progress, &QProgressDialog::canceled, m_audioSaver, &AudioSaver::cancel);
    connect(m_audioSaver, &AudioSaver::progressed, progress,
            [progress, songLine](int index, double fraction, double secondsLeft) {
                const int percent = int(fraction * 100);
                const QString done =
                    secondsLeft < 0
                        ? tr("%1% done").arg(percent)
                        : tr("%1% done, about %2 left")
                              .arg(percent)
                              .arg(FormatTime(qint32(std::min(secondsLeft, 359999.0) * 1000)));
                progress->setLabelText(songLine(index) + u'\n' + done);
                progress->setValue(int(fraction * 1000));
            });
    connect(m_audioSaver, &AudioSaver::finished, progress,
            [this, progress, count](int saved, RenderJob::Outcome outcome, const QString &error) {
                progress->hide();
                progress->deleteLater();
                if (outcome != RenderJob::Outcome::Failed)
                    return;
                QString text = tr("Saving as audio failed:\n%1").arg(error);
                if (saved > 0)
                    text += u'\n' + tr("The %n song(s) saved before it are kept.", nullptr, saved);
                else if (count > 1)
                    text += u'\n' + tr("No song was saved.");
                dlg->MsgBox(text);
            });
    progress->show();
}
