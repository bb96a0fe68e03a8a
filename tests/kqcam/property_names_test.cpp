// Property names and value labels, checked against the translation lists
// they are read from.
#include <gtest/gtest.h>

#include "property_names.h"

namespace kqcam {
namespace {

TEST(PropertyNames, NamesAndAliasesIgnoreCaseAndSeparators) {
    std::uint16_t code = 0;
    for (const char* name : {"iso", "ISO", "IsoSpeed", "iso_speed"}) {
        ASSERT_TRUE(PropertyCodeForName(name, &code)) << name;
        EXPECT_EQ(code, 0xD01C) << name;
    }
    ASSERT_TRUE(PropertyCodeForName("f-number", &code));
    EXPECT_EQ(code, 0xD01D);
    ASSERT_TRUE(PropertyCodeForName("Shutter Speed", &code));
    EXPECT_EQ(code, 0xD01E);
    ASSERT_TRUE(PropertyCodeForName("ExposureCompensation", &code));
    EXPECT_EQ(code, 0xD01F);
    for (const char* unknown : {"", "-", "isoo", "0xD01C"}) {
        EXPECT_FALSE(PropertyCodeForName(unknown, &code)) << unknown;
    }
    EXPECT_STREQ(ShortPropertyName(0xD01E), "shutterspeed");
    EXPECT_STREQ(ShortPropertyName(0xD0FF), "");
}

TEST(PropertyNames, LabelsFollowTheCameraSideOfTheLists) {
    EXPECT_EQ(ValueLabel(0xD01C, 0x00), "Auto");
    EXPECT_EQ(ValueLabel(0xD01C, 0x58), "ISO 400");
    EXPECT_EQ(ValueLabel(0xD01D, 0x30), "f/5.6");
    EXPECT_EQ(ValueLabel(0xD01D, 0x28), "f/4");
    EXPECT_EQ(ValueLabel(0xD01E, 0x70), "1/125");
    EXPECT_EQ(ValueLabel(0xD01E, 0x83), "1/640") << "the marked speed, not the camera's 1/666";
    EXPECT_EQ(ValueLabel(0xD01E, 0x44), "0.3s");
    EXPECT_EQ(ValueLabel(0xD01E, 0x18), "15s");
    EXPECT_EQ(ValueLabel(0xD01F, 0x25), "+0.3 EV");
    EXPECT_EQ(ValueLabel(0xD01F, 0x28), "0 EV");
    EXPECT_EQ(ValueLabel(0xD020, 0x08), "+4 EV");
    EXPECT_EQ(ValueLabel(0xD017, 0xFE), "-2") << "signed steps arrive cut to one byte";
    EXPECT_EQ(ValueLabel(0xD019, 0x01), "+1");
    // Listed without a camera equivalent, not listed, too wide, or a
    // property whose values have no known meaning.
    EXPECT_EQ(ValueLabel(0xD01C, 0x28), "");
    EXPECT_EQ(ValueLabel(0xD01C, 0x51), "");
    EXPECT_EQ(ValueLabel(0xD017, 0x1FE), "");
    EXPECT_EQ(ValueLabel(0xD00C, 0x01), "");
    EXPECT_FALSE(HasValueLabels(0xD00C));
    EXPECT_FALSE(HasValueLabels(0xD02A));
}

// Every label reads back as its own value: no two labelled values of a
// property can be confused.
TEST(PropertyNames, EveryLabelReadsBackAsItsValue) {
    for (const PropertyNames& property : AllPropertyNames()) {
        const std::uint16_t code = property.code;
        for (std::uint64_t value = 0; value <= 0xFF; ++value) {
            const std::string label = ValueLabel(code, value);
            if (label.empty()) continue;
            std::uint64_t parsed = 0;
            ASSERT_TRUE(ParseValueLabel(code, label, &parsed)) << std::hex << code << " " << label;
            EXPECT_EQ(parsed, value) << std::hex << code << " " << label;
        }
    }
}

TEST(PropertyNames, PhotographersFormsOfValues) {
    struct Case {
        std::uint16_t code;
        const char* text;
        std::uint64_t value;
    };
    const Case cases[] = {
        {0xD01C, "400", 0x58},     {0xD01C, "iso 1600", 0x68}, {0xD01C, "AUTO", 0x00},
        {0xD01D, "5.6", 0x30},     {0xD01D, "f5.6", 0x30},     {0xD01D, "8", 0x38},
        {0xD01E, "1/125", 0x70},   {0xD01E, "1/640 s", 0x83},  {0xD01E, "2", 0x30},
        {0xD01E, "2s", 0x30},      {0xD01E, "0.5\"", 0x40},    {0xD01F, "+0.3", 0x25},
        {0xD01F, "0.7 EV", 0x23},  {0xD01F, "1", 0x20},        {0xD01F, "0", 0x28},
        {0xD017, "-1", 0xFF},      {0xD019, "+2", 0x02},
    };
    for (const Case& c : cases) {
        std::uint64_t value = 0;
        ASSERT_TRUE(ParseValueLabel(c.code, c.text, &value)) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
    std::uint64_t value = 0;
    for (const char* wrong : {"80", "ISO", "1/3", "abc", "", "1e3"}) {
        EXPECT_FALSE(ParseValueLabel(0xD01C, wrong, &value)) << wrong;
    }
    EXPECT_FALSE(ParseValueLabel(0xD01E, "1/0", &value));
    // One rule for every property: a label or nothing, never the nearest label.
    const Case nearLabels[] = {{0xD01E, "1/124", 0}, {0xD01E, "1/666", 0}, {0xD01C, "401", 0},
                               {0xD01D, "5.62", 0},  {0xD01F, "+0.33", 0}, {0xD01E, "0.008", 0}};
    for (const Case& c : nearLabels) EXPECT_FALSE(ParseValueLabel(c.code, c.text, &value)) << c.text;
    EXPECT_FALSE(ParseValueLabel(0xD01F, "-1", &value)) << "the camera offers no negative values";
    EXPECT_FALSE(ParseValueLabel(0xD017, "-3", &value));
    EXPECT_FALSE(ParseValueLabel(0xD00C, "0", &value)) << "no labels: raw values only";
}

}  // namespace
}  // namespace kqcam
