# libjpeg: Debian's libjpeg-turbo on Linux; on Windows a static libjpeg-turbo
# built from Debian's source package with the mingw toolchain and cached under
# build/deps (scripts/build-libjpeg-mingw.sh).
if(WIN32)
  set(KQSDK_JPEG_PREFIX ${CMAKE_SOURCE_DIR}/build/deps/mingw-x86/libjpeg-turbo)
  if(NOT EXISTS ${KQSDK_JPEG_PREFIX}/lib/libjpeg.a)
    message(STATUS "Building libjpeg-turbo for mingw into ${KQSDK_JPEG_PREFIX}")
    execute_process(
      COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/build-libjpeg-mingw.sh ${KQSDK_JPEG_PREFIX}
      RESULT_VARIABLE jpeg_result)
    if(NOT jpeg_result EQUAL 0)
      message(FATAL_ERROR "building libjpeg-turbo for mingw failed")
    endif()
  endif()
  add_library(JPEG::JPEG STATIC IMPORTED)
  set_target_properties(JPEG::JPEG PROPERTIES
    IMPORTED_LOCATION ${KQSDK_JPEG_PREFIX}/lib/libjpeg.a
    INTERFACE_INCLUDE_DIRECTORIES ${KQSDK_JPEG_PREFIX}/include)
else()
  find_package(JPEG REQUIRED)
endif()
