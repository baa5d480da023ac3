// The sound dialog on Qt widgets: output, SoundFont, audio driver, volume,
// reverb and chorus, with a line for each environment variable in force. The
// volume, reverb and chorus are followed as they move; the rest applies on OK.
#include "platform/Dialogs.h"

#include <QCheckBox>
#include <QComboBox>
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

QLabel *environmentNote(const QString &assignment, const char *what)
{
    auto *label = new QLabel(
        QStringLiteral("%1 is set: it decides the %2.").arg(assignment, QLatin1String(what)));
    label->setWordWrap(true);
    return label;
}

} // namespace

std::optional<SoundDialogSetup> QtDialogs::ShowSound(const SoundDialogSetup &setup)
{
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Sound"));
    auto *form = new QFormLayout;

    auto *output = new QComboBox;
    for (const SoundDialogSetup::Output &o : setup.outputs)
        output->addItem(o.label, o.name);
    selectData(output, setup.output, setup.output);
    output->setEnabled(setup.outputFromEnvironment.isEmpty());
    form->addRow(QStringLiteral("Output:"), output);
    if (!setup.outputFromEnvironment.isEmpty())
        form->addRow(QString(), environmentNote(setup.outputFromEnvironment, "output"));

    auto *soundFont = new QComboBox;
    soundFont->addItem(QStringLiteral("The default SoundFont"), QString());
    for (const QString &path : setup.soundFonts)
        soundFont->addItem(QDir::toNativeSeparators(path), path);
    selectData(soundFont, setup.soundFont, QDir::toNativeSeparators(setup.soundFont));
    soundFont->addItem(OtherFile, OtherFile);
    soundFont->setEnabled(setup.soundFontFromEnvironment.isEmpty());
    int lastSoundFont = soundFont->currentIndex();
    QObject::connect(soundFont, &QComboBox::activated, &dialog, [&](int index) {
        if (soundFont->itemData(index).toString() != OtherFile) {
            lastSoundFont = index;
            return;
        }
        const QString file = QFileDialog::getOpenFileName(
            &dialog, QStringLiteral("SoundFont"), QDir::homePath(),
            QStringLiteral("SoundFonts (*.sf2 *.sf3 *.SF2 *.SF3);;All files (*)"));
        if (file.isEmpty()) {
            soundFont->setCurrentIndex(lastSoundFont);
            return;
        }
        soundFont->removeItem(index);
        selectData(soundFont, file, QDir::toNativeSeparators(file));
        soundFont->addItem(OtherFile, OtherFile);
        lastSoundFont = soundFont->currentIndex();
    });
    form->addRow(QStringLiteral("SoundFont:"), soundFont);
    if (!setup.soundFontFromEnvironment.isEmpty())
        form->addRow(QString(), environmentNote(setup.soundFontFromEnvironment, "SoundFont"));

    auto *driver = new QComboBox;
    for (const QString &name : setup.audioDrivers)
        driver->addItem(name.isEmpty() ? QStringLiteral("automatic") : name, name);
    selectData(driver, setup.audioDriver, setup.audioDriver);
    driver->setEnabled(setup.audioDriverFromEnvironment.isEmpty());
    form->addRow(QStringLiteral("Audio driver:"), driver);
    if (!setup.audioDriverFromEnvironment.isEmpty())
        form->addRow(QString(), environmentNote(setup.audioDriverFromEnvironment, "audio driver"));

    // The volume in hundredths of FluidSynth's gain: 20 is its default.
    auto *volume = new QSlider(Qt::Horizontal);
    volume->setRange(0, qRound(setup.maxGain * 100));
    volume->setValue(qRound(setup.gain * 100));
    form->addRow(QStringLiteral("Volume:"), volume);
    auto *reverb = new QCheckBox(QStringLiteral("Reverb"));
    reverb->setChecked(setup.reverb);
    auto *chorus = new QCheckBox(QStringLiteral("Chorus"));
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

    auto *now = new QLabel(QStringLiteral("Playing now: ") + setup.playingNow);
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
