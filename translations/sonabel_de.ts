<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>AudioFile</name>
    <message>
        <source>the name must end in .flac, .ogg or .wav</source>
        <translation>der Name muss auf .flac, .ogg oder .wav enden</translation>
    </message>
    <message>
        <source>something other than a file is there</source>
        <translation>dort liegt etwas anderes als eine Datei</translation>
    </message>
    <message>
        <source>the file could not be completed</source>
        <translation>die Datei konnte nicht fertiggestellt werden</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Usage: sonabel [OPTION]... [--] [PATH]...
Plays Standard MIDI Files in a loop. Each PATH is a MIDI file (.mid, .midi,
.kar, .rmi, .smf), an album (.mal) or a folder searched for MIDI files. The
playlist becomes the PATHs, in order, and the first plays. When the player
already runs, the PATHs are handed to it and this start ends, with exit status
1 if the player did not take them. A name with blanks typed without quotes is
taken as one PATH when only the whole names something.

  -h, --help       print this help and exit
  -v, --version    print the version and exit
  --               end of options: what follows are PATHs, even if they start with -

Environment:
  SONABEL_OUTPUT        synth (the default), silent, or alsa:CLIENT:PORT
  SONABEL_SOUNDFONT     the SoundFont of the built-in synthesizer
  SONABEL_AUDIO_DRIVER  the synthesizer&apos;s audio driver (pulseaudio, alsa, jack, file, ...)
  SONABEL_AUDIO_FILE    with the file driver (which needs it), the WAV file written
  XDG_CONFIG_HOME       where the settings (Orvane/Sonabel.ini) are kept
</source>
        <translation>Aufruf: sonabel [OPTION]... [--] [PFAD]...
Spielt Standard-MIDI-Dateien in einer Schleife. Jeder PFAD ist eine MIDI-Datei
(.mid, .midi, .kar, .rmi, .smf), ein Album (.mal) oder ein Ordner, in dem nach
MIDI-Dateien gesucht wird. Die Wiedergabeliste besteht dann aus den PFADen, in
dieser Reihenfolge, und der erste wird gespielt. Läuft der Player schon, bekommt
er die PFADe, und dieser Start endet, mit Exit-Status 1, wenn der Player sie
nicht übernommen hat. Ein Name mit Leerzeichen, ohne Anführungszeichen getippt,
gilt als ein PFAD, wenn nur der ganze Name etwas bezeichnet.

  -h, --help       diese Hilfe ausgeben und beenden
  -v, --version    die Version ausgeben und beenden
  --               Ende der Optionen: Was folgt, sind PFADe, auch wenn sie mit - beginnen

Umgebung:
  SONABEL_OUTPUT        synth (die Vorgabe), silent oder alsa:CLIENT:PORT
  SONABEL_SOUNDFONT     der SoundFont des eingebauten Synthesizers
  SONABEL_AUDIO_DRIVER  der Audiotreiber des Synthesizers (pulseaudio, alsa, jack, file, ...)
  SONABEL_AUDIO_FILE    mit dem Treiber file (der sie braucht) die geschriebene WAV-Datei
  XDG_CONFIG_HOME       wo die Einstellungen (Orvane/Sonabel.ini) liegen
</translation>
    </message>
    <message>
        <source>unknown option &apos;%1&apos;</source>
        <translation>unbekannte Option „%1“</translation>
    </message>
    <message>
        <source>Try &apos;sonabel --help&apos;.</source>
        <translation>„sonabel --help“ zeigt die Hilfe.</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>Sonabel may open only %1 files at once (ulimit -n); it needs at least %2.</source>
        <translation>Sonabel darf nur %1 Dateien gleichzeitig öffnen (ulimit -n); es braucht mindestens %2.</translation>
    </message>
    <message>
        <source>The running Sonabel refused the files: the list is too long.</source>
        <translation>Das laufende Sonabel hat die Dateien abgelehnt: Die Liste ist zu lang.</translation>
    </message>
    <message>
        <source>Sonabel is running but did not answer; the files were not added.</source>
        <translation>Sonabel läuft, hat aber nicht geantwortet; die Dateien wurden nicht hinzugefügt.</translation>
    </message>
    <message>
        <source>The running Sonabel closed before it added the files.</source>
        <translation>Das laufende Sonabel wurde beendet, bevor es die Dateien hinzufügen konnte.</translation>
    </message>
</context>
<context>
    <name>RenderJob</name>
    <message>
        <source>out of memory</source>
        <translation>zu wenig Speicher</translation>
    </message>
    <message>
        <source>the render failed</source>
        <translation>das Rendern ist fehlgeschlagen</translation>
    </message>
</context>
<context>
    <name>Sound</name>
    <message>
        <source>ALSA sequencer: not opened yet</source>
        <translation>ALSA-Sequencer: noch nicht geöffnet</translation>
    </message>
    <message>
        <source>ALSA sequencer: cannot open it: %1</source>
        <translation>ALSA-Sequencer: lässt sich nicht öffnen: %1</translation>
    </message>
    <message>
        <source>The ALSA sequencer cannot be opened (%1), so songs play in silence. Choose another output in &quot;Sound ...&quot;.</source>
        <translation>Der ALSA-Sequencer lässt sich nicht öffnen (%1), daher bleiben die Lieder stumm. Wählen Sie unter „Klang ...“ eine andere Ausgabe.</translation>
    </message>
    <message>
        <source>ALSA sequencer: cannot create a port: %1</source>
        <translation>ALSA-Sequencer: kann keinen Port anlegen: %1</translation>
    </message>
    <message>
        <source>ALSA sequencer port %1: refused (silent)</source>
        <translation>ALSA-Sequencer-Port %1: abgelehnt (stumm)</translation>
    </message>
    <message>
        <source>The MIDI port %1 refused the connection (%2), so songs play in silence. Choose another output in &quot;Sound ...&quot;.</source>
        <translation>Der MIDI-Port %1 hat die Verbindung abgelehnt (%2), daher bleiben die Lieder stumm. Wählen Sie unter „Klang ...“ eine andere Ausgabe.</translation>
    </message>
    <message>
        <source>ALSA sequencer port %1</source>
        <translation>ALSA-Sequencer-Port %1</translation>
    </message>
    <message>
        <source>The MIDI port %1 is gone; playing through the built-in synthesizer instead.</source>
        <translation>Den MIDI-Port %1 gibt es nicht mehr; stattdessen spielt der eingebaute Synthesizer.</translation>
    </message>
    <message>
        <source>The output &quot;%1&quot; cannot be used; playing through the built-in synthesizer instead.</source>
        <translation>Die Ausgabe „%1“ ist nicht nutzbar; stattdessen spielt der eingebaute Synthesizer.</translation>
    </message>
    <message>
        <source>FluidSynth: not started yet</source>
        <translation>FluidSynth: noch nicht gestartet</translation>
    </message>
    <message>
        <source>The SoundFont %1 is gone; playing with %2 instead.</source>
        <translation>Den SoundFont %1 gibt es nicht mehr; stattdessen wird mit %2 gespielt.</translation>
    </message>
    <message>
        <source>FluidSynth: cannot create its settings</source>
        <translation>FluidSynth: kann seine Einstellungen nicht anlegen</translation>
    </message>
    <message>
        <source>FluidSynth: cannot create the synthesizer: %1</source>
        <translation>FluidSynth: kann den Synthesizer nicht anlegen: %1</translation>
    </message>
    <message>
        <source>No SoundFont was found, so songs play in silence. Install the Debian package fluid-soundfont-gm, or choose a SoundFont file in &quot;Sound ...&quot;.</source>
        <translation>Es wurde kein SoundFont gefunden, daher bleiben die Lieder stumm. Installieren Sie das Debian-Paket fluid-soundfont-gm oder wählen Sie unter „Klang ...“ eine SoundFont-Datei.</translation>
    </message>
    <message>
        <source>The SoundFont %1 cannot be loaded, so songs play in silence. Choose another one in &quot;Sound ...&quot;.</source>
        <translation>Der SoundFont %1 lässt sich nicht laden, daher bleiben die Lieder stumm. Wählen Sie unter „Klang ...“ einen anderen.</translation>
    </message>
    <message>
        <source>FluidSynth synthesizer: %1 (silent)</source>
        <translation>FluidSynth-Synthesizer: %1 (stumm)</translation>
    </message>
    <message>
        <source>FluidSynth synthesizer with %1, but no audio output (silent)</source>
        <translation>FluidSynth-Synthesizer mit %1, aber ohne Audioausgabe (stumm)</translation>
    </message>
    <message>
        <source>FluidSynth synthesizer with %1</source>
        <translation>FluidSynth-Synthesizer mit %1</translation>
    </message>
    <message>
        <source>FluidSynth synthesizer with %1 through %2</source>
        <translation>FluidSynth-Synthesizer mit %1 über %2</translation>
    </message>
    <message>
        <source>No audio output could be opened (%1), so songs play in silence. Choose another audio driver in &quot;Sound ...&quot;.</source>
        <translation>Keine Audioausgabe ließ sich öffnen (%1), daher bleiben die Lieder stumm. Wählen Sie unter „Klang ...“ einen anderen Audiotreiber.</translation>
    </message>
    <message>
        <source>recording output</source>
        <translation>Aufnahme-Ausgabe</translation>
    </message>
    <message>
        <source>silent output: nothing is played</source>
        <translation>stumme Ausgabe: es wird nichts gespielt</translation>
    </message>
</context>
<context>
    <name>SoundDialog</name>
    <message>
        <source>Sound</source>
        <translation>Klang</translation>
    </message>
    <message>
        <source>Output:</source>
        <translation>Ausgabe:</translation>
    </message>
    <message>
        <source>%1 is set: it decides the output.</source>
        <translation>%1 ist gesetzt und bestimmt die Ausgabe.</translation>
    </message>
    <message>
        <source>The default SoundFont</source>
        <translation>Der Standard-SoundFont</translation>
    </message>
    <message>
        <source>Other file...</source>
        <translation>Andere Datei ...</translation>
    </message>
    <message>
        <source>SoundFont</source>
        <translation>SoundFont</translation>
    </message>
    <message>
        <source>SoundFonts (*.sf2 *.sf3 *.SF2 *.SF3);;All files (*)</source>
        <translation>SoundFonts (*.sf2 *.sf3 *.SF2 *.SF3);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>SoundFont:</source>
        <translation>SoundFont:</translation>
    </message>
    <message>
        <source>%1 is set: it decides the SoundFont.</source>
        <translation>%1 ist gesetzt und bestimmt den SoundFont.</translation>
    </message>
    <message>
        <source>automatic</source>
        <translation>automatisch</translation>
    </message>
    <message>
        <source>Audio driver:</source>
        <translation>Audiotreiber:</translation>
    </message>
    <message>
        <source>%1 is set: it decides the audio driver.</source>
        <translation>%1 ist gesetzt und bestimmt den Audiotreiber.</translation>
    </message>
    <message>
        <source>Volume:</source>
        <translation>Lautstärke:</translation>
    </message>
    <message>
        <source>Reverb</source>
        <translation>Hall</translation>
    </message>
    <message>
        <source>Chorus</source>
        <translation>Chorus</translation>
    </message>
    <message>
        <source>Playing now: %1</source>
        <translation>Jetzt spielt: %1</translation>
    </message>
</context>
<context>
    <name>frmAbout</name>
    <message>
        <source>About Sonabel</source>
        <translation>Über Sonabel</translation>
    </message>
    <message>
        <source>Free software by the Sonabel developers</source>
        <translation>Freie Software der Sonabel-Entwickler</translation>
    </message>
    <message>
        <source>Author</source>
        <translation>Autor</translation>
    </message>
    <message>
        <source>Output: unknown</source>
        <translation>Ausgabe: unbekannt</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Close the about box</source>
        <translation>Schließt das Info-Fenster</translation>
    </message>
    <message>
        <source>The Sonabel developers</source>
        <translation>Die Sonabel-Entwickler</translation>
    </message>
</context>
<context>
    <name>frmEnumDir</name>
    <message>
        <source>Directory Search</source>
        <translation>Ordnersuche</translation>
    </message>
    <message>
        <source>Scanning directory:</source>
        <translation>Durchsuche den Ordner:</translation>
    </message>
    <message>
        <source>MIDI file found:</source>
        <translation>Gefundene MIDI-Dateien:</translation>
    </message>
    <message>
        <source>Searching %1</source>
        <translation>Durchsuche %1</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Entries found: %1</source>
        <translation>Gefundene Einträge: %1</translation>
    </message>
    <message>
        <source>Loading %1</source>
        <translation>Lade %1</translation>
    </message>
    <message>
        <source>Reading album:</source>
        <translation>Lese Album:</translation>
    </message>
</context>
<context>
    <name>frmMain</name>
    <message>
        <source>%1 was not read whole at the start (out of memory, cancelled or a failed read), so it is left as it was; this session&apos;s playlist is not kept</source>
        <translation>%1 wurde beim Start nicht vollständig gelesen (zu wenig Speicher, abgebrochen oder ein Lesefehler) und bleibt daher unverändert; die Wiedergabeliste dieser Sitzung wird nicht gespeichert</translation>
    </message>
    <message>
        <source>could not remove %1</source>
        <translation>%1 konnte nicht entfernt werden</translation>
    </message>
    <message>
        <source>the playlist could not be kept in %1: %2</source>
        <translation>die Wiedergabeliste konnte nicht in %1 gespeichert werden: %2</translation>
    </message>
    <message>
        <source>On Wayland the desktop places the window: keep it on top or snap it with the desktop&apos;s own window menu.</source>
        <translation>Unter Wayland platziert der Desktop das Fenster: Im Vordergrund halten oder einrasten lässt es sich über das Fenstermenü des Desktops.</translation>
    </message>
    <message>
        <source>Always on top: set by the desktop</source>
        <translation>Immer im Vordergrund: vom Desktop bestimmt</translation>
    </message>
    <message>
        <source>Always on top</source>
        <translation>Immer im Vordergrund</translation>
    </message>
    <message>
        <source>Snap to top screen: set by the desktop</source>
        <translation>Am oberen Rand einrasten: vom Desktop bestimmt</translation>
    </message>
    <message>
        <source>Snap to top screen</source>
        <translation>Am oberen Rand einrasten</translation>
    </message>
    <message>
        <source>Drag any folder or MIDI files here</source>
        <translation>Ordner oder MIDI-Dateien hierher ziehen</translation>
    </message>
    <message>
        <source>Drag this bar to jump to specific song location</source>
        <translation>Diesen Balken ziehen, um an eine Stelle im Lied zu springen</translation>
    </message>
    <message>
        <source>Move to %1</source>
        <translation>Springe zu %1</translation>
    </message>
    <message>
        <source>Built-in synthesizer</source>
        <translation>Eingebauter Synthesizer</translation>
    </message>
    <message>
        <source>MIDI port %1 (%2)</source>
        <translation>MIDI-Port %1 (%2)</translation>
    </message>
    <message>
        <source>Silent</source>
        <translation>Stumm</translation>
    </message>
    <message>
        <source>MIDI Album</source>
        <translation>MIDI-Album</translation>
    </message>
    <message>
        <source>The album %1 could not be opened.</source>
        <translation>Das Album %1 konnte nicht geöffnet werden.</translation>
    </message>
    <message>
        <source>Open MIDI Album</source>
        <translation>MIDI-Album öffnen</translation>
    </message>
    <message>
        <source>Save this album to</source>
        <translation>Album speichern unter</translation>
    </message>
    <message>
        <source>The album could not be saved to %1: %2</source>
        <translation>Das Album konnte nicht unter %1 gespeichert werden: %2</translation>
    </message>
    <message numerus="yes">
        <source>%n files could not be found and skipped</source>
        <translation>
            <numerusform>%n Datei wurde nicht gefunden und übersprungen</numerusform>
            <numerusform>%n Dateien wurden nicht gefunden und übersprungen</numerusform>
        </translation>
    </message>
    <message>
        <source>There is not enough memory to load the album %1; the playlist stays as it was.</source>
        <translation>Der Speicher reicht nicht, um das Album %1 zu laden; die Wiedergabeliste bleibt, wie sie war.</translation>
    </message>
    <message>
        <source>Add an album</source>
        <translation>Album hinzufügen</translation>
    </message>
    <message>
        <source>Save this album</source>
        <translation>Album speichern</translation>
    </message>
    <message>
        <source>Remove from album</source>
        <translation>Aus Album entfernen</translation>
    </message>
    <message>
        <source>Clear album</source>
        <translation>Album leeren</translation>
    </message>
    <message>
        <source>Play this MIDI</source>
        <translation>MIDI abspielen</translation>
    </message>
    <message>
        <source>Configuration &gt;&gt;</source>
        <translation>Einstellungen &gt;&gt;</translation>
    </message>
    <message>
        <source>On new entry:</source>
        <translation>Bei neuen Einträgen:</translation>
    </message>
    <message>
        <source>Add item to playlist</source>
        <translation>In die Liste aufnehmen</translation>
    </message>
    <message>
        <source>Interrupt current play</source>
        <translation>Wiedergabe unterbrechen</translation>
    </message>
    <message>
        <source>Snap Sonabel to screen</source>
        <translation>Am Bildschirmrand einrasten</translation>
    </message>
    <message>
        <source>Start in Shade Mode</source>
        <translation>Eingerollt starten</translation>
    </message>
    <message>
        <source>Set as default Sonabel</source>
        <translation>Als Standard-MIDI-Player</translation>
    </message>
    <message>
        <source>Reset MIDI using</source>
        <translation>MIDI-Reset mit</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Keinem</translation>
    </message>
    <message>
        <source>General MIDI</source>
        <translation>General MIDI</translation>
    </message>
    <message>
        <source>Roland GS</source>
        <translation>Roland GS</translation>
    </message>
    <message>
        <source>Menu</source>
        <translation>Menü</translation>
    </message>
    <message>
        <source>Shade Mode</source>
        <translation>Eingerollt</translation>
    </message>
    <message>
        <source>New entry to playlist</source>
        <translation>Neue Einträge in die Liste</translation>
    </message>
    <message>
        <source>New entry to play immediately</source>
        <translation>Neue Einträge sofort abspielen</translation>
    </message>
    <message>
        <source>Minimize</source>
        <translation>Minimieren</translation>
    </message>
    <message>
        <source>Close player</source>
        <translation>Player schließen</translation>
    </message>
    <message>
        <source>Sound ...</source>
        <translation>Klang ...</translation>
    </message>
    <message>
        <source>About ...</source>
        <translation>Über ...</translation>
    </message>
    <message>
        <source>Play menu</source>
        <translation>Wiedergabemenü</translation>
    </message>
    <message>
        <source>Albums</source>
        <translation>Alben</translation>
    </message>
    <message>
        <source>Load ...</source>
        <translation>Laden ...</translation>
    </message>
    <message>
        <source>Save ...</source>
        <translation>Speichern ...</translation>
    </message>
    <message>
        <source>&lt;&lt; Configuration</source>
        <translation>&lt;&lt; Einstellungen</translation>
    </message>
    <message>
        <source>A General MIDI reset before each song</source>
        <translation>Vor jedem Lied ein General-MIDI-Reset</translation>
    </message>
    <message>
        <source>A Roland GS reset before each song</source>
        <translation>Vor jedem Lied ein Roland-GS-Reset</translation>
    </message>
    <message>
        <source>Add an album to the existing album</source>
        <translation>Ein Album zum vorhandenen Album hinzufügen</translation>
    </message>
    <message>
        <source>Clear the album</source>
        <translation>Das Album leeren</translation>
    </message>
    <message>
        <source>Click this to configure the Sonabel options</source>
        <translation>Hier klicken, um Sonabel einzustellen</translation>
    </message>
    <message>
        <source>Configuration</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>MIDI files open in Sonabel</source>
        <translation>MIDI-Dateien öffnen sich in Sonabel</translation>
    </message>
    <message>
        <source>Move down</source>
        <translation>Nach unten</translation>
    </message>
    <message>
        <source>Move the selected song down</source>
        <translation>Das ausgewählte Lied nach unten schieben</translation>
    </message>
    <message>
        <source>Move the selected song up</source>
        <translation>Das ausgewählte Lied nach oben schieben</translation>
    </message>
    <message>
        <source>Move up</source>
        <translation>Nach oben</translation>
    </message>
    <message>
        <source>New songs are added to the end of the playlist</source>
        <translation>Neue Lieder kommen ans Ende der Wiedergabeliste</translation>
    </message>
    <message>
        <source>New songs replace the playlist and play at once</source>
        <translation>Neue Lieder ersetzen die Wiedergabeliste und spielen sofort</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Nächstes</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Pause or resume</source>
        <translation>Anhalten oder fortsetzen</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>Play the MIDI selected at the listbox</source>
        <translation>Das in der Liste ausgewählte MIDI abspielen</translation>
    </message>
    <message>
        <source>Play the next song</source>
        <translation>Das nächste Lied abspielen</translation>
    </message>
    <message>
        <source>Playlist</source>
        <translation>Wiedergabeliste</translation>
    </message>
    <message>
        <source>Position</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>Previous</source>
        <translation>Vorheriges</translation>
    </message>
    <message>
        <source>Randomize</source>
        <translation>Mischen</translation>
    </message>
    <message>
        <source>Randomize playlist</source>
        <translation>Wiedergabeliste mischen</translation>
    </message>
    <message>
        <source>Remove MIDI(es) selected at listbox from album</source>
        <translation>Die in der Liste ausgewählten MIDIs aus dem Album entfernen</translation>
    </message>
    <message>
        <source>Right-click or press for the player&apos;s menu; double-click to close</source>
        <translation>Rechtsklick oder Drücken öffnet das Menü des Players; Doppelklick schließt ihn</translation>
    </message>
    <message>
        <source>Save this album under a new name or replace existing name</source>
        <translation>Dieses Album unter neuem Namen speichern oder ein vorhandenes ersetzen</translation>
    </message>
    <message>
        <source>Songs play without a reset before them</source>
        <translation>Lieder spielen ohne vorherigen Reset</translation>
    </message>
    <message>
        <source>Sort</source>
        <translation>Sortieren</translation>
    </message>
    <message>
        <source>Sort playlist by its directory</source>
        <translation>Wiedergabeliste nach Ordnern sortieren</translation>
    </message>
    <message>
        <source>Start the song again; twice to go back one song</source>
        <translation>Das Lied neu beginnen; zweimal für das vorige Lied</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>The player starts shaded to its title strip</source>
        <translation>Der Player startet auf seine Titelleiste eingerollt</translation>
    </message>
    <message>
        <source>The song that plays. Drag to move the window, double-click to shade it; press Return for the play menu</source>
        <translation>Das Lied, das gerade spielt. Ziehen verschiebt das Fenster, Doppelklick rollt es ein; die Eingabetaste öffnet das Wiedergabemenü</translation>
    </message>
    <message>
        <source>The window snaps to the top of the screen when dragged near it</source>
        <translation>Das Fenster rastet am oberen Bildschirmrand ein, wenn es in seine Nähe gezogen wird</translation>
    </message>
    <message>
        <source>The window stays above other windows</source>
        <translation>Das Fenster bleibt über anderen Fenstern</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation>%1 gibt es schon.
Möchten Sie die Datei ersetzen?</translation>
    </message>
    <message>
        <source>%1% done</source>
        <translation>%1 % erledigt</translation>
    </message>
    <message>
        <source>%1% done, about %2 left</source>
        <translation>%1 % erledigt, noch etwa %2</translation>
    </message>
    <message numerus="yes">
        <source>%n of these files already exist in %1.
Do you want to replace them?</source>
        <translation>
            <numerusform>Eine dieser Dateien gibt es schon in %1.
Möchten Sie sie ersetzen?</numerusform>
            <numerusform>%n dieser Dateien gibt es schon in %1.
Möchten Sie sie ersetzen?</numerusform>
        </translation>
    </message>
    <message>
        <source>Audio</source>
        <translation>Audio</translation>
    </message>
    <message>
        <source>No song to save: select songs in the playlist, or play one.</source>
        <translation>Kein Lied zu speichern: Wählen Sie Lieder in der Wiedergabeliste aus oder spielen Sie eines ab.</translation>
    </message>
    <message>
        <source>No song to save: the playlist is empty.</source>
        <translation>Kein Lied zu speichern: Die Wiedergabeliste ist leer.</translation>
    </message>
    <message>
        <source>No song was saved.</source>
        <translation>Es wurde kein Lied gespeichert.</translation>
    </message>
    <message>
        <source>Save album as audio</source>
        <translation>Album als Audio speichern</translation>
    </message>
    <message>
        <source>Save album as audio ...</source>
        <translation>Album als Audio speichern ...</translation>
    </message>
    <message>
        <source>Save as audio</source>
        <translation>Als Audio speichern</translation>
    </message>
    <message>
        <source>Save as audio ...</source>
        <translation>Als Audio speichern ...</translation>
    </message>
    <message>
        <source>Saving as audio failed:
%1</source>
        <translation>Das Speichern als Audio ist fehlgeschlagen:
%1</translation>
    </message>
    <message>
        <source>Saving “%1”</source>
        <translation>Speichere „%1“</translation>
    </message>
    <message>
        <source>Saving “%1” (%2 of %3)</source>
        <translation>Speichere „%1“ (%2 von %3)</translation>
    </message>
    <message numerus="yes">
        <source>The %n song(s) saved before it are kept.</source>
        <translation>
            <numerusform>Das zuvor gespeicherte Lied bleibt erhalten.</numerusform>
            <numerusform>Die %n zuvor gespeicherten Lieder bleiben erhalten.</numerusform>
        </translation>
    </message>
    <message>
        <source>The album %1 could not be read to its end: %2</source>
        <translation>Das Album %1 konnte nicht bis zum Ende gelesen werden: %2</translation>
    </message>
</context>
<context>
    <name>LyricLabel</name>
    <message>
        <source>The words of the song, as they are sung</source>
        <translation>Der Text des Liedes, wie er gesungen wird</translation>
    </message>
</context>
</TS>
