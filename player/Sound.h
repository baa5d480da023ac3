// The sound the settings file keeps, turned into what the device takes.
#pragma once

#include "engine/SoundChoice.h"

class SettingsStore;

SoundChoice storedSoundChoice(const SettingsStore &store);
// The stored choice, for the device the player opens at its start. A chosen
// SoundFont that is gone stays in it, so that the device falls back to the
// default and says so; the settings keep the default from now on, so that the
// next start does not say it again.
SoundChoice soundChoiceToOpen(SettingsStore &store);
