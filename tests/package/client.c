/* client.c - a C program built against the installed package: reads the SMTP
 * server settings and rejects a null record, as any caller on the device. */
#include <stdio.h>

#include <corvellib.h>

int main(void) {
    ENTMLSTSMTP smtp;
    uint32_t rc = entMLSTGetSmtp(&smtp);
    if (rc != ENTMLST_OK) {
        printf("entMLSTGetSmtp: 0x%08x\n", (unsigned)rc);
        return 1;
    }
    rc = entMLSTGetHostBuffer(NULL);
    if (rc != ENTMLST_ERR_PARAM) {
        printf("entMLSTGetHostBuffer(NULL): 0x%08x\n", (unsigned)rc);
        return 1;
    }
    printf("client: ok\n");
    return 0;
}
