// library_store.cpp - growing arrays; line reading and whole-file replacement.
#include "library/library_store.h"

#include <cstdlib>
#include <cstring>

#include "platform/plat_file.h"

bool library_text_read(const char* path, bool (*visit)(void* ctx, char* line), void* ctx)
{
    FILE* f = plat_file_open_read(path);
    if (!f)
        return false;
    char line[LIBRARY_TEXT_LINE];
    bool skipping = false;
    while (std::fgets(line, sizeof line, f)) {
        size_t len = std::strlen(line);
        bool whole = len > 0 && line[len - 1] == '\n';
        if (!whole && !std::feof(f)) {
            skipping = true;       // the rest of this line follows: drop all of it
            continue;
        }
        if (skipping) {
            skipping = false;
            continue;
        }
        line[std::strcspn(line, "\r\n")] = '\0';
        if (!visit(ctx, line))
            break;
    }
    std::fclose(f);
    return true;
}

bool library_text_write(const char* path, bool (*write)(void* ctx, FILE* f), void* ctx)
{
    return plat_file_write_replacing(path, write, ctx);
}

bool library_grow(void** array, int32_t* capacity, int32_t count, size_t element_size, int32_t first)
{
    if (count < *capacity)
        return true;
    if (*capacity > INT32_MAX / 2)
        return false;
    int32_t cap = *capacity > 0 ? *capacity * 2 : first;
    void* p = std::realloc(*array, element_size * (size_t)cap);
    if (!p)
        return false;
    *array = p;
    *capacity = cap;
    return true;
}
