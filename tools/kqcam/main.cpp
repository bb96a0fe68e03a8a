// kqcam: drives a camera through the KQSDK API, as a client application does.
// This first version starts the SDK, lists the camera and tells where the
// bridge writes its log.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kqsdk.h"

namespace {

std::string Utf16ToUtf8(const uint16_t* text, std::size_t max) {
    std::string out;
    for (std::size_t i = 0; i < max && text[i] != 0; ++i) {
        const uint32_t c = text[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string LogPath() {
#if defined(_WIN32)
    const char* local = std::getenv("LOCALAPPDATA");
    return std::string(local != nullptr ? local : "%LOCALAPPDATA%") + "\\tovexbridge.log";
#else
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') return std::string(state) + "/tovexbridge.log";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "~") + "/.local/state/tovexbridge.log";
#endif
}

}  // namespace

int main() {
    KQ_StartSDK();
    KQDeviceList list;
    uint32_t size = sizeof list + 1;
    std::memset(&list, 0, sizeof list);
    const KQResult result = KQ_GetDeviceList(&size, &list);
    int status = 0;
    if (result != RESULT_OK) {
        std::fprintf(stderr, "kqcam: KQ_GetDeviceList failed: 0x%X\n", static_cast<unsigned>(result));
        status = 1;
    } else if (list.count == 0) {
        std::printf("No camera found.\n");
        status = 2;
    } else {
        std::printf("%-34s handle\n", "Model");
        std::printf("%-34s 0x%08X\n", Utf16ToUtf8(list.entry.name, 35).c_str(),
                    static_cast<unsigned>(list.entry.cameraHandle));
    }
    KQ_FinishSDK();
    std::printf("Bridge log: %s\n", LogPath().c_str());
    return status;
}
