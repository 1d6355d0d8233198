cmake_minimum_required(VERSION 3.25)
# Checks the import and export tables of the plugin DLL to deploy, as a server's loader will read
# them. It may import only what a Visual Studio 2022 /MD build of it imports: the framework
# (AsaApi.dll), the C++ runtime (msvcp140.dll, vcruntime140.dll, vcruntime140_1.dll), the UCRT's
# API sets, kernel32.dll, shell32.dll (CommandLineToArgvW, with which the server label reads
# the server's command line) and bcrypt.dll (SHA-256, which chains the journal's records) —
# never a MinGW runtime or libstdc++. Of the framework it may import
# exactly the names of the list kept in the repository, each of which the framework stand-in,
# which exports only what the framework's headers declare ARK_API, must export. It exports the
# framework's entry points and the count of waiting notifications the stand-in server reads.
#   cmake -DREADOBJ=... -DUNDNAME=... -DDLL=... -DFRAMEWORK_DLL=... -DIMPORT_LIST=... -P CheckImports.cmake
execute_process(COMMAND ${READOBJ} --coff-imports ${DLL} OUTPUT_VARIABLE imports RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${READOBJ} could not read ${DLL}")
endif()

# The DLLs imported, and the names imported from AsaApi.dll.
string(REPLACE ";" "\\;" imports "${imports}")
string(REPLACE "\n" ";" lines "${imports}")
set(dlls)
set(framework_names)
set(current "")
foreach(line IN LISTS lines)
  if(line MATCHES "^  Name: (.+)$")
    set(current ${CMAKE_MATCH_1})
    list(APPEND dlls ${current})
  elseif(line MATCHES "^  Symbol: ([^ ]+) " AND current STREQUAL "AsaApi.dll")
    list(APPEND framework_names "${CMAKE_MATCH_1}")
  endif()
endforeach()
if(NOT dlls)
  message(FATAL_ERROR "no import table found in ${DLL}")
endif()
foreach(dll IN LISTS dlls)
  string(TOLOWER "${dll}" lower)
  if(NOT lower MATCHES "^(asaapi|msvcp140|vcruntime140|vcruntime140_1|kernel32|shell32|bcrypt)\\.dll$" AND
     NOT lower MATCHES "^api-ms-win-crt-[a-z]+-l1-1-0\\.dll$")
    message(FATAL_ERROR "${DLL} imports ${dll}, which a Visual Studio /MD build of the plugin "
                        "would not import")
  endif()
endforeach()
if(NOT "AsaApi.dll" IN_LIST dlls)
  message(FATAL_ERROR "${DLL} does not import the framework (AsaApi.dll)")
endif()

# The kept list: one name a line, decorated, a tab, and the declaration llvm-undname reads in it.
file(STRINGS ${IMPORT_LIST} kept REGEX "^[^#]")
set(listed)
foreach(entry IN LISTS kept)
  string(REPLACE "\t" ";" fields "${entry}")
  list(GET fields 0 name)
  list(GET fields 1 declaration)
  execute_process(COMMAND ${UNDNAME} ${name} OUTPUT_VARIABLE read)
  string(REGEX REPLACE "^[^\n]*\n([^\n]*)\n?.*$" "\\1" read "${read}")
  if(NOT read STREQUAL declaration)
    message(FATAL_ERROR "${IMPORT_LIST}: ${name} reads as\n  ${read}\nnot\n  ${declaration}")
  endif()
  list(APPEND listed "${name}")
endforeach()

execute_process(COMMAND ${READOBJ} --coff-exports ${FRAMEWORK_DLL} OUTPUT_VARIABLE exported)
string(REGEX MATCHALL "Name: [^\n]+" exported "${exported}")
list(TRANSFORM exported REPLACE "^Name: " "")
foreach(name IN LISTS framework_names)
  if(NOT name IN_LIST listed)
    execute_process(COMMAND ${UNDNAME} ${name} OUTPUT_VARIABLE read)
    message(FATAL_ERROR "${DLL} imports the framework name\n  ${name}\n  (${read})\nwhich is not "
                        "in ${IMPORT_LIST}: add it there when the plugin is meant to use it")
  endif()
  if(NOT name IN_LIST exported)
    message(FATAL_ERROR "${DLL} imports ${name}, which the framework's headers do not declare "
                        "ARK_API (the framework stand-in built from them does not export it)")
  endif()
endforeach()
foreach(name IN LISTS listed)
  if(NOT name IN_LIST framework_names)
    message(FATAL_ERROR "${IMPORT_LIST} lists ${name}, which ${DLL} no longer imports")
  endif()
endforeach()
list(LENGTH framework_names count)

execute_process(COMMAND ${READOBJ} --coff-exports ${DLL} OUTPUT_VARIABLE own)
string(REGEX MATCHALL "Name: [^\n]+" own "${own}")
list(TRANSFORM own REPLACE "^Name: " "")
list(SORT own)
if(NOT own STREQUAL "Plugin_Init;Plugin_Unload;QuillmarkWaitingNotifications")
  message(FATAL_ERROR "${DLL} exports \"${own}\"; the plugin exports the framework's entry "
                      "points and the count of waiting notifications")
endif()
message(STATUS "${DLL}: imports ${dlls}; ${count} framework names, all listed and declared; "
               "exports ${own}")
