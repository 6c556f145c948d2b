// plat_gl_current.cpp - saving and restoring the thread's current GLX context.
#include "platform/plat_gl_current.h"

#include <GL/glx.h>

#include <cstdio>

PlatGlCurrent plat_gl_current_save(void)
{
    PlatGlCurrent s{};
    s.context = (void*)glXGetCurrentContext();
    if (s.context) {
        s.display = (void*)glXGetCurrentDisplay();
        s.draw = (unsigned long)glXGetCurrentDrawable();
        s.read = (unsigned long)glXGetCurrentReadDrawable();
    }
    return s;
}

void plat_gl_current_restore(const PlatGlCurrent* saved)
{
    if (!saved)
        return;
    PlatGlCurrent now = plat_gl_current_save();
    if (now.context == saved->context && now.display == saved->display && now.draw == saved->draw &&
        now.read == saved->read)
        return;
    if (saved->context) {
        if (!glXMakeContextCurrent((Display*)saved->display, (GLXDrawable)saved->draw, (GLXDrawable)saved->read,
                                   (GLXContext)saved->context))
            fprintf(stderr, "gl: the context current before a plug-in call could not be made current again\n");
        return;
    }
    // Nothing was current: the context left behind is not ours to draw into.
    glXMakeContextCurrent((Display*)now.display, None, None, nullptr);
}
