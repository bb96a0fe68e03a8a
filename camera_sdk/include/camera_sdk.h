// The Camera SDK (ZTSDK_32): its 25 functions and six callback kinds, the
// contract that the bridge calls and the simulated Camera SDK implements.
// Everything is stdcall with 32-bit arguments.
// Error codes are 0 for success; handles are opaque, null for none or failure.
// Every handle and buffer the Camera SDK hands out is released with ZTFree.
#ifndef CAMERA_SDK_H
#define CAMERA_SDK_H

#include <stdint.h>

#if defined(_WIN32)
#define ZT_STDCALL __stdcall
#else
#define ZT_STDCALL __attribute__((stdcall))
#endif

#if defined(ZTSDK_BUILDING) && !defined(_WIN32)
#define ZT_API __attribute__((visibility("default")))
#else
#define ZT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t ZTResult;
#define ZT_OK 0u

typedef void* ZTHandle;

// One entry of the camera list: the identifier, then the NUL-terminated
// UTF-16 name. The name is whatever the camera reports; it is not guaranteed
// to be terminated inside the record.
#define ZT_CAMERA_RECORD_SIZE 1412u
#define ZT_CAMERA_NAME_UNITS ((ZT_CAMERA_RECORD_SIZE - 4u) / 2u)
typedef struct ZTCameraRecord {
    uint32_t cameraId;
    uint16_t name[ZT_CAMERA_NAME_UNITS];
} ZTCameraRecord;

// Supported values of one property, as ZTGetPropertyDesc hands them out.
typedef struct ZTPropertyDesc {
    int32_t* values;
    uint32_t reserved;
    int32_t count;
} ZTPropertyDesc;

// Change kind of a camera-list notification that means "this camera went away".
#define ZT_CAMERA_LIST_REMOVED 1
// Error kind of a camera-error notification that the bridge turns into events.
#define ZT_CAMERA_ERROR_FATAL 8

typedef void(ZT_STDCALL* ZTCameraListChangedProc)(void* context, const void* cameraRecord,
                                                  int32_t changeKind);
typedef void(ZT_STDCALL* ZTShootCompletedProc)(void* context, const void* shotRecord);
typedef void(ZT_STDCALL* ZTDownloadCompletedProc)(void* context, uint32_t value,
                                                  const uint16_t* path);
typedef void(ZT_STDCALL* ZTNewPreviewFrameProc)(void* context);
typedef void(ZT_STDCALL* ZTZoomCompletedProc)(void* context);
typedef void(ZT_STDCALL* ZTCameraErrorProc)(void* context, int32_t errorKind);

ZT_API ZTResult ZT_STDCALL ZTInitializeSDK(void);
ZT_API ZTResult ZT_STDCALL ZTTerminateSDK(void);
ZT_API ZTHandle ZT_STDCALL ZTGetCameraManager(void);
ZT_API void ZT_STDCALL ZTFree(void* handleOrBuffer);
ZT_API ZTHandle ZT_STDCALL ZTCameraListChangedSubscribe(ZTHandle manager,
                                                        ZTCameraListChangedProc callback,
                                                        void* context);
ZT_API ZTResult ZT_STDCALL ZTGetCameraList(ZTHandle manager, ZTCameraRecord** list,
                                           uint32_t* count);
ZT_API ZTResult ZT_STDCALL ZTOpenSession(ZTHandle manager, uint32_t cameraId, ZTHandle* session);
ZT_API ZTHandle ZT_STDCALL ZTShootCompletedSubscribe(ZTHandle session,
                                                     ZTShootCompletedProc callback,
                                                     void* context);
ZT_API ZTHandle ZT_STDCALL ZTDownloadCompletedSubscribe(ZTHandle session,
                                                        ZTDownloadCompletedProc callback,
                                                        void* context);
ZT_API ZTHandle ZT_STDCALL ZTZoomCompletedSubscribe(ZTHandle session, ZTZoomCompletedProc callback,
                                                    void* context);
ZT_API ZTHandle ZT_STDCALL ZTCameraErrorSubscribe(ZTHandle session, ZTCameraErrorProc callback,
                                                  void* context);
ZT_API ZTHandle ZT_STDCALL ZTNewPreviewFrameSubscribe(ZTHandle session,
                                                      ZTNewPreviewFrameProc callback,
                                                      void* context);
ZT_API ZTResult ZT_STDCALL ZTSetPreviewState(ZTHandle session, int32_t on);
ZT_API ZTResult ZT_STDCALL ZTGetPreviewFrame(ZTHandle session, uint8_t** frame, int32_t* size);
ZT_API ZTResult ZT_STDCALL ZTShoot(ZTHandle session);
ZT_API ZTResult ZT_STDCALL ZTDownloadFile(ZTHandle session, uint32_t item, int32_t mode);
ZT_API ZTResult ZT_STDCALL ZTUpdateAEAF(ZTHandle session);
ZT_API ZTResult ZT_STDCALL ZTGetPropertyList(ZTHandle session, int32_t** ids, int32_t* count);
ZT_API ZTResult ZT_STDCALL ZTGetPropertyDesc(ZTHandle session, int32_t propertyId,
                                             ZTPropertyDesc** desc);
ZT_API ZTResult ZT_STDCALL ZTGetPropertyData(ZTHandle session, int32_t propertyId, int32_t* value);
ZT_API ZTResult ZT_STDCALL ZTSetPropertyData(ZTHandle session, int32_t propertyId, int32_t value);
ZT_API ZTResult ZT_STDCALL ZTGetPropertyName(int32_t propertyId, const char** name);
ZT_API ZTResult ZT_STDCALL ZTGetZoom(ZTHandle session, int32_t* position);
ZT_API ZTResult ZT_STDCALL ZTSetZoom(ZTHandle session, int32_t position);
ZT_API ZTResult ZT_STDCALL ZTGetMaximumZoom(ZTHandle session, int32_t* maximum);

#ifdef __cplusplus
}
#endif

#endif  // CAMERA_SDK_H
