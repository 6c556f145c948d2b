// take_view.h - the take view's model inside the Library: the range strip's control,
// the drags of the waveform, volume and marks, the displayed play position, and the
// tempo row (analysis, segment grid, chop loop, segment strip and its status).
// Drawing and mouse are in the library's views (take_view.cpp), the analysis in take_analysis.cpp,
// the export of a segment in loop_export.cpp.
// Threads: UI thread only.
// Depends on: take_range.h, segment_grid.h, audio/tempo.h, ui/canvas.h.
#pragma once
#include <cstdint>

#include "audio/tempo.h"
#include "library/segment_grid.h"
#include "library/take_range.h"
#include "ui/canvas.h"

struct Library;
struct LibraryItem;
struct SampleBuffer;
struct TextRenderer;

constexpr float TAKE_VIEW_HEIGHT = 188.0f;
constexpr float TAKE_TEMPO_ROW_HEIGHT = 78.0f;
constexpr double TAKE_STATUS_SECONDS = 3.0;

// One segment of the loaded take.
struct LibrarySegment {
    const LibraryItem* item;
    double start, length;             // seconds
    float bpm;
    int32_t bars_per_segment;
    uint8_t partial;
    float volume;
};

struct LibraryTake {
    // Rectangles of the last draw (canvas units).
    CanvasRect play_button, wave, strip, volume_slider, region_button;
    TakeRange range;
    uint8_t scrubbing, volume_drag;
    int32_t mark_drag;                // 0 none, 1 in, 2 out
    float shown_position;             // the player's last position ...
    double shown_time;                // ... and when it changed
    float mouse_x, mouse_y;

    // The tempo row (shown while the Library's tempo_row is on).
    TempoAnalysis analysis;
    const SampleBuffer* buffer;       // compared only: the player may have freed it
    int32_t generation;
    int64_t frames;
    double rate;
    uint8_t found;
    float bpm;
    double first_beat;
    int32_t key;
    float* envelope;
    int32_t envelope_count;
    int32_t shift;                    // beats, from bars.ini
    uint8_t chop;                     // the chop loop holds the player's region ...
    double chop_start, chop_end;      // ... in seconds
    char status[64];
    double status_time;
    CanvasRect row, segments, loop_toggle, bar_choices[4], arrows[2];
    float segment_scroll;             // units
    int32_t segment_press;            // -1 none, else the armed cell
    float press_x, press_y;
};

// The Part's names for the take view's mouse; the library view hands them on.
bool library_take_press(Library* lib, int32_t button, int32_t clicks, float x, float y);
bool library_take_motion(Library* lib, float x, float y);
bool library_take_release(Library* lib, int32_t button, float x, float y);
// Applies what the range strip reported.
void library_take_action(Library* lib, const TakeAction* action);

void library_set_tempo_row(Library* lib, bool on);
bool library_segment_grid(Library* lib, SegmentGrid* grid);
bool library_segment(Library* lib, int32_t index, LibrarySegment* out);
void library_follow_segment(Library* lib);
void library_take_free(Library* lib);                      // by library_destroy
void library_take_status(Library* lib, const char* text, double now);
void library_draw_tempo(Canvas* c, TextRenderer* tr, Library* lib, const CanvasRect* row, double now);
bool library_tempo_press(Library* lib, float x, float y, double now);
void library_tempo_motion(Library* lib, float x, float y, double now);
bool library_tempo_release(Library* lib, float x, float y);
// The wheel over the segment strip scrolls it a segment a notch; false elsewhere.
bool library_take_wheel(Library* lib, float x, float y, int32_t notches);

// Writes segment index of the loaded take into the loops folder and drags it out of
// the window; the outcome becomes the row's status for 3 s.
void library_export_bar(Library* lib, int32_t index, double now);
