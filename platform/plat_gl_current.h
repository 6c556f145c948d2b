// plat_gl_current.h - the calling thread's current OpenGL context, kept across calls
// into code that may make a context of its own current (plug-in editors drawing with
// OpenGL on the UI thread).
// Threads: any; each thread has its own current context.
// The renderer's library remembers which context it made current and does not make
// it current again, so the context has to be put back beneath it, at the GLX level.
// Depends on: GLX.
#pragma once

// What was current: display, draw and read drawables and context; all null or 0 when
// nothing was.
struct PlatGlCurrent {
    void* display;
    unsigned long draw;
    unsigned long read;
    void* context;
};

PlatGlCurrent plat_gl_current_save(void);
// Makes the saved context current again with its drawables when anything else is
// current now; with nothing saved, releases whatever was made current since. Null is
// ignored.
void plat_gl_current_restore(const PlatGlCurrent* saved);
