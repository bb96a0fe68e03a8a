# What kqcam's web server builds on, both header-only and the same for the
# -m32 and the mingw build:
# - cpp-httplib's single header from Debian's source package, fetched once
#   into build/deps (scripts/fetch-httplib.sh);
# - nlohmann-json from Debian's nlohmann-json3-dev, copied into the build
#   tree so that the mingw build does not see the rest of /usr/include.
set(KQSDK_HTTPLIB_PREFIX ${CMAKE_SOURCE_DIR}/build/deps/cpp-httplib)
if(NOT EXISTS ${KQSDK_HTTPLIB_PREFIX}/include/httplib.h)
  message(STATUS "Fetching cpp-httplib from Debian's source package into ${KQSDK_HTTPLIB_PREFIX}")
  execute_process(
    COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/fetch-httplib.sh ${KQSDK_HTTPLIB_PREFIX}
    RESULT_VARIABLE httplib_result)
  if(NOT httplib_result EQUAL 0)
    message(FATAL_ERROR "fetching cpp-httplib failed")
  endif()
endif()

set(KQSDK_NLOHMANN_DIR /usr/include/nlohmann)
if(NOT EXISTS ${KQSDK_NLOHMANN_DIR}/json.hpp)
  message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev (scripts/install-deps.sh)")
endif()
file(COPY ${KQSDK_NLOHMANN_DIR} DESTINATION ${CMAKE_BINARY_DIR}/deps-include)

add_library(kqsdk_web INTERFACE)
target_include_directories(kqsdk_web SYSTEM INTERFACE
  ${KQSDK_HTTPLIB_PREFIX}/include ${CMAKE_BINARY_DIR}/deps-include)
# Request lines and header fields above 8 KiB are refused by the server
# itself; bodies are bounded per server (payload limit).
target_compile_definitions(kqsdk_web INTERFACE
  CPPHTTPLIB_HEADER_MAX_LENGTH=8192 CPPHTTPLIB_REQUEST_URI_MAX_LENGTH=8192)
if(WIN32)
  target_link_libraries(kqsdk_web INTERFACE ws2_32)
endif()
