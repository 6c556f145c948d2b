// inputs_panel_input.cpp - mouse, wheel, key and text events: clicks by hit kind,
// drags of mutes, gains, pans and the master, the wheel's scroll and nudges, scene
// keys, selection keys, and the right click's next free glyph.
#include <SDL.h>

#include <cmath>
#include <cstring>

#include "rig/rigmix.h"
#include "rig/views/inputs_panel_internal.h"
#include "ui/text.h"

static bool (*g_covers)(TextRenderer*, const char*) = nullptr;

void inputs_panel_set_covers(bool (*covers)(TextRenderer* tr, const char* text))
{
    g_covers = covers;
}

static bool covers(InputsPanel* p, const char* text)
{
    return g_covers ? g_covers(p->text, text) : text_font_covers(p->text, text);
}

static void hover_at(InputsPanel* p, float wx, float wy)
{
    p->mouse_x = wx;
    p->mouse_y = wy;
    int index = -1;
    float px, py;
    ip_to_panel(p, wx, wy, &px, &py);
    int kind = ip_hit(p, px, py, &index);
    p->hovering = kind != IPH_OUTSIDE;
    if (kind != p->hover_kind || index != p->hover_index)
        p->hover_time = p->now;
    p->hover_kind = kind;
    p->hover_index = index;
}

static void end_drag(InputsPanel* p)
{
    if (p->drag_kind)
        SDL_CaptureMouse(SDL_FALSE);
    p->drag_kind = 0;
    p->drag_input = -1;
    hover_at(p, p->mouse_x, p->mouse_y);
}

static void next_glyph(InputsPanel* p, int scene)
{
    const RigDocument* d = p->doc;
    if (!d)
        return;
    int at = rig_glyph_index(d->scenes[scene].glyph);
    for (int k = 1; k <= RIG_GLYPHS; k++) {
        int g = ((at < 0 ? -1 : at) + k) % RIG_GLYPHS;
        const char* text = rig_glyph(g);
        bool used = false;
        for (int s = 0; s < 4; s++)
            if (s != scene && rig_glyph_index(d->scenes[s].glyph) == g)
                used = true;
        if (used || !covers(p, text))
            continue;
        ip_send(p, IPC_SET_GLYPH, scene, 0, 0.0f, false, text);
        return;
    }
}

static int row_place(const InputsPanel* p, int input)
{
    for (int r = 0; r < p->row_count; r++)
        if (p->rows[r].input == input)
            return r;
    return 0;
}

static void start_fader_drag(InputsPanel* p, int kind, int input, float value, float width)
{
    p->drag_kind = kind;
    p->drag_input = input;
    p->drag_value = value;
    p->drag_sent = value;
    p->drag_width = width;
    p->drag_detent = value == 0.75f;
    p->drag_last_x = p->mouse_x;
    SDL_CaptureMouse(SDL_TRUE);
}

static void press_left(InputsPanel* p, const SDL_MouseButtonEvent* b)
{
    int kind = p->hover_kind, i = p->hover_index;
    bool edit = ip_editable(p);
    const RigScene* sc = ip_scene(p);
    if (kind >= IPH_ROW && kind <= IPH_LAMP && i >= 0)
        p->selected = i;
    bool shift = (SDL_GetModState() & KMOD_SHIFT) != 0;
    switch (kind) {
    case IPH_SCENE:
        if (!edit)
            break;
        if (shift) {
            if (i != p->view.active_scene)
                ip_send(p, IPC_COPY_SCENE, p->view.active_scene, i, 0, false, nullptr);
        } else {
            ip_send(p, IPC_SWITCH_SCENE, i, 0, 0, false, nullptr);
        }
        break;
    case IPH_OPTION: p->pending = 2; break;
    case IPH_CLOSE: p->pending = 1; break;
    case IPH_MUTE:
        if (!edit || !sc)
            break;
        p->drag_kind = 1;
        p->drag_input = i;
        p->paint_state = sc->inputs[i].muted ? 0 : 1;
        p->paint_anchor = row_place(p, i);
        SDL_CaptureMouse(SDL_TRUE);
        ip_send(p, IPC_SET_MUTED, i, 0, 0, p->paint_state, nullptr);
        break;
    case IPH_FADER:
        if (!edit || !sc)
            break;
        if (b->clicks >= 2) {
            p->anim[i].gain_edited = 1;
            ip_send(p, IPC_SET_GAIN, i, 0, rig_fader_to_gain(0.75f), false, nullptr);
        } else {
            start_fader_drag(p, 2, i, rig_gain_to_fader(sc->inputs[i].gain), p->fader1 - p->fader0);
        }
        break;
    case IPH_PAN:
        if (!edit || !sc)
            break;
        if (b->clicks >= 2) {
            p->anim[i].pan_edited = 1;
            ip_send(p, IPC_SET_PAN, i, 0, 0.0f, false, nullptr);
        } else {
            p->drag_kind = 3;
            p->drag_input = i;
            p->drag_value = p->drag_sent = sc->inputs[i].pan;
            p->drag_last_x = p->mouse_x;
            SDL_CaptureMouse(SDL_TRUE);
        }
        break;
    case IPH_LINK:
        if (edit && sc)
            ip_send(p, IPC_SET_LINK, i, 0, 0, !sc->inputs[i].link, nullptr);
        break;
    case IPH_LAMP:
        ip_send(p, IPC_SELECT_INPUT, i, 0, 0, false, nullptr);
        if (!(i & 1) && p->linked[i])
            ip_send(p, IPC_SELECT_INPUT, i + 1, 0, 0, false, nullptr);
        break;
    case IPH_MASTER_FADER:
        if (!edit || !sc)
            break;
        if (b->clicks >= 2) {
            p->master_edited = 1;
            ip_send(p, IPC_SET_MASTER, 0, 0, 1.0f, false, nullptr);
        } else {
            start_fader_drag(p, 4, -1, rig_gain_to_fader(sc->master_gain), p->master1 - p->master0);
        }
        break;
    case IPH_BUS_LAMP: ip_send(p, IPC_SELECT_INPUT, -1, 0, 0, false, nullptr); break;
    default: break;
    }
}

static void drag_motion(InputsPanel* p, float wx)
{
    float sc = p->scale > 0 ? p->scale : 1.0f;
    float dx = (wx - p->drag_last_x) / sc;
    p->drag_last_x = wx;
    float fine = (SDL_GetModState() & KMOD_SHIFT) ? 0.1f : 1.0f;
    if (p->drag_kind == 1) {
        float px, py;
        ip_to_panel(p, p->mouse_x, p->mouse_y, &px, &py);
        int cur = 0;
        for (int r = 0; r < p->row_count; r++)
            if (p->rows[r].weight >= 0.5f && p->rows[r].top <= py)
                cur = r;
        int a = p->paint_anchor < cur ? p->paint_anchor : cur;
        int b = p->paint_anchor < cur ? cur : p->paint_anchor;
        const RigScene* scene = ip_scene(p);
        for (int r = a; r <= b && scene; r++) {
            int i = p->rows[r].input;
            if (p->rows[r].weight >= 0.5f && scene->inputs[i].muted != p->paint_state)
                ip_send(p, IPC_SET_MUTED, i, 0, 0, p->paint_state, nullptr);
            scene = ip_scene(p);
        }
        p->paint_anchor = cur;
        return;
    }
    if (p->drag_kind == 2 || p->drag_kind == 4) {
        float w = p->drag_width > 1 ? p->drag_width : 1.0f;
        float old = p->drag_value;
        float v = old + dx / w * fine;
        float sent;
        if ((old < 0.75f && v >= 0.75f) || (old > 0.75f && v <= 0.75f) || v == 0.75f)
            p->drag_detent = 1;
        if (p->drag_detent) {
            float excess = std::fabs(v - 0.75f) - 6.0f / w;
            if (excess > 0) {
                v = v > 0.75f ? 0.75f + excess : 0.75f - excess;
                p->drag_detent = 0;
                sent = v;
            } else {
                sent = 0.75f;
            }
        } else {
            sent = v;
        }
        if (v < 0)
            v = 0;
        if (v > 1)
            v = 1;
        sent = sent < 0 ? 0 : sent > 1 ? 1 : sent;
        p->drag_value = v;
        if (sent != p->drag_sent) {
            p->drag_sent = sent;
            if (p->drag_kind == 2) {
                p->anim[p->drag_input].gain_edited = 1;
                ip_send(p, IPC_SET_GAIN, p->drag_input, 0, rig_fader_to_gain(sent), false, nullptr);
            } else {
                p->master_edited = 1;
                ip_send(p, IPC_SET_MASTER, 0, 0, rig_fader_to_gain(sent), false, nullptr);
            }
        }
        return;
    }
    if (p->drag_kind == 3) {
        float v = p->drag_value + dx / 20.0f * fine;
        v = v < -1 ? -1 : v > 1 ? 1 : v;
        p->drag_value = v;
        float sent = std::fabs(v) < 0.03f ? 0.0f : v;
        if (sent != p->drag_sent) {
            p->drag_sent = sent;
            p->anim[p->drag_input].pan_edited = 1;
            ip_send(p, IPC_SET_PAN, p->drag_input, 0, sent, false, nullptr);
        }
    }
}

static bool rested(const InputsPanel* p)
{
    return p->now - p->hover_time >= 0.25;
}

static void nudge(InputsPanel* p, float amount, bool plain_notch)
{
    p->wheel_rest += amount;
    int steps = (int)p->wheel_rest;
    p->wheel_rest -= (float)steps;
    if (steps == 0 && plain_notch)
        steps = amount > 0 ? 1 : -1;
    if (steps == 0 || !ip_editable(p))
        return;
    bool shift = (SDL_GetModState() & KMOD_SHIFT) != 0;
    int i = p->hover_index;
    const RigScene* sc = ip_scene(p);
    if (p->hover_kind == IPH_FADER) {
        p->anim[i].gain_edited = 1;
        ip_send(p, IPC_NUDGE_GAIN, i, 0, steps * (shift ? 0.1f : 0.5f), false, nullptr);
    } else if (p->hover_kind == IPH_MASTER_FADER) {
        p->master_edited = 1;
        ip_send(p, IPC_NUDGE_MASTER, 0, 0, steps * (shift ? 0.1f : 0.5f), false, nullptr);
    } else if (p->hover_kind == IPH_PAN && sc) {
        float old = sc->inputs[i].pan;
        float v = old + steps * (shift ? 0.01f : 0.05f);
        v = v < -1 ? -1 : v > 1 ? 1 : v;
        if ((old < 0 && v > 0) || (old > 0 && v < 0) || std::fabs(v) < 0.0001f)
            v = 0.0f;
        p->anim[i].pan_edited = 1;
        ip_send(p, IPC_SET_PAN, i, 0, v, false, nullptr);
    }
}

static void wheel(InputsPanel* p, const SDL_MouseWheelEvent* w)
{
    float amount = w->preciseY != 0.0f ? w->preciseY : (float)w->y;
    if (w->direction == SDL_MOUSEWHEEL_FLIPPED)
        amount = -amount;
    bool plain = w->preciseY == (float)w->y;
    int k = p->hover_kind;
    bool can_scroll = p->max_scroll > 0.5f;
    bool control = k == IPH_FADER || k == IPH_PAN;
    bool holding = p->now < p->scroll_hold;
    if (k >= IPH_LIST && k <= IPH_LAMP && can_scroll) {
        if (control && rested(p) && !holding) {
            nudge(p, amount, plain);
            return;
        }
        p->scroll_target -= amount * IP_ROW;
        p->scroll_target = p->scroll_target < 0 ? 0 : p->scroll_target > p->max_scroll ? p->max_scroll : p->scroll_target;
        if (p->reduced_motion)
            p->scroll = p->scroll_target;
        p->wheel_rest = 0.0f;
        p->scroll_hold = p->now + 0.4;
        return;
    }
    if (holding)
        return;
    if ((control || k == IPH_MASTER_FADER) && (!can_scroll || rested(p)))
        nudge(p, amount, plain);
}

static void select_step(InputsPanel* p, int dir)
{
    int order[RIG_MAX_INPUTS], count = 0;
    for (int r = 0; r < p->row_count; r++)
        if (p->rows[r].weight >= 0.5f)
            order[count++] = p->rows[r].input;
    if (!count)
        return;
    int at = -1;
    for (int k = 0; k < count; k++)
        if (order[k] == p->selected)
            at = k;
    if (at < 0)
        at = dir > 0 ? 0 : count - 1;
    else
        at = at + dir < 0 ? 0 : at + dir >= count ? count - 1 : at + dir;
    p->selected = order[at];
    float c = 0.0f;
    for (int r = 0; r < p->row_count; r++) {
        if (p->rows[r].input == p->selected)
            break;
        c += p->rows[r].height;
    }
    if (c < p->scroll_target)
        p->scroll_target = c;
    else if (c + 42 > p->scroll_target + p->list_h)
        p->scroll_target = c + 42 - p->list_h;
    p->scroll_target = p->scroll_target < 0 ? 0 : p->scroll_target > p->max_scroll ? p->max_scroll : p->scroll_target;
}

static int first_input(const InputsPanel* p)
{
    return p->row_count ? p->rows[0].input : -1;
}

static bool key(InputsPanel* p, const SDL_KeyboardEvent* k)
{
    if (k->keysym.mod & (KMOD_CTRL | KMOD_ALT | KMOD_GUI))
        return false;
    SDL_Keycode sym = k->keysym.sym;
    bool down = k->type == SDL_KEYDOWN;
    bool first = down && !k->repeat;
    bool shift = (k->keysym.mod & KMOD_SHIFT) != 0;
    int scene = -1;
    if (sym >= SDLK_1 && sym <= SDLK_4)
        scene = sym - SDLK_1;
    else if (sym >= SDLK_KP_1 && sym <= SDLK_KP_4)
        scene = sym - SDLK_KP_1;
    if (scene >= 0 && (p->focus_mask & 1)) {
        if (first && ip_editable(p)) {
            if (shift) {
                if (scene != p->view.active_scene)
                    ip_send(p, IPC_COPY_SCENE, p->view.active_scene, scene, 0, false, nullptr);
            } else {
                ip_send(p, IPC_SWITCH_SCENE, scene, 0, 0, false, nullptr);
            }
        }
        if (down)
            p->swallow_text = 1;
        return true;
    }
    if ((sym == SDLK_UP || sym == SDLK_DOWN) && (p->focus_mask & 2)) {
        if (down)
            select_step(p, sym == SDLK_DOWN ? 1 : -1);
        return true;
    }
    if ((sym == SDLK_LEFT || sym == SDLK_RIGHT) && (p->focus_mask & 4)) {
        if (down) {
            if (p->selected < 0)
                p->selected = first_input(p);
            if (p->selected >= 0 && ip_editable(p)) {
                float step = (shift ? 3.0f : 0.5f) * (sym == SDLK_LEFT ? -1.0f : 1.0f);
                p->anim[p->selected].gain_edited = 1;
                ip_send(p, IPC_NUDGE_GAIN, p->selected, 0, step, false, nullptr);
            }
        }
        return true;
    }
    if ((sym == SDLK_RETURN || sym == SDLK_KP_ENTER) && (p->focus_mask & 8)) {
        if (first) {
            if (p->selected < 0)
                p->selected = first_input(p);
            const RigScene* sc = ip_scene(p);
            if (p->selected >= 0 && ip_editable(p) && sc)
                ip_send(p, IPC_SET_MUTED, p->selected, 0, 0, !sc->inputs[p->selected].muted, nullptr);
        }
        return true;
    }
    if (sym == SDLK_ESCAPE && (p->focus_mask & 16)) {
        if (first)
            p->pending = 1;
        return true;
    }
    return false;
}

static uint32_t event_window(const SDL_Event* ev)
{
    switch (ev->type) {
    case SDL_MOUSEMOTION: return ev->motion.windowID;
    case SDL_MOUSEBUTTONDOWN: case SDL_MOUSEBUTTONUP: return ev->button.windowID;
    case SDL_MOUSEWHEEL: return ev->wheel.windowID;
    case SDL_WINDOWEVENT: return ev->window.windowID;
    case SDL_KEYDOWN: case SDL_KEYUP: return ev->key.windowID;
    case SDL_TEXTINPUT: return ev->text.windowID;
    default: return 0;
    }
}

bool inputs_panel_handle_event(InputsPanel* p, const SDL_Event* ev, const InputsPanelFrame* f)
{
    if (!p || !ev || !p->visible || !p->open)
        return false;
    uint32_t t = ev->type;
    if (t != SDL_MOUSEMOTION && t != SDL_MOUSEBUTTONDOWN && t != SDL_MOUSEBUTTONUP && t != SDL_MOUSEWHEEL &&
        t != SDL_WINDOWEVENT && t != SDL_KEYDOWN && t != SDL_KEYUP && t != SDL_TEXTINPUT)
        return false;
    uint32_t win = event_window(ev);
    if (win && p->window_id && win != p->window_id)
        return false;
    if (f) {
        p->now = f->time;
        p->focus_mask = f->focus_mask;
        p->focus = f->focus;
    }
    bool plain_motion = t == SDL_MOUSEMOTION && !p->drag_kind;
    if (t != SDL_WINDOWEVENT && t != SDL_TEXTINPUT && !plain_motion) {
        ip_refresh(p);
    }
    switch (t) {
    case SDL_WINDOWEVENT:
        if (ev->window.event == SDL_WINDOWEVENT_LEAVE && !p->drag_kind) {
            p->hovering = 0;
            p->hover_kind = 0;
            p->hover_index = -1;
        } else if (ev->window.event == SDL_WINDOWEVENT_FOCUS_LOST && p->drag_kind) {
            end_drag(p);
        }
        return false;
    case SDL_MOUSEMOTION:
        p->mouse_x = (float)ev->motion.x;
        p->mouse_y = (float)ev->motion.y;
        if (p->drag_kind) {
            drag_motion(p, (float)ev->motion.x);
            return true;
        }
        hover_at(p, (float)ev->motion.x, (float)ev->motion.y);
        return p->hovering;
    case SDL_MOUSEBUTTONDOWN:
        hover_at(p, (float)ev->button.x, (float)ev->button.y);
        if (!p->hovering)
            return false;
        if (ev->button.button == SDL_BUTTON_RIGHT && p->hover_kind == IPH_SCENE && ip_editable(p))
            next_glyph(p, p->hover_index);
        else if (ev->button.button == SDL_BUTTON_LEFT)
            press_left(p, &ev->button);
        return true;
    case SDL_MOUSEBUTTONUP:
        if (ev->button.button == SDL_BUTTON_LEFT && p->drag_kind) {
            p->mouse_x = (float)ev->button.x;
            p->mouse_y = (float)ev->button.y;
            end_drag(p);
            return true;
        }
        hover_at(p, (float)ev->button.x, (float)ev->button.y);
        return p->hovering;
    case SDL_MOUSEWHEEL:
        if (!p->hovering)
            return false;
        wheel(p, &ev->wheel);
        return true;
    case SDL_KEYDOWN:
        p->swallow_text = 0;
        return key(p, &ev->key);
    case SDL_KEYUP:
        return key(p, &ev->key);
    case SDL_TEXTINPUT:
        if (p->swallow_text) {
            p->swallow_text = 0;
            return true;
        }
        return false;
    default:
        return false;
    }
}
