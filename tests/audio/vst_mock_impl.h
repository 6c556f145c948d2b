// vst_mock_impl.h - a small VST 2 plug-in for the host's tests, written against the
// host's own declarations. Built as shared libraries (vst_mock_plugin.cpp) and linked
// into the concurrency tests, where the sanitizers follow it.
// Everything has internal linkage: each library or program has its own state.
// Threads: entry and dispatcher from the host's UI thread, processReplacing and the
// event list from its audio thread.
#pragma once
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>
#include <thread>

#include "audio/vst_abi.h"
#include "vst_mock_state.h"

static VstMockState g_vst_mock;
static VstHostCallback g_vst_mock_host;

struct VstMockEffect {
    AEffect fx;
    int32_t held_notes;
    bool editor_open;
    float params[2];             // two parameters, kept as set
};

static VstMockEffect* vst_mock_of(AEffect* fx)
{
    return (VstMockEffect*)fx;
}

static void vst_mock_events(VstMockEffect* m, const VstEventList<1>* list)
{
    VstMockStats& st = g_vst_mock.stats;
    if (st.event_calls < VST_MOCK_CALL_LOG)
        st.events_per_call[st.event_calls] = list->num_events;
    st.event_calls++;
    VstEvent* const* events = list->events;   // as many as num_events says
    for (int i = 0; i < list->num_events; i++) {
        const VstEvent* ev = events[i];
        if (ev->type != VST_EVENT_MIDI)
            continue;
        const VstMidiEvent* me = (const VstMidiEvent*)ev;
        uint8_t status = (uint8_t)me->midi_data[0];
        if ((status & 0xf0) == 0x90 && me->midi_data[2])
            m->held_notes++;
        else if (((status & 0xf0) == 0x80 || (status & 0xf0) == 0x90) && m->held_notes > 0)
            m->held_notes--;
        std::memcpy(st.last_midi, me->midi_data, 3);
        st.last_delta = me->delta_frames;
        st.midi_events.fetch_add(1);
    }
}

static void vst_mock_resize_from_thread(AEffect* fx)
{
    std::thread t([fx] {
        g_vst_mock.stats.thread_resize_answer = g_vst_mock_host(fx, VST_HOST_SIZE_WINDOW, 300, 150, nullptr, 0.0f);
    });
    t.join();
}

static intptr_t vst_mock_dispatch(AEffect* fx, int32_t op, int32_t index, intptr_t value, void* ptr, float opt)
{
    VstMockEffect* m = vst_mock_of(fx);
    VstMockConfig& cfg = g_vst_mock.config;
    VstMockStats& st = g_vst_mock.stats;
    if (op >= 0 && op < 128)
        st.opcodes[op].fetch_add(1);
    switch (op) {
    case VST_EFF_OPEN:
        if (cfg.outputs_after_open >= 0)
            fx->num_outputs = cfg.outputs_after_open;
        return 0;
    case VST_EFF_CLOSE:
        if (st.in_process.load())
            st.closed_while_processing.fetch_add(1);
        st.alive.fetch_sub(1);
        delete m;
        return 1;
    case VST_EFF_EDIT_GET_RECT:
        if (ptr)
            *(ERect**)ptr = m->editor_open ? &cfg.rect_after : &cfg.rect_before;
        return 1;
    case VST_EFF_EDIT_OPEN:
        m->editor_open = true;
        st.editor_window = (intptr_t)ptr;
        if (cfg.resize_from_thread)
            vst_mock_resize_from_thread(fx);
        return 1;
    case VST_EFF_EDIT_CLOSE:
        m->editor_open = false;
        return 0;
    case VST_EFF_PROCESS_EVENTS:
        if (ptr)
            vst_mock_events(m, (const VstEventList<1>*)ptr);
        return 1;
    case VST_EFF_GET_EFFECT_NAME:
        if (!ptr || !cfg.name[0])
            return 0;
        std::strcpy((char*)ptr, cfg.name);
        return 1;
    default:
        (void)index;
        (void)value;
        (void)opt;
        return 0;
    }
}

static void vst_mock_process(AEffect* fx, float** in, float** out, int32_t frames)
{
    VstMockEffect* m = vst_mock_of(fx);
    VstMockConfig& cfg = g_vst_mock.config;
    VstMockStats& st = g_vst_mock.stats;
    st.in_process.fetch_add(1);
    st.process_calls.fetch_add(1);
    if (cfg.ask_time) {
        VstTimeInfo* t = (VstTimeInfo*)g_vst_mock_host(fx, VST_HOST_GET_TIME, 0, 0, nullptr, 0.0f);
        st.time_requests++;
        if (t)
            st.last_time = *t;
    }
    int ms = cfg.sleep_ms.load();
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    while (cfg.hold.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // Touch every declared input, as a plug-in with that many would.
    float sink = 0.0f;
    for (int k = 0; k < fx->num_inputs; k++)
        for (int i = 0; i < frames; i++)
            sink += in[k][i] * 0.0f;
    st.input_pointers_seen = fx->num_inputs;
    float level = cfg.note_level * (float)m->held_notes;
    for (int o = 0; o < fx->num_outputs; o++) {
        for (int i = 0; i < frames; i++) {
            float x = fx->num_inputs > 0 ? in[o % fx->num_inputs][i] * cfg.gain : 0.0f;
            for (int k = 0; k < cfg.undeclared_inputs; k++)
                x += in[k][i];
            out[o][i] = cfg.nan_output ? NAN : x + level + sink;
        }
    }
    for (int k = 0; k < cfg.undeclared_inputs; k++)
        for (int i = 0; i < frames; i++)
            in[k][i] = 1.0f;
    st.in_process.fetch_sub(1);
}

static void vst_mock_set_parameter(AEffect* fx, int32_t index, float value)
{
    if (index >= 0 && index < 2)
        vst_mock_of(fx)->params[index] = value;
}

static float vst_mock_get_parameter(AEffect* fx, int32_t index)
{
    return index >= 0 && index < 2 ? vst_mock_of(fx)->params[index] : 0.0f;
}

[[maybe_unused]] static AEffect* vst_mock_entry(VstHostCallback host)
{
    VstMockConfig& cfg = g_vst_mock.config;
    VstMockStats& st = g_vst_mock.stats;
    g_vst_mock_host = host;
    st.entry_version = host(nullptr, VST_HOST_VERSION, 0, 0, nullptr, 0.0f);
    st.entry_rate = host(nullptr, VST_HOST_GET_SAMPLE_RATE, 0, 0, nullptr, 0.0f);
    st.entry_block = host(nullptr, VST_HOST_GET_BLOCK_SIZE, 0, 0, nullptr, 0.0f);
    if (cfg.return_null)
        return nullptr;
    VstMockEffect* m = new (std::nothrow) VstMockEffect();
    if (!m)
        return nullptr;
    AEffect* fx = &m->fx;
    fx->magic = cfg.magic;
    fx->dispatcher = vst_mock_dispatch;
    fx->num_inputs = cfg.inputs;
    fx->num_outputs = cfg.outputs;
    fx->flags = cfg.flags;
    fx->unique_id = 0x4d6f636b;   // 'Mock'
    fx->version = 1;
    fx->process_replacing = cfg.no_replacing ? nullptr : vst_mock_process;
    fx->set_parameter = vst_mock_set_parameter;
    fx->get_parameter = vst_mock_get_parameter;
    fx->num_params = 2;
    st.alive.fetch_add(1);
    st.last_effect = fx;
    return fx;
}

// Back to the defaults, between tests.
[[maybe_unused]] static void vst_mock_reset(void)
{
    g_vst_mock.~VstMockState();
    new (&g_vst_mock) VstMockState();
}
