/*
 * KQSDK: remote-capture camera API.
 *
 * Every function uses the stdcall convention, takes 32-bit arguments and
 * returns a KQResult. Datasets and records are little-endian and packed.
 * The library is 32-bit only.
 */
#ifndef KQSDK_H
#define KQSDK_H

#include <stdint.h>

#if defined(_WIN32)
#define KQ_STDCALL __stdcall
#else
#define KQ_STDCALL __attribute__((stdcall))
#endif

#if defined(KQSDK_BUILDING) && !defined(_WIN32)
#define KQ_API __attribute__((visibility("default")))
#else
#define KQ_API
#endif

#ifdef __cplusplus
#define KQ_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
extern "C" {
#else
#define KQ_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

KQ_STATIC_ASSERT(sizeof(void*) == 4, "KQSDK is a 32-bit library: records carry 32-bit addresses");

/* Result codes. */
typedef uint32_t KQResult;
#define RESULT_OK 0x00000000u
#define RESULT_DEVICE_ERROR 0x00000002u
#define RESULT_NULL_POINTER 0x00000021u
#define RESULT_WRONG_CAMERA 0x00000022u
#define RESULT_NOT_CONNECTED 0x00000061u
#define RESULT_BUFFER_TOO_SMALL 0x00000063u
#define RESULT_CALLBACK_IN_USE 0x00000064u
#define RESULT_CONNECT_FAILED 0x00002003u

/* Event codes delivered to the event callback. */
#define kqCAL_SHUTDOWN 0xD001u
#define kqPTP_FULL_VIEW_RELEASED 0xC008u
#define kqPTP_CAMERA_ERROR 0xC00Au

/* Status values of KQTransferProgress. */
#define KQ_TRANSFER_START 1u
#define KQ_TRANSFER_DATA 2u
#define KQ_TRANSFER_END 4u

/* Smallest buffer KQ_GetDeviceList accepts. */
#define KQ_DEVICE_LIST_MIN_SIZE 1111u
/* Size of one chunk of a released-image transfer. */
#define KQ_TRANSFER_CHUNK_SIZE 20480u

#pragma pack(push, 1)

/* One camera as listed by KQ_GetDeviceList (1106 bytes). */
typedef struct KQDeviceListEntry {
    uint8_t reserved1[1024];
    uint16_t name[35]; /* UTF-16LE, NUL-terminated */
    uint32_t cameraHandle;
    uint8_t reserved2[8];
} KQDeviceListEntry;

/* The record KQ_GetDeviceList fills: a count (0 or 1) and one entry. */
typedef struct KQDeviceList {
    uint32_t count;
    KQDeviceListEntry entry;
} KQDeviceList;

/* PTP-style event container handed to the event callback (24 bytes). */
typedef struct KQEventRecord {
    uint32_t length; /* always 24 */
    uint16_t containerType; /* always 0 */
    uint16_t eventCode;
    uint32_t transactionId; /* always 0 */
    uint32_t param1;
    uint32_t param2;
    uint32_t param3;
} KQEventRecord;

/* Progress record handed to the released-data callback (32 bytes). */
typedef struct KQTransferProgress {
    uint32_t status; /* KQ_TRANSFER_START, _DATA or _END */
    uint32_t reserved1;
    uint32_t percent;
    uint32_t offset; /* bytes delivered before this chunk */
    uint32_t count; /* bytes in this chunk */
    uint32_t reserved2;
    uint32_t reserved3;
    const uint8_t* data; /* the chunk; valid until the callback returns */
} KQTransferProgress;

#pragma pack(pop)

KQ_STATIC_ASSERT(sizeof(KQDeviceListEntry) == 1106, "DeviceListEntry is 1106 bytes");
KQ_STATIC_ASSERT(sizeof(KQDeviceList) == 1110, "DeviceList is 1110 bytes");
KQ_STATIC_ASSERT(sizeof(KQEventRecord) == 24, "EventRecord is 24 bytes");
KQ_STATIC_ASSERT(sizeof(KQTransferProgress) == 32, "TransferProgress is 32 bytes");

/* Client callbacks; their results are ignored. The record and image pointers
 * are valid only until the callback returns. */
typedef uint32_t(KQ_STDCALL* KQEventCallback)(uint32_t cameraHandle, void* context,
                                              const KQEventRecord* record);
typedef uint32_t(KQ_STDCALL* KQReleasedDataCallback)(uint32_t cameraHandle, uint32_t clientValue,
                                                     void* context,
                                                     const KQTransferProgress* progress);
typedef uint32_t(KQ_STDCALL* KQViewFinderCallback)(uint32_t cameraHandle, void* context,
                                                   uint32_t jpegSize, const uint8_t* jpeg);

/*
 * Threads and callbacks
 *
 * 1. Every function may be called from any thread, at the same time as any
 *    other function and as the Camera SDK's callbacks. Calls made at once
 *    behave as if they ran one after another in some order: no crash, no
 *    torn dataset or record, no leak, no double release. So releases made at
 *    once take turns, within the one 30 s limit of each, and each returns
 *    after the download of its own picture; a picture goes to the one
 *    KQ_RC_GetReleasedData that takes it, and each KQ_GetDeviceList answers
 *    from a whole camera list.
 * 2. Every function may be called from inside the event, released-data and
 *    viewfinder callbacks. Such a call never waits for other callbacks to
 *    return; what it releases is completed by whichever callback finishes
 *    last. One call cannot complete there: KQ_RC_Release from inside a
 *    callback on the Camera SDK thread that would deliver the picture (the
 *    event or viewfinder callback) ends by its time-out of 30 s, and the
 *    picture follows afterwards; so does one made there while another
 *    thread's release waits for a picture that thread would deliver.
 * 3. When KQ_RC_TermViewFinder, KQ_DisconnectCamera or KQ_FinishSDK returns
 *    on a thread that is not inside one of these callbacks, the callbacks of
 *    what it stopped have returned (the viewfinder callback after
 *    KQ_RC_TermViewFinder; every callback after KQ_FinishSDK), and no Camera
 *    SDK call on a handle it released is still running. Unloading the
 *    library after KQ_FinishSDK is therefore safe, given a Camera SDK that
 *    makes no new callback once a subscription is released.
 *    KQ_ClearEventCallBack does not wait: an event already being delivered
 *    may still reach the callback it cleared.
 * 4. These waits are bounded: about 5 s in all for one call. A callback or
 *    Camera SDK call still running then is named in the log, and what it
 *    uses is released when it returns. So do not hold a lock that your
 *    callbacks take while calling the three functions above.
 * The record, chunk and image pointers handed to a callback are valid only
 * until it returns.
 */

/* The 26 exports, in ordinal order. */
KQ_API KQResult KQ_STDCALL KQ_ClearEventCallBack(uint32_t cameraHandle);
KQ_API KQResult KQ_STDCALL KQ_ConnectCamera(uint32_t cameraHandle);
KQ_API KQResult KQ_STDCALL KQ_CreateCameraObject(const KQDeviceListEntry* entry,
                                                 uint32_t* cameraHandleOut);
KQ_API KQResult KQ_STDCALL KQ_DestroyCameraObject(uint32_t cameraHandle);
KQ_API KQResult KQ_STDCALL KQ_DisconnectCamera(uint32_t cameraHandle);
KQ_API KQResult KQ_STDCALL KQ_FinishSDK(void);
KQ_API KQResult KQ_STDCALL KQ_GetDeviceInfo(uint32_t cameraHandle, uint32_t* size, void* buffer);
KQ_API KQResult KQ_STDCALL KQ_GetDeviceList(uint32_t* size, KQDeviceList* list);
KQ_API KQResult KQ_STDCALL KQ_GetDevicePropDesc(uint32_t cameraHandle, uint32_t propertyCode,
                                                uint32_t* size, void* buffer);
KQ_API KQResult KQ_STDCALL KQ_GetDevicePropValue(uint32_t cameraHandle, uint32_t propertyCode,
                                                 uint32_t* size, void* buffer);
KQ_API KQResult KQ_STDCALL KQ_GetDllsVersion(void* reserved1, void* reserved2);
KQ_API KQResult KQ_STDCALL KQ_GetFunctions(uint32_t reserved);
KQ_API KQResult KQ_STDCALL KQ_InitiateReleaseControl(uint32_t cameraHandle);
KQ_API KQResult KQ_STDCALL KQ_RC_DoAeAfAwb(uint32_t cameraHandle, uint32_t reserved);
KQ_API KQResult KQ_STDCALL KQ_RC_FocusLock(uint32_t reserved);
KQ_API KQResult KQ_STDCALL KQ_RC_FocusUnlock(uint32_t reserved);
KQ_API KQResult KQ_STDCALL KQ_RC_GetChangedReleaseParamesList(uint32_t reserved1, void* reserved2,
                                                              void* reserved3);
KQ_API KQResult KQ_STDCALL KQ_RC_GetNumAvailableShot(uint32_t reserved1, void* reserved2);
KQ_API KQResult KQ_STDCALL KQ_RC_GetReleasedData(uint32_t cameraHandle, uint32_t clientValue,
                                                 uint32_t eventCode, uint32_t reserved,
                                                 void* context, KQReleasedDataCallback callback);
KQ_API KQResult KQ_STDCALL KQ_RC_Release(uint32_t cameraHandle);
KQ_API KQResult KQ_STDCALL KQ_RC_StartViewFinder(uint32_t cameraHandle, void* context,
                                                 KQViewFinderCallback callback);
KQ_API KQResult KQ_STDCALL KQ_RC_TermViewFinder(uint32_t cameraHandle);
KQ_API KQResult KQ_STDCALL KQ_SetDevicePropValue(uint32_t cameraHandle, uint32_t propertyCode,
                                                 uint32_t size, const void* value);
KQ_API KQResult KQ_STDCALL KQ_SetEventCallBack(uint32_t cameraHandle, void* context,
                                               KQEventCallback callback);
KQ_API KQResult KQ_STDCALL KQ_StartSDK(void);
KQ_API KQResult KQ_STDCALL KQ_TerminateReleaseControl(uint32_t cameraHandle);

#ifdef __cplusplus
}
#endif

#endif /* KQSDK_H */
