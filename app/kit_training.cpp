// kit_training.cpp - token lists, version comparison, note lookup and the training
// state of the popup, with this program's course and version notes.
#include "app/kit_training.h"

#include <cstdio>
#include <cstring>

// ---------------------------------------------------------------------------
// This program's course and notes
// ---------------------------------------------------------------------------

static const TrainingStep kFirstLoopSteps[] = {
    {"record", "MAKE A LOOP", "Press R and play something. A very small concert counts.", "R", nullptr},
    {"library", "OPEN THE LIBRARY", "Open the library. Your next questionable sample choice awaits.", "L", nullptr},
    {"inputs", "MEET YOUR INPUTS", "Open INPUTS and see what is listening. Ideally, your interface.", "A", nullptr},
    {"settings", "TURN A KNOB, METAPHORICALLY", "Open settings. The panel is large because it has confidence.",
     "Ctrl\t,", nullptr},
};

const TrainingCourse kTesselCourses[] = {
    {"first-loop", "FIRST LOOP", kFirstLoopSteps, 4},
};

static const char* const kNotes152[] = {
    "Loop between your start and end markers with the new button beneath the mini player's volume control. "
    "The bottom LOOP still selects chop looping.",
    "See the sky through the Files sidebar, file listing and player with matching glass backgrounds.",
};
static const char* const kNotes151[] = {
    "Training and version notes share the VividKit popup.",
    "The deliberately enormous app scale stays enormous.",
};

const VersionNote kTesselNotes[] = {
    {"1.5.2", "2026-10-08", "A little loop. A little more sky.", kNotes152, 2, nullptr},
    {"1.5.1", "2026-10-07", "Same big instrument. One shared instruction manual.", kNotes151, 2, nullptr},
};

// ---------------------------------------------------------------------------
// Token lists
// ---------------------------------------------------------------------------

int32_t kit_token_find(const KitTokens* tokens, const char* id)
{
    if (!tokens || !id)
        return -1;
    for (int32_t i = 0; i < tokens->count; i++)
        if (strcmp(tokens->ids[i], id) == 0)
            return i;
    return -1;
}

bool kit_tokens_add(KitTokens* tokens, const char* id)
{
    if (!tokens || !id || tokens->count >= KIT_TOKENS_MAX)
        return false;
    size_t n = strlen(id);
    if (n < 1 || n >= (size_t)KIT_TOKEN_BYTES || kit_token_find(tokens, id) >= 0)
        return false;
    memcpy(tokens->ids[tokens->count], id, n + 1);
    tokens->count++;
    return true;
}

void kit_tokens_parse(const char* text, KitTokens* out)
{
    if (!out)
        return;
    out->count = 0;
    if (!text)
        return;
    const char* p = text;
    while (*p) {
        const char* end = strchr(p, ',');
        if (!end)
            end = p + strlen(p);
        const char* a = p;
        const char* b = end;
        while (a < b && *a == ' ')
            a++;
        while (b > a && b[-1] == ' ')
            b--;
        size_t n = (size_t)(b - a);
        if (n >= 1 && n < (size_t)KIT_TOKEN_BYTES) {
            char id[KIT_TOKEN_BYTES];
            memcpy(id, a, n);
            id[n] = '\0';
            kit_tokens_add(out, id);
        }
        p = *end ? end + 1 : end;
    }
}

void kit_tokens_join(const KitTokens* tokens, char* out, size_t out_size)
{
    if (!out || out_size < 1)
        return;
    out[0] = '\0';
    if (!tokens)
        return;
    size_t len = 0;
    for (int32_t i = 0; i < tokens->count; i++) {
        size_t n = strlen(tokens->ids[i]) + (len ? 1 : 0);
        if (len + n + 1 > out_size)
            break;
        if (len)
            out[len++] = ',';
        memcpy(out + len, tokens->ids[i], strlen(tokens->ids[i]) + 1);
        len = strlen(out);
    }
}

// ---------------------------------------------------------------------------
// Versions
// ---------------------------------------------------------------------------

int kit_version_compare(const char* a, const char* b)
{
    if (!a)
        a = "";
    if (!b)
        b = "";
    for (;;) {
        if (!*a && !*b)
            return 0;
        while (*a == '.')
            a++;
        while (*b == '.')
            b++;
        while (*a == '0')
            a++;
        while (*b == '0')
            b++;
        const char* da = a;
        const char* db = b;
        while (*a >= '0' && *a <= '9')
            a++;
        while (*b >= '0' && *b <= '9')
            b++;
        ptrdiff_t la = a - da, lb = b - db;
        if (la != lb)
            return la > lb ? 1 : -1;
        int c = memcmp(da, db, (size_t)la);
        if (c)
            return c > 0 ? 1 : -1;
        // Whatever follows the digits up to the next dot is ignored; every pass
        // moves at least one side forward, so junk cannot hold the loop.
        while (*a && *a != '.')
            a++;
        while (*b && *b != '.')
            b++;
    }
}

int32_t kit_notes_find_version(const VersionNote* notes, int32_t count, const char* version)
{
    int32_t best = -1;
    for (int32_t i = 0; notes && i < count; i++) {
        if (kit_version_compare(notes[i].version, version) > 0)
            continue;
        if (best < 0 || kit_version_compare(notes[i].version, notes[best].version) > 0)
            best = i;
    }
    return best;
}

int32_t kit_notes_find_newer(const VersionNote* notes, int32_t count, const char* seen, const char* current,
                             bool show_notes, bool* mark_seen)
{
    bool mark = false;
    int32_t found = -1;
    if (seen && seen[0]) {
        if (kit_version_compare(seen, current) >= 0) {
            if (mark_seen)
                *mark_seen = false;
            return -1;
        }
        if (show_notes) {
            int32_t i = kit_notes_find_version(notes, count, current);
            if (i >= 0 && kit_version_compare(notes[i].version, seen) > 0)
                found = i;
        }
    }
    if (found < 0)
        mark = true;
    if (mark_seen)
        *mark_seen = mark;
    return found;
}

// ---------------------------------------------------------------------------
// Training state
// ---------------------------------------------------------------------------

void kit_training_init(KitTrainingState* s, const TrainingCourse* courses, int32_t count, const char* done_text,
                       const char* unseen_text)
{
    if (!s)
        return;
    *s = KitTrainingState{};
    s->courses = courses;
    s->course_count = courses ? count : 0;
    kit_tokens_parse(done_text, &s->done);
    kit_tokens_parse(unseen_text, &s->unseen);
}

void kit_training_reset(KitTrainingState* s)
{
    if (!s)
        return;
    s->done.count = 0;
    s->unseen.count = 0;
    s->last[0] = '\0';
}

const TrainingStep* kit_training_find_step(const KitTrainingState* s, const char* id)
{
    if (!s || !id)
        return nullptr;
    for (int32_t c = 0; c < s->course_count; c++)
        for (int32_t i = 0; i < s->courses[c].step_count; i++)
            if (strcmp(s->courses[c].steps[i].id, id) == 0)
                return &s->courses[c].steps[i];
    return nullptr;
}

int32_t kit_training_step_count(const KitTrainingState* s)
{
    int32_t n = 0;
    for (int32_t c = 0; s && c < s->course_count; c++)
        n += s->courses[c].step_count;
    return n;
}

bool kit_training_mark_done(KitTrainingState* s, const char* id)
{
    if (!kit_training_find_step(s, id) || kit_training_is_done(s, id) || s->done.count >= KIT_TOKENS_MAX)
        return false;
    if (!kit_tokens_add(&s->done, id))
        return false;
    kit_tokens_add(&s->unseen, id);
    snprintf(s->last, sizeof s->last, "%s", id);
    s->counter++;
    return true;
}

bool kit_training_is_done(const KitTrainingState* s, const char* id)
{
    return s && kit_token_find(&s->done, id) >= 0;
}

bool kit_training_is_unseen(const KitTrainingState* s, const char* id)
{
    return s && kit_token_find(&s->unseen, id) >= 0;
}

void kit_training_forget(KitTrainingState* s, const char* id)
{
    if (!s)
        return;
    int32_t i = kit_token_find(&s->unseen, id);
    if (i < 0)
        return;
    memmove(s->unseen.ids[i], s->unseen.ids[i + 1], (size_t)(s->unseen.count - i - 1) * KIT_TOKEN_BYTES);
    s->unseen.count--;
}

void kit_training_merge_done(KitTrainingState* s, const char* done_text)
{
    if (!s)
        return;
    static KitTokens stored;   // 3 KiB: off the stack
    kit_tokens_parse(done_text, &stored);
    for (int32_t i = 0; i < stored.count; i++)
        if (kit_training_find_step(s, stored.ids[i]))
            kit_tokens_add(&s->done, stored.ids[i]);
}

void kit_training_to_text(const KitTrainingState* s, char* done_out, size_t done_size, char* unseen_out,
                          size_t unseen_size)
{
    kit_tokens_join(s ? &s->done : nullptr, done_out, done_size);
    kit_tokens_join(s ? &s->unseen : nullptr, unseen_out, unseen_size);
}
