// plat_audio_quiet.h - keeps the sound libraries' own chatter off the standard
// error stream while the audio library probes every device at start-up.
// Threads: UI thread, around the audio library's initialisation.
// Depends on: ALSA's and JACK's client libraries.
#pragma once

// Silences ALSA's and JACK's messages (probing prints dozens of lines about cards and
// servers that are simply absent).
void plat_audio_quiet_begin(void);
// Restores ALSA's messages and routes JACK's through "jack: " lines.
void plat_audio_quiet_end(void);
