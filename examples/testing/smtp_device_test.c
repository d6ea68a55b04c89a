/*
 * smtp_device_test.c - a plain-C test of the SMTP settings against the
 * simulated device: each case starts from factory settings, arms its
 * faults and checks what entMLSTSetSmtp answers and what the device logged.
 */
#include <stdio.h>
#include <string.h>

#include "corvellib.h"
#include "corvellib_devsim.h"

struct test_case {
    const char *fault; /* as `entmlst fault add` takes it; NULL for none */
    uint32_t want;     /* what entMLSTSetSmtp answers */
    long hits;         /* how often the fault fired */
};

static const struct test_case cases[] = {
    {NULL, ENTMLST_OK, 0},
    {"meSTCSetStatus=0x1234", ENTMLST_ERR_STATUS_SET, 1},
    {"meSTCGetStatus=0x1234", ENTMLST_ERR_STATUS_GET, 1},
    {"meSTCSetStatus=0x1234,match=smtp.from", ENTMLST_OK, 0}, /* only the port is written */
};

/* This program's name as the device logs it (under valgrind, say, not its file's). */
static char me[16] = "smtp_device_test";

static int check(const struct test_case *c) {
    const char *name = c->fault ? c->fault : "no fault";
    uint64_t fault = 0;
    if (devsim_reset(0) != 0 || (c->fault && (fault = devsim_fault_add(c->fault)) == 0)) {
        fprintf(stderr, "%s: %s\n", name, devsim_last_error());
        return 1;
    }
    ENTMLSTSMTP smtp;
    memset(&smtp, 0xff, sizeof smtp); /* only the selected port is written */
    uint32_t got = entMLSTSetSmtp(ENTMLST_MASK_SMTP_PORT, &smtp);
    if (got != c->want) {
        fprintf(stderr, "%s: entMLSTSetSmtp answered 0x%08x, not 0x%08x\n", name, (unsigned)got,
                (unsigned)c->want);
        return 1;
    }
    /* A fault that should fire and never did tested nothing. */
    if (fault != 0 && devsim_fault_hits(fault) != c->hits) {
        fprintf(stderr, "%s: fired %ld times, not %ld\n", name, devsim_fault_hits(fault), c->hits);
        return 1;
    }
    /* Every Set call this program made is in the device's log, with its
       answer and the names of the settings it wrote. */
    devsim_log_query q = {.size = sizeof q, .service = "meSTCSetStatus", .kind = "call", .program = me};
    devsim_log_record calls[8];
    long n = devsim_log_select(&q, calls, 8);
    if (n < 0 || (got == ENTMLST_OK &&
                  (n != 1 || calls[0].name_count != 1 || strcmp(calls[0].names[0], "smtp.port") != 0))) {
        fprintf(stderr, "%s: %ld Set calls logged (%s)\n", name, n, devsim_last_error());
        return 1;
    }
    return 0;
}

int main(void) {
    /* The device ENTMLST_DEVICE names (a file, or :memory: for this process alone). */
    if (devsim_open(NULL) != 0) {
        fprintf(stderr, "no device: %s\n", devsim_last_error());
        return 1;
    }
    FILE *comm = fopen("/proc/self/comm", "r");
    if (comm != NULL) {
        if (fscanf(comm, "%15s", me) != 1) me[0] = '\0';
        fclose(comm);
    }
    int failed = 0;
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) failed += check(&cases[i]);
    printf("%d of %zu cases failed\n", failed, sizeof cases / sizeof cases[0]);
    return failed != 0;
}
