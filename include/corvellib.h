/*
 * corvellib.h - public interface of libcorvellib.so.1, the device's access
 * layer for mail settings and for the values of IP and fax jobs.
 *
 * Compiles as C (C11 or later) and as C++.
 *
 * RESULTS AND DIAGNOSTICS
 *   Every function returns a 32-bit result code: ENTMLST_OK (0) on success,
 *   otherwise one of the ENTMLST_ERR_* codes below. Each function's comment
 *   lists the codes it can return and when. Only entMLSTGetSendJobResult
 *   returns other values (1 and the job-link service's own codes).
 *   A function checks its arguments before it calls any service (a recipient
 *   or user number before the record pointer), then stops at its first
 *   failure. Only entMLSTInit goes on after a failure. Nothing a call did
 *   before the failure is undone.
 *   Each failure is also reported as one line of text to the device's monitor
 *   (module ENTMLST_MODULE_ID, class ENTMLST_MSG_ERROR), sent from the
 *   caller's thread before the function returns. Silent cases:
 *   entMLSTGetHostBuffer with a null record, every path of
 *   entMLSTGetSendJobResult, and the "not yet" answer entMLSTSyncMe waits on.
 *   A failed change announcement of a Set function is reported but is not a
 *   failure of the call: the Set still returns ENTMLST_OK. Nothing is sent on
 *   success.
 *
 * RECORDS
 *   Records, destinations and entry arrays belong to the caller. The library
 *   writes into them only during the call and keeps no pointer. Get
 *   functions write into the caller's record; Set functions only read it.
 *   Records are laid out byte for byte as below (checked at compile time).
 *   Multi-byte values are in the device's byte order (big-endian) and are
 *   moved between the device's services and the record as raw bytes: on the
 *   device the uint16_t/uint32_t members read as plain numbers; on a
 *   little-endian host (simulator) read them byte by byte. Members named
 *   reserved_* belong to the record but to no stored value: the library
 *   never reads or writes them. The library moves every field as opaque
 *   bytes; member names give the field's conventional use and carry no
 *   meaning for the library. A record is not cleared before it is filled,
 *   and no text field is terminated by the library.
 *
 * ALIGNMENT
 *   Pass each record as an object of its type, or in storage aligned at
 *   least as the type is (alignof: 1, 2 or 4). The services receive the
 *   address of each field and may store multi-byte values at it as numbers,
 *   and entMLSTGetIpJob reads ENTMLSTIPJOB.parent_job_id as a native
 *   uint32_t. ENTMLSTSENDRESULT and ENTMLSTHOSTBUFFER are byte arrays only
 *   (alignment 1): send-result entries follow each other every 129 bytes,
 *   and the host buffer's 4-byte size starts at odd offset 1. The void *
 *   destinations of the single-value job functions are passed to the
 *   job-value service as they are: align them as that value needs.
 *
 * OPEN-WIDTH VALUES
 *   The library never passes a length to a service: each service reads or
 *   writes a value with the width it keeps for it. For most fields the width
 *   is fixed by the device and equals the member's size. For these the device
 *   alone decides, and the header gives the width the device (and the
 *   simulator) deliver:
 *     ENTMLSTIPJOB.user_info2 (value 0x00282000)        4 bytes
 *     ENTMLSTPRNJOBEND.detail (value 0x0046001c)        1 byte
 *     ENTMLSTCURSEND.body (value 0x00318001)          256 bytes
 *     ENTMLSTMAILATTACH.resolution (value 0x00360005)   1 byte
 *     ENTMLSTSUBJECT.serial (settings ID 0x85004a90)   32 bytes
 *     ENTMLSTHOSTBUFFER.size (settings ID 0x85002330)   4 bytes
 *     destination of entMLSTGetIpJobBox and
 *       entMLSTGetFaxImgDataPath                       ENTMLST_JOB_PATH_SIZE
 *     destination of entMLSTGetFaxRepAddImg            ENTMLST_FAX_REP_ADD_IMG_SIZE
 *     destination of entMLSTGetIpJobRst                the chosen value's width
 *   When a device's width differs from the header's, the library neither
 *   notices nor corrects it. A wider value read spills past its field: into
 *   the next field, which the next read then overwrites, or, for a record's
 *   last field and for a destination, past the end of the caller's object.
 *   A wider value written takes the bytes that follow the field, and for
 *   the last field bytes beyond the record. A narrower value read leaves the
 *   rest of its field as the caller had it; a narrower value written takes
 *   only its first bytes. entMLSTGetSendJobResult reads each child's name
 *   and status into a 128-byte and a 1-byte buffer of its own, so on a
 *   device whose names or statuses are wider it must not be called. Build
 *   with the header that matches the device.
 *
 * THREADS
 *   The library creates no threads, takes no locks and has no writable data
 *   of its own: nothing survives a call. Every function may be called from
 *   several threads at once, as far as the device's services allow. Two
 *   calls that fill the same record at once are the caller's concern. Two
 *   Set calls on the same group are not serialised: the read, compare and
 *   write of one field are not atomic together, so two writers may
 *   interleave field by field, each writing the fields whose value differed
 *   from what it read. Serialise Set calls yourself if that matters.
 *   entMLSTSyncMe blocks its caller.
 *
 * START-UP
 *   Call entMLSTInit once at start-up, and entMLSTSyncMe to wait for the ID
 *   service if the client needs it. The library records neither: every other
 *   function may be called at any time and is complete in itself. There is
 *   no shutdown function.
 */
#ifndef CORVELLIB_H
#define CORVELLIB_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define ENTMLST_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
extern "C" {
#else
#define ENTMLST_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* ---- Result codes -------------------------------------------------------- */

/* Every code the library names, once, with its value. Expand it to name
 * codes, for example:
 *   #define NAME_OF(name, value) case value: return #name;
 *   switch (code) { ENTMLST_RESULT_MAP(NAME_OF) default: return "?"; }
 * The #defines below are the same codes; the checks after them keep the two
 * in step and fail the build when two codes share a value or a name. */
#define ENTMLST_RESULT_MAP(XX)                                                                               \
    XX(ENTMLST_OK, 0x00000000u)                                                                              \
    XX(ENTMLST_ERR_PARAM, 0x70020001u)                                                                       \
    XX(ENTMLST_ERR_NOMEM, 0x70020002u)                                                                       \
    XX(ENTMLST_ERR_JOB_GET, 0x70020003u)                                                                     \
    XX(ENTMLST_ERR_JOB_SET, 0x70020004u)                                                                     \
    XX(ENTMLST_ERR_STATUS_GET, 0x70020005u)                                                                  \
    XX(ENTMLST_ERR_STATUS_SET, 0x70020006u)                                                                  \
    XX(ENTMLST_ERR_NOTIFY, 0x70020007u)                                                                      \
    XX(ENTMLST_ERR_SCHEDULE, 0x70020008u)                                                                    \
    XX(ENTMLST_ERR_PARENT_LINK, 0x70020009u)                                                                 \
    XX(ENTMLST_ERR_CHILD_LINK, 0x7002000au)                                                                  \
    XX(ENTMLST_ERR_INIT_DEFAULT, 0x7002000cu)                                                                \
    XX(ENTMLST_ERR_DST_PRODUCT, 0x7002000du)                                                                 \
    XX(ENTMLST_ERR_DST_AREA, 0x7002000eu)                                                                    \
    XX(ENTMLST_ERR_ID_SYNC, 0x7002000fu)

#define ENTMLST_OK 0x00000000u              /* success */
#define ENTMLST_ERR_PARAM 0x70020001u       /* bad argument */
#define ENTMLST_ERR_NOMEM 0x70020002u       /* no work buffer */
#define ENTMLST_ERR_JOB_GET 0x70020003u     /* reading a job value failed */
#define ENTMLST_ERR_JOB_SET 0x70020004u     /* writing a job value failed */
#define ENTMLST_ERR_STATUS_GET 0x70020005u  /* reading a setting failed */
#define ENTMLST_ERR_STATUS_SET 0x70020006u  /* writing a setting failed */
#define ENTMLST_ERR_NOTIFY 0x70020007u      /* start-up notification failed */
#define ENTMLST_ERR_SCHEDULE 0x70020008u    /* start-up schedule notification failed */
#define ENTMLST_ERR_PARENT_LINK 0x70020009u /* parent job not found */
#define ENTMLST_ERR_CHILD_LINK 0x7002000au  /* linked job not found */
/* 0x7002000b is not used. */
#define ENTMLST_ERR_INIT_DEFAULT 0x7002000cu /* ID service set-up failed */
#define ENTMLST_ERR_DST_PRODUCT 0x7002000du  /* ID service set-up failed */
#define ENTMLST_ERR_DST_AREA 0x7002000eu     /* ID service set-up failed */
#define ENTMLST_ERR_ID_SYNC 0x7002000fu      /* ID synchronisation failed */

/* Each #define is its value in the map, an unsigned 32-bit constant. */
#define ENTMLST_RESULT_SAME_(name, value)                                                                    \
    ENTMLST_STATIC_ASSERT((name) == (value) && sizeof(name) == sizeof(value),                                \
                          #name " differs from its ENTMLST_RESULT_MAP entry");
ENTMLST_RESULT_MAP(ENTMLST_RESULT_SAME_)
#undef ENTMLST_RESULT_SAME_
/* Never called: a value (or a name) listed twice in the map is a duplicate
 * case label, which no compiler accepts. */
#define ENTMLST_RESULT_CASE_(name, value) case value:
static inline void entmlst_result_map_distinct_(uint32_t code) {
    switch (code) {
        ENTMLST_RESULT_MAP(ENTMLST_RESULT_CASE_)
    default:
        break;
    }
}
#undef ENTMLST_RESULT_CASE_

/* entMLSTGetSendJobResult only: the link kind is not one it knows. */
#define ENTMLST_SENDRESULT_BAD_KIND 1u

/* ---- Constants passed to the device's services --------------------------- */

#define ENTMLST_MODULE_ID 0x7302u       /* monitor module; writer of stored values */
#define ENTMLST_MSG_ERROR 0x102u        /* class of every diagnostic */
#define ENTMLST_STATUS_AREA 0x04050300u /* area of every settings-store call */
#define ENTMLST_LINK_SELECTOR 12u       /* first argument of every job-link call */

/* Answer of the ID service while it is not yet synchronised. */
#define ENTMLST_ID_SYNC_PENDING 0x5241u
/* entMLSTSyncMe waits this long between two attempts. */
#define ENTMLST_ID_SYNC_POLL_US 500000u

/* ---- Change-mask bits ---------------------------------------------------------
 * A Set function writes a field only when its bit is set in the change mask
 * (and its bytes differ from the stored value). Bits no field carries have
 * no effect. Array fields take the element index, from 0. */

#define ENTMLST_MASK_POP3_RECEIVE 0x00000001u
#define ENTMLST_MASK_POP3_INTERVAL 0x00000002u
#define ENTMLST_MASK_POP3_AUTH 0x00000004u
#define ENTMLST_MASK_POP3_DOMAIN(i) (0x00000008u << (i)) /* i = 0..9 */

#define ENTMLST_MASK_POP3USER_ENABLE 0x00000001u
#define ENTMLST_MASK_POP3USER_SERVER 0x00000002u
#define ENTMLST_MASK_POP3USER_USER 0x00000004u
#define ENTMLST_MASK_POP3USER_PORT 0x00000008u
#define ENTMLST_MASK_POP3USER_AUTH 0x00000010u
#define ENTMLST_MASK_POP3USER_PASSWORD 0x00000020u
#define ENTMLST_MASK_POP3USER_MAILBOX 0x00000040u
#define ENTMLST_MASK_POP3USER_SSL 0x00000080u
#define ENTMLST_MASK_POP3USER_TIMEOUT 0x00000100u
#define ENTMLST_MASK_POP3USER_LEAVE_ON_SERVER 0x00000200u
#define ENTMLST_MASK_POP3USER_APOP 0x00000400u

#define ENTMLST_MASK_SMTP_PROTOCOL 0x00000001u
#define ENTMLST_MASK_SMTP_PORT 0x00000002u
#define ENTMLST_MASK_SMTP_SERVER 0x00000004u
#define ENTMLST_MASK_SMTP_AUTH 0x00000008u
#define ENTMLST_MASK_SMTP_SSL 0x00000010u
#define ENTMLST_MASK_SMTP_POP_BEFORE_SMTP 0x00000020u
#define ENTMLST_MASK_SMTP_USER 0x00000040u
#define ENTMLST_MASK_SMTP_PASSWORD 0x00000080u
#define ENTMLST_MASK_SMTP_SIZE_LIMIT_ON 0x00000100u
#define ENTMLST_MASK_SMTP_SIZE_LIMIT 0x00000200u
#define ENTMLST_MASK_SMTP_FROM 0x00000400u
#define ENTMLST_MASK_SMTP_SIGNATURE 0x00000800u
#define ENTMLST_MASK_SMTP_REPLY_TO 0x00001000u
#define ENTMLST_MASK_SMTP_DOMAIN_FILTER 0x00002000u
#define ENTMLST_MASK_SMTP_DOMAIN(i) (0x00004000u << (i)) /* i = 0..9 */

#define ENTMLST_MASK_SMTPEVENT_ADDRESS 0x00000001u
#define ENTMLST_MASK_SMTPEVENT_NAME 0x00000002u
#define ENTMLST_MASK_SMTPEVENT_EVENT(i) (0x00000004u << (i)) /* i = 0..6 */
#define ENTMLST_MASK_SMTPEVENT_INTERVAL 0x00000200u

#define ENTMLST_MASK_SMTPSCH_ADDRESS 0x00000001u
#define ENTMLST_MASK_SMTPSCH_NAME 0x00000002u
#define ENTMLST_MASK_SMTPSCH_ENABLE 0x00000004u
#define ENTMLST_MASK_SMTPSCH_WEEK 0x00000008u
#define ENTMLST_MASK_SMTPSCH_DAY 0x00000010u
#define ENTMLST_MASK_SMTPSCH_HOUR 0x00000020u
#define ENTMLST_MASK_SMTPSCH_PERIOD 0x00000040u
#define ENTMLST_MASK_SMTPSCH_MINUTE 0x00000080u
#define ENTMLST_MASK_SMTPSCH_REPORT 0x00000100u

#define ENTMLST_MASK_MAINTE_SUBJECT 0x00000001u
#define ENTMLST_MASK_MAINTE_ADDRESS 0x00000002u
#define ENTMLST_MASK_MAINTE_NAME 0x00000004u
#define ENTMLST_MASK_MAINTE_WEEK 0x00000008u
#define ENTMLST_MASK_MAINTE_DAY 0x00000010u
#define ENTMLST_MASK_MAINTE_HOUR 0x00000020u
#define ENTMLST_MASK_MAINTE_PERIOD 0x00000040u
#define ENTMLST_MASK_MAINTE_MINUTE 0x00000080u
#define ENTMLST_MASK_MAINTE_ENABLE 0x00000100u

/* The three last-send groups share one record type but not a bit, so one
 * mask of all three selects the value in each of their Set functions. */
#define ENTMLST_MASK_EVR_LASTSEND 0x1u
#define ENTMLST_MASK_SCR_LASTSEND 0x2u
#define ENTMLST_MASK_MAINTE_LASTSEND 0x4u

/* Send-result link kinds known to entMLSTGetSendJobResult. */
#define ENTMLST_LINK_KIND_FAX 0xc0
#define ENTMLST_LINK_KIND_MAIL 0x20
#define ENTMLST_LINK_KIND_0100 0x100
#define ENTMLST_LINK_KIND_0200 0x200

/*
 * Sizes of the caller destinations of the single-value job functions. The
 * job-value service decides them; these are the widths the device (and the
 * simulator) deliver.
 */
#define ENTMLST_JOB_PATH_SIZE 256u      /* entMLSTGetIpJobBox, entMLSTGetFaxImgDataPath */
#define ENTMLST_FAX_REP_ADD_IMG_SIZE 1u /* entMLSTGetFaxRepAddImg */

/* ---- Setting group records ------------------------------------------------ */

/* POP3 server (one instance). Mask bit of member n in table order: 1 << n. */
typedef struct ENTMLSTPOP3 {
    uint8_t receive; /* 0x000 row 0, announced to the scheduler */
    uint8_t reserved_001;
    uint16_t interval;      /* 0x002 row 1, announced to the scheduler */
    uint8_t auth;           /* 0x004 row 2 */
    uint8_t domain[10][32]; /* 0x005 rows 3..12 */
    uint8_t reserved_145;
} ENTMLSTPOP3;

/* POP3 user (three instances, user number 1..3). */
typedef struct ENTMLSTPOP3USER {
    uint8_t enable;     /* 0x000 row 0 */
    uint8_t server[64]; /* 0x001 row 1 */
    uint8_t user[64];   /* 0x041 row 2 */
    uint8_t reserved_081;
    uint16_t port;           /* 0x082 row 3 */
    uint8_t auth;            /* 0x084 row 4 */
    uint8_t password[64];    /* 0x085 row 5 */
    uint8_t mailbox[64];     /* 0x0c5 row 6 */
    uint8_t ssl;             /* 0x105 row 7 */
    uint16_t timeout;        /* 0x106 row 8 */
    uint8_t leave_on_server; /* 0x108 row 9 */
    uint8_t apop;            /* 0x109 row 10 */
} ENTMLSTPOP3USER;

/* SMTP server (one instance). */
typedef struct ENTMLSTSMTP {
    uint8_t protocol; /* 0x000 row 0, SMTP protocol selector, announced */
    uint8_t reserved_001;
    uint16_t port;           /* 0x002 row 1 */
    uint8_t server[64];      /* 0x004 row 2 */
    uint8_t auth;            /* 0x044 row 3 */
    uint8_t ssl;             /* 0x045 row 4 */
    uint8_t pop_before_smtp; /* 0x046 row 5 */
    uint8_t user[64];        /* 0x047 row 6 */
    uint8_t password[64];    /* 0x087 row 7 */
    uint8_t size_limit_on;   /* 0x0c7 row 8 */
    uint16_t size_limit;     /* 0x0c8 row 9 */
    uint8_t from[128];       /* 0x0ca row 10 */
    uint8_t signature[256];  /* 0x14a row 11 */
    uint8_t reply_to[128];   /* 0x24a row 12 */
    uint8_t domain_filter;   /* 0x2ca row 13 */
    uint8_t domain[10][32];  /* 0x2cb rows 14..23 */
    uint8_t reserved_40b[3];
} ENTMLSTSMTP;

/* Event-report recipient (three instances, recipient 1..3). */
typedef struct ENTMLSTSMTPEVENT {
    uint8_t address[128]; /* 0x000 row 0, shared with ENTMLSTSMTPSCH */
    uint8_t name[256];    /* 0x080 row 1, shared with ENTMLSTSMTPSCH */
    uint8_t event[7];     /* 0x180 rows 2..8 */
    uint8_t reserved_187;
    uint16_t interval; /* 0x188 row 9, announced to the report service */
} ENTMLSTSMTPEVENT;

/* Schedule-report recipient (three instances, recipient 1..3). */
typedef struct ENTMLSTSMTPSCH {
    uint8_t address[128]; /* 0x000 row 0, shared with ENTMLSTSMTPEVENT */
    uint8_t name[256];    /* 0x080 row 1, shared with ENTMLSTSMTPEVENT */
    uint8_t enable;       /* 0x180 row 2 */
    uint8_t week;         /* 0x181 row 3, announced (rows 3..8) */
    uint8_t day;          /* 0x182 row 4 */
    uint8_t hour;         /* 0x183 row 5 */
    uint16_t period;      /* 0x184 row 6 */
    uint8_t minute;       /* 0x186 row 7 */
    uint8_t report;       /* 0x187 row 8 */
} ENTMLSTSMTPSCH;

/* Last-send value: event report and schedule report (per recipient) and
 * maintenance report (single). */
typedef struct ENTMLSTLASTSEND {
    uint32_t time; /* 0x0 */
} ENTMLSTLASTSEND;

/* Maintenance report (one instance). */
typedef struct ENTMLSTMAINTE {
    uint8_t subject[16];  /* 0x000 row 0, shared with ENTMLSTSUBJECT.subject */
    uint8_t address[128]; /* 0x010 row 1 */
    uint8_t name[256];    /* 0x090 row 2 */
    uint8_t week;         /* 0x190 row 3, announced (rows 3..8) */
    uint8_t day;          /* 0x191 row 4 */
    uint8_t hour;         /* 0x192 row 5 */
    uint8_t reserved_193;
    uint16_t period; /* 0x194 row 6 */
    uint8_t minute;  /* 0x196 row 7 */
    uint8_t enable;  /* 0x197 row 8 */
} ENTMLSTMAINTE;

/* Counters (read only): sixteen 4-byte values. */
typedef struct ENTMLSTCOUNTER {
    uint32_t count[16]; /* 0x00..0x3c */
} ENTMLSTCOUNTER;

/* Subject values (read only). The store keeps the last value
 * (settings ID 0x85004a90) 32 bytes wide. */
typedef struct ENTMLSTSUBJECT {
    uint8_t subject[16];     /* 0x00, shared with ENTMLSTMAINTE.subject */
    uint8_t device_name[32]; /* 0x10 */
    uint8_t location[16];    /* 0x30 */
    uint8_t contact[32];     /* 0x40 */
    uint8_t model[16];       /* 0x60 */
    uint8_t serial[32];      /* 0x70 */
} ENTMLSTSUBJECT;

/* Host buffer values (read only). The store keeps the second value
 * (settings ID 0x85002330) 4 bytes wide, at an odd offset. */
typedef struct ENTMLSTHOSTBUFFER {
    uint8_t mode;    /* 0x00 */
    uint8_t size[4]; /* 0x01, big-endian number */
} ENTMLSTHOSTBUFFER;

/* ---- Job records ------------------------------------------------------------ */

/* IP job with two values of its parent (user) job. The job-value service
 * delivers value 0x00282000 4 bytes wide. */
typedef struct ENTMLSTIPJOB {
    uint8_t address[128];   /* 0x000 value 0x00317800 */
    uint8_t subject[256];   /* 0x080 value 0x00318002 */
    uint8_t body[256];      /* 0x180 value 0x00318003 */
    uint8_t kind;           /* 0x280 value 0x0036000b */
    uint8_t attach_mode;    /* 0x281 value 0x00460000 */
    uint8_t attach_format;  /* 0x282 value 0x00460001 */
    uint8_t status;         /* 0x283 value 0x00360044 */
    uint8_t file_name[128]; /* 0x284 value 0x00317000 */
    uint32_t parent_job_id; /* 0x304 written by the job-link service (native) */
    uint8_t user_info1[4];  /* 0x308 value 0x00182000 of the parent job */
    uint8_t user_info2[4];  /* 0x30c value 0x00282000 of the parent job */
} ENTMLSTIPJOB;

/* One entry of entMLSTGetSendJobResult: 129 bytes, no padding, so entry i
 * starts at byte 129 * i of the array. */
typedef struct ENTMLSTSENDRESULT {
    uint8_t name[128]; /* 0x00 zero-filled; not terminated when full */
    uint8_t status;    /* 0x80 */
} ENTMLSTSENDRESULT;

/* Print job end. Value 0x0046001c is 1 byte wide. */
typedef struct ENTMLSTPRNJOBEND {
    uint8_t result; /* 0x00 value 0x00460022 */
    uint8_t reason; /* 0x01 value 0x00460024 */
    uint8_t detail; /* 0x02 value 0x0046001c */
} ENTMLSTPRNJOBEND;

/* Current send. Value 0x00318001 is 256 bytes wide. */
typedef struct ENTMLSTCURSEND {
    uint8_t address[128]; /* 0x000 value 0x00617800 */
    uint8_t sender[128];  /* 0x080 value 0x00417000 */
    uint8_t subject[256]; /* 0x100 value 0x00318000 */
    uint8_t body[256];    /* 0x200 value 0x00318001 */
} ENTMLSTCURSEND;

/* Mail attachment (written to the job, never changed by the library).
 * Value 0x00360005 is 1 byte wide. */
typedef struct ENTMLSTMAILATTACH {
    uint8_t attach_mode;   /* 0x00 value 0x00460000 */
    uint8_t attach_format; /* 0x01 value 0x00460001 */
    uint8_t resolution;    /* 0x02 value 0x00360005 */
} ENTMLSTMAILATTACH;

/* ---- Layout checks ----------------------------------------------------------- */

#define ENTMLST_CHECK_AT(type, member, off)                                                                  \
    ENTMLST_STATIC_ASSERT(offsetof(type, member) == (off), #type "." #member " offset")
#define ENTMLST_CHECK_SIZE(type, size) ENTMLST_STATIC_ASSERT(sizeof(type) == (size), #type " size")

ENTMLST_CHECK_AT(ENTMLSTPOP3, receive, 0x000);
ENTMLST_CHECK_AT(ENTMLSTPOP3, interval, 0x002);
ENTMLST_CHECK_AT(ENTMLSTPOP3, auth, 0x004);
ENTMLST_CHECK_AT(ENTMLSTPOP3, domain, 0x005);
ENTMLST_CHECK_AT(ENTMLSTPOP3, reserved_145, 0x145);
ENTMLST_CHECK_SIZE(ENTMLSTPOP3, 326);

ENTMLST_CHECK_AT(ENTMLSTPOP3USER, enable, 0x000);
ENTMLST_CHECK_AT(ENTMLSTPOP3USER, server, 0x001);
ENTMLST_CHECK_AT(ENTMLSTPOP3USER, user, 0x041);
ENTMLST_CHECK_AT(ENTMLSTPOP3USER, port, 0x082);
ENTMLST_CHECK_AT(ENTMLSTPOP3USER, auth, 0x084);
ENTMLST_CHECK_AT(ENTMLSTPOP3USER, password, 0x085);
ENTMLST_CHECK_AT(ENTMLSTPOP3USER, mailbox, 0x0c5);
ENTMLST_CHECK_AT(ENTMLSTPOP3USER, ssl, 0x105);
ENTMLST_CHECK_AT(ENTMLSTPOP3USER, timeout, 0x106);
ENTMLST_CHECK_AT(ENTMLSTPOP3USER, leave_on_server, 0x108);
ENTMLST_CHECK_AT(ENTMLSTPOP3USER, apop, 0x109);
ENTMLST_CHECK_SIZE(ENTMLSTPOP3USER, 266);

ENTMLST_CHECK_AT(ENTMLSTSMTP, protocol, 0x000);
ENTMLST_CHECK_AT(ENTMLSTSMTP, port, 0x002);
ENTMLST_CHECK_AT(ENTMLSTSMTP, server, 0x004);
ENTMLST_CHECK_AT(ENTMLSTSMTP, auth, 0x044);
ENTMLST_CHECK_AT(ENTMLSTSMTP, ssl, 0x045);
ENTMLST_CHECK_AT(ENTMLSTSMTP, pop_before_smtp, 0x046);
ENTMLST_CHECK_AT(ENTMLSTSMTP, user, 0x047);
ENTMLST_CHECK_AT(ENTMLSTSMTP, password, 0x087);
ENTMLST_CHECK_AT(ENTMLSTSMTP, size_limit_on, 0x0c7);
ENTMLST_CHECK_AT(ENTMLSTSMTP, size_limit, 0x0c8);
ENTMLST_CHECK_AT(ENTMLSTSMTP, from, 0x0ca);
ENTMLST_CHECK_AT(ENTMLSTSMTP, signature, 0x14a);
ENTMLST_CHECK_AT(ENTMLSTSMTP, reply_to, 0x24a);
ENTMLST_CHECK_AT(ENTMLSTSMTP, domain_filter, 0x2ca);
ENTMLST_CHECK_AT(ENTMLSTSMTP, domain, 0x2cb);
ENTMLST_CHECK_AT(ENTMLSTSMTP, reserved_40b, 0x40b);
ENTMLST_CHECK_SIZE(ENTMLSTSMTP, 1038);

ENTMLST_CHECK_AT(ENTMLSTSMTPEVENT, address, 0x000);
ENTMLST_CHECK_AT(ENTMLSTSMTPEVENT, name, 0x080);
ENTMLST_CHECK_AT(ENTMLSTSMTPEVENT, event, 0x180);
ENTMLST_CHECK_AT(ENTMLSTSMTPEVENT, reserved_187, 0x187);
ENTMLST_CHECK_AT(ENTMLSTSMTPEVENT, interval, 0x188);
ENTMLST_CHECK_SIZE(ENTMLSTSMTPEVENT, 394);

ENTMLST_CHECK_AT(ENTMLSTSMTPSCH, address, 0x000);
ENTMLST_CHECK_AT(ENTMLSTSMTPSCH, name, 0x080);
ENTMLST_CHECK_AT(ENTMLSTSMTPSCH, enable, 0x180);
ENTMLST_CHECK_AT(ENTMLSTSMTPSCH, week, 0x181);
ENTMLST_CHECK_AT(ENTMLSTSMTPSCH, day, 0x182);
ENTMLST_CHECK_AT(ENTMLSTSMTPSCH, hour, 0x183);
ENTMLST_CHECK_AT(ENTMLSTSMTPSCH, period, 0x184);
ENTMLST_CHECK_AT(ENTMLSTSMTPSCH, minute, 0x186);
ENTMLST_CHECK_AT(ENTMLSTSMTPSCH, report, 0x187);
ENTMLST_CHECK_SIZE(ENTMLSTSMTPSCH, 392);

ENTMLST_CHECK_AT(ENTMLSTLASTSEND, time, 0x0);
ENTMLST_CHECK_SIZE(ENTMLSTLASTSEND, 4);

ENTMLST_CHECK_AT(ENTMLSTMAINTE, subject, 0x000);
ENTMLST_CHECK_AT(ENTMLSTMAINTE, address, 0x010);
ENTMLST_CHECK_AT(ENTMLSTMAINTE, name, 0x090);
ENTMLST_CHECK_AT(ENTMLSTMAINTE, week, 0x190);
ENTMLST_CHECK_AT(ENTMLSTMAINTE, day, 0x191);
ENTMLST_CHECK_AT(ENTMLSTMAINTE, hour, 0x192);
ENTMLST_CHECK_AT(ENTMLSTMAINTE, reserved_193, 0x193);
ENTMLST_CHECK_AT(ENTMLSTMAINTE, period, 0x194);
ENTMLST_CHECK_AT(ENTMLSTMAINTE, minute, 0x196);
ENTMLST_CHECK_AT(ENTMLSTMAINTE, enable, 0x197);
ENTMLST_CHECK_SIZE(ENTMLSTMAINTE, 408);

ENTMLST_CHECK_AT(ENTMLSTCOUNTER, count, 0x00);
ENTMLST_CHECK_SIZE(ENTMLSTCOUNTER, 64);

ENTMLST_CHECK_AT(ENTMLSTSUBJECT, subject, 0x00);
ENTMLST_CHECK_AT(ENTMLSTSUBJECT, device_name, 0x10);
ENTMLST_CHECK_AT(ENTMLSTSUBJECT, location, 0x30);
ENTMLST_CHECK_AT(ENTMLSTSUBJECT, contact, 0x40);
ENTMLST_CHECK_AT(ENTMLSTSUBJECT, model, 0x60);
ENTMLST_CHECK_AT(ENTMLSTSUBJECT, serial, 0x70);
ENTMLST_CHECK_SIZE(ENTMLSTSUBJECT, 0x90);

ENTMLST_CHECK_AT(ENTMLSTHOSTBUFFER, mode, 0x00);
ENTMLST_CHECK_AT(ENTMLSTHOSTBUFFER, size, 0x01);
ENTMLST_CHECK_SIZE(ENTMLSTHOSTBUFFER, 5);

ENTMLST_CHECK_AT(ENTMLSTIPJOB, address, 0x000);
ENTMLST_CHECK_AT(ENTMLSTIPJOB, subject, 0x080);
ENTMLST_CHECK_AT(ENTMLSTIPJOB, body, 0x180);
ENTMLST_CHECK_AT(ENTMLSTIPJOB, kind, 0x280);
ENTMLST_CHECK_AT(ENTMLSTIPJOB, attach_mode, 0x281);
ENTMLST_CHECK_AT(ENTMLSTIPJOB, attach_format, 0x282);
ENTMLST_CHECK_AT(ENTMLSTIPJOB, status, 0x283);
ENTMLST_CHECK_AT(ENTMLSTIPJOB, file_name, 0x284);
ENTMLST_CHECK_AT(ENTMLSTIPJOB, parent_job_id, 0x304);
ENTMLST_CHECK_AT(ENTMLSTIPJOB, user_info1, 0x308);
ENTMLST_CHECK_AT(ENTMLSTIPJOB, user_info2, 0x30c);
ENTMLST_CHECK_SIZE(ENTMLSTIPJOB, 0x310);

ENTMLST_CHECK_AT(ENTMLSTSENDRESULT, name, 0x00);
ENTMLST_CHECK_AT(ENTMLSTSENDRESULT, status, 0x80);
ENTMLST_CHECK_SIZE(ENTMLSTSENDRESULT, 129);

ENTMLST_CHECK_AT(ENTMLSTPRNJOBEND, result, 0x00);
ENTMLST_CHECK_AT(ENTMLSTPRNJOBEND, reason, 0x01);
ENTMLST_CHECK_AT(ENTMLSTPRNJOBEND, detail, 0x02);
ENTMLST_CHECK_SIZE(ENTMLSTPRNJOBEND, 3);

ENTMLST_CHECK_AT(ENTMLSTCURSEND, address, 0x000);
ENTMLST_CHECK_AT(ENTMLSTCURSEND, sender, 0x080);
ENTMLST_CHECK_AT(ENTMLSTCURSEND, subject, 0x100);
ENTMLST_CHECK_AT(ENTMLSTCURSEND, body, 0x200);
ENTMLST_CHECK_SIZE(ENTMLSTCURSEND, 0x300);

ENTMLST_CHECK_AT(ENTMLSTMAILATTACH, attach_mode, 0x00);
ENTMLST_CHECK_AT(ENTMLSTMAILATTACH, attach_format, 0x01);
ENTMLST_CHECK_AT(ENTMLSTMAILATTACH, resolution, 0x02);
ENTMLST_CHECK_SIZE(ENTMLSTMAILATTACH, 3);

/* ---- Start-up ------------------------------------------------------------------ */

/*
 * entMLSTInit - set up the ID service for this client and send every start-up
 * announcement once.
 *   dst_area: destination area, passed to the ID service unchanged.
 * Makes 13 service calls, always all of them, in this order: ID service
 * default set-up, destination product, destination area (dst_area); reads the
 * stored SMTP protocol selector (ENTMLSTSMTP.protocol) and announces it (0 if
 * the read failed before the store wrote it); the event-report time and the
 * schedule-report time of recipients 1, 2 and 3; the maintenance-report time;
 * the mail schedule. Each failing call is reported on the monitor and its code
 * is kept; a later failure replaces an earlier one, so the code returned is
 * that of the LAST failing call. Returns:
 *   ENTMLST_OK                nothing failed;
 *   ENTMLST_ERR_INIT_DEFAULT  the default set-up failed (and nothing later);
 *   ENTMLST_ERR_DST_PRODUCT   the destination product failed (and nothing later);
 *   ENTMLST_ERR_DST_AREA      the destination area failed (and nothing later);
 *   ENTMLST_ERR_NOTIFY        the protocol read or one of the eight report
 *                             announcements failed, the mail schedule did not;
 *   ENTMLST_ERR_SCHEDULE      the mail schedule announcement failed, whatever
 *                             failed before.
 * Takes no record and never returns ENTMLST_ERR_PARAM.
 */
uint32_t entMLSTInit(uint32_t dst_area);

/*
 * entMLSTSyncMe - wait until the ID service is synchronised.
 * Asks the ID service; while it answers ENTMLST_ID_SYNC_PENDING, sleeps
 * ENTMLST_ID_SYNC_POLL_US microseconds and asks again, with no time limit.
 * The waiting is not reported. Returns:
 *   ENTMLST_OK           the service answered 0;
 *   ENTMLST_ERR_ID_SYNC  it answered anything else (reported with the answer).
 */
uint32_t entMLSTSyncMe(void);

/* ---- Setting groups --------------------------------------------------------------
 * Each Get fills the whole record from the settings store, field by field in
 * the order of the members. Each Set writes a field only when its
 * change-mask bit is set in change_mask AND its bytes differ from the stored
 * value; each selected field is read from the store, compared and, if
 * different, written, in member order. change_mask 0 writes nothing (the
 * work buffer is still taken, so ENTMLST_ERR_NOMEM remains possible).
 * Fields marked "announced" in the record make the group's announcement due
 * when actually written (selected and changed); it is made once, after the
 * last field, and a failure of it is reported on the monitor while the Set
 * still returns ENTMLST_OK.
 * A Set takes one work buffer of the record's size from memory partition 0
 * and frees it on every path.
 * On a failure a Get leaves the earlier fields filled and the later ones as
 * the caller had them; a Set stops at the first failing field, leaves the
 * changed fields before it written (nothing is undone) and makes no
 * announcement.
 * recipient / user_no: 1, 2 or 3, checked before the record pointer.
 *
 * Codes, the same for every group:
 *   ENTMLST_ERR_PARAM       recipient/user number not 1..3 (per-recipient
 *                           groups), else a null record; nothing was read,
 *                           written or allocated;
 *   ENTMLST_ERR_NOMEM       (Set) no work buffer; the store is untouched;
 *   ENTMLST_ERR_STATUS_GET  a store read failed (in a Set: reading the
 *                           stored value of a selected field);
 *   ENTMLST_ERR_STATUS_SET  (Set) a store write failed.
 */

/*
 * entMLSTGetPop3 - read the POP3 server settings.
 * Returns ENTMLST_OK, ENTMLST_ERR_PARAM (rec null) or ENTMLST_ERR_STATUS_GET.
 */
uint32_t entMLSTGetPop3(ENTMLSTPOP3 *rec);

/*
 * entMLSTSetPop3 - write the changed POP3 server settings (ENTMLST_MASK_POP3_*).
 * Writing receive or interval announces the mail schedule to the scheduler.
 * Returns ENTMLST_OK (also when the announcement failed), ENTMLST_ERR_PARAM
 * (rec null), ENTMLST_ERR_NOMEM, ENTMLST_ERR_STATUS_GET or
 * ENTMLST_ERR_STATUS_SET; on an error the fields before the failing one stay
 * written.
 */
uint32_t entMLSTSetPop3(uint32_t change_mask, const ENTMLSTPOP3 *rec);

/*
 * entMLSTGetPop3User - read the settings of POP3 user user_no (1..3).
 * Returns ENTMLST_OK, ENTMLST_ERR_PARAM (user_no not 1..3, checked first; or
 * rec null) or ENTMLST_ERR_STATUS_GET.
 */
uint32_t entMLSTGetPop3User(uint32_t user_no, ENTMLSTPOP3USER *rec);

/*
 * entMLSTSetPop3User - write the changed settings of POP3 user user_no
 * (ENTMLST_MASK_POP3USER_*). Announces nothing.
 * Returns ENTMLST_OK, ENTMLST_ERR_PARAM (user_no not 1..3, checked first; or
 * rec null), ENTMLST_ERR_NOMEM, ENTMLST_ERR_STATUS_GET or
 * ENTMLST_ERR_STATUS_SET; on an error the fields before the failing one stay
 * written.
 */
uint32_t entMLSTSetPop3User(uint32_t change_mask, uint32_t user_no, const ENTMLSTPOP3USER *rec);

/*
 * entMLSTGetSmtp - read the SMTP server settings.
 * Returns ENTMLST_OK, ENTMLST_ERR_PARAM (rec null) or ENTMLST_ERR_STATUS_GET.
 */
uint32_t entMLSTGetSmtp(ENTMLSTSMTP *rec);

/*
 * entMLSTSetSmtp - write the changed SMTP server settings (ENTMLST_MASK_SMTP_*).
 * Writing protocol announces the new protocol byte (zero-extended) to the
 * report service.
 * Returns ENTMLST_OK (also when the announcement failed), ENTMLST_ERR_PARAM
 * (rec null), ENTMLST_ERR_NOMEM, ENTMLST_ERR_STATUS_GET or
 * ENTMLST_ERR_STATUS_SET; on an error the fields before the failing one stay
 * written.
 */
uint32_t entMLSTSetSmtp(uint32_t change_mask, const ENTMLSTSMTP *rec);

/*
 * entMLSTGetSmtpEvent - read the event-report settings of recipient 1..3.
 * Returns ENTMLST_OK, ENTMLST_ERR_PARAM (recipient not 1..3, checked first; or
 * rec null) or ENTMLST_ERR_STATUS_GET.
 */
uint32_t entMLSTGetSmtpEvent(uint32_t recipient, ENTMLSTSMTPEVENT *rec);

/*
 * entMLSTSetSmtpEvent - write the changed event-report settings of recipient
 * 1..3 (ENTMLST_MASK_SMTPEVENT_*). address and name are the same stored values
 * as in ENTMLSTSMTPSCH. Writing interval announces the recipient's
 * event-report time to the report service.
 * Returns ENTMLST_OK (also when the announcement failed), ENTMLST_ERR_PARAM
 * (recipient not 1..3, checked first; or rec null), ENTMLST_ERR_NOMEM,
 * ENTMLST_ERR_STATUS_GET or ENTMLST_ERR_STATUS_SET; on an error the fields
 * before the failing one stay written.
 */
uint32_t entMLSTSetSmtpEvent(uint32_t change_mask, uint32_t recipient, const ENTMLSTSMTPEVENT *rec);

/*
 * entMLSTGetSmtpSch - read the schedule-report settings of recipient 1..3.
 * Returns ENTMLST_OK, ENTMLST_ERR_PARAM (recipient not 1..3, checked first; or
 * rec null) or ENTMLST_ERR_STATUS_GET.
 */
uint32_t entMLSTGetSmtpSch(uint32_t recipient, ENTMLSTSMTPSCH *rec);

/*
 * entMLSTSetSmtpSch - write the changed schedule-report settings of recipient
 * 1..3 (ENTMLST_MASK_SMTPSCH_*). address and name are the same stored values
 * as in ENTMLSTSMTPEVENT. Writing any of week, day, hour, period, minute or
 * report announces the recipient's schedule-report time to the report
 * service.
 * Returns ENTMLST_OK (also when the announcement failed), ENTMLST_ERR_PARAM
 * (recipient not 1..3, checked first; or rec null), ENTMLST_ERR_NOMEM,
 * ENTMLST_ERR_STATUS_GET or ENTMLST_ERR_STATUS_SET; on an error the fields
 * before the failing one stay written.
 */
uint32_t entMLSTSetSmtpSch(uint32_t change_mask, uint32_t recipient, const ENTMLSTSMTPSCH *rec);

/*
 * entMLSTGetEvrLastSend - read the last-send time of event-report recipient
 * 1..3.
 * Returns ENTMLST_OK, ENTMLST_ERR_PARAM (recipient not 1..3, checked first; or
 * rec null) or ENTMLST_ERR_STATUS_GET.
 */
uint32_t entMLSTGetEvrLastSend(uint32_t recipient, ENTMLSTLASTSEND *rec);

/*
 * entMLSTSetEvrLastSend - write the last-send time of event-report recipient
 * 1..3 if ENTMLST_MASK_EVR_LASTSEND is set and it differs. Announces nothing.
 * Returns ENTMLST_OK, ENTMLST_ERR_PARAM (recipient not 1..3, checked first; or
 * rec null), ENTMLST_ERR_NOMEM, ENTMLST_ERR_STATUS_GET or
 * ENTMLST_ERR_STATUS_SET.
 */
uint32_t entMLSTSetEvrLastSend(uint32_t change_mask, uint32_t recipient, const ENTMLSTLASTSEND *rec);

/*
 * entMLSTGetScrLastSend - read the last-send time of schedule-report
 * recipient 1..3.
 * Returns ENTMLST_OK, ENTMLST_ERR_PARAM (recipient not 1..3, checked first; or
 * rec null) or ENTMLST_ERR_STATUS_GET.
 */
uint32_t entMLSTGetScrLastSend(uint32_t recipient, ENTMLSTLASTSEND *rec);

/*
 * entMLSTSetScrLastSend - write the last-send time of schedule-report
 * recipient 1..3 if ENTMLST_MASK_SCR_LASTSEND is set and it differs.
 * Announces nothing.
 * Returns ENTMLST_OK, ENTMLST_ERR_PARAM (recipient not 1..3, checked first; or
 * rec null), ENTMLST_ERR_NOMEM, ENTMLST_ERR_STATUS_GET or
 * ENTMLST_ERR_STATUS_SET.
 */
uint32_t entMLSTSetScrLastSend(uint32_t change_mask, uint32_t recipient, const ENTMLSTLASTSEND *rec);

/*
 * entMLSTGetMainteLastSend - read the last-send time of the maintenance report.
 * Returns ENTMLST_OK, ENTMLST_ERR_PARAM (rec null) or ENTMLST_ERR_STATUS_GET.
 */
uint32_t entMLSTGetMainteLastSend(ENTMLSTLASTSEND *rec);

/*
 * entMLSTSetMainteLastSend - write the last-send time of the maintenance
 * report if ENTMLST_MASK_MAINTE_LASTSEND is set and it differs. Announces
 * nothing.
 * Returns ENTMLST_OK, ENTMLST_ERR_PARAM (rec null), ENTMLST_ERR_NOMEM,
 * ENTMLST_ERR_STATUS_GET or ENTMLST_ERR_STATUS_SET.
 */
uint32_t entMLSTSetMainteLastSend(uint32_t change_mask, const ENTMLSTLASTSEND *rec);

/*
 * entMLSTGetMainte - read the maintenance report settings.
 * Returns ENTMLST_OK, ENTMLST_ERR_PARAM (rec null) or ENTMLST_ERR_STATUS_GET.
 */
uint32_t entMLSTGetMainte(ENTMLSTMAINTE *rec);

/*
 * entMLSTSetMainte - write the changed maintenance report settings
 * (ENTMLST_MASK_MAINTE_*). subject is the same stored value as
 * ENTMLSTSUBJECT.subject. Writing any of week, day, hour, period, minute or
 * enable announces the maintenance-report time to the report service.
 * Returns ENTMLST_OK (also when the announcement failed), ENTMLST_ERR_PARAM
 * (rec null), ENTMLST_ERR_NOMEM, ENTMLST_ERR_STATUS_GET or
 * ENTMLST_ERR_STATUS_SET; on an error the fields before the failing one stay
 * written.
 */
uint32_t entMLSTSetMainte(uint32_t change_mask, const ENTMLSTMAINTE *rec);

/*
 * entMLSTCounter - read the sixteen counters (read only, despite the name
 * without Get).
 * Returns ENTMLST_OK, ENTMLST_ERR_PARAM (rec null) or ENTMLST_ERR_STATUS_GET.
 */
uint32_t entMLSTCounter(ENTMLSTCOUNTER *rec);

/*
 * entMLSTGetSubject - read the subject values (read only).
 * Returns ENTMLST_OK, ENTMLST_ERR_PARAM (rec null) or ENTMLST_ERR_STATUS_GET.
 */
uint32_t entMLSTGetSubject(ENTMLSTSUBJECT *rec);

/*
 * entMLSTGetHostBuffer - read the host buffer values (read only).
 * Returns ENTMLST_OK, ENTMLST_ERR_PARAM (rec null: the one argument error the
 * library does not report on the monitor) or ENTMLST_ERR_STATUS_GET.
 */
uint32_t entMLSTGetHostBuffer(ENTMLSTHOSTBUFFER *rec);

/* ---- Job information -------------------------------------------------------------
 * Job IDs and value IDs go to the job services unchanged; the library tests
 * neither (a job ID of 0 is the services' to refuse). Values are read in
 * member order and the call stops at the first failure, leaving the earlier
 * fields filled and the later ones as the caller had them. A null record or
 * destination is refused before any service is called. */

/*
 * entMLSTGetIpJob - read eight values of an IP job, the ID of its parent
 * (user) job, and two values of that parent job.
 * The parent's values are read with the ID the job-link service wrote into
 * rec->parent_job_id. Returns:
 *   ENTMLST_OK               all read;
 *   ENTMLST_ERR_PARAM        rec null;
 *   ENTMLST_ERR_JOB_GET      a value of the IP job or of the parent failed;
 *   ENTMLST_ERR_PARENT_LINK  the parent job was not found (its two values
 *                            are then not touched).
 */
uint32_t entMLSTGetIpJob(uint32_t ip_job_id, ENTMLSTIPJOB *rec);

/*
 * entMLSTGetIpJobRst - read the value value_id of a job into dst.
 * dst must hold the value as the job-value service delivers it. Returns
 * ENTMLST_OK, ENTMLST_ERR_PARAM (dst null) or ENTMLST_ERR_JOB_GET.
 */
uint32_t entMLSTGetIpJobRst(uint32_t job_id, uint32_t value_id, void *dst);

/*
 * entMLSTGetIpJobBox - read a job's box path (value 0x00d17000,
 * ENTMLST_JOB_PATH_SIZE bytes) into dst. Returns ENTMLST_OK,
 * ENTMLST_ERR_PARAM (dst null) or ENTMLST_ERR_JOB_GET.
 */
uint32_t entMLSTGetIpJobBox(uint32_t job_id, void *dst);

/*
 * entMLSTGetFaxRepAddImg - read a job's fax report image value (value ID
 * 0x0036000e, ENTMLST_FAX_REP_ADD_IMG_SIZE bytes) into dst. Returns
 * ENTMLST_OK, ENTMLST_ERR_PARAM (dst null) or ENTMLST_ERR_JOB_GET.
 */
uint32_t entMLSTGetFaxRepAddImg(uint32_t job_id, void *dst);

/*
 * entMLSTGetFaxImgDataPath - read the image data path (value 0x00d17000,
 * ENTMLST_JOB_PATH_SIZE bytes) of the job's linked fax job (link kind 0x1000,
 * index 0) into dst. Returns:
 *   ENTMLST_OK              read;
 *   ENTMLST_ERR_PARAM       dst null;
 *   ENTMLST_ERR_CHILD_LINK  the linked job was not found;
 *   ENTMLST_ERR_JOB_GET     its value could not be read.
 */
uint32_t entMLSTGetFaxImgDataPath(uint32_t job_id, void *dst);

/*
 * entMLSTGetSendJobResult - list every child of the given link kind
 * (ENTMLST_LINK_KIND_*): entries[i] gets child i's name and status.
 * Sends no diagnostic on any path. *count is set to 0 first, then to the
 * number of children once it is known to fit. Each entry is written only
 * when all reads for its child succeeded; a name shorter than 128 bytes is
 * zero-filled, and for ENTMLST_LINK_KIND_FAX an empty name is replaced by
 * the child's value 0x00817001. Returns:
 *   0                            all listed, or capacity < number of children
 *                                (then *count stays 0 and nothing is written);
 *   ENTMLST_SENDRESULT_BAD_KIND  link kind unknown, no service called;
 *   ENTMLST_ERR_PARAM            count or entries null (count, when given,
 *                                is set to 0), no service called;
 *   anything else                the job-link service's own code, unchanged:
 *                                either counting failed (*count is 0, nothing
 *                                written) or reading child i failed (*count
 *                                is the number of children, entries 0..i-1
 *                                are written, the rest untouched).
 * A service code may equal ENTMLST_SENDRESULT_BAD_KIND or any other value:
 * tell them apart by whether the link kind is one of the four.
 */
uint32_t entMLSTGetSendJobResult(uint32_t job_id, int32_t link_kind, int32_t capacity,
                                 ENTMLSTSENDRESULT *entries, int32_t *count);

/*
 * entMLSTGetPrnJobEnd - read a job's print-end result, reason and detail.
 * Returns ENTMLST_OK, ENTMLST_ERR_PARAM (rec null) or ENTMLST_ERR_JOB_GET.
 */
uint32_t entMLSTGetPrnJobEnd(uint32_t job_id, ENTMLSTPRNJOBEND *rec);

/*
 * entMLSTGetCurSend - read a job's current send address, sender, subject and
 * body. Returns ENTMLST_OK, ENTMLST_ERR_PARAM (rec null) or
 * ENTMLST_ERR_JOB_GET.
 */
uint32_t entMLSTGetCurSend(uint32_t job_id, ENTMLSTCURSEND *rec);

/*
 * entMLSTSetMailAttach - write a job's three mail attachment values.
 * Writes all three on every call, in member order: no change mask, no
 * comparison, no announcement. The record is not changed. Returns:
 *   ENTMLST_OK           all written;
 *   ENTMLST_ERR_PARAM    rec null, nothing written;
 *   ENTMLST_ERR_JOB_SET  a write failed; the values before it stay written,
 *                        the later ones are not written.
 */
uint32_t entMLSTSetMailAttach(uint32_t job_id, const ENTMLSTMAILATTACH *rec);

#ifdef __cplusplus
}
#endif

#endif /* CORVELLIB_H */
