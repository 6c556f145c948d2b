// plat_font.h - font faces for the text renderer: open a face from a file or by family
// name, set a pixel size, ask for metrics, glyph presence and advances, rasterise one
// glyph to an 8-bit coverage bitmap, and find a fallback face file for a code point.
// Threads: one thread per library instance (each PlatFontLib and its faces belong to
// the thread that made them).
// Depends on: FreeType (rasterising), fontconfig (family and fallback lookups).
#pragma once
#include <cstddef>
#include <cstdint>

struct PlatFontLib;
struct PlatFace;

// A rasterised glyph. The bitmap belongs to the face and stays valid until the next
// call on that face. left / top place the bitmap relative to the pen on the baseline
// (top is upwards); advance is the whole-pixel pen advance.
struct PlatGlyph {
    const uint8_t* bitmap;   // coverage 0..255, rows of pitch bytes; null when empty
    int32_t width, height, pitch;
    int32_t left, top;
    int32_t advance;
};

PlatFontLib* plat_font_lib_create(char* err, size_t err_cap);
void plat_font_lib_destroy(PlatFontLib* lib);     // null is fine; faces must be closed first

// The face at path (first face of the file), or null with a message.
PlatFace* plat_face_open_file(PlatFontLib* lib, const char* path, char* err, size_t err_cap);
// The face fontconfig picks for a family or generic name ("sans-serif", "monospace"),
// or null when nothing matches.
PlatFace* plat_face_open_family(PlatFontLib* lib, const char* family, char* err, size_t err_cap);
void plat_face_close(PlatFace* f);                // null is fine

// The file of an installed face that has a glyph for cp, or false.
bool plat_font_find_fallback(PlatFontLib* lib, uint32_t cp, char* path, size_t path_cap);

bool plat_face_has_glyph(PlatFace* f, uint32_t cp);
// Ascent and descent at px pixels (whole pixels, both >= 0); false when the size
// cannot be set.
bool plat_face_metrics(PlatFace* f, int32_t px, int32_t* ascent, int32_t* descent);
// The pen advance of cp at px (0 for a missing glyph); -1 when the size or glyph fails.
int32_t plat_face_advance(PlatFace* f, int32_t px, int32_t weight, uint32_t cp);
// Rasterises cp at px; weights of 600 and more are emboldened. False on failure.
bool plat_face_render(PlatFace* f, int32_t px, int32_t weight, uint32_t cp, PlatGlyph* out);
