/*
 * Control interface of the simulated Camera SDK (ZTSDK_32).
 *
 * The simulator is a working virtual camera and the test double of the
 * bridge. These functions configure it, inject faults, slow calls down, raise
 * notifications on its callback threads and report what it saw: calls per
 * function, calls and callbacks running now, handles and buffers still
 * outstanding, and ZTFree calls that release something wrongly: never handed
 * out, already taken back, still in use by a call, or still the parent of
 * something outstanding.
 *
 * They are exported from the same library as the ZT functions, with the C
 * calling convention. They are safe to call from any thread except the
 * simulator's own callback threads, where ZTSim_WaitIdle and ZTSim_Reset
 * would wait for themselves.
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
 * included). Waits for the callback threads to become idle first. Calls still
 * inside the simulator stay counted by ZTSim_CallsInFlight until they return. */
ZTSIM_API void ZTSim_Reset(void);

/* Frees the memory of blocks still outstanding at an earlier ZTSim_Reset,
 * which the reset keeps valid in case the client still reads them. Only for
 * a caller that knows nothing can (a fuzzer whose inputs refuse frees, so
 * that such blocks do not pile up over millions of runs). */
ZTSIM_API void ZTSim_DropForgottenBlocks(void);

/* Makes the next `times` calls of `fn` fail (times < 0: every call until
 * cleared; times == 0: clear). A function that returns an error code returns
 * `code`; one that returns a handle returns null whatever `code` is. */
ZTSIM_API void ZTSim_SetFault(ZTSimFunction fn, uint32_t code, int32_t times);

/* Number of calls of `fn` since the last reset. */
ZTSIM_API uint32_t ZTSim_CallCount(ZTSimFunction fn);

/* Handles and buffers handed out and not yet released with ZTFree. */
ZTSIM_API uint32_t ZTSim_OutstandingCount(void);

/* ZTFree calls on something never handed out, or already released, and
 * releases of something outstanding that are faults all the same:
 *  - freed while a call on it is in flight: a ZT call given the handle
 *    (a session, or the camera manager for ZTGetCameraList, ZTOpenSession and
 *    ZTCameraListChangedSubscribe) is still inside the simulator;
 *  - freed before a child made through it: a camera manager or session while
 *    something made through it is outstanding. A session is made through the
 *    manager given to ZTOpenSession, the camera list through the manager, a
 *    subscription through the manager or session it subscribed to, and
 *    property-id arrays, property descriptors and preview frames through the
 *    session;
 *  - ZTFree waited 10 s for a running callback (ZTSim_SetFreeWaitsForCallbacks;
 *    a ZTTerminateSDK that waited as long counts too).
 * The release itself happens as usual in these cases; each kind of fault
 * counts once per ZTFree call. */
ZTSIM_API uint32_t ZTSim_FreeFaultCount(void);

/* Writes a NUL-terminated description of every outstanding handle and every
 * free fault into buffer (cut to fit). Returns the length it would need. */
ZTSIM_API uint32_t ZTSim_Describe(char* buffer, uint32_t size);

/* Waits until no notification is queued or running on any callback thread.
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

/* ---- Shots and downloads ---- */

/* Delay values of ZTSim_SetShotDelays besides a number of milliseconds. */
#define ZTSIM_DELAY_NEVER (-1) /* the notification never comes */
/* The notification runs on the callback thread before the ZT call that
 * causes it returns: ZTShoot (or ZTDownloadFile) waits until the first
 * callback thread, where these notifications run, is idle, so a shot with
 * both delays ZTSIM_DELAY_AT_ONCE has been downloaded and reported when
 * ZTShoot returns. */
#define ZTSIM_DELAY_AT_ONCE (-2)

/* Delay from ZTShoot to shot-completed and from ZTDownloadFile to
 * download-completed, in milliseconds or one of the values above (anything
 * below ZTSIM_DELAY_AT_ONCE counts as never). Defaults: 20 and 30 ms. */
ZTSIM_API void ZTSim_SetShotDelays(int32_t shootMs, int32_t downloadMs);

/* Value reported with every download-completed from ZTDownloadFile
 * (default 1). */
ZTSIM_API void ZTSim_SetDownloadValue(uint32_t value);

/* Size of the picture a shot takes (default 1600 x 1200, JPEG quality 92;
 * each side 8 to 8192, others are ignored). The picture shows colour bars,
 * a grey ramp and a gradient with light noise, and the shot number in large
 * digits in the top left corner. */
ZTSIM_API void ZTSim_SetShotSize(uint32_t width, uint32_t height);

/* Number of shots taken (successful ZTShoot calls started, and presses of the
 * shutter button) since the reset. */
ZTSIM_API uint32_t ZTSim_ShotCount(void);

/* Presses the camera's own shutter button `count` times, one after another:
 * each press takes a shot as ZTShoot does (same picture, delays and
 * downloads) and reports shot-completed to the subscriptions of every open
 * session, with no client call behind it. Returns the number of shots taken;
 * 0 while no session is open. */
ZTSIM_API uint32_t ZTSim_PressShutterButton(uint32_t count);

/* The `shoot`-th ZTShoot from now (1: the next) also presses the shutter
 * button once, right after taking its own shot, and returns only when the
 * first callback thread is idle: both shot-completed notifications, and the
 * download-completed ones of a client that downloads from inside them, have
 * been delivered, the shot's own first. 0 cancels. */
ZTSIM_API void ZTSim_PressShutterButtonDuringShoot(uint32_t shoot);

/* Shots taken with the shutter button since the reset. */
ZTSIM_API uint32_t ZTSim_ShutterButtonShots(void);

/* Writes the UTF-16 path reported by the last ZTDownloadFile into buffer,
 * NUL-terminated and cut to fit. Returns its length in code units without
 * the NUL; 0 before the first download. */
ZTSIM_API uint32_t ZTSim_LastShotPath(uint16_t* buffer, uint32_t units);

/* Makes the next ZTDownloadFile report `path` (NUL-terminated UTF-16) instead
 * of writing the shot to a file of its own; null cancels. */
ZTSIM_API void ZTSim_SetNextDownloadPath(const uint16_t* path);

/* Writes a new file of `size` bytes into the temporary folder and its
 * UTF-16 path into buffer as ZTSim_LastShotPath does; returns the path's
 * length, 0 on failure. Files up to 1 MiB hold byte i = i % 251; larger ones
 * are sparse: zeros, with the last byte (size - 1) % 251. */
ZTSIM_API uint32_t ZTSim_WriteTestFile(uint32_t size, uint16_t* buffer, uint32_t units);

/* Queues a download-completed notification with `value` and `path` (copied;
 * null is passed on as null) to every live download-completed subscription.
 * Returns the number of subscriptions it was queued for. */
ZTSIM_API uint32_t ZTSim_RaiseDownloadCompleted(uint32_t value, const uint16_t* path);

/* ZTSim_Reset also restores these defaults, forgets shots not downloaded and
 * deletes the files the simulator wrote (shots and test files) that are
 * still on disk. */

/* ---- Properties and zoom ---- */

/* The simulated camera defines SDK property ids 0 to 17 and offers, by
 * default, 0 to 5, 7 to 9, 11, 16 and 17 (property 10 is missing), each with
 * a supported-value list and a current value on the camera's own scale.
 * ZTSetPropertyData refuses values outside the supported list with
 * ZTSIM_E_INVALID_ARGUMENT; properties not offered answer ZTSIM_E_UNSUPPORTED.
 * The zoom runs from 0 to a maximum (default 100, position 0); ZTSetZoom
 * refuses positions outside that range, moves the lens and reports
 * zoom-completed on the callback thread a few milliseconds later.
 * ZTSim_Reset restores all of these defaults. */
#define ZTSIM_PROPERTY_ID_COUNT 18

/* Replaces the set of offered property ids (ids outside 0..17 are ignored). */
ZTSIM_API void ZTSim_SetOfferedProperties(const int32_t* ids, uint32_t count);

/* Replaces a property's supported-value list; the current value is kept. */
ZTSIM_API void ZTSim_SetSupportedValues(int32_t propertyId, const int32_t* values, uint32_t count);

/* Sets or reads a property's current value directly (no list check). */
ZTSIM_API void ZTSim_SetPropertyValue(int32_t propertyId, int32_t value);
ZTSIM_API int32_t ZTSim_PropertyValue(int32_t propertyId);

/* With claimed != 0, ZTGetPropertyDesc reports `count` as the number of
 * values whatever the list holds (the values array still holds the list);
 * claimed == 0 restores the true count. */
ZTSIM_API void ZTSim_SetDescriptorCount(int32_t propertyId, int32_t claimed, int32_t count);

/* Zoom maximum and lens position (set directly, no notification). */
ZTSIM_API void ZTSim_SetZoomMaximum(int32_t maximum);
ZTSIM_API void ZTSim_SetZoomPosition(int32_t position);
ZTSIM_API int32_t ZTSim_ZoomPosition(void);

/* Position asked for by the last ZTSetZoom that got past its fault and handle
 * checks, refused or not; -1 before the first. */
ZTSIM_API int32_t ZTSim_LastZoomRequest(void);

/* The next accepted ZTSetZoom stops the lens at `position` instead of its
 * target, once. */
ZTSIM_API void ZTSim_StopZoomShortOnce(int32_t position);

/* ---- Preview frames ---- */

/* While a session's preview is on (ZTSetPreviewState), the callback thread
 * announces a new frame to its preview-frame subscriptions `framesPerSecond`
 * times a second (default 30, at most 1000; 0: no frames unless raised).
 * ZTGetPreviewFrame hands out a copy of the current picture as a complete
 * 24-bit bottom-up bitmap file image, rows padded to four bytes, released
 * with ZTFree; it works whether or not the preview is on. The picture has a
 * red band along the top, a blue band along the bottom, colour bars, a
 * square that moves from frame to frame, and a centred white frame and a
 * green gauge that show the zoom position. Faults of the ZT functions come
 * from ZTSim_SetFault. */
ZTSIM_API void ZTSim_SetPreviewRate(uint32_t framesPerSecond);

/* Size of the picture (default 640 x 480; each side 1 to 4096). Returns 1,
 * or 0 when the size is refused. */
ZTSIM_API int32_t ZTSim_SetPreviewSize(int32_t width, int32_t height);

/* Queues `count` frame announcements to every preview-frame subscription of
 * every session whose preview is on. Returns the number queued. */
ZTSIM_API uint32_t ZTSim_RaisePreviewFrames(uint32_t count);

/* The next ZTGetPreviewFrame hands out a copy of these `size` bytes instead
 * of the picture (bytes null or size 0: a buffer with a count of 0).
 * Injected frames are handed out first, in order. */
ZTSIM_API void ZTSim_InjectPreviewFrame(const uint8_t* bytes, uint32_t size);

/* The next ZTGetPreviewFrame succeeds but hands out no usable frame: */
#define ZTSIM_PREVIEW_NULL_FRAME 1 /* a null pointer with a frame's count */
#define ZTSIM_PREVIEW_ZERO_COUNT 2 /* a buffer (still to be released), count 0 */
#define ZTSIM_PREVIEW_NEGATIVE_COUNT 3 /* a buffer (still to be released), count -1 */
ZTSIM_API void ZTSim_InjectEmptyPreviewFrame(int32_t kind);

/* Number of live sessions whose preview is on. */
ZTSIM_API uint32_t ZTSim_PreviewOnCount(void);

/* Frames handed out by ZTGetPreviewFrame since the reset. */
ZTSIM_API uint32_t ZTSim_PreviewFramesHandedOut(void);

/* ZTSim_Reset also restores these defaults, turns every preview off and
 * forgets injected frames. */

/* ---- Concurrency ----
 *
 * Calls of the ZT functions from several threads, callbacks on several
 * threads at once, and releases that wait for callbacks, so that a client's
 * teardown and callback handling can be shown to be safe deterministically.
 * ZTSim_Reset restores every default of this section. */

/* Every later call of `fn` spends `milliseconds` longer inside the simulator
 * (default and 0: no delay): after its injected-fault and argument checks,
 * counting as in flight (on the handle it was given as well), with no
 * simulator lock held, so that other calls, ZTFree and callbacks go on
 * meanwhile. Then it does its work as usual: a handle released meanwhile
 * makes it fail as an invalid handle does. */
ZTSIM_API void ZTSim_SetCallDelay(ZTSimFunction fn, uint32_t milliseconds);

/* Number of calls of `fn` inside the simulator right now, so that a test can
 * wait until a delayed call is under way. A ZTFree that waits for a running
 * callback counts too. */
ZTSIM_API uint32_t ZTSim_CallsInFlight(ZTSimFunction fn);

/* Number of callback threads, 1 to 4 (default 1; other values are clamped).
 * Preview-frame announcements, from the preview timer and from
 * ZTSim_RaisePreviewFrames, are handed to the threads in turn, so that
 * consecutive frames may be delivered at the same time on different threads.
 * Every other notification runs on the first thread, in order. ZTSim_Reset
 * drops the work pending on all threads and returns to one. The threads are
 * never joined, like the first. */
ZTSIM_API void ZTSim_SetCallbackThreads(uint32_t count);

/* With on != 0, ZTFree of a subscription waits, after releasing it, until no
 * callback of that subscription is running on another thread (a callback on
 * the calling thread is not waited for, so that a client may free a
 * subscription from inside its own callback), and ZTTerminateSDK waits until
 * no callback at all is running on another thread, as many Camera SDKs do.
 * The waiter holds no simulator lock meanwhile. After 10 s the wait records
 * a fault ("ZTFree waited 10 s for a running callback", counted by
 * ZTSim_FreeFaultCount) and gives up, so that a deadlock fails a test
 * instead of hanging it. Default off: ZTFree and ZTTerminateSDK never wait. */
ZTSIM_API void ZTSim_SetFreeWaitsForCallbacks(int32_t on);

/* Callbacks of subscriptions running now, on all callback threads: a
 * delivery counts from the moment it has found its subscription live until
 * the callback returns. */
ZTSIM_API uint32_t ZTSim_CallbacksRunning(void);

/* ---- A camera from a trace ----
 *
 * Takes the camera a trace of the recording Camera SDK shows (`length`
 * bytes of its text): the cameras listed, the properties offered, their
 * supported and current values, the zoom's maximum and position, and the
 * preview picture's size, each from the last successful call in the trace
 * that shows it; other lines, failed calls and cut lists are skipped.
 * Properties outside 0..17 are ignored, as ZTSim_SetOfferedProperties
 * does. Returns the number of facts taken. */
ZTSIM_API uint32_t ZTSim_LoadTraceCamera(const char* text, uint32_t length);

/* ---- Environment ----
 *
 * When the library is loaded it reads these variables, so that a program
 * driving the simulated camera as a separate process can be given an absent
 * camera, a refused call or an unreadable download. Unset variables change
 * nothing; ZTSim_Reset restores the defaults as usual.
 *
 *   ZTSIM_CAMERAS=N               N cameras attached (0 to ZTSIM_MAX_CAMERAS)
 *   ZTSIM_FAIL=FN:CODE[:TIMES],.. ZTSim_SetFault for the ZT function named FN
 *                                 without its prefix (OpenSession, Shoot, ..);
 *                                 TIMES defaults to every call
 *   ZTSIM_DOWNLOAD_PATH=PATH      ZTSim_SetNextDownloadPath(PATH) for the
 *                                 first download
 *   ZTSIM_CAMERA_ERROR=KIND@MS    ZTSim_RaiseCameraError(KIND) MS milliseconds
 *                                 after the first session opened
 *   ZTSIM_CAMERA_ERROR=KIND@liveview
 *                                 the same as soon as live view is first on
 *   ZTSIM_SHUTTER_BUTTON=COUNT@MS[+EVERY]
 *                                 COUNT presses of the shutter button, the
 *                                 first MS milliseconds after the first
 *                                 session opened, then one every EVERY ms
 *                                 (default 0: one after another)
 *   ZTSIM_SHUTTER_DURING_SHOOT=N  ZTSim_PressShutterButtonDuringShoot(N)
 *   ZTSIM_FREE_WAITS=1            ZTSim_SetFreeWaitsForCallbacks(1): ZTFree
 *                                 waits for callbacks in flight (0: the
 *                                 default, it does not)
 *   ZTSIM_CALLBACK_THREADS=N      ZTSim_SetCallbackThreads(N): preview
 *                                 frames on N threads in turn (1 to 4)
 *   ZTSIM_TRACE=PATH              ZTSim_LoadTraceCamera with the file at
 *                                 PATH (its first 64 MiB)
 */

#ifdef __cplusplus
}
#endif

#endif /* ZT_SIM_H */
