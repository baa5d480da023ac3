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

std::optional<QString> runFileDialog(const FileDialogSetup &setup, QFileDialog::AcceptMode mode)
{
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

} // namespace

void QtDialogs::MsgBox(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Sonabel"), text, QMessageBox::Ok);
    box.exec();
}

std::optional<QString> QtDialogs::ShowOpen(const FileDialogSetup &setup)
{
    return runFileDialog(setup, QFileDialog::AcceptOpen);
}

std::optional<QString> QtDialogs::ShowSave(const FileDialogSetup &setup)
{
    return runFileDialog(setup, QFileDialog::AcceptSave);
}
