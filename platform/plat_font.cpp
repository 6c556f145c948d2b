// plat_font.cpp - FreeType faces and fontconfig lookups behind plat_font.h.
#include "platform/plat_font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <cstdio>
#include <cstdlib>
#include <cstring>

struct PlatFontLib {
    FT_Library ft;
    FcConfig* fc;
};

struct PlatFace {
    PlatFontLib* lib;
    FT_Face face;
    int32_t px;   // the size now set, 0 for none
};

static void set_err(char* err, size_t cap, const char* msg)
{
    if (err && cap)
        snprintf(err, cap, "%s", msg);
}

PlatFontLib* plat_font_lib_create(char* err, size_t err_cap)
{
    PlatFontLib* lib = (PlatFontLib*)calloc(1, sizeof(PlatFontLib));
    if (!lib) {
        set_err(err, err_cap, "out of memory");
        return nullptr;
    }
    if (FT_Init_FreeType(&lib->ft) != 0) {
        free(lib);
        set_err(err, err_cap, "freetype failed to start");
        return nullptr;
    }
    lib->fc = FcInitLoadConfigAndFonts();   // null leaves family and fallback lookups off
    return lib;
}

void plat_font_lib_destroy(PlatFontLib* lib)
{
    if (!lib)
        return;
    if (lib->fc)
        FcConfigDestroy(lib->fc);
    FT_Done_FreeType(lib->ft);
    free(lib);
}

PlatFace* plat_face_open_file(PlatFontLib* lib, const char* path, char* err, size_t err_cap)
{
    if (!lib || !path || !path[0]) {
        set_err(err, err_cap, "no font file");
        return nullptr;
    }
    PlatFace* f = (PlatFace*)calloc(1, sizeof(PlatFace));
    if (!f) {
        set_err(err, err_cap, "out of memory");
        return nullptr;
    }
    if (FT_New_Face(lib->ft, path, 0, &f->face) != 0) {
        free(f);
        set_err(err, err_cap, "font file not readable");
        return nullptr;
    }
    FT_Select_Charmap(f->face, FT_ENCODING_UNICODE);
    f->lib = lib;
    return f;
}

// Runs a fontconfig match of pattern and gives the file of the best face.
static bool match_file(PlatFontLib* lib, FcPattern* pat, char* path, size_t cap)
{
    FcConfigSubstitute(lib->fc, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult res = FcResultNoMatch;
    FcPattern* m = FcFontMatch(lib->fc, pat, &res);
    bool ok = false;
    FcChar8* file = nullptr;
    if (m && FcPatternGetString(m, FC_FILE, 0, &file) == FcResultMatch && file &&
        strlen((const char*)file) < cap) {
        snprintf(path, cap, "%s", (const char*)file);
        ok = true;
    }
    if (m)
        FcPatternDestroy(m);
    return ok;
}

PlatFace* plat_face_open_family(PlatFontLib* lib, const char* family, char* err, size_t err_cap)
{
    if (!lib || !lib->fc || !family) {
        set_err(err, err_cap, "no font lookup");
        return nullptr;
    }
    FcPattern* pat = FcNameParse((const FcChar8*)family);
    if (!pat) {
        set_err(err, err_cap, "out of memory");
        return nullptr;
    }
    char path[1024];
    bool ok = match_file(lib, pat, path, sizeof path);
    FcPatternDestroy(pat);
    if (!ok) {
        set_err(err, err_cap, "no face for that family");
        return nullptr;
    }
    return plat_face_open_file(lib, path, err, err_cap);
}

bool plat_font_find_fallback(PlatFontLib* lib, uint32_t cp, char* path, size_t path_cap)
{
    if (!lib || !lib->fc || !path || !path_cap)
        return false;
    FcPattern* pat = FcPatternCreate();
    FcCharSet* cs = FcCharSetCreate();
    bool ok = false;
    if (pat && cs && FcCharSetAddChar(cs, cp) && FcPatternAddCharSet(pat, FC_CHARSET, cs) &&
        FcPatternAddBool(pat, FC_SCALABLE, FcTrue)) {
        ok = match_file(lib, pat, path, path_cap);
    }
    if (cs)
        FcCharSetDestroy(cs);
    if (pat)
        FcPatternDestroy(pat);
    return ok;   // the caller still checks the face for the glyph: the best match may lack it
}

void plat_face_close(PlatFace* f)
{
    if (!f)
        return;
    FT_Done_Face(f->face);
    free(f);
}

static bool set_px(PlatFace* f, int32_t px)
{
    if (px < 1)
        return false;
    if (f->px == px)
        return true;
    if (FT_Set_Pixel_Sizes(f->face, 0, (FT_UInt)px) != 0) {
        f->px = 0;
        return false;
    }
    f->px = px;
    return true;
}

bool plat_face_has_glyph(PlatFace* f, uint32_t cp)
{
    return f && FT_Get_Char_Index(f->face, cp) != 0;
}

bool plat_face_metrics(PlatFace* f, int32_t px, int32_t* ascent, int32_t* descent)
{
    if (!f || !set_px(f, px))
        return false;
    long a = (f->face->size->metrics.ascender + 63) >> 6;
    long d = (-f->face->size->metrics.descender + 63) >> 6;
    *ascent = a > 0 ? (int32_t)a : 0;
    *descent = d > 0 ? (int32_t)d : 0;
    return true;
}

// Loads cp at px into the face's slot, emboldened for heavy weights.
static bool load(PlatFace* f, int32_t px, int32_t weight, uint32_t cp, bool render)
{
    if (!f || !set_px(f, px))
        return false;
    FT_UInt gi = FT_Get_Char_Index(f->face, cp);
    if (FT_Load_Glyph(f->face, gi, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) != 0)
        return false;
    FT_GlyphSlot g = f->face->glyph;
    if (weight >= 600 && g->format == FT_GLYPH_FORMAT_OUTLINE) {
        FT_Pos strength = (FT_Pos)px * 64 * (weight - 400) / 500 / 12;
        FT_Outline_Embolden(&g->outline, strength);
        g->advance.x += strength;
    }
    if (render && FT_Render_Glyph(g, FT_RENDER_MODE_NORMAL) != 0)
        return false;
    return true;
}

int32_t plat_face_advance(PlatFace* f, int32_t px, int32_t weight, uint32_t cp)
{
    if (!load(f, px, weight, cp, false))
        return -1;
    return (int32_t)((f->face->glyph->advance.x + 32) >> 6);
}

bool plat_face_render(PlatFace* f, int32_t px, int32_t weight, uint32_t cp, PlatGlyph* out)
{
    if (!out || !load(f, px, weight, cp, true))
        return false;
    FT_GlyphSlot g = f->face->glyph;
    out->width = (int32_t)g->bitmap.width;
    out->height = (int32_t)g->bitmap.rows;
    out->pitch = g->bitmap.pitch;
    out->bitmap = (out->width > 0 && out->height > 0 && out->pitch > 0) ? g->bitmap.buffer : nullptr;
    out->left = g->bitmap_left;
    out->top = g->bitmap_top;
    out->advance = (int32_t)((g->advance.x + 32) >> 6);
    return true;
}
