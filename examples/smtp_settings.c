/*
 * smtp_settings.c - reads the device's SMTP settings, moves the device to a
 * new server on the submission port and reads them back.
 *
 * Numbers in the records are big-endian, the device's order; reading and
 * writing them byte by byte keeps this program right on any host.
 */
#include <stdio.h>
#include <string.h>

#include "corvellib.h"

static unsigned get_be16(const uint16_t *field) {
    const uint8_t *p = (const uint8_t *)field;
    return (unsigned)p[0] << 8 | p[1];
}

static void put_be16(uint16_t *field, unsigned value) {
    uint8_t *p = (uint8_t *)field;
    p[0] = (uint8_t)(value >> 8);
    p[1] = (uint8_t)value;
}

static void show(const char *when, const ENTMLSTSMTP *smtp) {
    printf("%s: server %.64s port %u from %.128s\n", when, (const char *)smtp->server, get_be16(&smtp->port),
           (const char *)smtp->from);
}

int main(void) {
    ENTMLSTSMTP smtp;
    uint32_t rc = entMLSTGetSmtp(&smtp);
    if (rc != ENTMLST_OK) {
        fprintf(stderr, "entMLSTGetSmtp failed: 0x%08x\n", (unsigned)rc);
        return 1;
    }
    show("before", &smtp);

    /* Edit two fields and select just those. */
    const char server[] = "smtp.corp.example";
    memset(smtp.server, 0, sizeof smtp.server);
    memcpy(smtp.server, server, sizeof server - 1);
    put_be16(&smtp.port, 587);
    rc = entMLSTSetSmtp(ENTMLST_MASK_SMTP_PORT | ENTMLST_MASK_SMTP_SERVER, &smtp);
    if (rc != ENTMLST_OK) {
        fprintf(stderr, "entMLSTSetSmtp failed: 0x%08x\n", (unsigned)rc);
        return 1;
    }

    ENTMLSTSMTP check;
    rc = entMLSTGetSmtp(&check);
    if (rc != ENTMLST_OK) {
        fprintf(stderr, "entMLSTGetSmtp failed: 0x%08x\n", (unsigned)rc);
        return 1;
    }
    show("after", &check);
    if (get_be16(&check.port) != 587 || strcmp((const char *)check.server, server) != 0) {
        fprintf(stderr, "the device did not keep the new settings\n");
        return 1;
    }
    return 0;
}
