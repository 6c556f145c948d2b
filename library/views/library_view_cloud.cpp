// library_view_cloud.cpp - the cloud client's part of the library view, when one is
// handed in: its buttons and status line in the header, their clicks, and the hint of
// the empty view.
#include <cstdio>

#include "library/cloud.h"
#include "library/library.h"
#include "library/views/library_view.h"
#include "library/views/lv_draw.h"
#include "ui/canvas.h"
#include "ui/widget.h"

static const float kButtonHeight = 18.0f;
static const float kGap = 4.0f;

static const char* button_label(int32_t action)
{
    switch (action) {
    case LIBRARY_CLOUD_REFRESH: return "REFRESH";
    case LIBRARY_CLOUD_BUSY: return "...";
    case LIBRARY_CLOUD_SIGN_IN: return "SIGN IN";
    default: return "CANCEL";
    }
}

// The buttons the client's state offers: a signed-in client refreshes ("..." while a
// job runs), a running job can be cancelled, anything else signs in.
static int32_t cloud_buttons(CloudClient* cloud, int32_t out[2])
{
    int32_t n = 0;
    bool busy = cloud_is_busy(cloud);
    bool signed_in = cloud_state(cloud) == CLOUD_STATE_SIGNED_IN;
    if (signed_in || busy)
        out[n++] = busy ? LIBRARY_CLOUD_BUSY : LIBRARY_CLOUD_REFRESH;
    if (busy)
        out[n++] = LIBRARY_CLOUD_CANCEL;
    else if (!signed_in)
        out[n++] = LIBRARY_CLOUD_SIGN_IN;
    return n;
}

void library_cloud_header(Canvas* c, Library* lib, void* client, float left, float right, float y)
{
    LibraryViewUi* ui = lib->ui;
    ui->cloud_count = 0;
    CloudClient* cloud = (CloudClient*)client;
    if (!cloud)
        return;
    const float(*k)[4] = ui->colours;
    int32_t actions[2];
    int32_t n = cloud_buttons(cloud, actions);
    float x = right;
    for (int32_t i = n - 1; i >= 0; i--) {
        const char* label = button_label(actions[i]);
        float w = canvas_pixel_text_width(c, label, 1.0f) + 16.0f;
        x -= w;
        CanvasRect b{x, y + 6.0f, w, kButtonHeight};
        ui->cloud_buttons[i] = b;
        ui->cloud_actions[i] = actions[i];
        bool hovered = lv_inside(b, ui->mouse_x, ui->mouse_y);
        widget_draw_pill(c, &ui->widgets, widget_id(label, 950 + (uint32_t)actions[i]), &b, label, 0, nullptr,
                         hovered, 0, 0, lib->dt, lib->reduced_motion);
        x -= kGap;
    }
    ui->cloud_count = n;

    // The status line, with the signed-in user, in the room left of the buttons.
    char line[300], fitted[300];
    const char* user = cloud_user_text(cloud);
    std::snprintf(line, sizeof line, "%s%s%s", cloud_status_text(cloud), user[0] ? "  " : "", user);
    float room = x - 4.0f - left;
    if (room < 12.0f || !line[0])
        return;
    lv_fit_pixel(c, line, 1.0f, room, fitted, sizeof fitted);
    canvas_draw_pixel_text(c, fitted, x - 4.0f, y + 8.0f, 1.0f, k[5], 2);
    float progress = cloud_progress(cloud);
    if (progress >= 0.0f) {
        float w = canvas_pixel_text_width(c, fitted, 1.0f);
        canvas_fill_rect(c, x - 4.0f - w, y + 19.0f, w * (progress > 1.0f ? 1.0f : progress), 2.0f, k[6]);
    }
}

bool library_cloud_press(Library* lib, void* client, float x, float y)
{
    CloudClient* cloud = (CloudClient*)client;
    LibraryViewUi* ui = lib->ui;
    if (!cloud)
        return false;
    for (int32_t i = 0; i < ui->cloud_count; i++) {
        if (!lv_inside(ui->cloud_buttons[i], x, y))
            continue;
        switch (ui->cloud_actions[i]) {
        case LIBRARY_CLOUD_REFRESH: cloud_refresh(cloud); break;
        case LIBRARY_CLOUD_SIGN_IN: cloud_sign_in(cloud); break;
        case LIBRARY_CLOUD_CANCEL: cloud_sign_out(cloud); break;
        default: break;   // "..." waits for the running job
        }
        return true;
    }
    return false;
}

const char* library_cloud_hint(void* client)
{
    CloudClient* cloud = (CloudClient*)client;
    if (!cloud)
        return "Drop audio files here.";
    switch (cloud_state(cloud)) {
    case CLOUD_STATE_NO_API_TOKEN: return "Drop audio files here, or paste a CloudKit API token to see the cloud.";
    case CLOUD_STATE_SIGNED_IN: return "Drop audio files here.";
    default: return "Drop audio files here, or sign in to see the cloud.";
    }
}
