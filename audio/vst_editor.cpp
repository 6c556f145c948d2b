// vst_editor.cpp - plug-in editors in top-level windows of their own.
// Threads: UI thread, except vst_editor_size_request, which plug-ins may call from
// any thread: away from the UI thread it only leaves the size for the next idle call.
// The window manager's close button reaches us as a close request on our own X
// connection; vst_editor_idle collects those each frame and closes the editor whose
// window it was.
#include <cstring>

#include "audio/vst_plugin.h"
#include "platform/plat_gl_current.h"

// Editors that draw with OpenGL make their own context current on this thread and
// may leave it so (or leave none): the program's renderer would then draw into the
// plug-in's window, or nowhere. Every call into an editor keeps the thread's context
// and drawables as they were.
struct GlKept {
    PlatGlCurrent saved = plat_gl_current_save();
    ~GlKept() { plat_gl_current_restore(&saved); }
};

// ---------------------------------------------------------------------------
// Which window belongs to which plug-in (UI thread only)
// ---------------------------------------------------------------------------

enum { kEditorSlots = 32 };

struct EditorWindow {
    PlatWindowId window;
    VstPlugin* plugin;
};

static EditorWindow g_editors[kEditorSlots];

static bool table_add(PlatWindowId w, VstPlugin* p)
{
    for (EditorWindow& e : g_editors) {
        if (!e.window) {
            e.window = w;
            e.plugin = p;
            return true;
        }
    }
    return false;
}

static void table_remove(PlatWindowId w)
{
    for (EditorWindow& e : g_editors)
        if (e.window == w)
            e = EditorWindow{0, nullptr};
}

static VstPlugin* table_find(PlatWindowId w)
{
    for (const EditorWindow& e : g_editors)
        if (w && e.window == w)
            return e.plugin;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Sizes
// ---------------------------------------------------------------------------

// The editor rectangle the plug-in reports; false when it gives none.
static bool editor_rect(VstPlugin* p, int* width, int* height)
{
    ERect* r = nullptr;
    vst_dispatch(p, VST_EFF_EDIT_GET_RECT, 0, 0, &r, 0.0f);
    if (!r)
        return false;
    *width = r->right - r->left;
    *height = r->bottom - r->top;
    return true;
}

static uint32_t pack_size(int width, int height)
{
    uint32_t w = width > 0xffff ? 0xffff : (uint32_t)width;
    uint32_t h = height > 0xffff ? 0xffff : (uint32_t)height;
    return w << 16 | h;
}

intptr_t vst_editor_size_request(VstPlugin* p, int width, int height)
{
    PlatWindowId w = p->editor_window.load(std::memory_order_acquire);
    if (!w || width < 1 || height < 1)
        return 0;
    if (std::this_thread::get_id() == p->ui_thread)
        plat_editor_window_resize(w, width, height);
    else
        p->pending_size.store(pack_size(width, height), std::memory_order_release);
    return 1;
}

// ---------------------------------------------------------------------------
// Open, close, idle
// ---------------------------------------------------------------------------

bool vst_editor_open(VstPlugin* p)
{
    if (!p || !p->effect || !(p->effect->flags & VST_FLAG_HAS_EDITOR))
        return false;
    GlKept kept;
    PlatWindowId open = p->editor_window.load(std::memory_order_relaxed);
    if (p->editor_open && open) {
        plat_editor_window_raise(open);
        return true;
    }
    // Without a display the plug-in is asked nothing: some crash when asked for their
    // editor size with no display to measure.
    if (!plat_editor_display_ready())
        return false;

    int width = 640, height = 400;
    if (editor_rect(p, &width, &height)) {
        if (width < 64)
            width = 640;
        if (height < 64)
            height = 400;
    }
    PlatWindowId w = plat_editor_window_create(p->name, width, height);
    if (!w)
        return false;
    if (!table_add(w, p)) {
        plat_editor_window_destroy(w);
        return false;
    }
    p->pending_size.store(0, std::memory_order_relaxed);
    p->editor_window.store(w, std::memory_order_release);
    // The plug-in talks to the server on its own connection: our window must exist
    // there before it is handed over.
    plat_editor_sync();
    vst_dispatch(p, VST_EFF_EDIT_OPEN, 0, 0, (void*)w, 0.0f);
    int now_w = 0, now_h = 0;
    if (editor_rect(p, &now_w, &now_h) && now_w > 64 && now_h > 64)
        plat_editor_window_resize(w, now_w, now_h);
    plat_editor_window_show(w);
    p->editor_open = 1;
    return true;
}

bool vst_editor_is_open(const VstPlugin* p)
{
    return p && p->editor_open;
}

void vst_editor_close(VstPlugin* p)
{
    if (!p)
        return;
    GlKept kept;
    PlatWindowId w = p->editor_window.load(std::memory_order_relaxed);
    if (p->editor_open) {
        p->editor_open = 0;
        vst_dispatch(p, VST_EFF_EDIT_CLOSE, 0, 0, nullptr, 0.0f);
    }
    if (w) {
        p->editor_window.store(0, std::memory_order_release);
        table_remove(w);
        plat_editor_window_destroy(w);
    }
    p->pending_size.store(0, std::memory_order_relaxed);
}

void vst_editor_idle(VstPlugin* p)
{
    GlKept kept;
    PlatWindowId closed[kEditorSlots];
    int n = plat_editor_poll_closed(closed, kEditorSlots);
    for (int i = 0; i < n; i++)
        vst_editor_close(table_find(closed[i]));
    if (!p || !p->editor_open)
        return;
    uint32_t size = p->pending_size.exchange(0, std::memory_order_acquire);
    if (size)
        plat_editor_window_resize(p->editor_window.load(std::memory_order_relaxed), (int)(size >> 16),
                                  (int)(size & 0xffff));
    vst_dispatch(p, VST_EFF_EDIT_IDLE, 0, 0, nullptr, 0.0f);
}
