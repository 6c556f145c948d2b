// video_panel.h - the video panel's logic on the UI thread: opening a file in the
// player, the trim handles, the ready and trim bookkeeping, the shown time that keeps
// the picture in step with the loop, and the frame's upload into the panel's texture.
// Threads: UI thread only (the upload on the renderer's thread).
// Depends on: app/app_state.h, app/video_player.h, audio/engine.h, SDL2 renderer.
#pragma once
#include <cstdint>

struct AppState;
struct SDL_Renderer;

constexpr double VIDEO_LONGEST_TRIM = 360.0;   // seconds
constexpr double VIDEO_SHORTEST_TRIM = 0.25;
constexpr double VIDEO_DEFAULT_RATE = 48000.0; // timing while the engine reports no rate
constexpr float VIDEO_TRACK_INSET = 10.0f;     // the trim track from the panel's x
constexpr float VIDEO_TRACK_WIDTH = 500.0f;

// Opens path in the panel: makes the player on first use (without one nothing
// happens), copies the path, keep_trim becomes the trim-restored flag, ready and the
// duration clear, in and out clear unless keep_trim; the player is asked to open it.
void video_panel_open(AppState* app, const char* path, bool keep_trim);
// Moves the dragged handle (1 in, 2 out) to the track position under mouse_x, the
// stretch kept between 0.25 s and 360 s.
void video_panel_trim_drag(AppState* app, float mouse_x);
// Once per opening, when the player is ready: ready set, the duration taken, and the
// trim made the whole video unless a restored in < out is kept; then cut to the
// duration and to at most 360 s.
void video_panel_take_duration(AppState* app, double duration);
// Every frame while a player exists: takes the duration and settles the trim once per
// opening, works out the shown time and, while the panel is shown, seeks the player.
void video_panel_update(AppState* app);
// The loop length a trim release asks for: trunc(seconds x rate + 0.5) frames at the
// engine's rate (48,000 while it has none).
int32_t video_panel_trim_frames(const AppState* app);
// Copies a new frame into the panel's texture (made or remade at the frame's size)
// and keeps its rotation. True while the texture holds a frame to draw.
bool video_panel_upload(AppState* app, SDL_Renderer* renderer);
