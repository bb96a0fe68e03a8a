# Checks the built libraries' export and import tables with the host's
# binutils: the bridge exports exactly the 26 KQ_ names, and depends on the
# Camera SDK and (on Windows) on system DLLs only.
# Inputs: -DLIBRARY=<path> -DKIND=elf|pe -DTOOL=<nm or objdump>
cmake_policy(SET CMP0057 NEW)

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
  string(REGEX MATCHALL "[0-9a-f]+ [TtWwDdBbRrVv] [^\n]+" lines "${symbols}")
  set(exported)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[0-9a-f]+ [A-Za-z] " "" name "${line}")
    list(APPEND exported ${name})
  endforeach()
  execute_process(COMMAND readelf -d ${LIBRARY} OUTPUT_VARIABLE dynamic)
  if(NOT dynamic MATCHES "NEEDED[^\n]*\\[libZTSDK_32\\.so\\]")
    message(FATAL_ERROR "libKQSDK.so does not depend on libZTSDK_32.so:\n${dynamic}")
  endif()
  if(NOT dynamic MATCHES "\\$ORIGIN")
    message(FATAL_ERROR "libKQSDK.so does not look for the Camera SDK beside itself:\n${dynamic}")
  endif()
else()
  execute_process(COMMAND ${TOOL} -p ${LIBRARY} OUTPUT_VARIABLE table RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${LIBRARY}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\n]+" dlls "${table}")
  set(allowed KERNEL32.dll msvcrt.dll SHELL32.dll USER32.dll ZTSDK_32.dll)
  foreach(entry IN LISTS dlls)
    string(REPLACE "DLL Name: " "" dll "${entry}")
    string(STRIP "${dll}" dll)
    if(NOT dll IN_LIST allowed)
      message(FATAL_ERROR "KQSDK.dll imports ${dll}, which is neither a system DLL nor the Camera SDK")
    endif()
  endforeach()
  # The export name table: "[ordinal-1] name" after "[Ordinal/Name Pointer] Table".
  string(REGEX REPLACE ".*Ordinal/Name Pointer\\] Table" "" names "${table}")
  string(FIND "${names}" "\n\n" table_end)
  string(SUBSTRING "${names}" 0 ${table_end} names)
  string(REGEX MATCHALL "\\[ *[0-9]+\\] [A-Za-z_@0-9]+" rows "${names}")
  set(exported)
  foreach(row IN LISTS rows)
    string(REGEX REPLACE "^\\[ *[0-9]+\\] " "" name "${row}")
    list(APPEND exported ${name})
  endforeach()
endif()

list(SORT exported)
list(REMOVE_DUPLICATES exported)
set(sorted_expected ${expected})
list(SORT sorted_expected)
if(NOT exported STREQUAL sorted_expected)
  message(FATAL_ERROR "exports differ from the 26 KQ_ names:\n got: ${exported}\n want: ${sorted_expected}")
endif()
message(STATUS "${LIBRARY}: 26 exports, dependencies as expected")
