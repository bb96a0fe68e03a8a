// The camera of a trace taken with the recording Camera SDK, so that a
// field report becomes a test: the cameras listed, the properties offered,
// their supported values and current values, the zoom's maximum and
// position, and the preview picture's size, each from the last successful
// call in the trace that shows it. Lines of other kinds, failed calls, cut
// lists and anything malformed are skipped.
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "zt_sim.h"

namespace {

// The text after `key` in `line` up to the next space, or "".
std::string Field(const std::string& line, const std::string& key) {
    const std::size_t at = line.find(key);
    if (at == std::string::npos) return std::string();
    const std::size_t start = at + key.size();
    return line.substr(start, line.find(' ', start) - start);
}

bool Number(const std::string& text, long long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    *value = std::strtoll(text.c_str(), &end, 0);
    return end == text.c_str() + text.size();
}

bool Int32(const std::string& text, int32_t* value) {
    long long parsed = 0;
    if (!Number(text, &parsed) || parsed < INT32_MIN || parsed > INT32_MAX) return false;
    *value = static_cast<int32_t>(parsed);
    return true;
}

// The property of a "ZTGet...(session, id=N)" line.
bool PropertyId(const std::string& line, int32_t* id) {
    const std::string text = Field(line, ", id=");
    return Int32(text.substr(0, text.find(')')), id);
}

// The numbers of the bracketed list after `key`'s field ("count=3 [1 2 3]");
// false when there is none, it is cut ("...]") or malformed.
bool NumberList(const std::string& line, std::vector<int32_t>* values) {
    const std::size_t count = line.find(" count=");
    if (count == std::string::npos) return false;
    const std::size_t open = line.find(" [", count);
    const std::size_t close = open == std::string::npos ? open : line.find(']', open);
    if (close == std::string::npos) return false;
    values->clear();
    std::string item;
    const std::string inside = line.substr(open + 2, close - open - 2) + " ";
    for (const char c : inside) {
        if (c != ' ') {
            item += c;
            continue;
        }
        int32_t value = 0;
        if (!Int32(item, &value)) return false;  // "..." and anything else
        values->push_back(value);
        item.clear();
    }
    long long claimed = 0;
    return Number(Field(line, " count="), &claimed) && claimed == static_cast<long long>(values->size());
}

// The cameras of a camera-list line: [0xID "name"] entries.
bool Cameras(const std::string& line, std::vector<uint32_t>* ids, std::vector<std::string>* names) {
    std::size_t at = line.find(" count=");
    while (at != std::string::npos && ids->size() < ZTSIM_MAX_CAMERAS) {
        at = line.find(" [0x", at);
        if (at == std::string::npos) break;
        const std::size_t quote = line.find(" \"", at);
        long long id = 0;
        if (quote == std::string::npos || !Number(line.substr(at + 2, quote - at - 2), &id)) return false;
        std::string name;
        std::size_t i = quote + 2;
        for (; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == 'x' && i + 3 < line.size()) {
                name += static_cast<char>(std::strtol(line.substr(i + 2, 2).c_str(), nullptr, 16));
                i += 3;
            } else if (line[i] == '\\' && i + 1 < line.size()) {
                name += line[++i];
            } else {
                name += line[i];
            }
        }
        ids->push_back(static_cast<uint32_t>(id));
        names->push_back(name);
        at = i;
    }
    return !ids->empty();
}

}  // namespace

extern "C" ZTSIM_API uint32_t ZTSim_LoadTraceCamera(const char* text, uint32_t length) {
    if (text == nullptr) return 0;
    std::vector<uint32_t> cameraIds;
    std::vector<std::string> cameraNames;
    std::vector<int32_t> offered;
    bool haveOffered = false;
    std::map<int32_t, std::vector<int32_t>> supported;
    std::map<int32_t, int32_t> values;
    int32_t zoomMaximum = -1, zoomPosition = -1, width = 0, height = 0;
    std::size_t start = 0;
    const std::string all(text, length);
    while (start < all.size()) {
        std::size_t end = all.find('\n', start);
        if (end == std::string::npos) end = all.size();
        const std::string line = all.substr(start, end - start);
        start = end + 1;
        if (line.find(") -> 0x00000000") == std::string::npos) continue;
        int32_t id = 0, value = 0;
        std::vector<int32_t> list;
        if (line.find(" ZTGetCameraList(") != std::string::npos) {
            std::vector<uint32_t> ids;
            std::vector<std::string> names;
            if (Cameras(line, &ids, &names)) {
                cameraIds = ids;
                cameraNames = names;
            }
        } else if (line.find(" ZTGetPropertyList(") != std::string::npos) {
            if (NumberList(line, &list)) {
                offered = list;
                haveOffered = true;
            }
        } else if (line.find(" ZTGetPropertyDesc(") != std::string::npos) {
            if (PropertyId(line, &id) && NumberList(line, &list)) {
                supported[id] = list;
            }
        } else if (line.find(" ZTGetPropertyData(") != std::string::npos) {
            if (PropertyId(line, &id) && Int32(Field(line, " value="), &value)) {
                values[id] = value;
            }
        } else if (line.find(" ZTGetMaximumZoom(") != std::string::npos) {
            Int32(Field(line, " maximum="), &zoomMaximum);
        } else if (line.find(" ZTGetZoom(") != std::string::npos) {
            Int32(Field(line, " position="), &zoomPosition);
        } else if (line.find(" ZTGetPreviewFrame(") != std::string::npos) {
            int32_t w = 0, h = 0;
            if (Int32(Field(line, " width="), &w) && Int32(Field(line, " height="), &h)) {
                width = w;
                height = h < 0 ? -h : h;
            }
        }
    }
    uint32_t applied = 0;
    if (!cameraIds.empty()) {
        std::vector<const char*> names;
        for (const std::string& name : cameraNames) names.push_back(name.c_str());
        ZTSim_SetCameras(static_cast<uint32_t>(cameraIds.size()), cameraIds.data(), names.data());
        ++applied;
    }
    if (haveOffered) {
        ZTSim_SetOfferedProperties(offered.data(), static_cast<uint32_t>(offered.size()));
        ++applied;
    }
    for (const auto& entry : supported) {
        ZTSim_SetSupportedValues(entry.first, entry.second.data(), static_cast<uint32_t>(entry.second.size()));
        ++applied;
    }
    for (const auto& entry : values) {
        ZTSim_SetPropertyValue(entry.first, entry.second);
        ++applied;
    }
    if (zoomMaximum >= 0) {
        ZTSim_SetZoomMaximum(zoomMaximum);
        ++applied;
    }
    if (zoomPosition >= 0) {
        ZTSim_SetZoomPosition(zoomPosition);
        ++applied;
    }
    if (width > 0 && ZTSim_SetPreviewSize(width, height) != 0) ++applied;
    return applied;
}
