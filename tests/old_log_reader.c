/* A client of the log built against the control API's first header: its
 * declarations as that header had them, so that a change to them breaks
 * this build or its answers. */
#include <stddef.h>
#include <stdint.h>
#include <string.h>

typedef struct devsim_log_entry {
    uint64_t seq;
    int64_t time_us;
    int32_t pid;
    uint32_t result;
    int done;
    const char *program;
    const char *kind;
    const char *service;
    const uint64_t *args;
    size_t arg_count;
    const char *text;
    const char *line;
} devsim_log_entry;

uint64_t devsim_fault_add(const char *spec);
int devsim_fault_clear(uint64_t id);
long devsim_log_read(uint64_t after_seq, const char *service, const char *kind, devsim_log_entry *entries,
                     size_t max);

/* Arms a fault and clears it, then reads the two entries after seq back
 * through a room of three: 0 when each field holds what it should. */
int old_client_reads_log(uint64_t seq, int32_t pid, const char *program) {
    devsim_log_entry e[3];
    const uint64_t id = devsim_fault_add("meSTCGetStatus=0x1234");
    if (id == 0 || devsim_fault_clear(id) != 0 || devsim_log_read(seq, NULL, NULL, e, 3) != 2) return 1;
    for (int i = 0; i < 2; ++i)
        if (e[i].seq != seq + 1 + (uint64_t)i || e[i].pid != pid || strcmp(e[i].program, program) != 0 ||
            e[i].time_us <= 0 || strcmp(e[i].kind, i ? "cleared" : "armed") != 0 ||
            strcmp(e[i].service, "meSTCGetStatus") != 0 || strstr(e[i].line, e[i].kind) == NULL)
            return 2 + i;
    return strstr(e[0].text, "=0x1234") ? 0 : 4;
}
