// cloud_refresh.cpp - the refresh job: the zones of the private database, then of the
// shared one, each read page by page into records.
#include "library/cloud_internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "rig/json_read.h"
#include "rig/json_write.h"

enum { SYNC_TOKEN_SIZE = 1200 };

// Display-name fields, the earlier the better.
static const char* const NAME_FIELDS[] = {"name", "title", "label", "filename", "fileName", "displayName", "slug"};
enum { NAME_FIELD_COUNT = sizeof NAME_FIELDS / sizeof NAME_FIELDS[0] };

static void get_text(JsonValue obj, const char* name, char* out, size_t size)
{
    JsonValue v;
    out[0] = '\0';
    if (json_find_member(obj, name, &v))
        json_get_string(v, out, size, nullptr);
}

static void parse_fields(JsonValue fields, CloudRecord* r)
{
    JsonIter it;
    JsonValue key, field, type, value;
    int best = NAME_FIELD_COUNT + 1;   // NAME_FIELD_COUNT: the first STRING field
    json_iter_begin(&it, fields);
    while (json_iter_next_member(&it, &key, &field)) {
        if (!json_find_member(field, "type", &type) || !json_find_member(field, "value", &value))
            continue;
        if (json_string_equals(type, "STRING") && value.kind == JSON_STRING) {
            int rank = NAME_FIELD_COUNT;
            for (int i = 0; i < NAME_FIELD_COUNT; i++)
                if (json_string_equals(key, NAME_FIELDS[i])) {
                    rank = i;
                    break;
                }
            if (rank < best) {
                best = rank;
                json_get_string(value, r->display_name, sizeof r->display_name, nullptr);
            }
        } else if (json_string_equals(type, "ASSETID") && value.kind == JSON_OBJECT) {
            JsonValue v;
            if (json_find_member(value, "size", &v))
                json_get_int64(v, &r->asset_size);
            get_text(value, "downloadURL", r->asset_url, sizeof r->asset_url);
        }
    }
}

// One element of "records" as a record of zone; false for one that is no object or
// is marked deleted.
static bool parse_record(JsonValue rec, const CloudZone* zone, CloudRecord* r)
{
    JsonValue v;
    uint8_t deleted = 0;
    if (rec.kind != JSON_OBJECT)
        return false;
    if (json_find_member(rec, "deleted", &v) && json_get_bool(v, &deleted) && deleted)
        return false;
    std::memset(r, 0, sizeof *r);
    cloud_copy_text(r->zone, sizeof r->zone, zone->name);
    r->shared = zone->shared;
    get_text(rec, "recordName", r->record_name, sizeof r->record_name);
    get_text(rec, "recordType", r->record_type, sizeof r->record_type);
    JsonValue modified;
    if (json_find_member(rec, "modified", &modified) && json_find_member(modified, "timestamp", &v))
        json_get_double(v, &r->modified);
    if (json_find_member(rec, "fields", &v))
        parse_fields(v, r);
    if (!r->display_name[0])
        cloud_copy_text(r->display_name, sizeof r->display_name, r->record_name);
    return true;
}

// The request body of one page: compact, members in this order.
static bool page_body(const CloudZone* zone, const char* sync, char* out, size_t size)
{
    JsonWriter w;
    json_writer_init(&w, out, size);
    json_write_raw(&w, "{\"zones\":[{\"zoneID\":{\"zoneName\":");
    json_write_string(&w, zone->name, sizeof zone->name);
    if (zone->shared) {
        json_write_raw(&w, ",\"ownerRecordName\":");
        json_write_string(&w, zone->owner, sizeof zone->owner);
    }
    json_write_raw(&w, "},\"resultsLimit\":");
    json_write_int(&w, CLOUD_PAGE_RECORDS);
    if (sync[0]) {
        json_write_raw(&w, ",\"syncToken\":");
        json_write_string(&w, sync, SYNC_TOKEN_SIZE);
    }
    json_write_raw(&w, "}]}");
    return json_writer_finish(&w) < size;
}

// Posts one page request. Returns its parsed first zone in *first, or false with err.
// The answer's body is handed back for the caller to free.
static bool request_page(CloudClient* c, const char* database, const CloudZone* zone, const char* sync,
                         char** body, JsonValue* first, char* err, size_t err_size)
{
    char path[6144], request[16384];
    size_t len = 0;
    if (!cloud_format_path(c, database, "changes/zone", true, path, sizeof path) ||
        !page_body(zone, sync, request, sizeof request)) {
        std::snprintf(err, err_size, "REQUEST FAILED (0)");
        return false;
    }
    int status = cloud_http_request(c, "POST", path, request, body, &len, err, err_size);
    if (status == 0)
        return false;
    if (status != 200) {
        cloud_error_text(*body, len, status, err, err_size);
        return false;
    }
    JsonValue doc, zones;
    JsonIter it;
    if (!json_parse(*body, len, &doc, nullptr, 0) || !json_find_member(doc, "zones", &zones) ||
        zones.kind != JSON_ARRAY) {
        std::snprintf(err, err_size, "BAD RESPONSE");
        return false;
    }
    json_iter_begin(&it, zones);
    first->kind = JSON_NONE;
    if (json_iter_next(&it, first) && first->kind != JSON_OBJECT) {
        std::snprintf(err, err_size, "BAD RESPONSE");
        return false;
    }
    return true;
}

static bool read_zone_changes(CloudClient* c, const char* database, const CloudZone* zone, char* err,
                              size_t err_size)
{
    char sync[SYNC_TOKEN_SIZE] = "";
    for (int page = 0; page < CLOUD_MAX_PAGES; page++) {
        if (c->cancel.load(std::memory_order_acquire))
            return true;
        char status[96];
        std::snprintf(status, sizeof status, "READING %s%s  %d", zone->shared ? "SHARED " : "", zone->name,
                      (int)cloud_record_count(c));
        cloud_set_worker_status(c, status);
        char* body = nullptr;
        JsonValue first;
        if (!request_page(c, database, zone, sync, &body, &first, err, err_size)) {
            std::free(body);
            return false;
        }
        JsonValue v, item;
        uint8_t more = 0;
        char code[64] = "";
        if (first.kind == JSON_OBJECT)
            get_text(first, "serverErrorCode", code, sizeof code);
        if (code[0]) {
            std::free(body);
            if (std::strcmp(code, "ZONE_NOT_FOUND") == 0)
                return true;
            std::snprintf(err, err_size, "%s: %s", zone->name, code);
            return false;
        }
        if (json_find_member(first, "records", &v)) {
            JsonIter it;
            CloudRecord r;
            json_iter_begin(&it, v);
            while (json_iter_next(&it, &item))
                if (parse_record(item, zone, &r))
                    cloud_add_record(c, &r);
        }
        if (json_find_member(first, "moreComing", &v))
            json_get_bool(v, &more);
        get_text(first, "syncToken", sync, sizeof sync);
        std::free(body);
        if (!more)
            return true;
    }
    return true;
}

// Lists the zones of one database and reads each. False with err on failure.
static bool list_zones(CloudClient* c, const char* database, bool shared, char* err, size_t err_size)
{
    cloud_set_worker_status(c, shared ? "LISTING SHARED ZONES..." : "LISTING ZONES...");
    char path[6144];
    if (!cloud_format_path(c, database, "zones/list", true, path, sizeof path)) {
        std::snprintf(err, err_size, "REQUEST FAILED (0)");
        return false;
    }
    char* body = nullptr;
    size_t len = 0;
    int status = cloud_http_request(c, "GET", path, nullptr, &body, &len, err, err_size);
    if (status == 0)
        return false;
    if (status != 200) {
        cloud_error_text(body, len, status, err, err_size);
        std::free(body);
        return false;
    }
    JsonValue doc, zones, item, id;
    if (!json_parse(body, len, &doc, nullptr, 0) || !json_find_member(doc, "zones", &zones) ||
        zones.kind != JSON_ARRAY) {
        std::free(body);
        std::snprintf(err, err_size, "BAD RESPONSE");
        return false;
    }
    CloudZone found[CLOUD_MAX_ZONES];
    int count = 0;
    JsonIter it;
    json_iter_begin(&it, zones);
    while (count < CLOUD_MAX_ZONES && json_iter_next(&it, &item)) {
        if (!json_find_member(item, "zoneID", &id))
            continue;
        CloudZone* z = &found[count];
        get_text(id, "zoneName", z->name, sizeof z->name);
        get_text(id, "ownerRecordName", z->owner, sizeof z->owner);
        z->shared = shared ? 1 : 0;
        if (z->name[0] && std::strcmp(z->name, "_defaultZone") != 0)
            count++;
    }
    std::free(body);
    {
        std::lock_guard<std::mutex> hold(c->lock);
        for (int i = 0; i < count && c->zone_count < CLOUD_ZONE_LIST; i++)
            if (!c->cancel.load(std::memory_order_acquire))
                c->zones[c->zone_count++] = found[i];
    }
    for (int i = 0; i < count; i++)
        if (!read_zone_changes(c, database, &found[i], err, err_size))
            return false;
    return true;
}

void cloud_refresh_thread(CloudClient* c)
{
    {
        std::lock_guard<std::mutex> hold(c->lock);
        c->zone_count = 0;
        c->record_count = 0;
    }
    char err[160] = "", ignored[160];
    bool ok = list_zones(c, "private", false, err, sizeof err);
    if (ok) {
        list_zones(c, "shared", true, ignored, sizeof ignored);
        std::lock_guard<std::mutex> hold(c->lock);
        c->zones_read = 1;
    } else if (std::strstr(err, "AUTHENTICATION_REQUIRED") || std::strstr(err, "HTTP 421")) {
        std::snprintf(err, sizeof err, "SESSION EXPIRED - SIGN IN");
    }
    // A sign-out during the job: its own line stands.
    if (c->cancel.load(std::memory_order_acquire))
        cloud_post_result(c, false, cloud_idle_text(c));
    else
        cloud_post_result(c, ok, ok ? "SIGNED IN" : err);
}
