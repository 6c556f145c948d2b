// view_stubs.cpp - the main view's panel painters that are still to be written. Each
// keeps its final name and draws nothing.
#include "app/app_state.h"
#include "app/view.h"
#include "ui/drawkit.h"

// Replaced by the video panel.
void view_video_panel(AppState* app, DrawKit* kit) {}
