// vst_midi.cpp - the MIDI ring from the UI thread to a plug-in on the audio thread.
// Threads: vst_midi_push: the one producer (UI thread). vst_midi_deliver: the one
// consumer (audio thread) [RT]. Each side writes only its own index: the producer
// fills a slot, then publishes the write index (release); the consumer reads the
// slots after loading it (acquire), and hands slots back the same way.
#include "audio/vst_plugin.h"

static uint32_t ring_next(uint32_t i)
{
    return (i + 1) % VST_MIDI_RING;
}

bool vst_midi_push(VstPlugin* p, uint8_t status, uint8_t data1, uint8_t data2)
{
    if (!p)
        return false;
    uint32_t w = p->midi_write.load(std::memory_order_relaxed);
    uint32_t r = p->midi_read.load(std::memory_order_acquire);
    if (ring_next(w) == r)
        return false;
    p->midi_ring[w] = (uint32_t)status | (uint32_t)data1 << 8 | (uint32_t)data2 << 16;
    p->midi_write.store(ring_next(w), std::memory_order_release);
    return true;
}

void vst_midi_deliver(VstPlugin* p)
{
    uint32_t r = p->midi_read.load(std::memory_order_relaxed);
    uint32_t w = p->midi_write.load(std::memory_order_acquire);
    int n = 0;
    while (r != w && n < VST_MIDI_PER_BLOCK) {
        uint32_t m = p->midi_ring[r];
        VstMidiEvent* ev = &p->midi_events[n];
        // Every field again: the plug-in may have scribbled on the records.
        ev->type = VST_EVENT_MIDI;
        ev->byte_size = (int32_t)sizeof(VstMidiEvent);
        ev->delta_frames = 0;
        ev->flags = 0;
        ev->note_length = 0;
        ev->note_offset = 0;
        ev->midi_data[0] = (char)(m & 0xff);
        ev->midi_data[1] = (char)(m >> 8 & 0xff);
        ev->midi_data[2] = (char)(m >> 16 & 0xff);
        ev->midi_data[3] = 0;
        ev->detune = 0;
        ev->note_off_velocity = 0;
        ev->reserved1 = 0;
        ev->reserved2 = 0;
        p->event_list.events[n] = (VstEvent*)ev;
        r = ring_next(r);
        n++;
    }
    if (n == 0)
        return;
    p->midi_read.store(r, std::memory_order_release);
    p->event_list.num_events = n;
    p->event_list.reserved = 0;
    vst_dispatch(p, VST_EFF_PROCESS_EVENTS, 0, 0, &p->event_list, 0.0f);
}
