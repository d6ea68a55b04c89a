/*
 * corvellib.h - public interface of libcorvellib.so.1, the device's access
 * layer for mail settings and for the values of IP and fax jobs.
 *
 * Every function returns a 32-bit result code (ENTMLST_OK on success).
 * Records are caller-owned and laid out byte for byte as below. Multi-byte
 * values are in the device's byte order (big-endian) and are moved between
 * the device's services and the record as raw bytes: on the device the
 * uint16_t/uint32_t members read as plain numbers; on a little-endian host
 * (simulator) read them byte by byte. Members named reserved_* are bytes that
 * belong to the record but to no stored value: the library never reads or
 * writes them.
 *
 * The library moves every field as opaque bytes; member names give the
 * field's conventional use and carry no meaning for the library.
 *
 * Compiles as C (C11 or later) and as C++.
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

#define ENTMLST_MODULE_ID     0x7302u     /* monitor module; writer of stored values */
#define ENTMLST_MSG_ERROR     0x102u      /* class of every diagnostic */
#define ENTMLST_STATUS_AREA   0x04050300u /* area of every settings-store call */
#define ENTMLST_LINK_SELECTOR 12u         /* first argument of every job-link call */

/* Answer of the ID service while it is not yet synchronised. */
#define ENTMLST_ID_SYNC_PENDING 0x5241u
/* entMLSTSyncMe waits this long between two attempts. */
#define ENTMLST_ID_SYNC_POLL_US 500000u

/* ---- Change-mask bits ---------------------------------------------------------
 * A Set function writes a field only when its bit is set in the change mask
 * (and its bytes differ from the stored value). Bits no field carries have
 * no effect. Array fields take the element index, from 0. */

#define ENTMLST_MASK_POP3_RECEIVE        0x00000001u
#define ENTMLST_MASK_POP3_INTERVAL       0x00000002u
#define ENTMLST_MASK_POP3_AUTH           0x00000004u
#define ENTMLST_MASK_POP3_DOMAIN(i)      (0x00000008u << (i)) /* i = 0..9 */

#define ENTMLST_MASK_POP3USER_ENABLE     0x00000001u
#define ENTMLST_MASK_POP3USER_SERVER     0x00000002u
#define ENTMLST_MASK_POP3USER_USER       0x00000004u
#define ENTMLST_MASK_POP3USER_PORT       0x00000008u
#define ENTMLST_MASK_POP3USER_AUTH       0x00000010u
#define ENTMLST_MASK_POP3USER_PASSWORD   0x00000020u
#define ENTMLST_MASK_POP3USER_MAILBOX    0x00000040u
#define ENTMLST_MASK_POP3USER_SSL        0x00000080u
#define ENTMLST_MASK_POP3USER_TIMEOUT    0x00000100u
#define ENTMLST_MASK_POP3USER_LEAVE_ON_SERVER 0x00000200u
#define ENTMLST_MASK_POP3USER_APOP       0x00000400u

#define ENTMLST_MASK_SMTP_PROTOCOL       0x00000001u
#define ENTMLST_MASK_SMTP_PORT           0x00000002u
#define ENTMLST_MASK_SMTP_SERVER         0x00000004u
#define ENTMLST_MASK_SMTP_AUTH           0x00000008u
#define ENTMLST_MASK_SMTP_SSL            0x00000010u
#define ENTMLST_MASK_SMTP_POP_BEFORE_SMTP 0x00000020u
#define ENTMLST_MASK_SMTP_USER           0x00000040u
#define ENTMLST_MASK_SMTP_PASSWORD       0x00000080u
#define ENTMLST_MASK_SMTP_SIZE_LIMIT_ON  0x00000100u
#define ENTMLST_MASK_SMTP_SIZE_LIMIT     0x00000200u
#define ENTMLST_MASK_SMTP_FROM           0x00000400u
#define ENTMLST_MASK_SMTP_SIGNATURE      0x00000800u
#define ENTMLST_MASK_SMTP_REPLY_TO       0x00001000u
#define ENTMLST_MASK_SMTP_DOMAIN_FILTER  0x00002000u
#define ENTMLST_MASK_SMTP_DOMAIN(i)      (0x00004000u << (i)) /* i = 0..9 */

#define ENTMLST_MASK_SMTPEVENT_ADDRESS   0x00000001u
#define ENTMLST_MASK_SMTPEVENT_NAME      0x00000002u
#define ENTMLST_MASK_SMTPEVENT_EVENT(i)  (0x00000004u << (i)) /* i = 0..6 */
#define ENTMLST_MASK_SMTPEVENT_INTERVAL  0x00000200u

#define ENTMLST_MASK_SMTPSCH_ADDRESS     0x00000001u
#define ENTMLST_MASK_SMTPSCH_NAME        0x00000002u
#define ENTMLST_MASK_SMTPSCH_ENABLE      0x00000004u
#define ENTMLST_MASK_SMTPSCH_WEEK        0x00000008u
#define ENTMLST_MASK_SMTPSCH_DAY         0x00000010u
#define ENTMLST_MASK_SMTPSCH_HOUR        0x00000020u
#define ENTMLST_MASK_SMTPSCH_PERIOD      0x00000040u
#define ENTMLST_MASK_SMTPSCH_MINUTE      0x00000080u
#define ENTMLST_MASK_SMTPSCH_REPORT      0x00000100u

#define ENTMLST_MASK_MAINTE_SUBJECT      0x00000001u
#define ENTMLST_MASK_MAINTE_ADDRESS      0x00000002u
#define ENTMLST_MASK_MAINTE_NAME         0x00000004u
#define ENTMLST_MASK_MAINTE_WEEK         0x00000008u
#define ENTMLST_MASK_MAINTE_DAY          0x00000010u
#define ENTMLST_MASK_MAINTE_HOUR         0x00000020u
#define ENTMLST_MASK_MAINTE_PERIOD       0x00000040u
#define ENTMLST_MASK_MAINTE_MINUTE       0x00000080u
#define ENTMLST_MASK_MAINTE_ENABLE       0x00000100u

/* The three last-send groups share one record type but not a bit, so one
 * mask of all three selects the value in each of their Set functions. */
#define ENTMLST_MASK_EVR_LASTSEND    0x1u
#define ENTMLST_MASK_SCR_LASTSEND    0x2u
#define ENTMLST_MASK_MAINTE_LASTSEND 0x4u

/* Send-result link kinds known to entMLSTGetSendJobResult. */
#define ENTMLST_LINK_KIND_FAX  0xc0
#define ENTMLST_LINK_KIND_MAIL 0x20
#define ENTMLST_LINK_KIND_0100 0x100
#define ENTMLST_LINK_KIND_0200 0x200

/*
 * Sizes of the caller destinations of the single-value job functions. The
 * job-value service decides them; these are the widths the device (and the
 * simulator) deliver.
 */
#define ENTMLST_JOB_PATH_SIZE       256u /* entMLSTGetIpJobBox, entMLSTGetFaxImgDataPath */
#define ENTMLST_FAX_REP_ADD_IMG_SIZE 1u  /* entMLSTGetFaxRepAddImg */

/* ---- Setting group records ------------------------------------------------ */

/* POP3 server (one instance). Mask bit of member n in table order: 1 << n. */
typedef struct ENTMLSTPOP3 {
    uint8_t  receive;         /* 0x000 row 0, announced to the scheduler */
    uint8_t  reserved_001;
    uint16_t interval;        /* 0x002 row 1, announced to the scheduler */
    uint8_t  auth;            /* 0x004 row 2 */
    uint8_t  domain[10][32];  /* 0x005 rows 3..12 */
    uint8_t  reserved_145;
} ENTMLSTPOP3;

/* POP3 user (three instances, user number 1..3). */
typedef struct ENTMLSTPOP3USER {
    uint8_t  enable;          /* 0x000 row 0 */
    uint8_t  server[64];      /* 0x001 row 1 */
    uint8_t  user[64];        /* 0x041 row 2 */
    uint8_t  reserved_081;
    uint16_t port;            /* 0x082 row 3 */
    uint8_t  auth;            /* 0x084 row 4 */
    uint8_t  password[64];    /* 0x085 row 5 */
    uint8_t  mailbox[64];     /* 0x0c5 row 6 */
    uint8_t  ssl;             /* 0x105 row 7 */
    uint16_t timeout;         /* 0x106 row 8 */
    uint8_t  leave_on_server; /* 0x108 row 9 */
    uint8_t  apop;            /* 0x109 row 10 */
} ENTMLSTPOP3USER;

/* SMTP server (one instance). */
typedef struct ENTMLSTSMTP {
    uint8_t  protocol;        /* 0x000 row 0, SMTP protocol selector, announced */
    uint8_t  reserved_001;
    uint16_t port;            /* 0x002 row 1 */
    uint8_t  server[64];      /* 0x004 row 2 */
    uint8_t  auth;            /* 0x044 row 3 */
    uint8_t  ssl;             /* 0x045 row 4 */
    uint8_t  pop_before_smtp; /* 0x046 row 5 */
    uint8_t  user[64];        /* 0x047 row 6 */
    uint8_t  password[64];    /* 0x087 row 7 */
    uint8_t  size_limit_on;   /* 0x0c7 row 8 */
    uint16_t size_limit;      /* 0x0c8 row 9 */
    uint8_t  from[128];       /* 0x0ca row 10 */
    uint8_t  signature[256];  /* 0x14a row 11 */
    uint8_t  reply_to[128];   /* 0x24a row 12 */
    uint8_t  domain_filter;   /* 0x2ca row 13 */
    uint8_t  domain[10][32];  /* 0x2cb rows 14..23 */
    uint8_t  reserved_40b[3];
} ENTMLSTSMTP;

/* Event-report recipient (three instances, recipient 1..3). */
typedef struct ENTMLSTSMTPEVENT {
    uint8_t  address[128];    /* 0x000 row 0, shared with ENTMLSTSMTPSCH */
    uint8_t  name[256];       /* 0x080 row 1, shared with ENTMLSTSMTPSCH */
    uint8_t  event[7];        /* 0x180 rows 2..8 */
    uint8_t  reserved_187;
    uint16_t interval;        /* 0x188 row 9, announced to the report service */
} ENTMLSTSMTPEVENT;

/* Schedule-report recipient (three instances, recipient 1..3). */
typedef struct ENTMLSTSMTPSCH {
    uint8_t  address[128];    /* 0x000 row 0, shared with ENTMLSTSMTPEVENT */
    uint8_t  name[256];       /* 0x080 row 1, shared with ENTMLSTSMTPEVENT */
    uint8_t  enable;          /* 0x180 row 2 */
    uint8_t  week;            /* 0x181 row 3, announced (rows 3..8) */
    uint8_t  day;             /* 0x182 row 4 */
    uint8_t  hour;            /* 0x183 row 5 */
    uint16_t period;          /* 0x184 row 6 */
    uint8_t  minute;          /* 0x186 row 7 */
    uint8_t  report;          /* 0x187 row 8 */
} ENTMLSTSMTPSCH;

/* Last-send value: event report and schedule report (per recipient) and
 * maintenance report (single). */
typedef struct ENTMLSTLASTSEND {
    uint32_t time;            /* 0x0 */
} ENTMLSTLASTSEND;

/* Maintenance report (one instance). */
typedef struct ENTMLSTMAINTE {
    uint8_t  subject[16];     /* 0x000 row 0, shared with ENTMLSTSUBJECT.subject */
    uint8_t  address[128];    /* 0x010 row 1 */
    uint8_t  name[256];       /* 0x090 row 2 */
    uint8_t  week;            /* 0x190 row 3, announced (rows 3..8) */
    uint8_t  day;             /* 0x191 row 4 */
    uint8_t  hour;            /* 0x192 row 5 */
    uint8_t  reserved_193;
    uint16_t period;          /* 0x194 row 6 */
    uint8_t  minute;          /* 0x196 row 7 */
    uint8_t  enable;          /* 0x197 row 8 */
} ENTMLSTMAINTE;

/* Counters (read only): sixteen 4-byte values. */
typedef struct ENTMLSTCOUNTER {
    uint32_t count[16];       /* 0x00..0x3c */
} ENTMLSTCOUNTER;

/* Subject values (read only). The store keeps the last value
 * (settings ID 0x85004a90) 32 bytes wide. */
typedef struct ENTMLSTSUBJECT {
    uint8_t  subject[16];     /* 0x00, shared with ENTMLSTMAINTE.subject */
    uint8_t  device_name[32]; /* 0x10 */
    uint8_t  location[16];    /* 0x30 */
    uint8_t  contact[32];     /* 0x40 */
    uint8_t  model[16];       /* 0x60 */
    uint8_t  serial[32];      /* 0x70 */
} ENTMLSTSUBJECT;

/* Host buffer values (read only). The store keeps the second value
 * (settings ID 0x85002330) 4 bytes wide, at an odd offset. */
typedef struct ENTMLSTHOSTBUFFER {
    uint8_t  mode;            /* 0x00 */
    uint8_t  size[4];         /* 0x01, big-endian number */
} ENTMLSTHOSTBUFFER;

/* ---- Job records ------------------------------------------------------------ */

/* IP job with two values of its parent (user) job. The job-value service
 * delivers value 0x00282000 4 bytes wide. */
typedef struct ENTMLSTIPJOB {
    uint8_t  address[128];    /* 0x000 value 0x00317800 */
    uint8_t  subject[256];    /* 0x080 value 0x00318002 */
    uint8_t  body[256];       /* 0x180 value 0x00318003 */
    uint8_t  kind;            /* 0x280 value 0x0036000b */
    uint8_t  attach_mode;     /* 0x281 value 0x00460000 */
    uint8_t  attach_format;   /* 0x282 value 0x00460001 */
    uint8_t  status;          /* 0x283 value 0x00360044 */
    uint8_t  file_name[128];  /* 0x284 value 0x00317000 */
    uint32_t parent_job_id;   /* 0x304 written by the job-link service (native) */
    uint8_t  user_info1[4];   /* 0x308 value 0x00182000 of the parent job */
    uint8_t  user_info2[4];   /* 0x30c value 0x00282000 of the parent job */
} ENTMLSTIPJOB;

/* One entry of entMLSTGetSendJobResult: 129 bytes, no padding, so entry i
 * starts at byte 129 * i of the array. */
typedef struct ENTMLSTSENDRESULT {
    uint8_t  name[128];       /* 0x00 zero-filled; not terminated when full */
    uint8_t  status;          /* 0x80 */
} ENTMLSTSENDRESULT;

/* Print job end. Value 0x0046001c is 1 byte wide. */
typedef struct ENTMLSTPRNJOBEND {
    uint8_t  result;          /* 0x00 value 0x00460022 */
    uint8_t  reason;          /* 0x01 value 0x00460024 */
    uint8_t  detail;          /* 0x02 value 0x0046001c */
} ENTMLSTPRNJOBEND;

/* Current send. Value 0x00318001 is 256 bytes wide. */
typedef struct ENTMLSTCURSEND {
    uint8_t  address[128];    /* 0x000 value 0x00617800 */
    uint8_t  sender[128];     /* 0x080 value 0x00417000 */
    uint8_t  subject[256];    /* 0x100 value 0x00318000 */
    uint8_t  body[256];       /* 0x200 value 0x00318001 */
} ENTMLSTCURSEND;

/* Mail attachment (written to the job, never changed by the library).
 * Value 0x00360005 is 1 byte wide. */
typedef struct ENTMLSTMAILATTACH {
    uint8_t  attach_mode;     /* 0x00 value 0x00460000 */
    uint8_t  attach_format;   /* 0x01 value 0x00460001 */
    uint8_t  resolution;      /* 0x02 value 0x00360005 */
} ENTMLSTMAILATTACH;

/* ---- Layout checks ----------------------------------------------------------- */

#define ENTMLST_CHECK_AT(type, member, off) \
    ENTMLST_STATIC_ASSERT(offsetof(type, member) == (off), #type "." #member " offset")
#define ENTMLST_CHECK_SIZE(type, size) \
    ENTMLST_STATIC_ASSERT(sizeof(type) == (size), #type " size")

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

/* Sets up the ID service and sends every start-up notification once. Runs all
 * 13 steps; returns 0 or the code of the last step that failed. */
uint32_t entMLSTInit(uint32_t dst_area);
/* Waits until the ID service is synchronised (polls every 0.5 s, no limit). */
uint32_t entMLSTSyncMe(void);

/* ---- Setting groups --------------------------------------------------------------
 * Get: fills the whole record from the settings store.
 * Set: writes each field whose mask bit is set in change_mask and whose bytes
 *      differ from the stored value; announces a change once afterwards.
 * recipient / user_no: 1, 2 or 3, checked before the record pointer. */

uint32_t entMLSTGetPop3(ENTMLSTPOP3 *rec);
uint32_t entMLSTSetPop3(uint32_t change_mask, const ENTMLSTPOP3 *rec);
uint32_t entMLSTGetPop3User(uint32_t user_no, ENTMLSTPOP3USER *rec);
uint32_t entMLSTSetPop3User(uint32_t change_mask, uint32_t user_no, const ENTMLSTPOP3USER *rec);

uint32_t entMLSTGetSmtp(ENTMLSTSMTP *rec);
uint32_t entMLSTSetSmtp(uint32_t change_mask, const ENTMLSTSMTP *rec);

uint32_t entMLSTGetSmtpEvent(uint32_t recipient, ENTMLSTSMTPEVENT *rec);
uint32_t entMLSTSetSmtpEvent(uint32_t change_mask, uint32_t recipient, const ENTMLSTSMTPEVENT *rec);
uint32_t entMLSTGetSmtpSch(uint32_t recipient, ENTMLSTSMTPSCH *rec);
uint32_t entMLSTSetSmtpSch(uint32_t change_mask, uint32_t recipient, const ENTMLSTSMTPSCH *rec);

uint32_t entMLSTGetEvrLastSend(uint32_t recipient, ENTMLSTLASTSEND *rec);
uint32_t entMLSTSetEvrLastSend(uint32_t change_mask, uint32_t recipient, const ENTMLSTLASTSEND *rec);
uint32_t entMLSTGetScrLastSend(uint32_t recipient, ENTMLSTLASTSEND *rec);
uint32_t entMLSTSetScrLastSend(uint32_t change_mask, uint32_t recipient, const ENTMLSTLASTSEND *rec);
uint32_t entMLSTGetMainteLastSend(ENTMLSTLASTSEND *rec);
uint32_t entMLSTSetMainteLastSend(uint32_t change_mask, const ENTMLSTLASTSEND *rec);
uint32_t entMLSTGetMainte(ENTMLSTMAINTE *rec);
uint32_t entMLSTSetMainte(uint32_t change_mask, const ENTMLSTMAINTE *rec);

uint32_t entMLSTCounter(ENTMLSTCOUNTER *rec);
uint32_t entMLSTGetSubject(ENTMLSTSUBJECT *rec);
/* A null record returns ENTMLST_ERR_PARAM without a diagnostic. */
uint32_t entMLSTGetHostBuffer(ENTMLSTHOSTBUFFER *rec);

/* ---- Job information ------------------------------------------------------------- */

uint32_t entMLSTGetIpJob(uint32_t ip_job_id, ENTMLSTIPJOB *rec);
/* dst must hold the value as the job-value service delivers it. */
uint32_t entMLSTGetIpJobRst(uint32_t job_id, uint32_t value_id, void *dst);
uint32_t entMLSTGetIpJobBox(uint32_t job_id, void *dst);     /* ENTMLST_JOB_PATH_SIZE */
uint32_t entMLSTGetFaxRepAddImg(uint32_t job_id, void *dst); /* ENTMLST_FAX_REP_ADD_IMG_SIZE */
uint32_t entMLSTGetFaxImgDataPath(uint32_t job_id, void *dst); /* ENTMLST_JOB_PATH_SIZE */

/*
 * Lists every child of the given link kind: entries[i] gets child i's name and
 * status. Sends no diagnostic. *count is set to 0 first, then to the number of
 * children once it is known to fit. Returns:
 *   0                            all listed, or capacity < number of children
 *                                (then *count stays 0 and nothing is written);
 *   ENTMLST_SENDRESULT_BAD_KIND  link kind unknown, no service called;
 *   ENTMLST_ERR_PARAM            count or entries null (count, when given,
 *                                is set to 0), no service called;
 *   anything else                the job-link service's own code, unchanged.
 */
uint32_t entMLSTGetSendJobResult(uint32_t job_id, int32_t link_kind, int32_t capacity,
                                 ENTMLSTSENDRESULT *entries, int32_t *count);

uint32_t entMLSTGetPrnJobEnd(uint32_t job_id, ENTMLSTPRNJOBEND *rec);
uint32_t entMLSTGetCurSend(uint32_t job_id, ENTMLSTCURSEND *rec);
/* Writes all three values on every call; the record is not changed. */
uint32_t entMLSTSetMailAttach(uint32_t job_id, const ENTMLSTMAILATTACH *rec);

#ifdef __cplusplus
}
#endif

#endif /* CORVELLIB_H */
