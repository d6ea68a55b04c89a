/*
 * corvellib_devsim.h - the simulated device's control API in plain C, for
 * test suites written in C (and for bindings from other languages).
 *
 * Link libdevsim (corvellib::devsim, pkg-config corvellib-devsim). The device
 * is the one libdevsim uses for the services: the file ENTMLST_DEVICE names,
 * ":memory:", or the per-user default (see entmlst(1)); devsim_open()
 * switches to another one. Every function is thread-safe.
 *
 * Results: a function that returns int answers 0 when it did what it says
 * and -1 when it did not; devsim_fault_add() answers 0 for no fault armed.
 * After a failure devsim_last_error() says why in one line. No call ever
 * aborts the program or lets a C++ exception out.
 */
#ifndef CORVELLIB_DEVSIM_H
#define CORVELLIB_DEVSIM_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Uses the device at path from now on: a device file (created with factory
 * settings when missing or empty) or ":memory:" for a private device of
 * this process. NULL: the device ENTMLST_DEVICE configures (the default
 * file when unset). Returns 0, or -1 when the device cannot be used (not a
 * device file, locked past the timeout, read-only, damaged, a name that is
 * empty, blank or starts with ':' but is not ":memory:", the same in
 * ENTMLST_DEVICE); this process is then on a fresh memory device.
 */
int devsim_open(const char *path);

/*
 * The device in use: its file path or ":memory:". The text stays valid
 * until this thread's next call of devsim_path(). NULL on failure.
 */
const char *devsim_path(void);

/*
 * Factory settings for the device: every stored value back to its default,
 * the log and the armed faults cleared, and the jobs and links too unless
 * keep_jobs is non-zero. Returns 0, or -1 when the device's storage fails.
 */
int devsim_reset(int keep_jobs);

/*
 * Arms a fault kept with the device, firing in whichever process makes the
 * matching call. spec: the fault as the text `entmlst fault add` takes:
 *   SERVICE[#N]=CODE[,times=N][,match=X][,pid=P][,program=NAME][,write-first]
 *                   [,probability=P][,seed=S]
 * e.g. "meSTCSetStatus#2=0x1234,match=smtp.port,program=myapp".
 * Returns the fault's ID (never 0, never reused), or 0 when spec is NULL or
 * not valid (the error names the bad part) or the storage fails.
 */
uint64_t devsim_fault_add(const char *spec);

/*
 * Disarms the fault with this ID; 0 disarms every fault (those kept with
 * the device and this process's own) and drops the rest of this process's
 * scripted mectIdSync answers. Returns 0, or -1 when the device keeps no
 * fault with the ID (never armed, or cleared already) or the storage fails.
 */
int devsim_fault_clear(uint64_t id);

/*
 * How many times the fault with this ID (kept with the device) has fired:
 * 0 for one armed that never did. -1 when the device keeps no fault with
 * the ID (never armed, or cleared) or the storage fails.
 */
long devsim_fault_hits(uint64_t id);

/* Sequence number of the newest log entry: 0 for an empty log, and on failure. */
uint64_t devsim_last_seq(void);

/*
 * One entry of the device's log. The texts stay valid until this thread's
 * next devsim_log_read(); line is the entry as `entmlst log` shows it.
 */
typedef struct devsim_log_entry {
    uint64_t seq;         /* increasing, never reused */
    int64_t time_us;      /* microseconds since the epoch */
    int32_t pid;          /* the calling process */
    uint32_t result;      /* the service's answer */
    int done;             /* the service did its work, whatever it answered */
    const char *program;  /* the calling program's name, "" when unknown */
    const char *kind;     /* "call", "notify", "monitor", "fault" (a firing), "armed", "cleared", "violation",
                             "device", "note" */
    const char *service;  /* the service called, or that the entry is about */
    const uint64_t *args; /* arg_count integer arguments (pointers as addresses) */
    size_t arg_count;
    const char *text; /* what happened, shown safely (see entmlst log) */
    const char *line; /* the whole entry in one line */
} devsim_log_entry;

/*
 * Reads the oldest entries with a sequence number above after_seq into
 * entries[0..max-1], oldest first. service and kind, when not NULL, keep
 * only the entries of that service or of that kind (names as in
 * devsim_log_entry). Returns how many it filled (0 when there are none
 * yet; call again after the last seq read to page on), or -1 on an unknown
 * service or kind, on entries == NULL with max > 0, or when the storage
 * fails.
 */
long devsim_log_read(uint64_t after_seq, const char *service, const char *kind, devsim_log_entry *entries,
                     size_t max);

/*
 * What devsim_log_select() reads. size is sizeof(devsim_log_query) as the
 * caller was built: a later library reads only the fields that lie within
 * it, so fields can be added at the end, and it answers the
 * devsim_log_record of that same header. NULL and 0 leave a filter out:
 *   devsim_log_query q = {.size = sizeof q, .program = "myapp"};
 */
typedef struct devsim_log_query {
    size_t size;         /* sizeof(devsim_log_query) */
    uint64_t after;      /* only entries with a sequence number above this */
    const char *service; /* only the calls and faults of this service */
    const char *kind;    /* only the entries of this kind (names as in devsim_log_entry) */
    const char *program; /* only the entries of programs of this name (its first 15 bytes) */
    long pid;            /* only the entries of this process */
} devsim_log_query;

/*
 * One entry as devsim_log_select() answers it: the entry, and the names of
 * the settings its settings-ID argument stands for, as `entmlst log --json`
 * shows them ({"1": ["smtp.port", ...]}). The texts stay valid until this
 * thread's next devsim_log_select().
 */
typedef struct devsim_log_record {
    devsim_log_entry entry;
    long names_arg;           /* the index in entry.args of the settings ID named, -1 for none */
    const char *const *names; /* name_count names, such as "smtp.port" */
    size_t name_count;
} devsim_log_record;

/*
 * Reads the oldest entries that query keeps into records[0..max-1], oldest
 * first, as devsim_log_read() does. Returns how many it filled, or -1 on a
 * query of a size this library does not know, an unknown service or kind,
 * a negative pid, records == NULL with max > 0, or when the storage fails.
 */
long devsim_log_select(const devsim_log_query *query, devsim_log_record *records, size_t max);

/*
 * The device's services, in the order of their list: the name of service
 * i, NULL past the last. Bindings take the names from here.
 */
const char *devsim_service_name(size_t i);

/*
 * The layout of devsim_log_entry as this library was built, for bindings
 * that declare the struct again: field i's name, offset and size in bytes
 * (any pointer may be NULL); -1 past the last field. devsim_log_entry_size()
 * is sizeof(devsim_log_entry).
 */
int devsim_log_entry_field(size_t i, const char **name, size_t *offset, size_t *size);
size_t devsim_log_entry_size(void);

/*
 * The last failure of a devsim_ call in this thread, one line without a
 * newline; "" when none has failed yet. Valid until this thread's next
 * failing call.
 */
const char *devsim_last_error(void);

#ifdef __cplusplus
}
#endif

#endif /* CORVELLIB_DEVSIM_H */
