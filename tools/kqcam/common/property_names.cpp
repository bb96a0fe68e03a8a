#include "property_names.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "props/property_code_map.h"
#include "props/translation_lists.h"

namespace kqcam {

namespace {

// What the Camera SDK's value of a property means, where it is known.
enum class Unit {
    kNone,
    kIso,            // ISO speed; 0 is automatic
    kApertureTenths, // f-number times 10
    kTime100us,      // exposure time in units of 100 microseconds
    kEvHundredths,   // exposure value times 100
    kSignedStep,     // the PTP-side value itself, -2 to +2
};

Unit UnitOf(std::int32_t sdkPropertyId) {
    switch (sdkPropertyId) {
    case 7: return Unit::kIso;
    case 8: return Unit::kApertureTenths;
    case 9: return Unit::kTime100us;
    case 10:
    case 11: return Unit::kEvHundredths;
    case 16:
    case 17: return Unit::kSignedStep;
    default: return Unit::kNone;
    }
}

// Lower case without '-', '_' and blanks.
std::string Normalized(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '-' || c == '_' || std::isspace(static_cast<unsigned char>(c))) continue;
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

// Lower case without blanks (signs kept).
std::string WithoutBlanks(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) continue;
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

bool StripPrefix(std::string* text, const char* prefix) {
    const std::string p(prefix);
    if (text->compare(0, p.size(), p) != 0) return false;
    text->erase(0, p.size());
    return true;
}

bool StripSuffix(std::string* text, const char* suffix) {
    const std::string s(suffix);
    if (text->size() < s.size() || text->compare(text->size() - s.size(), s.size(), s) != 0) return false;
    text->erase(text->size() - s.size());
    return true;
}

// A plain decimal number ("5.6", "+0.3", "-1"), nothing else.
bool ParseDecimal(const std::string& text, double* value) {
    if (text.empty() || text.size() > 32) return false;
    for (const char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != '+' && c != '-') return false;
    }
    char* end = nullptr;
    const double parsed = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(parsed)) return false;
    *value = parsed;
    return true;
}

// "0.3", "5", "1.3": one decimal, none when whole.
std::string OneDecimal(double value) {
    char text[32];
    const double rounded = std::round(value * 10.0) / 10.0;
    if (rounded == std::floor(rounded)) {
        std::snprintf(text, sizeof text, "%.0f", rounded);
    } else {
        std::snprintf(text, sizeof text, "%.1f", rounded);
    }
    return text;
}

// Exposure times shorter than this are written as fractions.
constexpr double kFractionBelowSeconds = 0.29;

// The marked shutter speeds, as denominators of 1/N s.
constexpr int kShutterDenominators[] = {3,   4,   5,   6,    8,    10,   13,   15,   20,   25,
                                        30,  40,  50,  60,   80,   100,  125,  160,  200,  250,
                                        320, 400, 500, 640,  800,  1000, 1250, 1600, 2000, 2500,
                                        3200, 4000, 5000, 6400, 8000};

// The marked denominator nearest (by ratio) to 1/seconds.
int NearestDenominator(double seconds) {
    const double wanted = 1.0 / seconds;
    int best = kShutterDenominators[0];
    for (const int d : kShutterDenominators) {
        if (std::fabs(std::log(d / wanted)) < std::fabs(std::log(best / wanted))) best = d;
    }
    return best;
}

std::string SdkValueLabel(Unit unit, std::int32_t sdk, std::int32_t ptp) {
    char text[48];
    switch (unit) {
    case Unit::kNone: return "";
    case Unit::kIso:
        if (sdk == 0) return "Auto";
        if (sdk < 0) return "";
        std::snprintf(text, sizeof text, "ISO %d", static_cast<int>(sdk));
        return text;
    case Unit::kApertureTenths:
        if (sdk <= 0) return "";
        return "f/" + OneDecimal(sdk / 10.0);
    case Unit::kTime100us: {
        if (sdk <= 0) return "";
        const double seconds = sdk / 10000.0;
        if (seconds >= kFractionBelowSeconds) return OneDecimal(seconds) + "s";
        std::snprintf(text, sizeof text, "1/%d", NearestDenominator(seconds));
        return text;
    }
    case Unit::kEvHundredths: {
        const std::string number = OneDecimal(std::fabs(sdk / 100.0));
        if (number == "0") return "0 EV";
        return std::string(sdk < 0 ? "-" : "+") + number + " EV";
    }
    case Unit::kSignedStep:
        if (ptp == 0) return "0";
        std::snprintf(text, sizeof text, "%+d", static_cast<int>(ptp));
        return text;
    }
    return "";
}

struct Table {
    const kq::TranslationPair* pairs = nullptr;
    Unit unit = Unit::kNone;
    std::uint64_t mask = 0;
};

bool TableOf(std::uint16_t code, Table* table) {
    const kq::PropertyCode* entry = kq::FindPropertyCode(code);
    if (entry == nullptr) return false;
    table->unit = UnitOf(entry->sdkPropertyId);
    if (table->unit == Unit::kNone) return false;
    for (const kq::TranslationList& list : kq::kTranslationLists) {
        if (list.sdkPropertyId == entry->sdkPropertyId) table->pairs = list.pairs;
    }
    table->mask = entry->width >= 4 ? 0xFFFFFFFFu : (std::uint64_t{1} << (8 * entry->width)) - 1;
    return table->pairs != nullptr;
}

template <typename Visit>
void ForEachLabelledPair(const Table& table, Visit visit) {
    for (const kq::TranslationPair* pair = table.pairs; pair->ptpValue != kq::kTranslationEndMarker;
         ++pair) {
        // An entry without a Camera SDK equivalent has no known meaning.
        if (pair->sdkValue == kq::kTranslationEndMarker) continue;
        const std::string label = SdkValueLabel(table.unit, pair->sdkValue, pair->ptpValue);
        if (!label.empty()) visit(*pair, label);
    }
}

// Strips the first of `marks` that `text` starts with.
void StripAnyPrefix(std::string* text, std::initializer_list<const char*> marks) {
    for (const char* mark : marks) {
        if (StripPrefix(text, mark)) return;
    }
}

// Whether two texts hold the same plain number ("5.6" and "5.60", "+1" and
// "1"), or the same fraction ("1/125").
bool SameNumber(const std::string& a, const std::string& b) {
    const std::size_t slashA = a.find('/');
    const std::size_t slashB = b.find('/');
    if ((slashA == std::string::npos) != (slashB == std::string::npos)) return false;
    if (slashA != std::string::npos) {
        return SameNumber(a.substr(0, slashA), b.substr(0, slashB)) &&
               SameNumber(a.substr(slashA + 1), b.substr(slashB + 1));
    }
    double x = 0;
    double y = 0;
    return ParseDecimal(a, &x) && ParseDecimal(b, &y) && x == y;
}

// Whether `text` is `label` as a photographer may write it: in any case,
// with or without blanks and the unit's marks ("ISO", "f/", "s", "EV"). Only
// labels are taken, for every property alike: a number between two labels
// ("1/124", "ISO 401") is refused, never moved to the nearest one.
bool Matches(Unit unit, const std::string& label, const std::string& text) {
    std::string t = WithoutBlanks(text);
    std::string l = WithoutBlanks(label);
    if (t == l) return true;
    switch (unit) {
    case Unit::kNone: return false;
    case Unit::kIso:
        StripPrefix(&t, "iso");
        StripPrefix(&l, "iso");
        break;
    case Unit::kApertureTenths:
        StripAnyPrefix(&t, {"f/", "f"});
        StripAnyPrefix(&l, {"f/", "f"});
        break;
    case Unit::kTime100us:
        if (!StripSuffix(&t, "s")) StripSuffix(&t, "\"");
        StripSuffix(&l, "s");
        break;
    case Unit::kEvHundredths:
        StripSuffix(&t, "ev");
        StripSuffix(&l, "ev");
        break;
    case Unit::kSignedStep: break;
    }
    return t == l || SameNumber(t, l);
}

}  // namespace

const std::vector<PropertyNames>& AllPropertyNames() {
    static const std::vector<PropertyNames> names = {
        {0xD006, {"imagequality", "quality"}},
        {0xD008, {"expprogram", "exposuremode", "exposureprogram"}},
        {0xD00A, {"meteringmode", "metering"}},
        {0xD00C, {"whitebalance", "wb"}},
        {0xD010, {"flashmode", "flash"}},
        {0xD013, {"focusmode", "focus"}},
        {0xD017, {"contrast"}},
        {0xD019, {"sharpness"}},
        {0xD01C, {"iso", "isospeed"}},
        {0xD01D, {"aperture", "f-number", "fnumber"}},
        {0xD01E, {"shutterspeed", "shutter", "exposuretime"}},
        {0xD01F, {"exposurecompensation", "exposurebias", "ev"}},
        {0xD020, {"flashcompensation", "flashexposurecompensation"}},
        {0xD02A, {"zoom"}},
        {0xD03D, {"zoommaximum", "maxzoom"}},
    };
    return names;
}

bool PropertyCodeForName(const std::string& name, std::uint16_t* code) {
    const std::string wanted = Normalized(name);
    if (wanted.empty()) return false;
    for (const PropertyNames& entry : AllPropertyNames()) {
        for (const char* alias : entry.names) {
            if (Normalized(alias) == wanted) {
                *code = entry.code;
                return true;
            }
        }
    }
    return false;
}

const char* ShortPropertyName(std::uint16_t code) {
    for (const PropertyNames& entry : AllPropertyNames()) {
        if (entry.code == code) return entry.names.front();
    }
    return "";
}

bool HasValueLabels(std::uint16_t code) {
    Table table;
    return TableOf(code, &table);
}

std::string ValueLabel(std::uint16_t code, std::uint64_t value) {
    Table table;
    if (!TableOf(code, &table) || value > table.mask) return "";
    std::string found;
    ForEachLabelledPair(table, [&](const kq::TranslationPair& pair, const std::string& label) {
        // The first entry wins, as in the bridge's own translation.
        if (found.empty() && (static_cast<std::uint32_t>(pair.ptpValue) & table.mask) == value) {
            found = label;
        }
    });
    return found;
}

bool ParseValueLabel(std::uint16_t code, const std::string& text, std::uint64_t* value) {
    Table table;
    if (!TableOf(code, &table)) return false;
    bool found = false;
    ForEachLabelledPair(table, [&](const kq::TranslationPair& pair, const std::string& label) {
        if (!found && Matches(table.unit, label, text)) {
            *value = static_cast<std::uint32_t>(pair.ptpValue) & table.mask;
            found = true;
        }
    });
    return found;
}

std::vector<std::string> AllValueLabels(std::uint16_t code) {
    std::vector<std::string> labels;
    Table table;
    if (!TableOf(code, &table)) return labels;
    ForEachLabelledPair(table, [&](const kq::TranslationPair&, const std::string& label) {
        labels.push_back(label);
    });
    return labels;
}

}  // namespace kqcam
