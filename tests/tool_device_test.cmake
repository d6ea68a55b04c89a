# The device build of entmlst: every command a fresh process over the
# device's services (here the simulator, under the target's emulator), so
# each starts from the device's defaults.
#   cmake -DTOOL=<entmlst> [-DEMULATOR="qemu-ppc -L <sysroot>"] -P tool_device_test.cmake
separate_arguments(emulator UNIX_COMMAND "${EMULATOR}")

# tool(STATUS OUT_REGEX ERR_REGEX args...): runs the tool, checks its exit
# status and that stdout and stderr match; leaves stdout in tool_out.
function(tool status out_regex err_regex)
  execute_process(COMMAND ${emulator} ${TOOL} ${ARGN}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  if(NOT rc EQUAL status OR NOT out MATCHES "${out_regex}" OR NOT err MATCHES "${err_regex}")
    list(JOIN ARGN " " args)
    message(SEND_ERROR "entmlst ${args}: exit ${rc} (want ${status})\n--- stdout:\n${out}--- stderr:\n${err}")
  endif()
  set(tool_out "${out}" PARENT_SCOPE)
endfunction()

set(refused "^entmlst: [^\n]*: not available on the device build\n$")

# Numbers come out of the device's records big-endian (the default port is
# stored as 00 19).
tool(0 "\n  port: +25\n" "^$" get smtp)
# What set wrote is what a Get shows changed; the device's notifications are
# not seen here, so none are claimed.
set(none "\\(none\\)")
tool(0 "written: port\nfailed: ${none}\nnot written: ${none}\nunchanged: ${none}\nresult: ENTMLST_OK" "^$"
     set smtp port=587)
if(tool_out MATCHES "notified:")
  message(SEND_ERROR "set claims notifications:\n${tool_out}")
endif()
tool(0 "written: ${none}\nfailed: ${none}\nnot written: ${none}\nunchanged: port\n" "^$" set smtp port=25)
# The job functions go to the library, which answers for a job it lacks.
tool(1 "result: ENTMLST_ERR_" "^entmlst: the library answered ENTMLST_ERR_[^\n]*\n$" job ip 5)

tool(0 "" "^$" --json get counters)
string(JSON result ERROR_VARIABLE bad GET "${tool_out}" result name)
string(JSON count1 ERROR_VARIABLE bad1 GET "${tool_out}" fields count1)
string(JSON notes ERROR_VARIABLE seen GET "${tool_out}" notifications)
if(bad OR bad1 OR NOT result STREQUAL "ENTMLST_OK" OR NOT count1 MATCHES "^[0-9]+$" OR NOT seen)
  message(SEND_ERROR "--json get counters:\n${tool_out}")
endif()

# Passwords are masked unless asked for.
tool(0 "\n  password: +\"[*]+\"\n" "^$" get smtp)
tool(0 "\n  password: +\"[^*\"]*\"\n" "^$" get smtp --show-secrets)

# Backup and restore need only the library: an export compares equal to the
# device it came from, and an edited one is checked, compared and imported.
tool(0 "^{\n  \"format\": \"corvellib-settings\",\n  \"version\": 1,\n" "^$" export)
set(saved "${CMAKE_CURRENT_BINARY_DIR}/tool_device_test_saved.json")
set(edited "${CMAKE_CURRENT_BINARY_DIR}/tool_device_test_edited.json")
set(exported "${tool_out}")
file(WRITE "${saved}" "${exported}")
string(JSON changed SET "${exported}" smtp port 587)
file(WRITE "${edited}" "${changed}")
# Masked passwords are kept, and compared only with --show-secrets.
set(masked "/pop3user/0/password /pop3user/1/password /pop3user/2/password /smtp/password\n")
tool(0 "^not compared \\(secrets\\): ${masked}$" "^$" diff "${saved}")
tool(1 "^smtp\n  port: 25 -> 587\nnot compared" "^$" diff "${edited}")
tool(0 "^smtp\n  port: 25 -> 587\nkept: ${masked}records:\n.*\n  smtp:\n    written: port\n.*result: ENTMLST_OK" "^$"
     import "${edited}")
string(JSON changed SET "${exported}" smtp port 65536)
file(WRITE "${edited}" "${changed}")
tool(2 "^$" "^entmlst: [^\n]*: /smtp/port: 65536 is out of range 0..65535\n$" import "${edited}")
# Jobs are the simulated device's: a jobs section, --jobs and --setup are refused.
string(JSON changed SET "${exported}" jobs "[{\"id\": 5}]")
file(WRITE "${edited}" "${changed}")
tool(2 "^$" "${refused}" import "${edited}")
tool(0 "\"\\$schema\": \"https://json-schema.org/draft/2020-12/schema\"" "^$" schema)
file(REMOVE "${saved}" "${edited}")

# The simulated device's commands and options refuse in one line.
foreach(args IN ITEMS "log" "log;--follow" "reset" "check" "fault;list" "fault;add;meSTCGetStatus=1"
                      "job;create;1" "job;link;1;fax;2" "--device;x.db;get;smtp"
                      "--fail;meSTCGetStatus=1;get;smtp" "export;--jobs" "import;--setup;${saved}")
  tool(2 "^$" "${refused}" ${args})
endforeach()
