// Making the player the desktop's handler for MIDI files, and giving that back.
#pragma once

// True: the player becomes the handler for MIDI files, remembering the handler
// it replaces the first time. False: the remembered handler is put back.
void SetDefaultPlayer(bool Enable);
