// What kqcam prints: the text blocks and the JSON lines of each command.
// Data goes to `data` (standard output). Messages about the run (progress,
// "Saved ...") go to `info`: standard output as well, except with --json
// or when the movie itself is written to standard output, where they go to
// standard error so that standard output carries only the data.
#ifndef KQCAM_OUTPUT_H
#define KQCAM_OUTPUT_H

#include <cstdint>
#include <cstdio>
#include <string>

#include "datasets.h"
#include "kqsdk.h"

namespace kqcam {

struct Output {
    bool json = false;
    std::FILE* data = stdout;
    std::FILE* info = stdout;
};

// A JSON string literal, quotes included.
std::string JsonString(const std::string& text);

// "0x0050": hex with two digits per byte of `width`.
std::string Hex(std::uint64_t value, std::size_t width);
// "0x0050 (80)"; signed data types show a signed decimal. A value whose
// meaning is known follows with its label: "0x0050 (80) ISO 200".
std::string ValueText(std::uint64_t value, const PropDesc& desc);

void PrintDeviceHeader(const Output& out);
void PrintDevice(const Output& out, const std::string& model, std::uint32_t handle);

void PrintSummary(const Output& out, const std::string& model, std::uint32_t handle,
                  const DeviceInfo& info);

// One stable block per descriptor (text: "Key: value" lines ending in END,
// followed by an empty line), or one JSON line (json_forms.h has the
// vocabulary of every JSON line).
void PrintPropDesc(const Output& out, const PropDesc& desc);

void PrintEvent(const Output& out, const KQEventRecord& record, double seconds);

}  // namespace kqcam

#endif  // KQCAM_OUTPUT_H
