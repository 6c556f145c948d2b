// kit_popup.cpp - the popup's state machine: creation from the preferences, opening,
// closing, discoveries, marking steps seen, stepping notes and the events.
#include "app/kit_popup.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/kit_prefs.h"
#include "ui/text.h"

static bool kit_popup_prefs(const VividKitPopup* p)
{
    return !p->info.no_prefs;
}

// The current version stored as seen (newer-only); false when the write failed.
static bool kit_popup_store_seen(VividKitPopup* p)
{
    if (!kit_popup_prefs(p))
        return true;
    if (kit_prefs_put_newer(p->key_seen, p->info.version))
        return true;
    p->save_failed = 1;
    return false;
}

bool kit_popup_save_lists(VividKitPopup* p, bool merge)
{
    if (!p || !kit_popup_prefs(p))
        return true;
    // Another running copy may have stored steps since this one read the file: keep
    // them, so two copies never erase each other's discoveries.
    static char done[KIT_PREFS_VALUE], unseen[KIT_PREFS_VALUE];
    if (merge) {
        kit_prefs_get(p->key_done, "", done, sizeof done);
        kit_training_merge_done(&p->training, done);
    }
    kit_training_to_text(&p->training, done, sizeof done, unseen, sizeof unseen);
    bool ok = kit_prefs_put(p->key_done, done) != 0;
    ok = kit_prefs_put(p->key_unseen, unseen) != 0 && ok;
    p->save_failed = ok ? 0 : 1;
    return ok;
}

VividKitPopup* kit_popup_create(const KitAppInfo* info)
{
    if (!info || !info->program_id || !info->program_id[0])
        return nullptr;
    VividKitPopup* p = (VividKitPopup*)calloc(1, sizeof(VividKitPopup));
    if (!p)
        return nullptr;
    p->info = *info;
    if (!p->info.version)
        p->info.version = "";
    p->note = -1;
    p->pressed_button = -1;
    p->shown_at = -1.0;
    p->closed_at = -1e9;
    snprintf(p->key_seen, sizeof p->key_seen, "%s.version_seen", info->program_id);
    snprintf(p->key_done, sizeof p->key_done, "%s.training_done", info->program_id);
    snprintf(p->key_unseen, sizeof p->key_unseen, "%s.training_unseen", info->program_id);
    snprintf(p->seen, sizeof p->seen, "%s", info->default_seen ? info->default_seen : "");

    static char done[KIT_PREFS_VALUE], unseen[KIT_PREFS_VALUE];
    done[0] = unseen[0] = '\0';
    if (kit_popup_prefs(p)) {
        char seen[sizeof p->seen];
        kit_prefs_get(p->key_seen, p->seen, seen, sizeof seen);
        memcpy(p->seen, seen, sizeof seen);
        kit_prefs_get(p->key_done, "", done, sizeof done);
        kit_prefs_get(p->key_unseen, "", unseen, sizeof unseen);
    }
    kit_training_init(&p->training, info->courses, info->course_count, done, unseen);

    bool mark = false;
    int32_t note = kit_notes_find_newer(info->notes, info->note_count, p->seen, p->info.version, true, &mark);
    if (mark)
        kit_popup_store_seen(p);
    if (note >= 0 && kit_popup_prefs(p)) {
        kit_popup_open(p, KIT_PAGE_NOTES, 0.0);
        p->notes_unseen = 1;
        p->shown_at = -1.0;   // the opening animation starts at the first draw
    }
    return p;
}

void kit_popup_destroy(VividKitPopup* p)
{
    if (!p)
        return;
    text_renderer_destroy(p->text);
    canvas_destroy(p->canvas);
    free(p);
}

bool kit_popup_is_open(const VividKitPopup* p)
{
    return p && p->open;
}

void kit_popup_open(VividKitPopup* p, int32_t page, double t)
{
    if (!p)
        return;
    page = page == KIT_PAGE_NOTES ? KIT_PAGE_NOTES : KIT_PAGE_TRAINING;
    if (p->notes_unseen && page == KIT_PAGE_TRAINING) {
        if (!kit_popup_store_seen(p))
            return;
        p->notes_unseen = 0;
    }
    if (!p->open)
        p->shown_at = t;
    p->page = page;
    p->note = kit_notes_find_version(p->info.notes, p->info.note_count, p->info.version);
    p->open_time = t;
    p->next_mark = t + 0.5;
    p->scroll = 0.0f;
    p->reset_armed = 0;
    p->close_failed = 0;
    p->open = 1;
}

void kit_popup_close(VividKitPopup* p, double t)
{
    if (!p || !p->open)
        return;
    if (p->notes_unseen && kit_popup_prefs(p)) {
        if (kit_popup_store_seen(p)) {
            p->save_failed = 0;
        } else if (!p->close_failed) {
            // Say so and stay; the next close request gives up on storing, so an
            // unwritable preferences file never keeps the user locked out.
            p->close_failed = 1;
            return;
        }
    }
    p->open = 0;
    p->notes_unseen = 0;
    p->reset_armed = 0;
    p->close_failed = 0;
    p->pressed_button = -1;
    p->closed_at = t;
}

bool kit_popup_discover(VividKitPopup* p, const char* step_id)
{
    if (!p || p->info.hook_is_done)
        return false;
    if (!kit_training_mark_done(&p->training, step_id))
        return false;
    kit_popup_save_lists(p, true);
    return true;
}

void kit_popup_step_note(VividKitPopup* p, int32_t delta, double t)
{
    if (!p || p->note < 0)
        return;
    int32_t n = p->note + delta;
    if (n < 0 || n >= p->info.note_count || kit_version_compare(p->info.notes[n].version, p->info.version) > 0)
        return;
    p->note = n;
    p->scroll = 0.0f;
    p->open_time = t;
}

void kit_popup_reset(VividKitPopup* p)
{
    if (!p)
        return;
    if (p->info.hook_reset) {
        p->info.hook_reset(p->info.hook_context);
    } else {
        kit_training_reset(&p->training);
        kit_popup_save_lists(p, false);
    }
    p->reset_armed = 0;
}

static bool kit_popup_step_done(const VividKitPopup* p, const char* id)
{
    return p->info.hook_is_done ? p->info.hook_is_done(id, p->info.hook_context)
                                : kit_training_is_done(&p->training, id);
}

static bool kit_popup_step_unseen(const VividKitPopup* p, const char* id)
{
    return p->info.hook_is_unseen ? p->info.hook_is_unseen(id, p->info.hook_context)
                                  : kit_training_is_unseen(&p->training, id);
}

bool kit_popup_mark_tick(VividKitPopup* p, double t)
{
    if (!p || !p->open || p->page != KIT_PAGE_TRAINING || t < p->next_mark)
        return false;
    for (int32_t c = 0; c < p->info.course_count; c++) {
        const TrainingCourse& course = p->info.courses[c];
        for (int32_t i = 0; i < course.step_count; i++) {
            const char* id = course.steps[i].id;
            if (!kit_popup_step_done(p, id) || !kit_popup_step_unseen(p, id))
                continue;
            if (p->info.hook_mark_seen) {
                p->info.hook_mark_seen(id, p->info.hook_context);
            } else {
                kit_training_forget(&p->training, id);
                kit_popup_save_lists(p, true);
            }
            snprintf(p->marked_last, sizeof p->marked_last, "%s", id);
            p->marked_at = t;
            p->next_mark = t + 0.18;
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------
// Events
// ---------------------------------------------------------------------------

static void kit_popup_scroll_by(VividKitPopup* p, float dy)
{
    float top = std::max(0.0f, p->content_height - p->visible_height);
    p->scroll = std::clamp(p->scroll + dy, 0.0f, top);
}

static const char* kit_popup_link(const VividKitPopup* p)
{
    if (p->page != KIT_PAGE_NOTES || p->note < 0 || p->note >= p->info.note_count)
        return nullptr;
    const char* link = p->info.notes[p->note].link;
    return link && link[0] ? link : nullptr;
}

static void kit_popup_key(VividKitPopup* p, const SDL_Keysym& k, double t)
{
    bool notes = p->page == KIT_PAGE_NOTES;
    switch (k.sym) {
    case SDLK_HOME: p->scroll = 0.0f; break;
    case SDLK_END: kit_popup_scroll_by(p, 1e9f); break;
    case SDLK_PAGEUP: kit_popup_scroll_by(p, -p->visible_height); break;
    case SDLK_PAGEDOWN: kit_popup_scroll_by(p, p->visible_height); break;
    case SDLK_UP: kit_popup_scroll_by(p, -50.0f); break;
    case SDLK_DOWN: kit_popup_scroll_by(p, 50.0f); break;
    case SDLK_LEFT:
        if (notes)
            kit_popup_step_note(p, 1, t);
        break;
    case SDLK_RIGHT:
        if (notes)
            kit_popup_step_note(p, -1, t);
        break;
    case SDLK_TAB: kit_popup_open(p, notes ? KIT_PAGE_TRAINING : KIT_PAGE_NOTES, t); break;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        if (p->reset_armed)
            kit_popup_reset(p);
        else if (notes)
            kit_popup_close(p, t);
        break;
    case SDLK_ESCAPE:
        if (p->reset_armed)
            p->reset_armed = 0;
        else
            kit_popup_close(p, t);
        break;
    case SDLK_c:
        if (const char* link = kit_popup_link(p))
            SDL_SetClipboardText(link);
        break;
    case SDLK_u:
        if (const char* link = kit_popup_link(p))
            SDL_OpenURL(link);
        break;
    default: break;
    }
}

static int32_t kit_popup_button_at(const VividKitPopup* p, float x, float y)
{
    for (int32_t i = 0; i < KIT_BUTTONS; i++) {
        const CanvasRect& r = p->buttons[i];
        if (r.w > 0 && r.h > 0 && x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h)
            return i;
    }
    return -1;
}

static void kit_popup_click(VividKitPopup* p, int32_t button, double t)
{
    switch (button) {
    case KIT_BUTTON_TAB_TRAINING: kit_popup_open(p, KIT_PAGE_TRAINING, t); break;
    case KIT_BUTTON_TAB_NOTES: kit_popup_open(p, KIT_PAGE_NOTES, t); break;
    case KIT_BUTTON_RESET:
        if (p->page != KIT_PAGE_TRAINING)
            break;
        if (p->reset_armed)
            kit_popup_reset(p);
        else
            p->reset_armed = 1;
        break;
    case KIT_BUTTON_OLDER:
        if (p->page == KIT_PAGE_NOTES)
            kit_popup_step_note(p, 1, t);
        break;
    case KIT_BUTTON_NEWER:
        if (p->page == KIT_PAGE_NOTES)
            kit_popup_step_note(p, -1, t);
        break;
    case KIT_BUTTON_GOT_IT: kit_popup_close(p, t); break;
    default: break;
    }
}

// The window an input event belongs to, or 0 for events without one.
static uint32_t kit_event_window(const SDL_Event* ev)
{
    switch (ev->type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: return ev->key.windowID;
    case SDL_TEXTINPUT: return ev->text.windowID;
    case SDL_TEXTEDITING: return ev->edit.windowID;
    case SDL_MOUSEMOTION: return ev->motion.windowID;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: return ev->button.windowID;
    case SDL_MOUSEWHEEL: return ev->wheel.windowID;
    default: return 0;
    }
}

bool kit_popup_handle_event(VividKitPopup* p, const SDL_Event* ev, float scale, double t)
{
    if (!p || !ev)
        return false;
    if (ev->type == SDL_RENDER_TARGETS_RESET || ev->type == SDL_RENDER_DEVICE_RESET) {
        // Remade on this renderer at the next draw.
        text_renderer_destroy(p->text);
        canvas_destroy(p->canvas);
        p->text = nullptr;
        p->canvas = nullptr;
        return false;
    }
    uint32_t win = kit_event_window(ev);
    if (p->window_id && win && win != p->window_id)
        return false;
    if (ev->type == SDL_KEYDOWN && !ev->key.repeat && ev->key.keysym.sym == SDLK_F1) {
        if (p->open)
            kit_popup_close(p, t);
        else
            kit_popup_open(p, (ev->key.keysym.mod & KMOD_SHIFT) ? KIT_PAGE_NOTES : KIT_PAGE_TRAINING, t);
        return true;
    }
    // An open popup that cannot be drawn must not swallow the program's input.
    if (!p->open || p->undrawable)
        return false;
    float s = scale > 0.0f ? scale : 1.0f;
    switch (ev->type) {
    case SDL_KEYDOWN:
        kit_popup_key(p, ev->key.keysym, t);
        return true;
    case SDL_TEXTINPUT:
    case SDL_TEXTEDITING:
        // Typing must not land in a search field underneath.
        return true;
    case SDL_MOUSEMOTION:
        p->mouse_x = (float)ev->motion.x;
        p->mouse_y = (float)ev->motion.y;
        return true;
    case SDL_MOUSEBUTTONDOWN:
        p->mouse_x = (float)ev->button.x;
        p->mouse_y = (float)ev->button.y;
        if (ev->button.button == SDL_BUTTON_LEFT) {
            int32_t b = kit_popup_button_at(p, p->mouse_x, p->mouse_y);
            p->pressed_button = b;
            kit_popup_click(p, b, t);
        }
        return true;
    case SDL_MOUSEBUTTONUP:
        p->pressed_button = -1;
        return true;
    case SDL_MOUSEWHEEL:
        kit_popup_scroll_by(p, -(float)ev->wheel.y * 40.0f * s);
        return true;
    default:
        return false;
    }
}
