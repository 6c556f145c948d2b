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
    // A line fits when its bytes, its line feed included, leave room for the NUL.
    // Lines are measured by the bytes read, so a NUL inside one cuts only that line's
    // text and never makes it look longer or shorter than it is.
    const size_t room = LIBRARY_TEXT_LINE - 1;
    char line[LIBRARY_TEXT_LINE];
    size_t n = 0;
    for (;;) {
        int c = std::getc(f);
        if (c != EOF && c != '\n') {
            if (n < room)
                line[n] = (char)c;
            n++;
            continue;
        }
        if (c == EOF && n == 0)
            break;
        if (n + (c == '\n' ? 1 : 0) <= room) {
            line[n] = '\0';
            line[std::strcspn(line, "\r\n")] = '\0';
            if (!visit(ctx, line))
                break;
        }
        n = 0;
        if (c == EOF)
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

static PathArray keyed_paths(KeyedList l)
{
    return PathArray{*l.array, l.size, l.path_offset};
}

static char** keyed_path_of(KeyedList l, int32_t i)
{
    return (char**)((char*)*l.array + (size_t)i * l.size + l.path_offset);
}

int32_t library_keyed_find(KeyedList l, const char* path)
{
    return path_index_find(l.index, keyed_paths(l), path);
}

bool library_path_storable(const char* path)
{
    return path && !std::strpbrk(path, "\r\n");
}

void* library_keyed_append(KeyedList l, const char* path, int32_t first)
{
    size_t len = std::strlen(path);
    char* copy = (char*)std::malloc(len + 1);
    if (!copy || !library_grow(l.array, l.capacity, *l.count, l.size, first)) {
        std::free(copy);
        return nullptr;
    }
    std::memcpy(copy, path, len + 1);
    int32_t i = *l.count;
    char* entry = (char*)*l.array + (size_t)i * l.size;
    std::memset(entry, 0, l.size);
    std::memcpy(entry + l.path_offset, &copy, sizeof copy);
    if (!path_index_add(l.index, keyed_paths(l), i)) {
        std::free(copy);
        return nullptr;
    }
    (*l.count)++;
    return entry;
}

void library_keyed_remove(KeyedList l, int32_t i)
{
    if (i < 0 || i >= *l.count)
        return;
    std::free(*keyed_path_of(l, i));
    char* entry = (char*)*l.array + (size_t)i * l.size;
    std::memmove(entry, entry + l.size, l.size * (size_t)(*l.count - i - 1));
    (*l.count)--;
    path_index_rebuild(l.index, keyed_paths(l), *l.count);
}

void library_keyed_free(KeyedList l)
{
    for (int32_t i = 0; i < *l.count; i++)
        std::free(*keyed_path_of(l, i));
    std::free(*l.array);
    *l.array = nullptr;
    *l.count = *l.capacity = 0;
    path_index_free(l.index);
}
