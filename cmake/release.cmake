# What makes a built binary a release binary: a version resource (Windows)
# and the debug information split off into a file beside it.

# KQSDK_SPLIT_DEBUG: strip the shipped binaries (the library, the simulated
# Camera SDK, kqcam) right after linking and keep their debug information in
# <file>.debug beside them, named in the binary by a debug link; so the tests
# run exactly the binaries that are installed and packed, and a crash report
# from a user can still be read with the .debug file. Off for Debug builds
# (the sanitizer preset), which are never shipped.
if(CMAKE_BUILD_TYPE STREQUAL "Debug")
  set(kqsdk_split_debug_default OFF)
else()
  set(kqsdk_split_debug_default ON)
endif()
option(KQSDK_SPLIT_DEBUG "Strip the shipped binaries, debug information in <file>.debug"
       ${kqsdk_split_debug_default})
if(KQSDK_SPLIT_DEBUG AND (NOT CMAKE_OBJCOPY OR NOT CMAKE_STRIP))
  message(FATAL_ERROR "KQSDK_SPLIT_DEBUG needs objcopy and strip for this toolchain")
endif()

function(kqsdk_split_debug_info target)
  if(NOT KQSDK_SPLIT_DEBUG)
    return()
  endif()
  # The debug link holds the .debug file's name and checksum; debuggers look
  # for it beside the binary. --strip-all keeps what the loader needs (the
  # dynamic symbols, the export and import tables).
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}>
            $<TARGET_FILE:${target}>.debug
    COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:${target}>
    COMMAND ${CMAKE_COMMAND} -E chdir $<TARGET_FILE_DIR:${target}>
            ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
            $<TARGET_FILE_NAME:${target}>
    VERBATIM)
endfunction()

# Windows version resource: FileVersion and ProductVersion from the project's
# version, what the file is, its internal and original names. Shown by the
# file's properties dialog and read by installers.
function(kqsdk_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(KQSDK_RC_FILETYPE VFT_APP)
    set(suffix .exe)
  else()
    set(KQSDK_RC_FILETYPE VFT_DLL)
    set(suffix .dll)
  endif()
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(NOT output_name)
    set(output_name ${target})
  endif()
  set(KQSDK_RC_DESCRIPTION "${description}")
  set(KQSDK_RC_INTERNAL_NAME "${output_name}")
  set(KQSDK_RC_ORIGINAL_FILENAME "${output_name}${suffix}")
  set(KQSDK_RC_VERSION_DOTS "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
  set(KQSDK_RC_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
