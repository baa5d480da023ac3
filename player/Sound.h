// The sound the settings file keeps, turned into what the device takes.
#pragma once

#include "engine/SoundChoice.h"

class SettingsStore;

SoundChoice storedSoundChoice(const SettingsStore &store);
