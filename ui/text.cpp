// text.cpp - line layout, rasterising and the line cache behind text.h.
#include "ui/text.h"

#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/plat_folders.h"
#include "platform/plat_font.h"
#include "ui/canvas.h"

namespace {

enum { FACE_MONO = 0, FACE_SANS = 1, FACE_MICRO = 2, FACE_FINLANDICA = 3, FIXED_FACES = 4 };
constexpr int32_t MAX_FALLBACKS = 8;
constexpr int32_t MAX_FACES = FIXED_FACES + MAX_FALLBACKS;
constexpr int32_t GLYPH_SLOTS = 2048;
constexpr int32_t GLYPH_SLOTS_MAX_USED = 1536;
constexpr int32_t BUCKETS = 512;
constexpr int32_t MAX_BITMAP_W = 16384;
constexpr int32_t MAX_BITMAP_H = 4096;
constexpr int32_t INVISIBLE = -1;
constexpr int32_t NO_FACE = -2;
const char* const ELLIPSIS = "\xE2\x80\xA6";

struct GlyphSlot {
    int32_t cp;
    uint16_t tested, has;
    uint8_t used, fallback_tried;
};

struct Line {
    uint8_t used;
    uint32_t hash;
    int32_t len;
    char* text;
    int32_t chain, px, weight;
    int32_t next;
    int32_t width, ascent, descent;
    int32_t bw, bh, mx, my;
    uint8_t rasterised, has_ink;
    int32_t ink[4];
    SDL_Texture* texture;
    uint32_t last_use;
};

struct CpRec {
    uint32_t cp;
    int32_t start, end;   // bytes
    int32_t face;
    int32_t x0, x1;
};

}  // namespace

struct TextRenderer {
    SDL_Renderer* renderer;
    PlatFontLib* lib;
    float scale;
    PlatFace* faces[MAX_FACES];
    int32_t face_count;   // fixed faces plus fallbacks added so far
    char fallback_paths[MAX_FALLBACKS][512];
    uint8_t display_font[2];
    GlyphSlot glyphs[GLYPH_SLOTS];
    int32_t glyphs_used;
    Line lines[TEXT_MAX_LINES];
    int32_t buckets[BUCKETS];
    int32_t line_count;
    uint32_t tick;
    CpRec* recs;
    int32_t recs_cap;
    uint8_t* cover;
    size_t cover_cap;
    uint32_t* upload;
    size_t upload_cap;
};

namespace {

// ---- Faces and chains ---------------------------------------------------------------

// The fixed faces of a chain, in order; fallback faces follow every chain.
int32_t chain_faces(int32_t chain, int32_t out[3])
{
    switch (chain) {
    case 1: out[0] = FACE_MONO; out[1] = FACE_SANS; return 2;
    case 2: out[0] = FACE_MICRO; out[1] = FACE_MONO; out[2] = FACE_SANS; return 3;
    case 3: out[0] = FACE_FINLANDICA; out[1] = FACE_MONO; out[2] = FACE_SANS; return 3;
    default: out[0] = FACE_SANS; return 1;
    }
}

int32_t first_face(const TextRenderer* tr, int32_t chain)
{
    int32_t f[3];
    int32_t n = chain_faces(chain, f);
    for (int32_t i = 0; i < n; i++)
        if (tr->faces[f[i]])
            return f[i];
    for (int32_t i = FIXED_FACES; i < tr->face_count; i++)
        if (tr->faces[i])
            return i;
    return NO_FACE;
}

GlyphSlot* glyph_slot(TextRenderer* tr, uint32_t cp)
{
    for (int32_t probe = 0; probe < GLYPH_SLOTS; probe++) {
        GlyphSlot* s = &tr->glyphs[(cp * 433u + (uint32_t)probe) % GLYPH_SLOTS];
        if (s->used && (uint32_t)s->cp == cp)
            return s;
        if (!s->used) {
            if (tr->glyphs_used >= GLYPH_SLOTS_MAX_USED)
                return nullptr;   // full enough: test every time
            s->used = 1;
            s->cp = (int32_t)cp;
            tr->glyphs_used++;
            return s;
        }
    }
    return nullptr;
}

bool face_has(TextRenderer* tr, GlyphSlot* s, int32_t face, uint32_t cp)
{
    if (!tr->faces[face])
        return false;
    uint16_t bit = (uint16_t)(1u << face);
    if (s && (s->tested & bit))
        return (s->has & bit) != 0;
    bool has = plat_face_has_glyph(tr->faces[face], cp);
    if (s) {
        s->tested |= bit;
        if (has)
            s->has |= bit;
    }
    return has;
}

// Asks fontconfig once per code point for a face that has it, and adds that face.
int32_t add_fallback(TextRenderer* tr, GlyphSlot* s, uint32_t cp)
{
    if (s) {
        if (s->fallback_tried)
            return NO_FACE;
        s->fallback_tried = 1;
    }
    char path[512];
    if (!plat_font_find_fallback(tr->lib, cp, path, sizeof path))
        return NO_FACE;
    for (int32_t i = FIXED_FACES; i < tr->face_count; i++)
        if (strcmp(tr->fallback_paths[i - FIXED_FACES], path) == 0)
            return NO_FACE;   // already in every chain and it lacks the glyph
    if (tr->face_count >= MAX_FACES)
        return NO_FACE;
    PlatFace* f = plat_face_open_file(tr->lib, path, nullptr, 0);
    if (!f)
        return NO_FACE;
    if (!plat_face_has_glyph(f, cp)) {
        plat_face_close(f);
        return NO_FACE;
    }
    int32_t idx = tr->face_count++;
    tr->faces[idx] = f;
    snprintf(tr->fallback_paths[idx - FIXED_FACES], sizeof tr->fallback_paths[0], "%s", path);
    return idx;
}

bool invisible(uint32_t cp)
{
    return cp < 32 || (cp >= 127 && cp <= 159) || (cp >= 0x200B && cp <= 0x200F) || (cp >= 0xFE00 && cp <= 0xFE0F) ||
           cp == 0xFEFF;
}

int32_t face_for(TextRenderer* tr, int32_t chain, uint32_t cp)
{
    if (invisible(cp))
        return INVISIBLE;
    if (cp == ' ')
        return first_face(tr, chain);
    if (cp > 0xFFFF || (cp >= 0xD800 && cp <= 0xDFFF))   // only the BMP, as the chains promise
        return NO_FACE;
    GlyphSlot* s = glyph_slot(tr, cp);
    int32_t f[3];
    int32_t n = chain_faces(chain, f);
    for (int32_t i = 0; i < n; i++)
        if (face_has(tr, s, f[i], cp))
            return f[i];
    for (int32_t i = FIXED_FACES; i < tr->face_count; i++)
        if (face_has(tr, s, i, cp))
            return i;
    return add_fallback(tr, s, cp);
}

// ---- UTF-8 --------------------------------------------------------------------------

// The code point at text[*i] (len bytes in all); advances *i. Invalid bytes read as
// U+FFFD one byte at a time.
uint32_t utf8_next(const char* text, int32_t len, int32_t* i)
{
    const uint8_t* s = (const uint8_t*)text;
    uint8_t b = s[*i];
    int32_t more;
    uint32_t cp;
    if (b < 0x80) {
        (*i)++;
        return b;
    } else if ((b & 0xE0) == 0xC0) {
        more = 1;
        cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        more = 2;
        cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        more = 3;
        cp = b & 0x07;
    } else {
        (*i)++;
        return 0xFFFD;
    }
    if (*i + more >= len) {
        (*i)++;
        return 0xFFFD;
    }
    for (int32_t k = 1; k <= more; k++) {
        uint8_t c = s[*i + k];
        if ((c & 0xC0) != 0x80) {
            (*i)++;
            return 0xFFFD;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    *i += more + 1;
    return cp;
}

// ---- Layout -------------------------------------------------------------------------

bool grow(void** p, size_t* cap, size_t need, size_t elem)
{
    if (need <= *cap)
        return true;
    size_t n = *cap ? *cap : 64;
    while (n < need)
        n *= 2;
    void* q = realloc(*p, n * elem);
    if (!q)
        return false;
    *p = q;
    *cap = n;
    return true;
}

// Lays the line out into tr->recs; returns the record count or -1.
int32_t layout(TextRenderer* tr, int32_t chain, int32_t px, int32_t weight, const char* text, int32_t len,
               int32_t* width, int32_t* ascent, int32_t* descent)
{
    int32_t ff = first_face(tr, chain);
    *ascent = px;
    *descent = px / 4;
    if (ff >= 0 && !plat_face_metrics(tr->faces[ff], px, ascent, descent)) {
        *ascent = px;
        *descent = px / 4;
    }
    size_t cap = (size_t)tr->recs_cap;
    if (!grow((void**)&tr->recs, &cap, (size_t)len + 1, sizeof(CpRec)))
        return -1;
    tr->recs_cap = (int32_t)cap;
    int32_t n = 0, pen = 0;
    int32_t diamond_face = -3;   // not yet looked up
    for (int32_t i = 0; i < len;) {
        CpRec* r = &tr->recs[n++];
        r->start = i;
        r->cp = utf8_next(text, len, &i);
        r->end = i;
        r->face = face_for(tr, chain, r->cp);
        if (r->face == NO_FACE) {
            if (diamond_face == -3)
                diamond_face = face_for(tr, 0, 0x25C7);
            if (diamond_face >= 0) {
                r->cp = 0x25C7;
                r->face = diamond_face;
            }
        }
        r->x0 = pen;
        if (r->face == INVISIBLE) {
            r->x1 = pen;
            continue;
        }
        int32_t adv = r->face >= 0 ? plat_face_advance(tr->faces[r->face], px, weight, r->cp) : -1;
        if (r->face == NO_FACE)
            adv = (3 * px + 2) / 5;
        else if (adv < 0)
            adv = px / 2;
        pen += adv;
        r->x1 = pen;
    }
    *width = pen;
    return n;
}

// ---- Rasterising ----------------------------------------------------------------------

void draw_diamond(uint8_t* cov, int32_t bw, int32_t bh, float cx, float cy, float hw, float hh, float stroke)
{
    if (hw < 1 || hh < 1)
        return;
    float k = hh * hw / sqrtf(hh * hh + hw * hw);
    for (int32_t y = 0; y < bh; y++)
        for (int32_t x = 0; x < bw; x++) {
            float u = fabsf((x + 0.5f - cx) / hw), v = fabsf((y + 0.5f - cy) / hh);
            float a = (stroke / 2 + 0.5f) - fabsf(u + v - 1) * k;
            if (a > 0) {
                uint8_t val = (uint8_t)(fminf(a, 1) * 255 + 0.5f);
                if (val > cov[(size_t)y * bw + x])
                    cov[(size_t)y * bw + x] = val;
            }
        }
}

void rasterise(TextRenderer* tr, Line* ln)
{
    ln->rasterised = 1;
    int32_t asc, desc, w;
    int32_t n = layout(tr, ln->chain, ln->px, ln->weight, ln->text, ln->len, &w, &asc, &desc);
    if (n < 0)
        return;
    ln->mx = ln->px / 6 + 2;
    ln->my = ln->px / 4 + 2;
    ln->bw = ln->width + 2 * ln->mx;
    ln->bh = ln->ascent + ln->descent + 2 * ln->my;
    if (ln->bw < 1 || ln->bh < 1 || ln->bw > MAX_BITMAP_W || ln->bh > MAX_BITMAP_H)
        return;
    size_t area = (size_t)ln->bw * ln->bh;
    if (!grow((void**)&tr->cover, &tr->cover_cap, area, 1) ||
        !grow((void**)&tr->upload, &tr->upload_cap, area, sizeof(uint32_t)))
        return;
    uint8_t* cov = tr->cover;
    memset(cov, 0, area);
    int32_t base = ln->my + ln->ascent;
    for (int32_t i = 0; i < n; i++) {
        const CpRec* r = &tr->recs[i];
        if (r->face == NO_FACE) {
            float stroke = ln->px < 24 ? 1.2f : ln->px / 12.0f;
            draw_diamond(cov, ln->bw, ln->bh, (r->x0 + r->x1) / 2.0f + ln->mx, ln->ascent * 0.62f + ln->my,
                         (r->x1 - r->x0) * 0.36f, ln->px * 0.34f, stroke);
            continue;
        }
        PlatGlyph g;
        if (r->face < 0 || r->cp == ' ' || !plat_face_render(tr->faces[r->face], ln->px, ln->weight, r->cp, &g) ||
            !g.bitmap)
            continue;
        int32_t ox = ln->mx + r->x0 + g.left, oy = base - g.top;
        for (int32_t y = 0; y < g.height; y++) {
            int32_t dy = oy + y;
            if (dy < 0 || dy >= ln->bh)
                continue;
            for (int32_t x = 0; x < g.width; x++) {
                int32_t dx = ox + x;
                if (dx < 0 || dx >= ln->bw)
                    continue;
                uint8_t v = g.bitmap[(size_t)y * g.pitch + x];
                uint8_t* d = &cov[(size_t)dy * ln->bw + dx];
                if (v > *d)
                    *d = v;
            }
        }
    }
    int32_t ix0 = ln->bw, iy0 = ln->bh, ix1 = 0, iy1 = 0;
    for (int32_t y = 0; y < ln->bh; y++)
        for (int32_t x = 0; x < ln->bw; x++) {
            uint8_t a = cov[(size_t)y * ln->bw + x];
            tr->upload[(size_t)y * ln->bw + x] = ((uint32_t)a << 24) | 0xFFFFFFu;
            if (a > 24) {
                if (x < ix0) ix0 = x;
                if (y < iy0) iy0 = y;
                if (x + 1 > ix1) ix1 = x + 1;
                if (y + 1 > iy1) iy1 = y + 1;
            }
        }
    ln->has_ink = ix1 > ix0;
    if (ln->has_ink) {
        ln->ink[0] = ix0 - ln->mx;
        ln->ink[1] = iy0 - ln->my;
        ln->ink[2] = ix1 - ln->mx;
        ln->ink[3] = iy1 - ln->my;
    }
    SDL_Texture* t = SDL_CreateTexture(tr->renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, ln->bw, ln->bh);
    if (!t)
        return;
    SDL_UpdateTexture(t, nullptr, tr->upload, ln->bw * 4);
    SDL_SetTextureBlendMode(t, SDL_BLENDMODE_BLEND);
    SDL_SetTextureScaleMode(t, SDL_ScaleModeNearest);
    ln->texture = t;
}

// ---- Line cache ----------------------------------------------------------------------

void line_evict(TextRenderer* tr, int32_t idx)
{
    Line* ln = &tr->lines[idx];
    if (!ln->used)
        return;
    int32_t* link = &tr->buckets[ln->hash % BUCKETS];
    while (*link >= 0 && *link != idx)
        link = &tr->lines[*link].next;
    if (*link == idx)
        *link = ln->next;
    if (ln->texture)
        SDL_DestroyTexture(ln->texture);
    free(ln->text);
    memset(ln, 0, sizeof *ln);
    ln->next = -1;
    tr->line_count--;
}

void drop_all(TextRenderer* tr)
{
    for (int32_t i = 0; i < TEXT_MAX_LINES; i++)
        line_evict(tr, i);
}

uint32_t line_hash(int32_t chain, int32_t px, int32_t weight, const char* text, int32_t len)
{
    uint32_t h = ((uint32_t)weight * 0xC2B2AE3Du) ^ ((uint32_t)chain * 0x9E3779B1u) ^ ((uint32_t)px * 0x85EBCA77u) ^
                 0x811C9DC5u;
    for (int32_t i = 0; i < len; i++)
        h = (h ^ (uint8_t)text[i]) * 16777619u;
    return h;
}

// Compares the canvas scale with the one the cache was built for.
float use_scale(TextRenderer* tr, const Canvas* c)
{
    float s = c ? canvas_get_scale(c) : 1.0f;
    if (s > 0 && fabsf(s - tr->scale) > 0.0001f) {
        drop_all(tr);
        tr->scale = s;
    }
    return tr->scale;
}

int32_t to_px(float size, float scale)
{
    float v = size * scale + 0.5f;
    if (!(v >= 1))   // also NaN
        return 1;
    if (v >= TEXT_MAX_PX)
        return TEXT_MAX_PX;
    return (int32_t)v;
}

int32_t to_weight(int32_t w)
{
    return w < 100 ? 400 : w > 900 ? 900 : w;
}

int32_t to_chain(int32_t font)
{
    return font >= 0 && font <= 3 ? font : 0;
}

Line* line_get(TextRenderer* tr, int32_t chain, int32_t px, int32_t weight, const char* text, bool draw)
{
    size_t slen = strlen(text);
    if (slen > (size_t)INT32_MAX / 2)
        return nullptr;
    int32_t len = (int32_t)slen;
    uint32_t h = line_hash(chain, px, weight, text, len);
    for (int32_t i = tr->buckets[h % BUCKETS]; i >= 0; i = tr->lines[i].next) {
        Line* ln = &tr->lines[i];
        if (ln->hash == h && ln->len == len && ln->chain == chain && ln->px == px && ln->weight == weight &&
            memcmp(ln->text, text, (size_t)len) == 0) {
            ln->last_use = tr->tick;
            if (draw && !ln->rasterised && ln->len > 0 && ln->width > 0)
                rasterise(tr, ln);
            return ln;
        }
    }
    char* copy = (char*)malloc((size_t)len + 1);
    if (!copy)
        return nullptr;
    memcpy(copy, text, (size_t)len + 1);
    int32_t w, a, d;
    if (layout(tr, chain, px, weight, copy, len, &w, &a, &d) < 0) {
        free(copy);
        return nullptr;
    }
    int32_t slot = -1;
    for (int32_t i = 0; i < TEXT_MAX_LINES && slot < 0; i++)
        if (!tr->lines[i].used)
            slot = i;
    if (slot < 0) {
        slot = 0;
        for (int32_t i = 1; i < TEXT_MAX_LINES; i++)
            if (tr->lines[i].last_use < tr->lines[slot].last_use)
                slot = i;
        line_evict(tr, slot);
    }
    Line* ln = &tr->lines[slot];
    ln->used = 1;
    ln->hash = h;
    ln->len = len;
    ln->text = copy;
    ln->chain = chain;
    ln->px = px;
    ln->weight = weight;
    ln->width = w;
    ln->ascent = a;
    ln->descent = d;
    ln->last_use = tr->tick;
    ln->next = tr->buckets[h % BUCKETS];
    tr->buckets[h % BUCKETS] = slot;
    tr->line_count++;
    if (draw && len > 0 && w > 0)
        rasterise(tr, ln);
    return ln;
}

void draw_line(TextRenderer* tr, Canvas* c, Line* ln, float x, float y, const float* colour)
{
    if (ln->texture)
        canvas_draw_texture(c, ln->texture, x, y, -ln->mx, -ln->my, ln->bw, ln->bh, colour);
}

}  // namespace

// ---- Interface ---------------------------------------------------------------------------

TextRenderer* text_renderer_create_in(SDL_Renderer* renderer, const char* folder)
{
    if (!renderer)
        return nullptr;
    TextRenderer* tr = (TextRenderer*)calloc(1, sizeof(TextRenderer));
    if (!tr)
        return nullptr;
    tr->lib = plat_font_lib_create(nullptr, 0);
    if (!tr->lib) {
        free(tr);
        return nullptr;
    }
    tr->renderer = renderer;
    tr->scale = 1;
    for (int32_t i = 0; i < BUCKETS; i++)
        tr->buckets[i] = -1;
    for (int32_t i = 0; i < TEXT_MAX_LINES; i++)
        tr->lines[i].next = -1;
    tr->faces[FACE_MONO] = plat_face_open_family(tr->lib, "monospace", nullptr, 0);
    tr->faces[FACE_SANS] = plat_face_open_family(tr->lib, "sans-serif", nullptr, 0);
    static const char* const files[2] = {"Micro5-Regular.ttf", "Finlandica.ttf"};
    for (int32_t k = 0; k < 2 && folder && folder[0]; k++) {
        char path[1024];
        snprintf(path, sizeof path, "%s/fonts/%s", folder, files[k]);
        PlatFace* f = plat_face_open_file(tr->lib, path, nullptr, 0);
        if (!f) {
            snprintf(path, sizeof path, "%s/%s", folder, files[k]);
            f = plat_face_open_file(tr->lib, path, nullptr, 0);
        }
        tr->faces[FACE_MICRO + k] = f;
        tr->display_font[k] = f != nullptr;
    }
    tr->face_count = FIXED_FACES;
    return tr;
}

TextRenderer* text_renderer_create(SDL_Renderer* renderer)
{
    char folder[1024];
    if (plat_program_folder(folder, sizeof folder) != PLAT_PATH_OK)
        folder[0] = 0;
    return text_renderer_create_in(renderer, folder);
}

void text_renderer_destroy(TextRenderer* tr)
{
    if (!tr)
        return;
    drop_all(tr);
    for (int32_t i = 0; i < MAX_FACES; i++)
        plat_face_close(tr->faces[i]);
    plat_font_lib_destroy(tr->lib);
    free(tr->recs);
    free(tr->cover);
    free(tr->upload);
    free(tr);
}

void text_renderer_clear(TextRenderer* tr)
{
    if (tr)
        drop_all(tr);
}

void text_renderer_trim(TextRenderer* tr)
{
    if (!tr)
        return;
    tr->tick++;
    for (int32_t i = 0; i < TEXT_MAX_LINES; i++)
        if (tr->lines[i].used && tr->tick - tr->lines[i].last_use > (uint32_t)TEXT_TRIM_AGE)
            line_evict(tr, i);
}

int32_t text_renderer_line_count(const TextRenderer* tr)
{
    return tr ? tr->line_count : 0;
}

bool text_renderer_has_display_font(const TextRenderer* tr, int32_t font)
{
    return tr && (font == 2 || font == 3) && tr->display_font[font - 2];
}

float text_draw(TextRenderer* tr, Canvas* c, int32_t font, const char* text, float x, float y, float size,
                int32_t weight, const float* colour, int32_t align)
{
    if (!tr || !c || !text || !text[0])
        return 0;
    float scale = use_scale(tr, c);
    Line* ln = line_get(tr, to_chain(font), to_px(size, scale), to_weight(weight), text, true);
    if (!ln)
        return 0;
    float w = ln->width / scale;
    if (align == 1)
        x -= w / 2;
    else if (align == 2)
        x -= w;
    draw_line(tr, c, ln, x, y, colour);
    return w;
}

void text_measure(TextRenderer* tr, Canvas* c, int32_t font, const char* text, float size, int32_t weight,
                  float* out_w, float* out_h)
{
    if (out_w)
        *out_w = 0;
    if (out_h)
        *out_h = 0;
    if (!tr || !text)
        return;
    float scale = use_scale(tr, c);
    Line* ln = line_get(tr, to_chain(font), to_px(size, scale), to_weight(weight), text, false);
    if (!ln)
        return;
    if (out_w)
        *out_w = ln->width / scale;
    if (out_h)
        *out_h = (ln->ascent + ln->descent) / scale;
}

float text_draw_fit(TextRenderer* tr, Canvas* c, int32_t font, const char* text, float x, float y, float max_w,
                    float size, int32_t weight, const float* colour)
{
    if (!tr || !c || !text || !text[0])
        return 0;
    float scale = use_scale(tr, c);
    int32_t chain = to_chain(font), px = to_px(size, scale), wt = to_weight(weight);
    Line* ln = line_get(tr, chain, px, wt, text, false);
    if (!ln)
        return 0;
    if (ln->width <= max_w * scale + 0.5f)
        return text_draw(tr, c, font, text, x, y, size, weight, colour, 0);
    Line* el = line_get(tr, chain, px, wt, ELLIPSIS, false);
    int32_t e = el ? el->width : 0;
    int32_t len = (int32_t)strlen(text), w, a, d;
    int32_t n = layout(tr, chain, px, wt, text, len, &w, &a, &d);
    if (n < 0)
        return 0;
    float limit_f = max_w * scale;
    int32_t limit = (limit_f > -1e9f && limit_f < 1e9f ? (int32_t)limit_f : 0) - e;
    int32_t keep = 0;
    for (int32_t i = 0; i < n; i++)
        if (tr->recs[i].x1 <= limit)
            keep = tr->recs[i].end;
        else
            break;
    while (keep > 0 && text[keep - 1] == ' ')
        keep--;
    char small[512];
    char* buf = (size_t)keep + 4 <= sizeof small ? small : (char*)malloc((size_t)keep + 4);
    if (!buf)
        return 0;
    memcpy(buf, text, (size_t)keep);
    memcpy(buf + keep, ELLIPSIS, 4);
    float drawn = text_draw(tr, c, font, buf, x, y, size, weight, colour, 0);
    if (buf != small)
        free(buf);
    return drawn;
}

bool text_ink_bounds(TextRenderer* tr, Canvas* c, int32_t font, const char* text, float size, int32_t weight,
                     float* x0, float* y0, float* x1, float* y1)
{
    if (!tr || !text || !text[0])
        return false;
    float scale = use_scale(tr, c);
    Line* ln = line_get(tr, to_chain(font), to_px(size, scale), to_weight(weight), text, true);
    if (!ln || !ln->has_ink)
        return false;
    if (x0) *x0 = ln->ink[0] / scale;
    if (y0) *y0 = ln->ink[1] / scale;
    if (x1) *x1 = ln->ink[2] / scale;
    if (y1) *y1 = ln->ink[3] / scale;
    return true;
}

bool text_font_covers(TextRenderer* tr, const char* text)
{
    if (!tr || !text)
        return false;
    int32_t len = (int32_t)strlen(text);
    bool any = false;
    for (int32_t i = 0; i < len;) {
        uint32_t cp = utf8_next(text, len, &i);
        if (cp == 0xFE0E || cp == 0xFE0F)
            continue;
        any = true;
        if (face_for(tr, 0, cp) < 0)
            return false;
    }
    return any;
}
