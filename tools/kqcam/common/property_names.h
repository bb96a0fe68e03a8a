// Device properties as photographers name them: names and aliases for the
// property codes, and values in photographic units ("ISO 200", "1/125",
// "f/5.6", "+0.3 EV") read from and written to the PTP-side values the
// library exchanges. The meanings come from the bridge's own translation
// lists (src/props), which pair each PTP-side value with the Camera SDK's
// value, whose unit is known for ISO, aperture, shutter speed and the
// compensations; contrast and sharpness are signed steps on the PTP side.
// A value whose meaning the lists do not give has no label.
//
// Self-contained (no kqcam state, no library calls), so that any client
// built from this repository can show the same labels.
#ifndef KQCAM_PROPERTY_NAMES_H
#define KQCAM_PROPERTY_NAMES_H

#include <cstdint>
#include <string>
#include <vector>

namespace kqcam {

struct PropertyNames {
    std::uint16_t code;
    // The first is the usual short name ("iso"); all are matched without
    // regard to case, '-', '_' and spaces ("ISO", "f-number", "Shutter_Speed").
    std::vector<const char*> names;
};

// Every property that has names, in code order.
const std::vector<PropertyNames>& AllPropertyNames();

// The property `name` stands for; false when it is no known name.
bool PropertyCodeForName(const std::string& name, std::uint16_t* code);

// The usual short name of a property ("shutterspeed"), or "" when it has none.
const char* ShortPropertyName(std::uint16_t code);

// Whether values of the property have labels at all.
bool HasValueLabels(std::uint16_t code);

// The label of a PTP-side value ("ISO 400", "Auto", "1/125", "0.5s",
// "f/5.6", "+0.3 EV", "-1"), or "" when its meaning is not known. Only the
// low `width` bytes of the value count (the library cuts signed values to
// the width: -2 arrives as 0xFE).
std::string ValueLabel(std::uint16_t code, std::uint64_t value);

// Reads a value's label as a photographer writes it: in any case, blanks
// and the unit's marks optional ("400", "ISO 400", "auto"; "1/125", "2s",
// "2\""; "5.6", "f/5.6", "f5.6"; "+0.3", "0.3 EV"; contrast and sharpness
// "-2" to "+2"). Only labels are taken: "1/124" or "ISO 401" match none. On
// success *value is the PTP-side value, cut to the property's width. False
// when the property has no labels or the text matches none of its labels.
bool ParseValueLabel(std::uint16_t code, const std::string& text, std::uint64_t* value);

// The labels of every value the property can have, in the translation
// list's order (for messages and help).
std::vector<std::string> AllValueLabels(std::uint16_t code);

}  // namespace kqcam

#endif  // KQCAM_PROPERTY_NAMES_H
