// ztprobe's two reports: one for a person, one for a program (--json).
#include <cstdio>
#include <string>

#include "probe.h"
#include "text.h"

namespace ztprobe {

namespace {

std::string Printf(const char* format, double a, double b, double c) {
    char text[128];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

std::string Json(const std::string& text) { return ztkit::Quoted(text, "\\u%04x"); }

std::string Code(std::uint32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", code);
    return text;
}

// `text` broken into lines of at most 92 columns after `indent`, the
// first line starting with `lead` instead.
std::string Wrapped(const std::string& text, const std::string& indent, const std::string& lead) {
    constexpr std::size_t kWidth = 92;
    std::string out;
    std::string line = lead;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (line.size() > indent.size() && line.size() + 1 + word.size() > kWidth) {
            out += line + "\n";
            line = indent;
        } else if (line.size() > lead.size() || (line.size() > indent.size() && line != lead)) {
            line += ' ';
        }
        line += word;
        start = end + 1;
    }
    return out + line + "\n";
}

const char* Mark(Status status) {
    switch (status) {
    case Status::Holds: return "[ok]     ";
    case Status::Caution: return "[caution]";
    case Status::Fails: return "[FAILS]  ";
    case Status::Skipped: return "[skipped]";
    }
    return "[skipped]";
}

}  // namespace

std::string HumanReport(const ProbeResult& result) {
    std::string out = "ztprobe: " + result.library + "\n\n";
    int index = 1;
    for (const Verdict& verdict : result.verdicts) {
        out += std::string(Mark(verdict.status)) + " " + std::to_string(index++) + ". " + verdict.title + "\n";
        const std::string indent(12, ' ');
        if (!verdict.detail.empty()) out += Wrapped(verdict.detail, indent, indent);
        if (!verdict.meaning.empty()) out += Wrapped(verdict.meaning, indent + "   ", indent + "-> ");
    }
    if (!result.latencies.empty()) {
        out += "\nLatency of each call (microseconds):\n";
        out += "  function                         calls        min       mean        max\n";
        for (const auto& entry : result.latencies) {
            const Latency& l = entry.second;
            char line[160];
            std::snprintf(line, sizeof line, "  %-30s %7u %10.0f %10.0f %10.0f\n", entry.first.c_str(), l.calls, l.minUs,
                          l.calls > 0 ? l.totalUs / l.calls : 0.0, l.maxUs);
            out += line;
        }
    }
    if (!result.failures.empty()) {
        out += "\nCalls that failed:\n";
        for (const Failure& failure : result.failures) {
            out += "  " + failure.function + ": " + (failure.nullHandle ? "no handle" : Code(failure.code)) + "\n";
        }
    }
    const int status = ExitStatus(result);
    out += "\n";
    if (status == 3) {
        out += "No camera: nothing beyond initialisation could be probed.\n";
    } else if (status == 1) {
        out += "This Camera SDK does not meet what the bridge relies on.\n";
    } else {
        bool caution = false;
        for (const Verdict& verdict : result.verdicts) caution = caution || verdict.status == Status::Caution;
        out += caution ? "This Camera SDK meets what the bridge relies on, with the cautions above.\n"
                       : "This Camera SDK meets what the bridge relies on.\n";
    }
    return out;
}

std::string JsonReport(const ProbeResult& result) {
    std::string out = "{\n  \"library\": " + Json(result.library) + ",\n";
    out += "  \"exit_status\": " + std::to_string(ExitStatus(result)) + ",\n";
    out += "  \"verdicts\": [";
    for (std::size_t i = 0; i < result.verdicts.size(); ++i) {
        const Verdict& v = result.verdicts[i];
        out += std::string(i == 0 ? "\n" : ",\n") + "    {\"check\": " + Json(v.key) + ", \"status\": " +
               Json(StatusName(v.status)) + ", \"detail\": " + Json(v.detail) + ", \"meaning\": " + Json(v.meaning) +
               "}";
    }
    out += "\n  ],\n";
    out += "  \"missing\": [";
    for (std::size_t i = 0; i < result.missing.size(); ++i) out += (i == 0 ? "" : ", ") + Json(result.missing[i]);
    out += "],\n  \"cameras\": [";
    for (std::size_t i = 0; i < result.cameras.size(); ++i) {
        out += std::string(i == 0 ? "" : ", ") + "{\"id\": " + Json(Code(result.cameras[i].id)) +
               ", \"name\": " + Json(result.cameras[i].name) + "}";
    }
    out += "],\n";
    out += "  \"preview_callback_threads\": " + std::to_string(result.previewCallbackThreads) + ",\n";
    out += "  \"preview_frames_counted\": " + std::to_string(result.previewFrames) + ",\n";
    out += "  \"callback_on_caller_thread\": " + std::string(result.callbackOnCallerThread ? "true" : "false") + ",\n";
    out += "  \"free_waits_for_callbacks\": " +
           std::string(!result.freeWaitsMeasured ? "null" : result.freeWaitsForCallbacks ? "true" : "false") + ",\n";
    out += "  \"free_with_callback_us\": " + Printf("%.0f", result.freeWithCallbackUs, 0, 0) + ",\n";
    out += "  \"free_cycles\": " + std::to_string(result.freeCycles) + ",\n";
    out += "  \"callbacks_after_free\": " + std::to_string(result.callbacksAfterFree) + ",\n";
    out += "  \"callbacks_running_after_free\": " + std::to_string(result.callbacksRunningAfterFree) + ",\n";
    if (result.frameChecked) {
        const FrameFacts& f = result.frame;
        out += "  \"frame\": {\"bytes\": " + std::to_string(f.size) + ", \"bfSize\": " + std::to_string(f.fileSize) +
               ", \"bfOffBits\": " + std::to_string(f.pixelOffset) + ", \"biSizeImage\": " +
               std::to_string(f.imageSize) + ", \"width\": " + std::to_string(f.width) + ", \"height\": " +
               std::to_string(f.height) + ", \"bits\": " + std::to_string(f.bitCount) + ", \"rows\": " +
               Json(f.padded ? "padded" : "packed") + "},\n";
    }
    out += "  \"property_count\": " + std::to_string(result.propertyCount) + ",\n";
    out += "  \"max_zoom\": " + std::to_string(result.maxZoom) + ",\n";
    out += "  \"shot_file\": " + (result.shotFile.empty() ? std::string("null") : Json(result.shotFile)) + ",\n";
    out += "  \"shot_file_bytes\": " + std::to_string(result.shotFileBytes) + ",\n";
    out += "  \"failures\": [";
    for (std::size_t i = 0; i < result.failures.size(); ++i) {
        const Failure& f = result.failures[i];
        out += std::string(i == 0 ? "" : ", ") + "{\"function\": " + Json(f.function) + ", \"code\": " +
               (f.nullHandle ? std::string("null") : Json(Code(f.code))) + "}";
    }
    out += "],\n  \"latency_us\": {";
    bool first = true;
    for (const auto& entry : result.latencies) {
        const Latency& l = entry.second;
        out += std::string(first ? "\n" : ",\n") + "    " + Json(entry.first) + ": {\"calls\": " +
               std::to_string(l.calls) +
               Printf(", \"min\": %.0f, \"mean\": %.0f, \"max\": %.0f}", l.minUs, l.calls > 0 ? l.totalUs / l.calls : 0.0,
                      l.maxUs);
        first = false;
    }
    out += "\n  }\n}\n";
    return out;
}

}  // namespace ztprobe
