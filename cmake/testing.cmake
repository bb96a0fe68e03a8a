# One CTest entry per test executable. Under Wine every process start costs a
# fraction of a second, so the suites are not split per test case.
if(WIN32)
  set(KQSDK_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(KQSDK_WINE_ENV "WINEPREFIX=${KQSDK_WINEPREFIX}" "WINEDEBUG=-all" "WINEDLLOVERRIDES=mscoree,mshtml=")
  # A fresh prefix must be set up once before the first test; parallel first
  # use of a prefix fails, hence one fixture that runs before every suite.
  add_test(NAME wine_prefix_init COMMAND wineboot --init)
  set_tests_properties(wine_prefix_init PROPERTIES
    FIXTURES_SETUP wine_prefix ENVIRONMENT "${KQSDK_WINE_ENV}")
endif()

function(kqsdk_add_test target)
  add_test(NAME ${target} COMMAND ${target} --gtest_brief=1)
  set_tests_properties(${target} PROPERTIES TIMEOUT 600)
  if(WIN32)
    set_tests_properties(${target} PROPERTIES
      FIXTURES_REQUIRED wine_prefix ENVIRONMENT "${KQSDK_WINE_ENV}")
  endif()
endfunction()
