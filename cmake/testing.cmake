# One CTest entry per test executable. Under Wine every process start costs a
# fraction of a second, so the suites are not split per test case.

# How this host runs the i386 test programs, as scripts/i386-host.sh tells;
# scripts/test-all.sh passes it. Under emulation (qemu-i386 through
# binfmt_misc) Wine does not work, so the Windows suites are built but not run;
# the Linux suites run, with the sanitizer settings emulation needs.
set(KQSDK_I386_HOST native CACHE STRING
    "How this host runs i386 programs: native, emulated (qemu-i386) or none")
set_property(CACHE KQSDK_I386_HOST PROPERTY STRINGS native emulated none)
if(NOT KQSDK_I386_HOST MATCHES "^(native|emulated|none)$")
  message(FATAL_ERROR "KQSDK_I386_HOST must be native, emulated or none, not '${KQSDK_I386_HOST}'")
endif()

# The Windows test programs run under Wine, which runs 32-bit programs only
# with its 32-bit half (Debian's wine32:i386) installed, and only on a host
# whose kernel runs i386 programs itself. Where both hold they always run;
# otherwise they are built, registered disabled, and the reason is said here
# (scripts/test-all.sh says it again at its end). Looked up at every
# configure, so installing wine32 later enables them at the next one.
set(KQSDK_WINE_TESTS OFF)
set(KQSDK_WINE_MISSING "")
if(WIN32)
  if(NOT KQSDK_I386_HOST STREQUAL "native")
    set(KQSDK_WINE_MISSING "this host cannot run 32-bit programs natively, and Wine does not run under emulation")
  else()
    execute_process(COMMAND dpkg-query -W -f=\${Status} wine32:i386
                    OUTPUT_VARIABLE wine32_status ERROR_QUIET RESULT_VARIABLE wine32_query)
    if(NOT wine32_query EQUAL 0 OR NOT wine32_status STREQUAL "install ok installed")
      set(KQSDK_WINE_MISSING "wine32:i386 (Wine's 32-bit half) is not installed; scripts/install-deps.sh test says why")
    endif()
  endif()
  if(KQSDK_WINE_MISSING STREQUAL "")
    set(KQSDK_WINE_TESTS ON)
  else()
    message(WARNING "The Windows test programs are built but NOT RUN: ${KQSDK_WINE_MISSING}")
  endif()
endif()

if(WIN32)
  set(KQSDK_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(KQSDK_WINE_ENV "WINEPREFIX=${KQSDK_WINEPREFIX}" "WINEDEBUG=-all" "WINEDLLOVERRIDES=mscoree,mshtml=")
  # A fresh prefix must be set up once before the first test; parallel first
  # use of a prefix fails, hence one fixture that runs before every suite.
  add_test(NAME wine_prefix_init COMMAND wineboot --init)
  set_tests_properties(wine_prefix_init PROPERTIES
    FIXTURES_SETUP wine_prefix ENVIRONMENT "${KQSDK_WINE_ENV}")
  if(NOT KQSDK_WINE_TESTS)
    set_tests_properties(wine_prefix_init PROPERTIES DISABLED TRUE)
  endif()
endif()

function(kqsdk_add_test target)
  add_test(NAME ${target} COMMAND ${target} --gtest_brief=1)
  set_tests_properties(${target} PROPERTIES TIMEOUT 600)
  if(WIN32)
    set_tests_properties(${target} PROPERTIES
      FIXTURES_REQUIRED wine_prefix ENVIRONMENT "${KQSDK_WINE_ENV}")
    if(NOT KQSDK_WINE_TESTS)
      set_tests_properties(${target} PROPERTIES DISABLED TRUE)
    endif()
  elseif(KQSDK_SANITIZE AND KQSDK_I386_HOST STREQUAL "emulated")
    # LeakSanitizer stops the process's threads with ptrace from a cloned
    # tracer, which qemu-i386 does not provide: it would spin at exit forever.
    # And a program whose uname says i686 is taken to have the top 1 GiB of
    # its address space kept for the kernel, which qemu hands out unless the
    # guest's space is limited to 3 GiB. (path_list_append joins with ':',
    # the separator of ASAN_OPTIONS, and keeps the caller's options.)
    set_tests_properties(${target} PROPERTIES
      ENVIRONMENT "QEMU_RESERVED_VA=0xc0000000"
      ENVIRONMENT_MODIFICATION "ASAN_OPTIONS=path_list_append:detect_leaks=0")
  endif()
endfunction()
