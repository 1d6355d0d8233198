# Builds the release ZIP and checks its layout: exactly the plugin's folder, a Windows DLL and
# the operator's Windows program, a
# PluginInfo.json with the types the framework requires, and a note that says how it was built.
#
#   cmake -DCPACK=<cpack> -DBINARY_DIR=<build dir> -DZIP=<zip name> -DBUILT_WITH=<text> -P CheckPackage.cmake
execute_process(COMMAND ${CPACK} -G ZIP WORKING_DIRECTORY ${BINARY_DIR} RESULT_VARIABLE packed
                OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT packed EQUAL 0)
  message(FATAL_ERROR "cpack failed:\n${output}")
endif()

set(zip ${BINARY_DIR}/${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${zip} OUTPUT_VARIABLE listed RESULT_VARIABLE ok)
string(REPLACE "\n" ";" entries "${listed}")
list(FILTER entries EXCLUDE REGEX "/$|^$")  # folders
list(SORT entries)
set(folder ArkApi/Plugins/quillmark)
set(expected ${folder}/BUILD.txt ${folder}/PluginInfo.json ${folder}/config.example.jsonc
             ${folder}/quillmark.dll ${folder}/quillmark.exe)
if(NOT entries STREQUAL expected)
  message(FATAL_ERROR "The ZIP holds\n  ${entries}\nnot\n  ${expected}")
endif()

set(unpacked ${BINARY_DIR}/package-check)
file(REMOVE_RECURSE ${unpacked})
file(MAKE_DIRECTORY ${unpacked})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zip} WORKING_DIRECTORY ${unpacked})

# Each a Windows image of its kind: the PE header's characteristics mark a DLL (0x2000) or not.
foreach(image_kind quillmark.dll:DLL:1 quillmark.exe:program:0)
  string(REPLACE ":" ";" image_kind ${image_kind})
  list(GET image_kind 0 name)
  list(GET image_kind 1 kind)
  list(GET image_kind 2 dll_flag)
  set(image ${unpacked}/${folder}/${name})
  file(READ ${image} signature LIMIT 2 HEX)
  file(READ ${image} pe_at LIMIT 4 OFFSET 60 HEX)
  string(REGEX REPLACE "^(..)(..)(..)(..)$" "\\4\\3\\2\\1" pe_at "${pe_at}")
  math(EXPR pe_at "0x${pe_at}")
  math(EXPR flags_at "${pe_at} + 22")
  file(READ ${image} pe LIMIT 4 OFFSET ${pe_at} HEX)
  file(READ ${image} flags LIMIT 2 OFFSET ${flags_at} HEX)
  string(REGEX REPLACE "^(..)(..)$" "\\2\\1" flags "${flags}")
  math(EXPR is_dll "(0x${flags} >> 13) & 1")
  if(NOT signature STREQUAL "4d5a" OR NOT pe STREQUAL "50450000" OR
     NOT is_dll EQUAL dll_flag)
    message(FATAL_ERROR "${name} in the ZIP is not a Windows ${kind}")
  endif()
endforeach()

file(READ ${unpacked}/${folder}/PluginInfo.json info)
foreach(pair FullName:STRING Description:STRING Version:NUMBER MinApiVersion:NUMBER
             Dependencies:ARRAY PreventUnloading:BOOLEAN)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 key)
  list(GET pair 1 type)
  string(JSON actual ERROR_VARIABLE error TYPE "${info}" ${key})
  if(error OR NOT actual STREQUAL type)
    message(FATAL_ERROR "PluginInfo.json: ${key} is ${actual}${error}, not ${type}")
  endif()
endforeach()

file(READ ${unpacked}/${folder}/BUILD.txt note)
if(NOT note MATCHES "${BUILT_WITH}")
  message(FATAL_ERROR "BUILD.txt does not say the DLL was built with ${BUILT_WITH}:\n${note}")
endif()
file(REMOVE_RECURSE ${unpacked})
message(STATUS "${ZIP}: ${entries}")
