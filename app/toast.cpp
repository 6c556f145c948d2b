// toast.cpp - the toast ring.
#include "app/toast.h"

#include <cstdio>

#include "app/app_state.h"

void toast_show(AppState* app, const char* text, uint32_t colour)
{
    if (!app)
        return;
    int32_t i = ((app->toast_next % APP_TOASTS) + APP_TOASTS) % APP_TOASTS;
    Toast* t = &app->toasts[i];
    snprintf(t->text, sizeof t->text, "%s", text ? text : "");
    t->alpha = 1.0f;
    t->seconds = TOAST_SECONDS;
    t->colour = colour;
    app->toast_next = (i + 1) % APP_TOASTS;
}
