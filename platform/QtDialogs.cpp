// The real dialogs, on Qt's message box and file dialog.
#include "platform/Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace {

// "MIDI Album|*.mal" becomes "MIDI Album (*.mal)".
QString qtFilter(const QString &filter)
{
    const qsizetype bar = filter.indexOf(u'|');
    if (bar < 0)
        return filter;
    return filter.left(bar) + QLatin1String(" (") + filter.mid(bar + 1) + u')';
}

} // namespace

std::optional<QString> QtDialogs::runFileDialog(const FileDialogSetup &setup, bool save)
{
    if (m_closing)
        return std::nullopt;
    const QFileDialog::AcceptMode mode = save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen;
    // Owned by the active window (the player), so the dialog stays above it
    // even while the player is kept on top of other windows.
    QFileDialog dialog(QApplication::activeWindow(), setup.DialogTitle, setup.InitDir,
                       qtFilter(setup.Filter));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen && setup.FileMustExist
                           ? QFileDialog::ExistingFile
                           : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !setup.ConfirmOverwrite);
    QString suffix = setup.DefaultExt;
    if (suffix.startsWith(u'.'))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    if (!setup.FileName.contains(u'*'))
        dialog.selectFile(setup.FileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

void QtDialogs::MsgBox(const QString &text)
{
    if (m_closing)
        return;
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Sonabel"), text, QMessageBox::Ok);
    box.exec();
}

std::optional<QString> QtDialogs::ShowOpen(const FileDialogSetup &setup)
{
    return runFileDialog(setup, false);
}

std::optional<QString> QtDialogs::ShowSave(const FileDialogSetup &setup)
{
    return runFileDialog(setup, true);
}

std::optional<QString> QtDialogs::ShowFolder(const QString &title, const QString &initDir)
{
    if (m_closing)
        return std::nullopt;
    QFileDialog dialog(QApplication::activeWindow(), title, initDir);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

bool QtDialogs::Ask(const QString &text)
{
    if (m_closing)
        return false;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Sonabel"), text,
                    QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtDialogs::CloseAll()
{
    m_closing = true;
    // Every dialog of ours runs modal; ending each one's loop returns from its
    // exec() as a cancel.
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (auto *dialog = qobject_cast<QDialog *>(w); dialog && dialog->isVisible())
            dialog->reject();
    }
}
