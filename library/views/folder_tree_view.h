// folder_tree_view.h - the folder tree drawn into a rectangle of the canvas, and its
// keys, clicks, wheel and pointer.
// Threads: UI thread only.
// Depends on: library/folder_tree.h, SDL2, ui/canvas.h, ui/text.h.
#pragma once
#include "library/folder_tree.h"

union SDL_Event;
struct Canvas;
struct CanvasRect;
struct TextRenderer;

// True when the event was the tree's (x, y: the pointer in the canvas's units).
bool foldertree_handle_event(FolderTree* tree, const SDL_Event* event, float x, float y);
// colours null: the tree's own palette; dt: the frame time for the eased scroll.
void foldertree_draw(Canvas* c, TextRenderer* tr, FolderTree* tree, const CanvasRect* r, const float (*colours)[4],
                     float dt);
