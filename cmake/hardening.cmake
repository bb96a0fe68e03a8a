# Hardening of everything built here, as Debian builds its own libraries:
# the library runs inside other people's processes.
#   Linux: stack protector (strong), _FORTIFY_SOURCE=2 (checked variants of
#          the string and stdio calls whose sizes are known at compile time),
#          read-only relocations and immediate binding.
#   mingw: stack protector (strong), its runtime (libssp) linked statically
#          by the -static link below, so that the DLL imports nothing new;
#          ASLR and DEP stay on (the linker's defaults, stated here so that
#          they cannot go missing).
# Sanitizer builds are left alone: AddressSanitizer does its own checking,
# and _FORTIFY_SOURCE needs optimisation, which they build without.
if(KQSDK_SANITIZE)
  return()
endif()

add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-fstack-protector-strong>)
if(WIN32)
  add_link_options(-fstack-protector-strong LINKER:--dynamicbase LINKER:--nxcompat)
else()
  # _FORTIFY_SOURCE takes effect only in optimised builds, and warns without
  # optimisation, which is an error here.
  add_compile_definitions($<$<AND:$<COMPILE_LANGUAGE:C,CXX>,$<NOT:$<CONFIG:Debug>>>:_FORTIFY_SOURCE=2>)
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
