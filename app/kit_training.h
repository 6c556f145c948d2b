// kit_training.h - the training course and version notes of the popup as data, and
// their logic: token lists of step ids, version comparison, note lookup and the
// training state (steps discovered, steps not yet looked at).
// Threads: UI thread only (the state); the free functions are pure.
// Depends on: nothing.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int32_t KIT_TOKENS_MAX = 96;     // ids a list holds
constexpr int32_t KIT_TOKEN_BYTES = 32;    // an id is 1..31 bytes

struct TrainingStep {
    const char* id;
    const char* title;
    const char* text;
    const char* keys;       // key caps separated by a tab
    const void* extra;      // unused here
};

struct TrainingCourse {
    const char* id;
    const char* title;
    const TrainingStep* steps;
    int32_t step_count;
};

struct VersionNote {
    const char* version;
    const char* date;
    const char* headline;
    const char* const* lines;
    int32_t line_count;
    const char* link;       // null: no link
};

struct KitTokens {
    char ids[KIT_TOKENS_MAX][KIT_TOKEN_BYTES];
    int32_t count;
};

struct KitTrainingState {
    KitTokens done;
    KitTokens unseen;       // discovered but not yet looked at on the TRAINING page
    char last[KIT_TOKEN_BYTES];   // the id discovered last
    uint32_t counter;       // discoveries so far
    const TrainingCourse* courses;
    int32_t course_count;
};

// ---- Token lists: ids joined by "," -------------------------------------------
// Splits at ",", trims spaces, keeps tokens of 1..31 bytes once each, at most 96.
void kit_tokens_parse(const char* text, KitTokens* out);
// Joined by ","; stops before a token that would not fit. Always terminated.
void kit_tokens_join(const KitTokens* tokens, char* out, size_t out_size);
int32_t kit_token_find(const KitTokens* tokens, const char* id);   // index or -1
bool kit_tokens_add(KitTokens* tokens, const char* id);            // false: full, bad or present

// ---- Versions ------------------------------------------------------------------
// -1, 0, 1 over runs of digits between dots; a missing string counts as empty, leading
// zeros and anything after the digits of a part are ignored (1.10 > 1.9, 1.05 = 1.5,
// 2.0b = 2.0). Always ends, whatever the input.
int kit_version_compare(const char* a, const char* b);
// The newest note not newer than version (the first of equal ones), or -1.
int32_t kit_notes_find_version(const VersionNote* notes, int32_t count, const char* version);
// The note to open at start: with a stored seen version older than current and
// show_notes, the current version's note when it is newer than seen. Otherwise -1,
// with mark_seen set unless the seen version is stored and not older than current.
int32_t kit_notes_find_newer(const VersionNote* notes, int32_t count, const char* seen, const char* current,
                             bool show_notes, bool* mark_seen);

// ---- Training state --------------------------------------------------------------
void kit_training_init(KitTrainingState* s, const TrainingCourse* courses, int32_t count, const char* done_text,
                       const char* unseen_text);
void kit_training_reset(KitTrainingState* s);
const TrainingStep* kit_training_find_step(const KitTrainingState* s, const char* id);
int32_t kit_training_step_count(const KitTrainingState* s);
// False when id is no step, is done already or the done list is full.
bool kit_training_mark_done(KitTrainingState* s, const char* id);
bool kit_training_is_done(const KitTrainingState* s, const char* id);
bool kit_training_is_unseen(const KitTrainingState* s, const char* id);
void kit_training_forget(KitTrainingState* s, const char* id);   // off the unseen list
// Adds to the done list the steps another running copy stored as done (done_text)
// that are not done here; the unseen list is left alone.
void kit_training_merge_done(KitTrainingState* s, const char* done_text);
void kit_training_to_text(const KitTrainingState* s, char* done_out, size_t done_size, char* unseen_out,
                          size_t unseen_size);

// ---- This program's course and notes ---------------------------------------------
extern const TrainingCourse kTesselCourses[];
constexpr int32_t TESSEL_COURSE_COUNT = 1;
extern const VersionNote kTesselNotes[];
constexpr int32_t TESSEL_NOTE_COUNT = 2;
