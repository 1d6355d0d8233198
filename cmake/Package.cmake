# The plugin's folder as it goes into a server: ArkApi/Plugins/quillmark/ with the plugin DLL, the
# operator's program quillmark.exe, the framework's PluginInfo.json, a commented example configuration and a note on how the DLL was
# built; installed by "cmake --install" and packed into a ZIP by "cpack". Both Windows builds
# make it: the MinGW build, whose DLL runs on the simulated host only, and the windows-msvc build,
# whose DLL operators deploy.

# PluginInfo.json, as the framework reads it; the version is a number, so 0.1.0 is 0.1.
function(quillmark_plugin_info)
  set(QUILLMARK_PLUGIN_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
  configure_file(${CMAKE_SOURCE_DIR}/packaging/PluginInfo.json.in
                 ${CMAKE_BINARY_DIR}/package/PluginInfo.json @ONLY)
endfunction()

# The install rules and the ZIP. `flavor` names the build in the ZIP's name; `note` says in
# BUILD.txt what the DLL is. Call include(CPack) after it, in the same scope.
macro(quillmark_package flavor note)
  quillmark_plugin_info()
  set(QUILLMARK_PACKAGE_FLAVOR ${flavor})
  set(QUILLMARK_BUILD_NOTE "${note}")
  configure_file(${CMAKE_SOURCE_DIR}/packaging/BUILD.txt.in ${CMAKE_BINARY_DIR}/package/BUILD.txt
                 @ONLY)
  install(TARGETS quillmark RUNTIME DESTINATION ArkApi/Plugins/quillmark
                            LIBRARY DESTINATION ArkApi/Plugins/quillmark)
  # The operator's program beside it, where the build makes it (the Visual Studio build makes
  # only the plugin): it links no host, so it runs by itself on the server's machine.
  if(TARGET quillmark-tool)
    install(TARGETS quillmark-tool RUNTIME DESTINATION ArkApi/Plugins/quillmark)
  endif()
  install(FILES ${CMAKE_BINARY_DIR}/package/PluginInfo.json ${CMAKE_BINARY_DIR}/package/BUILD.txt
                ${CMAKE_SOURCE_DIR}/packaging/config.example.jsonc
          DESTINATION ArkApi/Plugins/quillmark)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME quillmark)
  set(CPACK_PACKAGE_FILE_NAME "quillmark-${PROJECT_VERSION}-${flavor}")
  set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endmacro()
