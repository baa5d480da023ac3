// The sound dialog on Qt widgets: output, SoundFont, audio driver, volume,
// reverb and chorus, with a line for each environment variable in force. The
// volume, reverb and chorus are followed as they move; the rest applies on OK.
#include "platform/Dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

namespace {

// The SoundFont list's last entry, which asks for a file (its data, never a path).
const QString OtherFile = QStringLiteral("Other file...");

// Puts value into the list when it is not there yet, and selects it.
void selectData(QComboBox *box, const QString &value, const QString &label)
{
    int index = box->findData(value);
    if (index < 0) {
        box->insertItem(box->count(), label, value);
        index = box->findData(value);
    }
    box->setCurrentIndex(index);
}

// text holds %1 for the assignment ("SONABEL_OUTPUT=silent").
QLabel *environmentNote(const QString &assignment, const QString &text)
{
    auto *label = new QLabel(text.arg(assignment));
    label->setWordWrap(true);
    return label;
}

} // namespace

std::optional<SoundDialogSetup> QtDialogs::ShowSound(const SoundDialogSetup &setup)
{
    QDialog dialog;
    dialog.setWindowTitle(QCoreApplication::translate("SoundDialog", "Sound"));
    auto *form = new QFormLayout;

    auto *output = new QComboBox;
    for (const SoundDialogSetup::Output &o : setup.outputs)
        output->addItem(o.label, o.name);
    selectData(output, setup.output, setup.output);
    output->setEnabled(setup.outputFromEnvironment.isEmpty());
    form->addRow(QCoreApplication::translate("SoundDialog", "Output:"), output);
    if (!setup.outputFromEnvironment.isEmpty())
        form->addRow(QString(),
                     environmentNote(setup.outputFromEnvironment,
                                     QCoreApplication::translate(
                                         "SoundDialog", "%1 is set: it decides the output.")));

    auto *soundFont = new QComboBox;
    soundFont->addItem(QCoreApplication::translate("SoundDialog", "The default SoundFont"),
                       QString());
    for (const QString &path : setup.soundFonts)
        soundFont->addItem(QDir::toNativeSeparators(path), path);
    selectData(soundFont, setup.soundFont, QDir::toNativeSeparators(setup.soundFont));
    soundFont->addItem(QCoreApplication::translate("SoundDialog", "Other file..."), OtherFile);
    soundFont->setEnabled(setup.soundFontFromEnvironment.isEmpty());
    int lastSoundFont = soundFont->currentIndex();
    QObject::connect(soundFont, &QComboBox::activated, &dialog, [&](int index) {
        if (soundFont->itemData(index).toString() != OtherFile) {
            lastSoundFont = index;
            return;
        }
        const QString file = QFileDialog::getOpenFileName(
            &dialog, QCoreApplication::translate("SoundDialog", "SoundFont"), QDir::homePath(),
            QCoreApplication::translate("SoundDialog",
                                        "SoundFonts (*.sf2 *.sf3 *.SF2 *.SF3);;All files (*)"));
        if (file.isEmpty()) {
            soundFont->setCurrentIndex(lastSoundFont);
            return;
        }
        soundFont->removeItem(index);
        selectData(soundFont, file, QDir::toNativeSeparators(file));
        soundFont->addItem(QCoreApplication::translate("SoundDialog", "Other file..."), OtherFile);
        lastSoundFont = soundFont->currentIndex();
    });
    form->addRow(QCoreApplication::translate("SoundDialog", "SoundFont:"), soundFont);
    if (!setup.soundFontFromEnvironment.isEmpty())
        form->addRow(QString(),
                     environmentNote(setup.soundFontFromEnvironment,
                                     QCoreApplication::translate(
                                         "SoundDialog", "%1 is set: it decides the SoundFont.")));

    auto *driver = new QComboBox;
    for (const QString &name : setup.audioDrivers)
        driver->addItem(
            name.isEmpty() ? QCoreApplication::translate("SoundDialog", "automatic") : name, name);
    selectData(driver, setup.audioDriver, setup.audioDriver);
    driver->setEnabled(setup.audioDriverFromEnvironment.isEmpty());
    form->addRow(QCoreApplication::translate("SoundDialog", "Audio driver:"), driver);
    if (!setup.audioDriverFromEnvironment.isEmpty())
        form->addRow(QString(), environmentNote(
                                    setup.audioDriverFromEnvironment,
                                    QCoreApplication::translate(
                                        "SoundDialog", "%1 is set: it decides the audio driver.")));

    // The volume in hundredths of FluidSynth's gain: 20 is its default.
    auto *volume = new QSlider(Qt::Horizontal);
    volume->setRange(0, qRound(setup.maxGain * 100));
    volume->setValue(qRound(setup.gain * 100));
    form->addRow(QCoreApplication::translate("SoundDialog", "Volume:"), volume);
    auto *reverb = new QCheckBox(QCoreApplication::translate("SoundDialog", "Reverb"));
    reverb->setChecked(setup.reverb);
    auto *chorus = new QCheckBox(QCoreApplication::translate("SoundDialog", "Chorus"));
    chorus->setChecked(setup.chorus);
    form->addRow(QString(), reverb);
    form->addRow(QString(), chorus);
    if (setup.follow) {
        const auto follow = [&] {
            setup.follow(volume->value() / 100.0, reverb->isChecked(), chorus->isChecked());
        };
        QObject::connect(volume, &QSlider::valueChanged, &dialog, follow);
        QObject::connect(reverb, &QCheckBox::toggled, &dialog, follow);
        QObject::connect(chorus, &QCheckBox::toggled, &dialog, follow);
    }

    auto *now = new QLabel(
        QCoreApplication::translate("SoundDialog", "Playing now: %1").arg(setup.playingNow));
    now->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(now);
    layout->addWidget(buttons);

    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    SoundDialogSetup choice = setup;
    choice.output = output->currentData().toString();
    choice.soundFont = soundFont->currentData().toString();
    if (choice.soundFont == OtherFile)
        choice.soundFont = setup.soundFont;
    choice.audioDriver = driver->currentData().toString();
    choice.gain = volume->value() / 100.0;
    choice.reverb = reverb->isChecked();
    choice.chorus = chorus->isChecked();
    return choice;
}
