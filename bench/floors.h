// Floors: each exported function's service calls written out by hand, with
// no library in between. Built as a shared library with the library's own
// flags, so that a floor is reached through the same kind of call.
#pragma once

#include <cstdint>

#include "corvellib.h"
#include "functions.h"

namespace floors {

// One row as the floors use it: the ID passed to the service, the field's
// offset in the record and the value's size.
struct Step {
    uint32_t id;
    uint32_t off;
    uint32_t size;
};
struct Steps {
    Step s[32];
    int n = 0;
    void add(Step st) {
        if (n < 32) s[n++] = st;
    }
};

// What the floors need from the traces.
struct Traced {
    // The store reads of each setting group's Get, named as the registry
    // names the group.
#define CORVEL_GROUP_STEPS(Name, ...) Steps Name;
    ENTMLST_SETTING_GROUPS(CORVEL_GROUP_STEPS)
#undef CORVEL_GROUP_STEPS
    Steps ip, parent, box, fax_rep, prn_end, cur_send, attach;
    uint32_t id_kind, id_sync_kind, protocol_id, rst_value;
    uint32_t fax_link_kind, fax_link_index, fax_path_value;
    uint32_t status_value, name_value;
    uint32_t recipient;
};
extern Traced T;

#define FLOOR __attribute__((noinline))
FLOOR uint32_t floorGet(const Steps &t, void *rec);
// Each writable group's Set, floorSet<Name>(const Record *), written out in
// floors.cpp with the group's own notification.
#define CORVEL_SET_FLOOR(Name, tool, summary, Rec, rows, inst, access, Get, Set)                             \
    CORVEL_SET_FLOOR_##access(Name, Rec)
#define CORVEL_SET_FLOOR_read_write(Name, Rec) FLOOR uint32_t floorSet##Name(const Rec *rec);
#define CORVEL_SET_FLOOR_read_only(Name, Rec)
ENTMLST_SETTING_GROUPS(CORVEL_SET_FLOOR)
#undef CORVEL_SET_FLOOR
#undef CORVEL_SET_FLOOR_read_write
#undef CORVEL_SET_FLOOR_read_only
FLOOR uint32_t floorInit(uint32_t area);
FLOOR uint32_t floorSyncMe();
FLOOR uint32_t floorGetIpJob(uint32_t job, ENTMLSTIPJOB *rec);
FLOOR uint32_t floorGetJobValue(uint32_t job, uint32_t value_id, void *dst);
FLOOR uint32_t floorGetJobRows(uint32_t job, const Steps &t, void *rec);
FLOOR uint32_t floorGetFaxImgDataPath(uint32_t job, void *dst);
FLOOR uint32_t floorGetSendJobResult(uint32_t job, int32_t kind, int32_t capacity, ENTMLSTSENDRESULT *entries,
                                     int32_t *count);
FLOOR uint32_t floorSetMailAttach(uint32_t job, const ENTMLSTMAILATTACH *rec);
#undef FLOOR

} // namespace floors
