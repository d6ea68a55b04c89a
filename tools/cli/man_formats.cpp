// man_formats.cpp - the parts of entmlst(1) that no single command owns: the
// value grammar, the settings document, the log, the fault specification
// and the environment.
#include "cli/help_pages.h"

namespace entmlst {

const char *const kManFormats = R"(.SH VALUES
A field is named after its member in corvellib.h; array members are numbered
from 1 (\fBdomain1\fR..\fBdomain10\fR). A value is one of:
.TP
.I text
UTF\-8, up to the field's width less its terminating NUL.
.TP
.I number
decimal or \fB0x\fR hex; a leading zero is still decimal (\fB010\fR is ten);
stored big\-endian at the field's width, which it must fit.
.TP
.BI hex: bytes
raw bytes as hex pairs, exactly the field's width for a number
(\fBport=hex:024b\fR).
.PP
A field given twice, an unknown field and an empty value are refused before
the device is touched (status 2). Job values take the same grammar, named
\fIRECORD\fB.\fImember\fR (\fBip.address\fR) or by value ID.
Passwords print as \fB********\fR unless \fB\-\-show\-secrets\fR is given,
and an error about one never repeats its value.
.SH SETTINGS DOCUMENT
\fBexport\fR writes, and \fBimport\fR, \fBdiff\fR and \fBrun \-\-state\fR read,
one JSON object:
.PP
.nf
{"format": "corvellib\-settings", "version": 1,
 "smtp": {"server": "mail.example", "port": 25, ...},
 "smtp\-event": [{...}, {...}, {...}],
 "read\-only": {...}}
.fi
.PP
A per\-recipient group is an array of its three recipients. Values are
written as \fBget \-\-json\fR prints them: text, numbers, or \fBhex:\fR for
other bytes. A document may name only some groups and fields; \fB\-\fR reads
it from standard input. The \fBread\-only\fR groups are information, never
written. A password of \fB"********"\fR leaves the stored one alone.
\fBentmlst schema\fR prints the document's JSON Schema.
.PP
On the simulated device the document may hold a top\-level \fBjobs\fR array,
which \fBexport \-\-jobs\fR writes:
.PP
.nf
"jobs": [{"id": 5, "parent": 100, "values": {"ip.address": "to@corp.example"},
          "links": [{"kind": "fax", "id": 6}]}]
.fi
.PP
Values are named and written as \fBjob set\fR takes them; a link kind is a
number (e.g. 0x100) or one of \fBfax\fR, \fBmail\fR, \fB0100\fR, \fB0200\fR
and \fBfax\-image\fR. \fBimport\fR creates or updates the jobs named, after
the settings, and leaves other jobs alone. \fBimport \-\-setup\fR writes the
whole document out of band: not logged, no faults, no notifications.
.SH LOG
Each entry is one line:
.PP
.nf
DATE TIME pid PID PROGRAM KIND SERVICE(ARGS) = RESULT TEXT
.fi
.PP
A settings or value ID among the arguments is followed by its names.
KIND is one of those \fBlog \-\-kind\fR lists: \fBarmed\fR, \fBfault\fR and
\fBcleared\fR are a fault's arming, each of its firings and its clearing,
and \fBdevice\fR a problem of the device file. A text holds whatever bytes a
program sent: a byte that is not part of well\-formed UTF\-8, and every
control character, shows as \fB\\xHH\fR and a backslash as \fB\\\\\fR, so each
entry is one line. \fBlog \-\-json\fR shows the entries as objects (see
\fBlog\fR above).
.SH FAULT SPECIFICATIONS
\fBfault add\fR, \fBrun \-\-fault\fR and \fB\-\-fail\fR take
.PP
.nf
SERVICE[#N]=CODE[,times=N][,match=X][,pid=P][,program=NAME]
              [,write\-first][,probability=P][,seed=S]
.fi
.PP
Only matching calls count: of SERVICE, naming X (a settings, job or value ID,
or a field such as \fBsmtp.port\fR or \fBsmtp\-event.2.name\fR), from
process P, from the program NAME (its first 15 bytes). The Nth matching
call (default the next) and the \fItimes\fR\-1 after it answer CODE;
\fBwrite\-first\fR lets the service do its work first. With a probability,
each matching call fails with P percent until cleared, drawn from seed S.
A field name that is not a field is refused; a program name is not checked,
and a fault that never fires is reported.
.SH TRACES
\fBentmlst run \-\-trace\fR and \fBentmlst log \-\-trace\fR write the service calls of a program as text that is the same in every run of the same single-threaded program, on any machine: one line per call, in the order the device received them,
.PP
.nf
SERVICE(ARGUMENT, ...) = RESULT
SERVICE(ARGUMENT, ...) \-> ANSWER = RESULT
.fi
.PP
An argument is a number in hex; a settings ID is shown by its field names (joined by | where groups share it), a job value ID by its name. Where the call moved a value, NAME=VALUE gives it as get and job show print it (a password as \(dq********\(dq: the log never holds one in clear). A link call's answer follows \->; a monitor line follows the arguments in quotes, escaped as in the log. Pointers, pids, times and log numbers are left out. RESULT is the service's answer in hex. For example:
.PP
.nf
meSTCGetStatus(0x4050300, smtp.port=25) = 0x0
meSTCSetStatus(0x7302, 0x4050300, smtp.port=587) = 0x0
mscMLRPTChgSMTPProtocol(0x0) = 0x0
.fi
)";

const char *const kManEnvironment = R"(.SH ENVIRONMENT
.TP
.B ENTMLST_DEVICE
The simulated device file, or \fB:memory:\fR, for entmlst and every program
linked with libdevsim. Empty is an error.
.TP
.B XDG_DATA_HOME
Without \fBENTMLST_DEVICE\fR, the device is \fB$XDG_DATA_HOME/entmlst/device.db\fR.
.TP
.B HOME
Without either, the device is \fB~/.local/share/entmlst/device.db\fR.
.TP
.B ENTMLST_TRUST_OWNER
\fB1\fR uses a device file, or its companion files, owned by another user
(bind mounts, sudo); otherwise such a file is refused, as another user could
read the passwords set in it.
.TP
.B PATH
\fBrun\fR finds PROGRAM in it when PROGRAM has no slash.
)";

} // namespace entmlst
