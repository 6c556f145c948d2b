// vst_picker.h - the plug-in picker: the scanned plug-in files with their kinds from
// the kind cache, filtered by tab and search words, loaded into the instrument or an
// insert slot, and identified one unknown file per frame.
// Threads: UI thread only [blocks: loads plug-ins, retires the one replaced].
// A plug-in loaded to be identified is never published and is unloaded at once; a
// chosen one is published (engine_publish_plugin) after the old one was retired.
// Depends on: app/app_state.h, app/vst_kinds.h, app/vst_picker_rows.h, app/toast.h,
//             app/transport.h, app/musical_typing.h, audio/vst.h, audio/engine_retire.h.
#pragma once
#include <cstdint>

struct AppState;

enum { VST_PICKER_BLOCK = 4096 };   // block size plug-ins are loaded with

// Opens the picker for the instrument (-1) or a slot (0..3): instruments tab for the
// instrument, effects tab for a slot; scans the plug-in folders, reads each file's
// size and the kind cache, resets identification and filters.
void vst_picker_open(AppState* app, int32_t target);
// Rebuilds the filtered list from tab and search words, keeping the selected entry
// selected when it is still listed (else row 0) and on screen.
void vst_picker_filter(AppState* app);
// Loads the entry and installs it in the target; a failure, or an effect chosen for
// the instrument, leaves the picker open with the reason in its status text.
void vst_picker_choose(AppState* app, int32_t entry);
// One identification step (from app_update while open and identifying): loads the
// next unknown file, records its kind and unloads it; stops when none is left. A
// line "load under way" is written first, so a file whose load ends the program
// reads back as failed and is never tried again until its size changes.
void vst_picker_identify_step(AppState* app);
