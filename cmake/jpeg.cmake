# libjpeg: a static libjpeg-turbo built from Debian's source package for the
# target (gcc -m32 on Linux, mingw-w64 on Windows) and cached under
# build/deps (scripts/build-libjpeg.sh), so that both libraries link the same
# JPEG library version and no i386 package is needed. Also used by the
# fuzzers' project (fuzz/), hence the paths from this file's folder.
get_filename_component(KQSDK_JPEG_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
if(WIN32)
  set(KQSDK_JPEG_TARGET mingw-x86)
else()
  set(KQSDK_JPEG_TARGET linux-x86)
endif()
set(KQSDK_JPEG_PREFIX ${KQSDK_JPEG_ROOT}/build/deps/${KQSDK_JPEG_TARGET}/libjpeg-turbo)
# The script returns at once when the library there was built its current way.
execute_process(
  COMMAND bash ${KQSDK_JPEG_ROOT}/scripts/build-libjpeg.sh ${KQSDK_JPEG_TARGET} ${KQSDK_JPEG_PREFIX}
  RESULT_VARIABLE jpeg_result)
if(NOT jpeg_result EQUAL 0)
  message(FATAL_ERROR "building libjpeg-turbo for ${KQSDK_JPEG_TARGET} failed")
endif()
add_library(JPEG::JPEG STATIC IMPORTED)
set_target_properties(JPEG::JPEG PROPERTIES
  IMPORTED_LOCATION ${KQSDK_JPEG_PREFIX}/lib/libjpeg.a
  INTERFACE_INCLUDE_DIRECTORIES ${KQSDK_JPEG_PREFIX}/include)
