<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr" sourcelanguage="en">
<context>
    <name>AudioFile</name>
    <message>
        <source>the name must end in .flac, .ogg or .wav</source>
        <translation>le nom doit finir par .flac, .ogg ou .wav</translation>
    </message>
    <message>
        <source>something other than a file is there</source>
        <translation>autre chose qu&apos;un fichier s&apos;y trouve</translation>
    </message>
    <message>
        <source>the file could not be completed</source>
        <translation>le fichier n&apos;a pas pu être terminé</translation>
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
        <translation>Utilisation : sonabel [OPTION]... [--] [CHEMIN]...
Joue des fichiers MIDI standard en boucle. Chaque CHEMIN est un fichier MIDI
(.mid, .midi, .kar, .rmi, .smf), un album (.mal) ou un dossier où chercher des
fichiers MIDI. La liste de lecture devient ces CHEMINs, dans l&apos;ordre, et le
premier est joué. Si le lecteur tourne déjà, les CHEMINs lui sont transmis et
ce lancement se termine, avec le code de sortie 1 si le lecteur ne les a pas
pris. Un nom avec des espaces tapé sans guillemets compte pour un seul CHEMIN
quand seul le nom entier désigne quelque chose.

  -h, --help       affiche cette aide et quitte
  -v, --version    affiche la version et quitte
  --               fin des options : la suite, ce sont des CHEMINs, même s&apos;ils commencent par -

Environnement :
  SONABEL_OUTPUT        synth (par défaut), silent ou alsa:CLIENT:PORT
  SONABEL_SOUNDFONT     la SoundFont du synthétiseur intégré
  SONABEL_AUDIO_DRIVER  le pilote audio du synthétiseur (pulseaudio, alsa, jack, file, ...)
  SONABEL_AUDIO_FILE    avec le pilote file (qui en a besoin), le fichier WAV écrit
  XDG_CONFIG_HOME       où sont gardés les réglages (Orvane/Sonabel.ini)
</translation>
    </message>
    <message>
        <source>unknown option &apos;%1&apos;</source>
        <translation>option inconnue «&#xa0;%1&#xa0;»</translation>
    </message>
    <message>
        <source>Try &apos;sonabel --help&apos;.</source>
        <translation>Essayez «&#xa0;sonabel --help&#xa0;».</translation>
    </message>
</context>
<context>
    <name>Main</name>
    <message>
        <source>Sonabel may open only %1 files at once (ulimit -n); it needs at least %2.</source>
        <translation>Sonabel ne peut ouvrir que %1 fichiers à la fois (ulimit -n)&#xa0;; il lui en faut au moins %2.</translation>
    </message>
    <message>
        <source>The running Sonabel refused the files: the list is too long.</source>
        <translation>Le Sonabel déjà lancé a refusé les fichiers&#xa0;: la liste est trop longue.</translation>
    </message>
    <message>
        <source>Sonabel is running but did not answer; the files were not added.</source>
        <translation>Sonabel est lancé mais n&apos;a pas répondu&#xa0;; les fichiers n&apos;ont pas été ajoutés.</translation>
    </message>
    <message>
        <source>The running Sonabel closed before it added the files.</source>
        <translation>Le Sonabel déjà lancé s&apos;est fermé avant d&apos;ajouter les fichiers.</translation>
    </message>
</context>
<context>
    <name>RenderJob</name>
    <message>
        <source>out of memory</source>
        <translation>mémoire insuffisante</translation>
    </message>
    <message>
        <source>the render failed</source>
        <translation>le rendu a échoué</translation>
    </message>
</context>
<context>
    <name>Sound</name>
    <message>
        <source>ALSA sequencer: not opened yet</source>
        <translation>Séquenceur ALSA&#xa0;: pas encore ouvert</translation>
    </message>
    <message>
        <source>ALSA sequencer: cannot open it: %1</source>
        <translation>Séquenceur ALSA&#xa0;: impossible de l&apos;ouvrir&#xa0;: %1</translation>
    </message>
    <message>
        <source>The ALSA sequencer cannot be opened (%1), so songs play in silence. Choose another output in &quot;Sound ...&quot;.</source>
        <translation>Impossible d&apos;ouvrir le séquenceur ALSA (%1)&#xa0;: les morceaux sont joués en silence. Choisissez une autre sortie dans «&#xa0;Son ...&#xa0;».</translation>
    </message>
    <message>
        <source>ALSA sequencer: cannot create a port: %1</source>
        <translation>Séquenceur ALSA&#xa0;: impossible de créer un port&#xa0;: %1</translation>
    </message>
    <message>
        <source>ALSA sequencer port %1: refused (silent)</source>
        <translation>Port %1 du séquenceur ALSA&#xa0;: refusé (muet)</translation>
    </message>
    <message>
        <source>The MIDI port %1 refused the connection (%2), so songs play in silence. Choose another output in &quot;Sound ...&quot;.</source>
        <translation>Le port MIDI %1 a refusé la connexion (%2)&#xa0;: les morceaux sont joués en silence. Choisissez une autre sortie dans «&#xa0;Son ...&#xa0;».</translation>
    </message>
    <message>
        <source>ALSA sequencer port %1</source>
        <translation>Port %1 du séquenceur ALSA</translation>
    </message>
    <message>
        <source>The MIDI port %1 is gone; playing through the built-in synthesizer instead.</source>
        <translation>Le port MIDI %1 a disparu&#xa0;; le synthétiseur intégré joue à sa place.</translation>
    </message>
    <message>
        <source>The output &quot;%1&quot; cannot be used; playing through the built-in synthesizer instead.</source>
        <translation>La sortie «&#xa0;%1&#xa0;» est inutilisable&#xa0;; le synthétiseur intégré joue à sa place.</translation>
    </message>
    <message>
        <source>FluidSynth: not started yet</source>
        <translation>FluidSynth&#xa0;: pas encore démarré</translation>
    </message>
    <message>
        <source>The SoundFont %1 is gone; playing with %2 instead.</source>
        <translation>La SoundFont %1 a disparu&#xa0;; lecture avec %2 à la place.</translation>
    </message>
    <message>
        <source>FluidSynth: cannot create its settings</source>
        <translation>FluidSynth&#xa0;: impossible de créer ses réglages</translation>
    </message>
    <message>
        <source>FluidSynth: cannot create the synthesizer: %1</source>
        <translation>FluidSynth&#xa0;: impossible de créer le synthétiseur&#xa0;: %1</translation>
    </message>
    <message>
        <source>No SoundFont was found, so songs play in silence. Install the Debian package fluid-soundfont-gm, or choose a SoundFont file in &quot;Sound ...&quot;.</source>
        <translation>Aucune SoundFont trouvée&#xa0;: les morceaux sont joués en silence. Installez le paquet Debian fluid-soundfont-gm ou choisissez un fichier SoundFont dans «&#xa0;Son ...&#xa0;».</translation>
    </message>
    <message>
        <source>The SoundFont %1 cannot be loaded, so songs play in silence. Choose another one in &quot;Sound ...&quot;.</source>
        <translation>Impossible de charger la SoundFont %1&#xa0;: les morceaux sont joués en silence. Choisissez-en une autre dans «&#xa0;Son ...&#xa0;».</translation>
    </message>
    <message>
        <source>FluidSynth synthesizer: %1 (silent)</source>
        <translation>Synthétiseur FluidSynth&#xa0;: %1 (muet)</translation>
    </message>
    <message>
        <source>FluidSynth synthesizer with %1, but no audio output (silent)</source>
        <translation>Synthétiseur FluidSynth avec %1, mais sans sortie audio (muet)</translation>
    </message>
    <message>
        <source>FluidSynth synthesizer with %1</source>
        <translation>Synthétiseur FluidSynth avec %1</translation>
    </message>
    <message>
        <source>FluidSynth synthesizer with %1 through %2</source>
        <translation>Synthétiseur FluidSynth avec %1 via %2</translation>
    </message>
    <message>
        <source>No audio output could be opened (%1), so songs play in silence. Choose another audio driver in &quot;Sound ...&quot;.</source>
        <translation>Aucune sortie audio n&apos;a pu être ouverte (%1)&#xa0;: les morceaux sont joués en silence. Choisissez un autre pilote audio dans «&#xa0;Son ...&#xa0;».</translation>
    </message>
    <message>
        <source>recording output</source>
        <translation>sortie d&apos;enregistrement</translation>
    </message>
    <message>
        <source>silent output: nothing is played</source>
        <translation>sortie muette&#xa0;: rien n&apos;est joué</translation>
    </message>
</context>
<context>
    <name>SoundDialog</name>
    <message>
        <source>Sound</source>
        <translation>Son</translation>
    </message>
    <message>
        <source>Output:</source>
        <translation>Sortie&#xa0;:</translation>
    </message>
    <message>
        <source>%1 is set: it decides the output.</source>
        <translation>%1 est défini&#xa0;: il détermine la sortie.</translation>
    </message>
    <message>
        <source>The default SoundFont</source>
        <translation>La SoundFont par défaut</translation>
    </message>
    <message>
        <source>Other file...</source>
        <translation>Autre fichier...</translation>
    </message>
    <message>
        <source>SoundFont</source>
        <translation>SoundFont</translation>
    </message>
    <message>
        <source>SoundFonts (*.sf2 *.sf3 *.SF2 *.SF3);;All files (*)</source>
        <translation>SoundFonts (*.sf2 *.sf3 *.SF2 *.SF3);;Tous les fichiers (*)</translation>
    </message>
    <message>
        <source>SoundFont:</source>
        <translation>SoundFont&#xa0;:</translation>
    </message>
    <message>
        <source>%1 is set: it decides the SoundFont.</source>
        <translation>%1 est défini&#xa0;: il détermine la SoundFont.</translation>
    </message>
    <message>
        <source>automatic</source>
        <translation>automatique</translation>
    </message>
    <message>
        <source>Audio driver:</source>
        <translation>Pilote audio&#xa0;:</translation>
    </message>
    <message>
        <source>%1 is set: it decides the audio driver.</source>
        <translation>%1 est défini&#xa0;: il détermine le pilote audio.</translation>
    </message>
    <message>
        <source>Volume:</source>
        <translation>Volume&#xa0;:</translation>
    </message>
    <message>
        <source>Reverb</source>
        <translation>Réverbération</translation>
    </message>
    <message>
        <source>Chorus</source>
        <translation>Chorus</translation>
    </message>
    <message>
        <source>Playing now: %1</source>
        <translation>En cours&#xa0;: %1</translation>
    </message>
</context>
<context>
    <name>frmAbout</name>
    <message>
        <source>About Sonabel</source>
        <translation>À propos de Sonabel</translation>
    </message>
    <message>
        <source>Free software by the Sonabel developers</source>
        <translation>Logiciel libre des développeurs de Sonabel</translation>
    </message>
    <message>
        <source>Author</source>
        <translation>Auteur</translation>
    </message>
    <message>
        <source>Output: unknown</source>
        <translation>Sortie&#xa0;: inconnue</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Fermer</translation>
    </message>
    <message>
        <source>Close the about box</source>
        <translation>Ferme la fenêtre À propos</translation>
    </message>
    <message>
        <source>The Sonabel developers</source>
        <translation>Les développeurs de Sonabel</translation>
    </message>
</context>
<context>
    <name>frmEnumDir</name>
    <message>
        <source>Directory Search</source>
        <translation>Recherche dans un dossier</translation>
    </message>
    <message>
        <source>Scanning directory:</source>
        <translation>Dossier parcouru&#xa0;:</translation>
    </message>
    <message>
        <source>MIDI file found:</source>
        <translation>Fichiers MIDI trouvés&#xa0;:</translation>
    </message>
    <message>
        <source>Searching %1</source>
        <translation>Recherche dans %1</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Entries found: %1</source>
        <translation>Entrées trouvées&#xa0;: %1</translation>
    </message>
    <message>
        <source>Loading %1</source>
        <translation>Chargement de %1</translation>
    </message>
    <message>
        <source>Reading album:</source>
        <translation>Lecture de l&apos;album&#xa0;:</translation>
    </message>
</context>
<context>
    <name>frmMain</name>
    <message>
        <source>%1 was not read whole at the start (out of memory, cancelled or a failed read), so it is left as it was; this session&apos;s playlist is not kept</source>
        <translation>%1 n&apos;a pas été lu en entier au démarrage (mémoire insuffisante, annulation ou erreur de lecture)&#xa0;; il reste donc tel quel et la liste de lecture de cette session n&apos;est pas conservée</translation>
    </message>
    <message>
        <source>could not remove %1</source>
        <translation>impossible de supprimer %1</translation>
    </message>
    <message>
        <source>the playlist could not be kept in %1: %2</source>
        <translation>la liste de lecture n&apos;a pas pu être conservée dans %1&#xa0;: %2</translation>
    </message>
    <message>
        <source>On Wayland the desktop places the window: keep it on top or snap it with the desktop&apos;s own window menu.</source>
        <translation>Sous Wayland, c&apos;est le bureau qui place la fenêtre&#xa0;: gardez-la au premier plan ou aimantez-la avec le menu de fenêtre du bureau.</translation>
    </message>
    <message>
        <source>Always on top: set by the desktop</source>
        <translation>Toujours au premier plan&#xa0;: réglé par le bureau</translation>
    </message>
    <message>
        <source>Always on top</source>
        <translation>Toujours au premier plan</translation>
    </message>
    <message>
        <source>Snap to top screen: set by the desktop</source>
        <translation>Aimanter en haut&#xa0;: réglé par le bureau</translation>
    </message>
    <message>
        <source>Snap to top screen</source>
        <translation>Aimanter en haut de l&apos;écran</translation>
    </message>
    <message>
        <source>Drag any folder or MIDI files here</source>
        <translation>Glissez ici un dossier ou des fichiers MIDI</translation>
    </message>
    <message>
        <source>Drag this bar to jump to specific song location</source>
        <translation>Faites glisser cette barre pour aller à un endroit du morceau</translation>
    </message>
    <message>
        <source>Move to %1</source>
        <translation>Aller à %1</translation>
    </message>
    <message>
        <source>Built-in synthesizer</source>
        <translation>Synthétiseur intégré</translation>
    </message>
    <message>
        <source>MIDI port %1 (%2)</source>
        <translation>Port MIDI %1 (%2)</translation>
    </message>
    <message>
        <source>Silent</source>
        <translation>Muet</translation>
    </message>
    <message>
        <source>MIDI Album</source>
        <translation>Album MIDI</translation>
    </message>
    <message>
        <source>The album %1 could not be opened.</source>
        <translation>Impossible d&apos;ouvrir l&apos;album %1.</translation>
    </message>
    <message>
        <source>Open MIDI Album</source>
        <translation>Ouvrir un album MIDI</translation>
    </message>
    <message>
        <source>Save this album to</source>
        <translation>Enregistrer l&apos;album sous</translation>
    </message>
    <message>
        <source>The album could not be saved to %1: %2</source>
        <translation>Impossible d&apos;enregistrer l&apos;album dans %1&#xa0;: %2</translation>
    </message>
    <message numerus="yes">
        <source>%n files could not be found and skipped</source>
        <translation>
            <numerusform>%n fichier introuvable a été ignoré</numerusform>
            <numerusform>%n fichiers introuvables ont été ignorés</numerusform>
        </translation>
    </message>
    <message>
        <source>There is not enough memory to load the album %1; the playlist stays as it was.</source>
        <translation>La mémoire ne suffit pas pour charger l&apos;album %1&#xa0;; la liste de lecture reste telle quelle.</translation>
    </message>
    <message>
        <source>Add an album</source>
        <translation>Ajouter un album</translation>
    </message>
    <message>
        <source>Save this album</source>
        <translation>Enregistrer l&apos;album</translation>
    </message>
    <message>
        <source>Remove from album</source>
        <translation>Retirer de l&apos;album</translation>
    </message>
    <message>
        <source>Clear album</source>
        <translation>Vider l&apos;album</translation>
    </message>
    <message>
        <source>Play this MIDI</source>
        <translation>Jouer ce MIDI</translation>
    </message>
    <message>
        <source>Configuration &gt;&gt;</source>
        <translation>Configuration &gt;&gt;</translation>
    </message>
    <message>
        <source>On new entry:</source>
        <translation>Nouvelle entrée&#xa0;:</translation>
    </message>
    <message>
        <source>Add item to playlist</source>
        <translation>Ajouter à la liste</translation>
    </message>
    <message>
        <source>Interrupt current play</source>
        <translation>Interrompre la lecture</translation>
    </message>
    <message>
        <source>Snap Sonabel to screen</source>
        <translation>Aimanter au bord de l&apos;écran</translation>
    </message>
    <message>
        <source>Start in Shade Mode</source>
        <translation>Démarrer enroulé</translation>
    </message>
    <message>
        <source>Set as default Sonabel</source>
        <translation>Lecteur MIDI par défaut</translation>
    </message>
    <message>
        <source>Reset MIDI using</source>
        <translation>Réinitialiser MIDI&#xa0;:</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Aucun</translation>
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
        <translation>Menu</translation>
    </message>
    <message>
        <source>Shade Mode</source>
        <translation>Enroulé</translation>
    </message>
    <message>
        <source>New entry to playlist</source>
        <translation>Nouvelles entrées dans la liste</translation>
    </message>
    <message>
        <source>New entry to play immediately</source>
        <translation>Nouvelles entrées jouées aussitôt</translation>
    </message>
    <message>
        <source>Minimize</source>
        <translation>Réduire</translation>
    </message>
    <message>
        <source>Close player</source>
        <translation>Fermer le lecteur</translation>
    </message>
    <message>
        <source>Sound ...</source>
        <translation>Son ...</translation>
    </message>
    <message>
        <source>About ...</source>
        <translation>À propos ...</translation>
    </message>
    <message>
        <source>Play menu</source>
        <translation>Menu de lecture</translation>
    </message>
    <message>
        <source>Albums</source>
        <translation>Albums</translation>
    </message>
    <message>
        <source>Load ...</source>
        <translation>Ouvrir ...</translation>
    </message>
    <message>
        <source>Save ...</source>
        <translation>Enregistrer ...</translation>
    </message>
    <message>
        <source>&lt;&lt; Configuration</source>
        <translation>&lt;&lt; Configuration</translation>
    </message>
    <message>
        <source>A General MIDI reset before each song</source>
        <translation>Une réinitialisation General MIDI avant chaque morceau</translation>
    </message>
    <message>
        <source>A Roland GS reset before each song</source>
        <translation>Une réinitialisation Roland GS avant chaque morceau</translation>
    </message>
    <message>
        <source>Add an album to the existing album</source>
        <translation>Ajouter un album à l&apos;album existant</translation>
    </message>
    <message>
        <source>Clear the album</source>
        <translation>Vider l&apos;album</translation>
    </message>
    <message>
        <source>Click this to configure the Sonabel options</source>
        <translation>Cliquez ici pour configurer Sonabel</translation>
    </message>
    <message>
        <source>Configuration</source>
        <translation>Configuration</translation>
    </message>
    <message>
        <source>MIDI files open in Sonabel</source>
        <translation>Les fichiers MIDI s&apos;ouvrent dans Sonabel</translation>
    </message>
    <message>
        <source>Move down</source>
        <translation>Descendre</translation>
    </message>
    <message>
        <source>Move the selected song down</source>
        <translation>Descendre le morceau sélectionné</translation>
    </message>
    <message>
        <source>Move the selected song up</source>
        <translation>Monter le morceau sélectionné</translation>
    </message>
    <message>
        <source>Move up</source>
        <translation>Monter</translation>
    </message>
    <message>
        <source>New songs are added to the end of the playlist</source>
        <translation>Les nouveaux morceaux s&apos;ajoutent à la fin de la liste de lecture</translation>
    </message>
    <message>
        <source>New songs replace the playlist and play at once</source>
        <translation>Les nouveaux morceaux remplacent la liste de lecture et sont joués aussitôt</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Suivant</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Pause or resume</source>
        <translation>Mettre en pause ou reprendre</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Lecture</translation>
    </message>
    <message>
        <source>Play the MIDI selected at the listbox</source>
        <translation>Jouer le MIDI sélectionné dans la liste</translation>
    </message>
    <message>
        <source>Play the next song</source>
        <translation>Jouer le morceau suivant</translation>
    </message>
    <message>
        <source>Playlist</source>
        <translation>Liste de lecture</translation>
    </message>
    <message>
        <source>Position</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>Previous</source>
        <translation>Précédent</translation>
    </message>
    <message>
        <source>Randomize</source>
        <translation>Mélanger</translation>
    </message>
    <message>
        <source>Randomize playlist</source>
        <translation>Mélanger la liste de lecture</translation>
    </message>
    <message>
        <source>Remove MIDI(es) selected at listbox from album</source>
        <translation>Retirer de l&apos;album les MIDI sélectionnés dans la liste</translation>
    </message>
    <message>
        <source>Right-click or press for the player&apos;s menu; double-click to close</source>
        <translation>Clic droit ou appui&#xa0;: menu du lecteur&#xa0;; double-clic&#xa0;: fermer</translation>
    </message>
    <message>
        <source>Save this album under a new name or replace existing name</source>
        <translation>Enregistrer cet album sous un nouveau nom ou remplacer un album existant</translation>
    </message>
    <message>
        <source>Songs play without a reset before them</source>
        <translation>Les morceaux sont joués sans réinitialisation préalable</translation>
    </message>
    <message>
        <source>Sort</source>
        <translation>Trier</translation>
    </message>
    <message>
        <source>Sort playlist by its directory</source>
        <translation>Trier la liste de lecture par dossier</translation>
    </message>
    <message>
        <source>Start the song again; twice to go back one song</source>
        <translation>Reprendre le morceau au début&#xa0;; deux fois pour revenir au précédent</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Arrêt</translation>
    </message>
    <message>
        <source>The player starts shaded to its title strip</source>
        <translation>Le lecteur démarre enroulé sur sa barre de titre</translation>
    </message>
    <message>
        <source>The song that plays. Drag to move the window, double-click to shade it; press Return for the play menu</source>
        <translation>Le morceau en cours. Faites-le glisser pour déplacer la fenêtre, double-cliquez pour l&apos;enrouler&#xa0;; Entrée ouvre le menu de lecture</translation>
    </message>
    <message>
        <source>The window snaps to the top of the screen when dragged near it</source>
        <translation>La fenêtre s&apos;aimante en haut de l&apos;écran quand on l&apos;en approche</translation>
    </message>
    <message>
        <source>The window stays above other windows</source>
        <translation>La fenêtre reste au-dessus des autres</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation>%1 existe déjà.
Voulez-vous le remplacer&#xa0;?</translation>
    </message>
    <message>
        <source>%1% done</source>
        <translation>%1 % effectué</translation>
    </message>
    <message>
        <source>%1% done, about %2 left</source>
        <translation>%1 % effectué, encore %2 environ</translation>
    </message>
    <message numerus="yes">
        <source>%n of these files already exist in %1.
Do you want to replace them?</source>
        <translation>
            <numerusform>%n de ces fichiers existe déjà dans %1.
Voulez-vous le remplacer&#xa0;?</numerusform>
            <numerusform>%n de ces fichiers existent déjà dans %1.
Voulez-vous les remplacer&#xa0;?</numerusform>
        </translation>
    </message>
    <message>
        <source>Audio</source>
        <translation>Audio</translation>
    </message>
    <message>
        <source>No song to save: select songs in the playlist, or play one.</source>
        <translation>Aucun morceau à enregistrer&#xa0;: sélectionnez des morceaux dans la liste de lecture, ou jouez-en un.</translation>
    </message>
    <message>
        <source>No song to save: the playlist is empty.</source>
        <translation>Aucun morceau à enregistrer&#xa0;: la liste de lecture est vide.</translation>
    </message>
    <message>
        <source>No song was saved.</source>
        <translation>Aucun morceau n&apos;a été enregistré.</translation>
    </message>
    <message>
        <source>Save album as audio</source>
        <translation>Enregistrer l&apos;album en audio</translation>
    </message>
    <message>
        <source>Save album as audio ...</source>
        <translation>Enregistrer l&apos;album en audio ...</translation>
    </message>
    <message>
        <source>Save as audio</source>
        <translation>Enregistrer en audio</translation>
    </message>
    <message>
        <source>Save as audio ...</source>
        <translation>Enregistrer en audio ...</translation>
    </message>
    <message>
        <source>Saving as audio failed:
%1</source>
        <translation>L&apos;enregistrement en audio a échoué&#xa0;:
%1</translation>
    </message>
    <message>
        <source>Saving “%1”</source>
        <translation>Enregistrement de «&#xa0;%1&#xa0;»</translation>
    </message>
    <message>
        <source>Saving “%1” (%2 of %3)</source>
        <translation>Enregistrement de «&#xa0;%1&#xa0;» (%2 sur %3)</translation>
    </message>
    <message numerus="yes">
        <source>The %n song(s) saved before it are kept.</source>
        <translation>
            <numerusform>%n morceau enregistré auparavant est conservé.</numerusform>
            <numerusform>%n morceaux enregistrés auparavant sont conservés.</numerusform>
        </translation>
    </message>
    <message>
        <source>The album %1 could not be read to its end: %2</source>
        <translation>L&apos;album %1 n&apos;a pas pu être lu jusqu&apos;au bout&#xa0;: %2</translation>
    </message>
</context>
<context>
    <name>LyricLabel</name>
    <message>
        <source>The words of the song, as they are sung</source>
        <translation>Les paroles du morceau, au fil du chant</translation>
    </message>
</context>
</TS>
