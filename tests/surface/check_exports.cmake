# Checks the built libraries' export and import tables with the host's
# binutils: the bridge exports exactly the 26 KQ_ names, and depends on the
# Camera SDK and (on Windows) on the same system DLLs as ever; and, with
# -DHARDENED=ON, that the hardening is in effect (Linux: stack protector,
# _FORTIFY_SOURCE, read-only relocations, immediate binding; Windows: stack
# protector with its runtime linked in, ASLR and DEP).
# Inputs: -DLIBRARY=<path> -DKIND=elf|pe -DTOOL=<nm or objdump> -DHARDENED=ON|OFF
#   -DSYMBOLS_TOOL=<nm> -DSYMBOLS_FILE=<the file holding LIBRARY's symbol table>
cmake_policy(SET CMP0057 NEW)
include(${CMAKE_CURRENT_LIST_DIR}/../support/exported_names.cmake)

set(expected
  KQ_ClearEventCallBack KQ_ConnectCamera KQ_CreateCameraObject KQ_DestroyCameraObject
  KQ_DisconnectCamera KQ_FinishSDK KQ_GetDeviceInfo KQ_GetDeviceList KQ_GetDevicePropDesc
  KQ_GetDevicePropValue KQ_GetDllsVersion KQ_GetFunctions KQ_InitiateReleaseControl
  KQ_RC_DoAeAfAwb KQ_RC_FocusLock KQ_RC_FocusUnlock KQ_RC_GetChangedReleaseParamesList
  KQ_RC_GetNumAvailableShot KQ_RC_GetReleasedData KQ_RC_Release KQ_RC_StartViewFinder
  KQ_RC_TermViewFinder KQ_SetDevicePropValue KQ_SetEventCallBack KQ_StartSDK
  KQ_TerminateReleaseControl)

if(KIND STREQUAL "elf")
  execute_process(COMMAND ${TOOL} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${LIBRARY}")
  endif()
  kq_exported_names(elf "${symbols}" exported)
  execute_process(COMMAND readelf -d ${LIBRARY} OUTPUT_VARIABLE dynamic)
  if(NOT dynamic MATCHES "NEEDED[^\n]*\\[libZTSDK_32\\.so\\]")
    message(FATAL_ERROR "libKQSDK.so does not depend on libZTSDK_32.so:\n${dynamic}")
  endif()
  if(NOT dynamic MATCHES "\\$ORIGIN")
    message(FATAL_ERROR "libKQSDK.so does not look for the Camera SDK beside itself:\n${dynamic}")
  endif()
  if(HARDENED)
    if(NOT dynamic MATCHES "FLAGS[^\n]*NOW")
      message(FATAL_ERROR "libKQSDK.so is not bound immediately (-z now):\n${dynamic}")
    endif()
    execute_process(COMMAND readelf -l ${LIBRARY} OUTPUT_VARIABLE segments)
    if(NOT segments MATCHES "GNU_RELRO")
      message(FATAL_ERROR "libKQSDK.so has no read-only relocations (-z relro):\n${segments}")
    endif()
    execute_process(COMMAND ${TOOL} -D --undefined-only ${LIBRARY} OUTPUT_VARIABLE undefined)
    if(NOT undefined MATCHES " __stack_chk_fail")
      message(FATAL_ERROR "libKQSDK.so is built without the stack protector:\n${undefined}")
    endif()
    # _FORTIFY_SOURCE replaces calls whose buffer sizes are known with their
    # checked variants (__memcpy_chk, __vsnprintf_chk, ...).
    string(REGEX MATCHALL " __[a-z0-9_]+_chk(@[^\n]*)?\n" checked "${undefined}")
    list(FILTER checked EXCLUDE REGEX "__stack_chk_fail")
    if(NOT checked)
      message(FATAL_ERROR "libKQSDK.so calls no checked function: built without _FORTIFY_SOURCE")
    endif()
  endif()
else()
  execute_process(COMMAND ${TOOL} -p ${LIBRARY} OUTPUT_VARIABLE table RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${LIBRARY}")
  endif()
  # Exactly these: the Camera SDK and system DLLs; the C++ runtime, libjpeg
  # and the stack protector's runtime are linked in. That runtime draws its
  # random guard value from ADVAPI32's CryptGenRandom as the DLL is loaded,
  # and imports nothing else.
  string(REGEX MATCHALL "DLL Name: [^\n]+" dlls "${table}")
  set(allowed KERNEL32.dll msvcrt.dll SHELL32.dll USER32.dll ZTSDK_32.dll)
  if(HARDENED)
    list(APPEND allowed ADVAPI32.dll)
    string(REGEX MATCH "DLL Name: ADVAPI32\\.dll\n[^\n]*\n(([^\n]+\n)*)" advapi "${table}")
    string(REGEX MATCHALL "[A-Za-z_]+\n" advapi_functions "${CMAKE_MATCH_1}")
    list(TRANSFORM advapi_functions STRIP)
    list(SORT advapi_functions)
    if(NOT advapi_functions STREQUAL "CryptAcquireContextA;CryptGenRandom;CryptReleaseContext")
      message(FATAL_ERROR "KQSDK.dll imports from ADVAPI32.dll: ${advapi_functions}")
    endif()
  endif()
  list(SORT allowed)
  set(imported)
  foreach(entry IN LISTS dlls)
    string(REPLACE "DLL Name: " "" dll "${entry}")
    string(STRIP "${dll}" dll)
    if(NOT dll IN_LIST allowed)
      message(FATAL_ERROR "KQSDK.dll imports ${dll}, which is neither a system DLL nor the Camera SDK")
    endif()
    list(APPEND imported ${dll})
  endforeach()
  list(SORT imported)
  list(REMOVE_DUPLICATES imported)
  if(NOT imported STREQUAL allowed)
    message(FATAL_ERROR "KQSDK.dll imports ${imported}, expected ${allowed}")
  endif()
  if(HARDENED)
    foreach(flag IN ITEMS DYNAMIC_BASE NX_COMPAT)
      if(NOT table MATCHES "DllCharacteristics[^\n]*\n([ \t]+[A-Z_]+\n)*[ \t]+${flag}\n")
        message(FATAL_ERROR "KQSDK.dll lacks ${flag} in its DllCharacteristics")
      endif()
    endforeach()
    execute_process(COMMAND ${SYMBOLS_TOOL} ${SYMBOLS_FILE} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0 OR NOT symbols MATCHES " T ___stack_chk_fail\n" OR NOT symbols MATCHES "___stack_chk_guard\n")
      message(FATAL_ERROR "KQSDK.dll is built without the stack protector, or without its runtime linked in")
    endif()
  endif()
  kq_exported_names(pe "${table}" exported)
endif()

set(sorted_expected ${expected})
list(SORT sorted_expected)
if(NOT exported STREQUAL sorted_expected)
  message(FATAL_ERROR "exports differ from the 26 KQ_ names:\n got: ${exported}\n want: ${sorted_expected}")
endif()
message(STATUS "${LIBRARY}: 26 exports, dependencies as expected")
