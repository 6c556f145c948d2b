// main.cpp - Tessel's entry. For now: starts the engine, reports the opened device
// and the callback count after a few seconds, and stops.
#include <cstdio>

#include "audio/engine.h"
#include "platform/plat_time.h"
#include "platform/plat_x11_editor.h"

int main(int argc, char** argv)
{
    // Before any X call: plug-ins open X connections from threads of their own.
    plat_x11_init_threads();
    (void)argc;
    (void)argv;
    Engine* e = engine_instance();
    if (!engine_init(e)) {
        fprintf(stderr, "tessel: engine init failed: %s\n", e->error_text[0] ? e->error_text : "out of memory");
        return 1;
    }
    if (!engine_start(e)) {
        fprintf(stderr, "tessel: %s\n", e->error_text);
    } else {
        printf("tessel: %s on %s (%s), %d inputs, %.0f Hz, %d frames, %.1f ms, key \"%s\"\n",
               e->input_name, e->host_label, e->opened_device.api, e->input_channels, e->sample_rate,
               e->buffer_frames, e->latency_ms, e->opened_device.key);
        plat_sleep_ms(3000);
        printf("tessel: %u callbacks in 3 s\n", e->callback_count.load());
    }
    engine_stop(e);
    engine_shutdown(e);
    return 0;
}
