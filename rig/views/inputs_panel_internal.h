// inputs_panel_internal.h - the InputsPanel record and what its files share. No
// compatibility promise.
// Threads: UI thread.
// Depends on: inputs_panel.h, ui/canvas.h, ui/spring.h.
#pragma once
#include "rig/views/inputs_panel.h"
#include "ui/canvas.h"
#include "ui/spring.h"

struct Canvas;
struct TextRenderer;

constexpr float IP_ROW = 34.0f;          // one row, units
constexpr float IP_LIST_TOP = 56.0f;
constexpr float IP_MIN_LIST = 108.0f;
constexpr float IP_BELOW_LIST = 152.0f;  // master strip, status line and gaps below the list
constexpr float IP_WIDTH = 440.0f;

struct IpRow {
    int32_t input;
    float top;
    float height;
    float weight;
};

struct IpAnim {
    float weight;
    float fader_from, fader_to;
    double fader_at;
    float pan_from, pan_to;
    double pan_at;
    uint8_t muted;
    uint8_t flagged;            // clip or bad samples latched
    Spring mute_spring;
    Spring lamp_spring;
    uint8_t gain_edited, pan_edited;
    uint8_t fresh;
};

struct InputsPanel {
    SDL_Renderer* renderer;
    RigSession* session;
    const InputsPanelBackend* backend;
    Canvas* canvas;
    TextRenderer* text;
    uint32_t window_id;
    float pal[INPUTS_PANEL_COLOURS][4];
    uint8_t open, visible, closing, first_frame;
    double open_time, close_time;
    uint8_t reduced_motion;
    double now;

    RigInputView view;
    const RigDocument* doc;
    RigMeterView meters;
    RigDocument* device_doc;
    char device_doc_key[200];
    int32_t device_doc_inputs;

    // layout of the last frame
    float frame_x, frame_y, origin_x, origin_y, scale;
    float w, h, slide_x, slide_y;
    float list_y, list_h, master_y, status_y;
    float mute0, mute1, fader0, fader1, pan0, pan1, link0, link1, lamp0, lamp1, master0, master1;
    float header_right;
    uint8_t narrow;
    float content_h, max_scroll;
    IpRow rows[RIG_MAX_INPUTS];
    int32_t row_count;
    uint8_t can_link[RIG_MAX_INPUTS], linked[RIG_MAX_INPUTS];
    IpAnim anim[RIG_MAX_INPUTS];
    float master_from, master_to;
    double master_at;
    uint8_t master_edited;
    uint8_t bus_over;
    Spring bus_spring;
    Spring list_spring;
    Spring scene_spring;
    uint8_t scene_spring_used;
    char remembered_key[200];
    int32_t last_count;
    double grow_time;
    int32_t grow_from;

    float scroll, scroll_target;
    double scroll_hold;
    float wheel_rest;
    int32_t selected;

    float mouse_x, mouse_y;     // window pixels
    uint8_t hovering;
    int32_t hover_kind, hover_index;
    double hover_time;

    int32_t drag_kind, drag_input;
    float drag_last_x, drag_value, drag_sent, drag_width;
    uint8_t drag_detent;
    uint8_t paint_state;
    int32_t paint_anchor;

    uint8_t swallow_text;
    int32_t pending;
    uint8_t option;
    int32_t focus_mask;
    uint8_t focus;
    uint8_t shift;

    CanvasTarget body, header, row_layer;
};

// inputs_panel.cpp: reading and editing through the back-end or the session
void ip_refresh(InputsPanel* p);
void ip_read_meters(InputsPanel* p);
const RigDocument* ip_rows_doc(const InputsPanel* p);
void ip_send(InputsPanel* p, int kind, int index, int second, float value, bool flag, const char* text);
const char* ip_label(InputsPanel* p, int input);
bool ip_editable(const InputsPanel* p);
int ip_opened(const InputsPanel* p);
const RigScene* ip_scene(const InputsPanel* p);
// inputs_panel_layout.cpp
void ip_update(InputsPanel* p, const InputsPanelFrame* f);
void ip_layout(InputsPanel* p, const InputsPanelFrame* f);
int ip_hit(const InputsPanel* p, float px, float py, int* index);   // panel units
void ip_to_panel(const InputsPanel* p, float wx, float wy, float* px, float* py);
int ip_level(const InputsPanel* p, double delay);
float ip_fader_shown(const InputsPanel* p, int input);
float ip_pan_shown(const InputsPanel* p, int input);
float ip_master_shown(const InputsPanel* p);
// inputs_panel_draw.cpp
void ip_draw_body(InputsPanel* p);
void ip_draw_header(InputsPanel* p);
void ip_draw_rows(InputsPanel* p, int from_input, int to_input);
