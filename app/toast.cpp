// toast.cpp - the toast ring.
#include "app/toast.h"

#include <cctype>
#include <cstdio>
#include <cstring>

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

void toast_show_because(AppState* app, const char* what, const char* why, uint32_t colour)
{
    char text[APP_TOAST_TEXT];
    int n = snprintf(text, sizeof text, "%s: %s", what ? what : "", why ? why : "");
    for (int i = what ? (int)strlen(what) : 0; i < n && i < (int)sizeof text - 1; i++)
        text[i] = (char)toupper((unsigned char)text[i]);
    toast_show(app, text, colour);
}

void toast_show_failure(AppState* app, const char* what, int err)
{
    toast_show_because(app, what, strerror(err), TOAST_RED);
}
