# cmake --install and the release archives (CPack).
#
#   Windows                          Linux
#   bin/KQSDK.dll                    lib/libKQSDK.so.<version> (+ .so.<major>, .so)
#   bin/kqcam.exe                    bin/kqcam
#   include/kqsdk.h                  include/kqsdk.h
#   lib/KQSDK.lib (Microsoft)        lib/pkgconfig/kqsdk.pc
#   lib/libKQSDK.dll.a (mingw)
#   bin/ztprobe.exe                  bin/ztprobe
#   simulator/ZTSDK_32.dll           simulator/libZTSDK_32.so
#   recorder/ZTSDK_32.dll            recorder/libZTSDK_32.so
#   lib/cmake/KQSDK/                 lib/cmake/KQSDK/
#   README.md, INTEGRATORS-GUIDE.md, CHANGELOG.md, examples/
#
# The simulated Camera SDK stays apart from the library so that nobody ships
# it in place of the real one; so does the recording Camera SDK, which goes
# in place of the real one only while a trace is taken. The split-off debug information (*.debug)
# goes beside each binary in its own component, Debug, which the release
# archive leaves out (scripts/package.sh packs it separately).
include(CMakePackageConfigHelpers)

set(KQSDK_INSTALL_CMAKEDIR lib/cmake/KQSDK)

function(kqsdk_install_debug_info target destination)
  if(KQSDK_SPLIT_DEBUG)
    install(FILES $<TARGET_FILE:${target}>.debug DESTINATION ${destination} COMPONENT Debug)
  endif()
endfunction()

if(WIN32)
  # Copied as built: the installed DLL is byte for byte the one the tests ran.
  install(PROGRAMS $<TARGET_FILE:KQSDK> $<TARGET_FILE:kqcam> $<TARGET_FILE:ztprobe> DESTINATION bin
          COMPONENT Runtime)
  install(PROGRAMS $<TARGET_FILE:ZTSDK_32> DESTINATION simulator COMPONENT Simulator)
  install(PROGRAMS $<TARGET_FILE:ztrecord> DESTINATION recorder COMPONENT Runtime)
  install(FILES ${CMAKE_BINARY_DIR}/lib/KQSDK.lib DESTINATION lib COMPONENT Development)
  install(FILES ${CMAKE_BINARY_DIR}/lib/libKQSDK_client.a DESTINATION lib
          RENAME libKQSDK.dll.a COMPONENT Development)
  kqsdk_install_debug_info(KQSDK bin)
  kqsdk_install_debug_info(kqcam bin)
  kqsdk_install_debug_info(ztprobe bin)
  kqsdk_install_debug_info(ZTSDK_32 simulator)
  kqsdk_install_debug_info(ztrecord recorder)
else()
  # The client finds the library in ../lib; the library finds the Camera SDK
  # beside itself (its RUNPATH, $ORIGIN, is the same built and installed, so
  # the installed file is the built one).
  set_target_properties(kqcam PROPERTIES INSTALL_RPATH "$ORIGIN/../lib")
  install(TARGETS KQSDK LIBRARY DESTINATION lib COMPONENT Runtime NAMELINK_COMPONENT Development)
  install(TARGETS kqcam RUNTIME DESTINATION bin COMPONENT Runtime)
  install(PROGRAMS $<TARGET_FILE:ztprobe> DESTINATION bin COMPONENT Runtime)
  install(PROGRAMS $<TARGET_FILE:ZTSDK_32> DESTINATION simulator COMPONENT Simulator)
  install(PROGRAMS $<TARGET_FILE:ztrecord> DESTINATION recorder COMPONENT Runtime)
  kqsdk_install_debug_info(KQSDK lib)
  kqsdk_install_debug_info(kqcam bin)
  kqsdk_install_debug_info(ztprobe bin)
  kqsdk_install_debug_info(ZTSDK_32 simulator)
  kqsdk_install_debug_info(ztrecord recorder)

  configure_file(${PROJECT_SOURCE_DIR}/cmake/kqsdk.pc.in ${CMAKE_BINARY_DIR}/package/kqsdk.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/package/kqsdk.pc DESTINATION lib/pkgconfig COMPONENT Development)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/include/kqsdk.h DESTINATION include COMPONENT Development)

# CMake package: find_package(KQSDK) and the imported target KQSDK::KQSDK.
# The version file also refuses a 64-bit consumer.
configure_file(${PROJECT_SOURCE_DIR}/cmake/KQSDKConfig.cmake.in
               ${CMAKE_BINARY_DIR}/package/KQSDKConfig.cmake @ONLY)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/KQSDKConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/KQSDKConfig.cmake
              ${CMAKE_BINARY_DIR}/package/KQSDKConfigVersion.cmake
        DESTINATION ${KQSDK_INSTALL_CMAKEDIR} COMPONENT Development)

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
        DESTINATION . COMPONENT Documentation)
install(FILES ${PROJECT_SOURCE_DIR}/docs/integrators-guide.md
        DESTINATION . RENAME INTEGRATORS-GUIDE.md COMPONENT Documentation)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION examples COMPONENT Documentation)

# Archives: KQSDK-<version>-win32.zip, KQSDK-<version>-linux-i386.tar.gz,
# each with one top folder of the same name holding the install tree without
# the debug information.
# What the archives hold, for scripts/package.sh to build.
add_custom_target(kqsdk_release)
add_dependencies(kqsdk_release KQSDK ZTSDK_32 kqcam ztprobe ztrecord)
if(WIN32)
  add_dependencies(kqsdk_release kqsdk_client_import_lib)
endif()

if(WIN32)
  set(KQSDK_PACKAGE_SYSTEM win32)
  set(CPACK_GENERATOR ZIP)
else()
  set(KQSDK_PACKAGE_SYSTEM linux-i386)
  set(CPACK_GENERATOR TGZ)
endif()
set(CPACK_PACKAGE_NAME KQSDK)
set(CPACK_PACKAGE_VENDOR KQSDK)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME KQSDK-${PROJECT_VERSION}-${KQSDK_PACKAGE_SYSTEM})
set(CPACK_COMPONENTS_ALL Runtime Development Simulator Documentation)
# One archive of the listed components (scripts/package.sh packs Debug alone).
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES OFF)
include(CPack)
