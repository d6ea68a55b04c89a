// The diagnostic catalogue: every text the library sends to the monitor,
// and the function names that fill "%s". Each text is written once, here.
//
// The texts live in one constant blob and are named by their offset in it,
// so tables refer to them with a 16-bit Msg and need no relocations.
#pragma once

#include <cstddef>
#include <cstdint>

// clang-format off
#define CORVEL_MESSAGES(X) \
  X(None,              "") \
  /* argument checks */ \
  X(Param,             "<Error>:param is Failed!\n") \
  X(ParamPop3User,     "<Error>:param(pop3user) is Failed!\n") \
  X(ParamPop3UserNo,   "<Error>:param(pop3userno) is Failed!\n") \
  X(ParamSmtpEvent,    "<Error>:param(smtpevent) is Failed!\n") \
  X(ParamSmtpSch,      "<Error>:param(smtpsch) is Failed!\n") \
  X(ParamLastSend,     "<Error>:param(lastsend) is Failed!\n") \
  X(ParamRecipNo,      "<Error>:param(smtprecipino) is Failed!\n") \
  /* settings store */ \
  X(StatusGet,         "<Error>:meSTCGetStatus() is Failed!!!. id=0x%x,ret=0x%lx\n") \
  X(StatusSetLong,     "<Error>:meSTCSetStatus() is Failed!!!. id=0x%x,ret=0x%lx\n") \
  X(StatusSetShort,    "<Error>:meSTCSetStatus() is Failed!.id=0x%x,ret=0x%lx\n") \
  /* work buffer */ \
  X(NomemPop3,         "<Error>[ENT_MLST]:ENTMLSTPOP3(work) enough memory.\n") \
  X(NomemPop3User,     "<Error>[ENT_MLST]:ENTMLSTPOP3USER(work) enough memory.\n") \
  X(NomemSmtp,         "<Error>[ENT_MLST]:ENTMLSTSMTP(work) enough memory.\n") \
  X(NomemSmtpEvent,    "<Error>[ENT_MLST]:ENTMLSTSMTPEVENT(work) enough memory.\n") \
  X(NomemSmtpSch,      "<Error>[ENT_MLST]:ENTMLSTSMTPSCH(work) enough memory.\n") \
  X(NomemLastSend,     "<Error>[ENT_MLST]:ENTMLSTLASTSEND(work) enough memory.\n") \
  X(NomemMainte,       "<Error>[ENT_MLST]:ENTMLSTMAINTE(work) enough memory.\n") \
  /* job values and links */ \
  X(JobGet,            "<Error>:meSVCGetCurrent() is Failed!!!. ipjobid=0x%x,id=0x%x,ret=0x%lx\n") \
  X(JobGetRst,         "<Error>:meSVCGetCurrent() is Failed!!!. ipjobid=0x%x,id=%x,ret=0x%lx\n") \
  X(JobGetUser,        "<Error>:meSVCGetCurrent() is Failed!!!. userjobid=%x,id=%x,ret=0x%lx\n") \
  X(JobGetLink,        "<Error>:meSVCGetCurrent() is Failed!!!. ipjobid=0x%x,linkid=0x%x,ret=0x%lx\n") \
  X(JobSet,            "<Error>:meSVCSetCurrent() is Failed!!!. ipjobid=0x%x,id=0x%x,ret=0x%lx\n") \
  X(ParentLink,        "<Error>:mectSVCGetParentLink() is Failed!!!. id=%x,ret=0x%lx\n") \
  X(ChildLink,         "<Error>:mectSVCGetChildLink() is Failed!!!. ipjobid=0x%x,linkid=0x%x,ret=0x%lx\n") \
  /* notifications and start-up */ \
  X(InitDefault,       "%s():[Error] mectINITDefault() code=0x%lx\n") \
  X(DstProduct,        "%s():[Error] mectSetDstProduct() code=0x%lx\n") \
  X(DstArea,           "%s():[Error] mectSetDstArea() code=0x%lx\n") \
  X(InitStatusGet,     "%s():[Error] meSTCGetStatus() code=0x%lx\n") \
  X(NotifySmtpProto,   "%s():[Error] mscMLRPTChgSMTPProtocol() code=0x%lx\n") \
  X(NotifyEventTime,   "%s():[Error] mscMLRPTChgEventReportTime() code=0x%lx\n") \
  X(NotifySchTime,     "%s():[Error] mscMLRPTChgScheduleReportTime() code=0x%lx\n") \
  X(NotifyMainteTime,  "%s():[Error] mscMLRPTChgMaintenanceReportTime() code=0x%lx\n") \
  X(NotifySchedule00,  "%s():[Error] mscMLPRNChgSchedule(0,0) code=0x%lx\n") \
  X(NotifySchedule0,   "%s():[Error] mscMLPRNChgSchedule(0) code=0x%lx\n") \
  X(IdSync,            "%s():[Error] mectIdSync code=0x%x\n") \
  /* names that fill "%s" */ \
  X(FnInit,            "entMLSTInit") \
  X(FnSetPop3,         "entMLSTSetPop3") \
  X(FnSetSmtp,         "entMLSTSetSmtp") \
  X(FnSetSmtpEvent,    "entMLSTSetSmtpEvent") \
  X(FnSetSmtpSch,      "entMLSTSetSmtpSch") \
  X(FnSetMainte,       "entMLSTSetMainte") \
  X(FnSyncMe,          "entMLSTSyncMe")
// clang-format on

namespace corvel {

struct MessageBlob {
#define CORVEL_MSG_FIELD(name, text) char name[sizeof(text)];
    CORVEL_MESSAGES(CORVEL_MSG_FIELD)
#undef CORVEL_MSG_FIELD
};

// A message is its offset in the blob.
enum class Msg : uint16_t {
#define CORVEL_MSG_ID(name, text) name = offsetof(MessageBlob, name),
    CORVEL_MESSAGES(CORVEL_MSG_ID)
#undef CORVEL_MSG_ID
};
static_assert(sizeof(MessageBlob) <= UINT16_MAX, "message offsets must fit 16 bits");

extern const MessageBlob kMessages;

inline const char *text(Msg m) {
    return reinterpret_cast<const char *>(&kMessages) + static_cast<uint16_t>(m);
}

} // namespace corvel
