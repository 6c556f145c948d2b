// plat_audio_api.cpp - host API roles: JACK and ALSA on Linux.
#include "platform/plat_audio_api.h"

// PortAudio host API type ids.
enum { kTypeAlsa = 8, kTypeJack = 12, kTypeAsio = 3, kTypeWasapi = 13 };

static const PlatHostApiPolicy g_linux = {kTypeJack, kTypeAlsa, "JACK", "ALSA"};
static const PlatHostApiPolicy g_windows = {kTypeAsio, kTypeWasapi, "ASIO", "WASAPI"};

const PlatHostApiPolicy* plat_host_api_policy(void)
{
    return &g_linux;
}

const PlatHostApiPolicy* plat_host_api_policy_windows(void)
{
    return &g_windows;
}
