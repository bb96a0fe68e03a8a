// Readable names for the codes kqcam shows. Every code is always printed
// in hex as well; a name is only a help for the reader.
#ifndef KQCAM_NAMES_H
#define KQCAM_NAMES_H

#include <cstdint>

namespace kqcam {

// Each returns an empty string for a code it has no name for.
const char* EventName(std::uint16_t code);
const char* PropertyName(std::uint16_t code);
const char* OperationName(std::uint16_t code);
const char* FormatName(std::uint16_t code);
const char* DataTypeName(std::uint16_t dataType);

}  // namespace kqcam

#endif  // KQCAM_NAMES_H
