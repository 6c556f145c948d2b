// plat_audio_quiet.cpp - ALSA's error handler and JACK's message functions.
#include "platform/plat_audio_quiet.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <cstdio>

static void quiet_alsa(const char*, int, const char*, int, const char*, ...) {}
static void quiet_jack(const char*) {}
static void log_jack(const char* msg)
{
    fprintf(stderr, "jack: %s\n", msg ? msg : "");
}

void plat_audio_quiet_begin(void)
{
    snd_lib_error_set_handler(quiet_alsa);
    jack_set_error_function(quiet_jack);
    jack_set_info_function(quiet_jack);
}

void plat_audio_quiet_end(void)
{
    snd_lib_error_set_handler(nullptr);
    jack_set_error_function(log_jack);
    jack_set_info_function(quiet_jack);
}
