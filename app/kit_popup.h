// kit_popup.h - the training and version-notes popup: a modal panel with the pages
// TRAINING (steps the user discovers by doing them) and VERSION NOTES (newest first).
// It opens by itself once after an update, keeps what was discovered and seen in the
// preferences store, takes every event first while open, and draws above everything.
// Threads: UI thread only.
// Depends on: app/kit_training.h, app/kit_prefs.h, ui/canvas.h, ui/text.h, ui/widget.h,
//             SDL2 events.
#pragma once
#include <cstdint>

#include "app/kit_training.h"
#include "ui/canvas.h"
#include "ui/widget.h"

struct TextRenderer;
union SDL_Event;

struct KitAppInfo {
    const char* program_id;
    const char* title;
    const char* version;
    const char* default_seen;          // null: none
    const TrainingCourse* courses;
    int32_t course_count;
    const VersionNote* notes;
    int32_t note_count;
    // Hooks in place of the built-in training state; with the first present the popup
    // refuses discoveries. All null in this program.
    bool (*hook_is_done)(const char* id, void* ctx);
    bool (*hook_is_unseen)(const char* id, void* ctx);
    void (*hook_mark_seen)(const char* id, void* ctx);
    void (*hook_reset)(void* ctx);
    void* hook_context;
    uint8_t no_prefs;                  // neither read nor write preferences
};

enum { KIT_PAGE_TRAINING = 0, KIT_PAGE_NOTES = 1 };

// Buttons of the drawn popup in window pixels; empty ones are not drawn.
enum KitPopupButton {
    KIT_BUTTON_TAB_TRAINING = 0,
    KIT_BUTTON_TAB_NOTES,
    KIT_BUTTON_RESET,
    KIT_BUTTON_OLDER,
    KIT_BUTTON_NEWER,
    KIT_BUTTON_GOT_IT,
    KIT_BUTTONS
};

struct VividKitPopup {
    KitAppInfo info;
    KitTrainingState training;
    // Drawing: made on the renderer of the first draw, remade after render resets.
    SDL_Renderer* renderer;
    Canvas* canvas;
    TextRenderer* text;
    uint32_t window_id;                // 0 until drawn: events of every window count
    uint8_t undrawable;                // the last draw could not be made: no input taken
    WidgetTable widgets;
    CanvasRect buttons[KIT_BUTTONS];
    CanvasRect panel;
    float mouse_x, mouse_y;            // window pixels
    int32_t pressed_button;            // -1 none
    float content_height, visible_height;
    double shown_at;                   // opening animation start
    double closed_at;                  // closing animation start
    // State
    uint8_t open;
    uint8_t notes_unseen;              // opened by itself on new notes
    uint8_t reset_armed;
    uint8_t save_failed;
    uint8_t close_failed;              // the last close request could not store the version
    int32_t page;
    int32_t note;                      // -1 none
    float scroll;
    double open_time;
    double next_mark;
    char marked_last[KIT_TOKEN_BYTES];
    double marked_at;
    char key_seen[96];
    char key_done[96];
    char key_unseen[96];
    char seen[32];
};

// Null when info or its program id is missing or empty, or without memory. Reads the
// preferences, marks the version seen on a first run, and opens on the new notes
// after an update.
VividKitPopup* kit_popup_create(const KitAppInfo* info);
void kit_popup_destroy(VividKitPopup* p);   // null is fine
bool kit_popup_is_open(const VividKitPopup* p);
void kit_popup_open(VividKitPopup* p, int32_t page, double t);
// A close request (GOT IT, Escape, Enter on the notes page, F1). While new notes are
// shown their version is stored as seen first; when that fails the popup stays open
// saying so, and a second close request in a row closes it without storing (the notes
// then show again at the next start).
void kit_popup_close(VividKitPopup* p, double t);
// Marks a step discovered and saves both lists; false when refused (see the module).
bool kit_popup_discover(VividKitPopup* p, const char* step_id);
// Older (+1) or newer (-1) notes.
void kit_popup_step_note(VividKitPopup* p, int32_t delta, double t);
// The reset: the hook, else the state cleared and saved.
void kit_popup_reset(VividKitPopup* p);
// While the TRAINING page is shown: from open + 0.5 s, one discovered step every
// 0.18 s is marked seen and saved. True when one was marked now.
bool kit_popup_mark_tick(VividKitPopup* p, double t);
// True when the popup took the event (scale: window pixels per popup unit).
bool kit_popup_handle_event(VividKitPopup* p, const SDL_Event* event, float scale, double t);
// Draws the open (or closing) popup over the whole output of width x height pixels.
void kit_popup_draw(VividKitPopup* p, SDL_Renderer* renderer, int32_t width, int32_t height, float scale,
                    float mouse_x, float mouse_y, double t, float dt, bool reduced_motion);

// Shared with the drawing: both lists saved (with the done steps another copy stored
// since added first); false when a put failed.
bool kit_popup_save_lists(VividKitPopup* p, bool merge);
