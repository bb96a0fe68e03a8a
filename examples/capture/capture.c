/*
 * KQSDK example in plain C: lists the camera, reads the descriptor of its
 * ISO speed property, takes one picture and saves it.
 *
 *   kqsdk_capture [FILE]      (default: capture.jpg)
 *
 * Exit status: 0 done, 1 a call failed, 3 no camera found.
 */
#include <kqsdk.h>

#include <stdio.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

#define ISO_SPEED_CODE 0xD01Cu
#define EXIT_CALL_FAILED 1
#define EXIT_NO_CAMERA 3

/* Set by the event callback, which runs on a thread of the Camera SDK. */
#if defined(_WIN32)
static volatile LONG picture_released;
static void set_released(void) { InterlockedExchange(&picture_released, 1); }
static int is_released(void) { return InterlockedCompareExchange(&picture_released, 0, 0) != 0; }
static void pause_ms(unsigned ms) { Sleep(ms); }
#else
static int picture_released;
static void set_released(void) { __atomic_store_n(&picture_released, 1, __ATOMIC_SEQ_CST); }
static int is_released(void) { return __atomic_load_n(&picture_released, __ATOMIC_SEQ_CST) != 0; }
static void pause_ms(unsigned ms) {
    struct timespec t;
    t.tv_sec = (time_t)(ms / 1000u);
    t.tv_nsec = (long)(ms % 1000u) * 1000000L;
    nanosleep(&t, NULL);
}
#endif

static int check(const char* call, KQResult result) {
    if (result != RESULT_OK) {
        fprintf(stderr, "%s failed: result 0x%08lX\n", call, (unsigned long)result);
        return 0;
    }
    return 1;
}

static uint32_t KQ_STDCALL on_event(uint32_t camera, void* context, const KQEventRecord* record) {
    (void)camera;
    (void)context;
    if (record != NULL && record->eventCode == kqPTP_FULL_VIEW_RELEASED) set_released();
    return 0;
}

/* What the released-data callback writes to. */
typedef struct Download {
    FILE* file;
    unsigned long bytes;
    int ended;
    int failed;
} Download;

static uint32_t KQ_STDCALL on_data(uint32_t camera, uint32_t clientValue, void* context,
                                   const KQTransferProgress* progress) {
    Download* download = (Download*)context;
    (void)camera;
    (void)clientValue;
    if (progress->status == KQ_TRANSFER_DATA && progress->count > 0) {
        if (fwrite(progress->data, 1, progress->count, download->file) != progress->count) {
            download->failed = 1;
        }
        download->bytes += progress->count;
    } else if (progress->status == KQ_TRANSFER_END) {
        download->ended = 1;
    }
    return 0;
}

/* The camera's name is UTF-16; this prints its ASCII part. */
static void print_name(const uint16_t* name, size_t capacity) {
    size_t i;
    for (i = 0; i < capacity && name[i] != 0; ++i) putchar(name[i] < 0x80 ? (int)name[i] : '?');
}

static uint16_t read_u16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }

/* ISO speed: a DevicePropDesc of 16-bit values with an enumeration form. */
static int show_iso(uint32_t camera) {
    uint8_t buffer[512];
    uint32_t size = sizeof buffer;
    uint32_t i, count;
    if (!check("KQ_GetDevicePropDesc", KQ_GetDevicePropDesc(camera, ISO_SPEED_CODE, &size, buffer))) {
        return 0;
    }
    /* code, type, get/set, default, current, form flag: 10 bytes for UINT16 */
    if (size < 10 || size > sizeof buffer || read_u16(buffer + 2) != 0x0004) {
        fprintf(stderr, "ISO speed: unexpected descriptor (%lu bytes)\n", (unsigned long)size);
        return 0;
    }
    printf("ISO speed (0x%04X): %s, current 0x%04X", (unsigned)read_u16(buffer),
           buffer[4] ? "settable" : "read-only", (unsigned)read_u16(buffer + 7));
    if (buffer[9] == 2 && size >= 12) {
        count = read_u16(buffer + 10);
        if (12u + 2u * count > size) count = (size - 12u) / 2u;
        printf(", %lu allowed:", (unsigned long)count);
        for (i = 0; i < count; ++i) printf(" 0x%04X", (unsigned)read_u16(buffer + 12 + 2 * i));
    }
    printf("\n");
    return 1;
}

static int take_picture(uint32_t camera, const char* path) {
    Download download;
    KQResult result;
    int waited;
    if (!check("KQ_RC_Release", KQ_RC_Release(camera))) return 0;
    /* The released-image event normally comes before KQ_RC_Release
       returns; allow it a few seconds more. */
    for (waited = 0; !is_released() && waited < 5000; waited += 10) pause_ms(10);
    if (!is_released()) {
        fprintf(stderr, "no picture arrived (event 0x%04X)\n", kqPTP_FULL_VIEW_RELEASED);
        return 0;
    }
    memset(&download, 0, sizeof download);
    download.file = fopen(path, "wb");
    if (download.file == NULL) {
        perror(path);
        return 0;
    }
    result = KQ_RC_GetReleasedData(camera, 1, kqPTP_FULL_VIEW_RELEASED, 0, &download, on_data);
    if (fclose(download.file) != 0) download.failed = 1;
    if (!check("KQ_RC_GetReleasedData", result)) return 0;
    if (!download.ended || download.bytes == 0 || download.failed) {
        fprintf(stderr, "the picture did not arrive whole (%lu bytes)\n", download.bytes);
        remove(path);
        return 0;
    }
    printf("saved %s (%lu bytes)\n", path, download.bytes);
    return 1;
}

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "capture.jpg";
    /* The list is 1110 bytes, the buffer must hold at least 1111. */
    static union {
        KQDeviceList list;
        uint8_t bytes[KQ_DEVICE_LIST_MIN_SIZE];
    } devices;
    KQDeviceList* list = &devices.list;
    uint32_t size = sizeof devices;
    uint32_t camera = 0;
    int status = EXIT_CALL_FAILED;

    if (!check("KQ_StartSDK", KQ_StartSDK())) return EXIT_CALL_FAILED;
    if (!check("KQ_GetDeviceList", KQ_GetDeviceList(&size, list))) goto finish;
    if (list->count == 0) {
        fprintf(stderr, "no camera found\n");
        status = EXIT_NO_CAMERA;
        goto finish;
    }
    printf("camera: ");
    print_name(list->entry.name, sizeof list->entry.name / sizeof list->entry.name[0]);
    printf("\n");

    if (!check("KQ_CreateCameraObject", KQ_CreateCameraObject(&list->entry, &camera))) goto finish;
    if (!check("KQ_ConnectCamera", KQ_ConnectCamera(camera))) goto destroy;
    if (check("KQ_SetEventCallBack", KQ_SetEventCallBack(camera, NULL, on_event)) &&
        show_iso(camera) && take_picture(camera, path)) {
        status = 0;
    }
    KQ_ClearEventCallBack(camera);
    KQ_DisconnectCamera(camera);
destroy:
    KQ_DestroyCameraObject(camera);
finish:
    KQ_FinishSDK();
    return status;
}
