cmake_minimum_required(VERSION 3.25)
# Checks that the operator's program, quillmark.exe, runs on a server's machine by itself: it may
# import the C++ runtime (msvcp140.dll, vcruntime140.dll, vcruntime140_1.dll), the UCRT's API
# sets, kernel32.dll, shell32.dll (its command line in UTF-8) and bcrypt.dll (SHA-256) — never
# the framework or the simulated host, which a server's plugin folder does not hold.
#   cmake -DREADOBJ=... -DPROGRAM=... -P CheckToolImports.cmake
execute_process(COMMAND ${READOBJ} --coff-imports ${PROGRAM} OUTPUT_VARIABLE imports
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${READOBJ} could not read ${PROGRAM}")
endif()
string(REGEX MATCHALL "\n  Name: [^\n]+" names "${imports}")
if(NOT names)
  message(FATAL_ERROR "no import table found in ${PROGRAM}")
endif()
foreach(name IN LISTS names)
  string(REGEX REPLACE "^\n  Name: " "" dll "${name}")
  string(TOLOWER "${dll}" lower)
  if(NOT lower MATCHES "^(msvcp140|vcruntime140|vcruntime140_1|kernel32|shell32|bcrypt)\\.dll$" AND
     NOT lower MATCHES "^api-ms-win-crt-[a-z]+-l1-1-0\\.dll$")
    message(FATAL_ERROR "${PROGRAM} imports ${dll}, which a server's machine does not have")
  endif()
endforeach()
message(STATUS "${PROGRAM} imports ${names}")
