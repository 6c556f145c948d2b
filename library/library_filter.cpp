// library_filter.cpp - the order of the items and the view of one source through the
// filter.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "library/library.h"

bool library_filter_match(const char* filter, const char* text)
{
    if (!filter || !filter[0])
        return true;
    if (!text)
        return false;
    for (const char* start = text; *start; start++) {
        size_t i = 0;
        while (filter[i] && start[i] &&
               std::tolower((unsigned char)filter[i]) == std::tolower((unsigned char)start[i]))
            i++;
        if (!filter[i])
            return true;
    }
    return false;
}

static bool source_admits(uint32_t source, const LibraryItem* item)
{
    switch (source) {
    case LIBRARY_SOURCE_ALL: return true;
    case LIBRARY_SOURCE_CLOUD: return item->kind == LIBRARY_KIND_CLOUD;
    case LIBRARY_SOURCE_LOCAL: return item->kind == LIBRARY_KIND_LOCAL;
    default: return false;     // BROWSE shows the folder tree instead of cards
    }
}

void library_rebuild_view(Library* lib)
{
    if (!lib)
        return;
    char remembered[LIBRARY_PATH];
    const char* from = lib->selected >= 0 && lib->selected < lib->count ? lib->items[lib->selected].path
                                                                        : lib->state.selected_path;
    std::memcpy(remembered, from, LIBRARY_PATH);

    std::stable_sort(lib->items, lib->items + lib->count, [](const LibraryItem& a, const LibraryItem& b) {
        if (a.time != b.time)
            return a.time > b.time;
        return std::strcmp(a.name, b.name) < 0;
    });

    const char* filter = lib->state.filter;
    lib->view_count = 0;
    lib->selected = -1;
    for (int32_t i = 0; i < lib->count; i++) {
        const LibraryItem* item = &lib->items[i];
        if (!source_admits(lib->state.source, item))
            continue;
        if (filter[0] && !library_filter_match(filter, item->name) && !library_filter_match(filter, item->folder) &&
            !library_filter_match(filter, item->ext))
            continue;
        lib->view[lib->view_count++] = i;
        if (lib->selected < 0 && remembered[0] && std::strcmp(item->path, remembered) == 0)
            lib->selected = i;
    }
    if (lib->selected >= 0)
        std::memcpy(lib->state.selected_path, lib->items[lib->selected].path, LIBRARY_PATH);
    else
        lib->state.selected_path[0] = '\0';
    lib->removing = -1;
    lib->dirty = 0;
}
