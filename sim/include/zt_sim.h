/*
 * Control interface of the simulated Camera SDK (ZTSDK_32).
 *
 * The simulator is a working virtual camera and the test double of the
 * bridge. These functions configure it, inject faults, raise notifications on
 * its callback thread and report what it saw: calls per function, handles and
 * buffers still outstanding, and ZTFree calls on something it never handed out
 * or had already taken back.
 *
 * They are exported from the same library as the ZT functions, with the C
 * calling convention. They are safe to call from any thread except the
 * simulator's own callback thread, where ZTSim_WaitIdle would wait for itself.
 */
#ifndef ZT_SIM_H
#define ZT_SIM_H

#include <stdint.h>

#if defined(ZTSDK_BUILDING) && defined(_WIN32)
#define ZTSIM_API __declspec(dllexport)
#elif defined(ZTSDK_BUILDING)
#define ZTSIM_API __attribute__((visibility("default")))
#else
#define ZTSIM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One value per ZT function, for fault injection and call counters. */
typedef enum ZTSimFunction {
    ZTSIM_FN_InitializeSDK = 0,
    ZTSIM_FN_TerminateSDK,
    ZTSIM_FN_GetCameraManager,
    ZTSIM_FN_Free,
    ZTSIM_FN_CameraListChangedSubscribe,
    ZTSIM_FN_GetCameraList,
    ZTSIM_FN_OpenSession,
    ZTSIM_FN_ShootCompletedSubscribe,
    ZTSIM_FN_DownloadCompletedSubscribe,
    ZTSIM_FN_ZoomCompletedSubscribe,
    ZTSIM_FN_CameraErrorSubscribe,
    ZTSIM_FN_NewPreviewFrameSubscribe,
    ZTSIM_FN_SetPreviewState,
    ZTSIM_FN_GetPreviewFrame,
    ZTSIM_FN_Shoot,
    ZTSIM_FN_DownloadFile,
    ZTSIM_FN_UpdateAEAF,
    ZTSIM_FN_GetPropertyList,
    ZTSIM_FN_GetPropertyDesc,
    ZTSIM_FN_GetPropertyData,
    ZTSIM_FN_SetPropertyData,
    ZTSIM_FN_GetPropertyName,
    ZTSIM_FN_GetZoom,
    ZTSIM_FN_SetZoom,
    ZTSIM_FN_GetMaximumZoom,
    ZTSIM_FN_COUNT
} ZTSimFunction;

/* Error codes the simulator answers with on its own account. */
#define ZTSIM_E_UNSUPPORTED 0x20000001u /* not offered by the simulated camera */
#define ZTSIM_E_NOT_INITIALIZED 0x20000002u /* ZTInitializeSDK has not run */
#define ZTSIM_E_INVALID_HANDLE 0x20000003u /* unknown or already freed handle */
#define ZTSIM_E_INVALID_ARGUMENT 0x20000004u /* null out-pointer or value out of range */

/* Restores the default camera and configuration, clears faults, counters and
 * pending notifications, and forgets every handle record (outstanding ones
 * included). Waits for the callback thread to become idle first. */
ZTSIM_API void ZTSim_Reset(void);

/* Makes the next `times` calls of `fn` fail (times < 0: every call until
 * cleared; times == 0: clear). A function that returns an error code returns
 * `code`; one that returns a handle returns null whatever `code` is. */
ZTSIM_API void ZTSim_SetFault(ZTSimFunction fn, uint32_t code, int32_t times);

/* Number of calls of `fn` since the last reset. */
ZTSIM_API uint32_t ZTSim_CallCount(ZTSimFunction fn);

/* Handles and buffers handed out and not yet released with ZTFree. */
ZTSIM_API uint32_t ZTSim_OutstandingCount(void);

/* ZTFree calls on something never handed out, or already released. */
ZTSIM_API uint32_t ZTSim_FreeFaultCount(void);

/* Writes a NUL-terminated description of every outstanding handle and every
 * free fault into buffer (cut to fit). Returns the length it would need. */
ZTSIM_API uint32_t ZTSim_Describe(char* buffer, uint32_t size);

/* Waits until no notification is queued or running on the callback thread.
 * Notifications scheduled for a later time are waited for too. */
ZTSIM_API void ZTSim_WaitIdle(void);

/* 1 while the simulated SDK is initialised (ZTInitializeSDK without a later
 * ZTTerminateSDK). */
ZTSIM_API int32_t ZTSim_IsInitialized(void);

/* Queue a camera-list-changed notification to every live subscription. The
 * record passed to the callback starts with cameraId. Returns the number of
 * subscriptions it was queued for. */
ZTSIM_API uint32_t ZTSim_RaiseCameraListChanged(uint32_t cameraId, int32_t changeKind);

/* Queue a camera-error notification to every live camera-error subscription.
 * Returns the number of subscriptions it was queued for. */
ZTSIM_API uint32_t ZTSim_RaiseCameraError(int32_t errorKind);

/* ---- Cameras and sessions ---- */

#define ZTSIM_E_NO_CAMERA 0x20000005u /* no camera with that identifier */
#define ZTSIM_MAX_CAMERAS 8u

/* Replaces the list of attached cameras (at most ZTSIM_MAX_CAMERAS). names
 * are NUL-terminated UTF-8; a null array or entry gives an empty name. The
 * default is one camera, 0x5A430001 "ZT Virtual Camera". */
ZTSIM_API void ZTSim_SetCameras(uint32_t count, const uint32_t* ids, const char* const* names);

/* Sets camera `index`'s name to `units` raw UTF-16 code units (no terminator
 * is added; names of 704 units or more fill the record with no terminator). */
ZTSIM_API void ZTSim_SetCameraNameUtf16(uint32_t index, const uint16_t* name, uint32_t units);

/* Number of sessions open now. */
ZTSIM_API uint32_t ZTSim_OpenSessionCount(void);

#ifdef __cplusplus
}
#endif

#endif /* ZT_SIM_H */
