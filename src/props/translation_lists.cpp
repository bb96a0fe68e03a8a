// The 13 translation lists: constant pairs (PTP-side value, SDK-side value)
// in ascending order of the PTP-side value, each ended by a pair whose
// PTP-side value is kTranslationEndMarker. An SDK-side kNoSdkValue marks a
// PTP-side value the Camera SDK has no equivalent for.
#include "props/translation_lists.h"

namespace kq {

namespace {

constexpr std::int32_t kNoSdkValue = kTranslationEndMarker;
constexpr TranslationPair kEnd = {kTranslationEndMarker, 0};

// SDK property 0: 41 entries.
constexpr TranslationPair kList0[] = {
    {0x00, 0}, {0x01, 1}, {0x02, 4}, {0x03, 3}, {0x04, 2}, {0x05, kNoSdkValue},
    {0x06, kNoSdkValue}, {0x07, kNoSdkValue}, {0x80, kNoSdkValue}, {0x81, kNoSdkValue},
    {0x82, kNoSdkValue}, {0x83, kNoSdkValue}, {0x84, kNoSdkValue}, {0x85, kNoSdkValue},
    {0x86, kNoSdkValue}, {0x87, kNoSdkValue}, {0x88, kNoSdkValue}, {0x89, kNoSdkValue},
    {0x8A, kNoSdkValue}, {0x8B, kNoSdkValue}, {0x8C, kNoSdkValue}, {0x8D, kNoSdkValue},
    {0x8E, kNoSdkValue}, {0x8F, kNoSdkValue}, {0x90, kNoSdkValue}, {0x91, kNoSdkValue},
    {0x92, kNoSdkValue}, {0x93, kNoSdkValue}, {0x94, kNoSdkValue}, {0x95, kNoSdkValue},
    {0x96, kNoSdkValue}, {0x97, kNoSdkValue}, {0x98, kNoSdkValue}, {0x99, kNoSdkValue},
    {0x9A, kNoSdkValue}, {0x9B, kNoSdkValue}, {0x9C, kNoSdkValue}, {0x9D, kNoSdkValue},
    {0x9E, kNoSdkValue}, {0x9F, kNoSdkValue}, {0xA0, kNoSdkValue}, kEnd,
};

// SDK property 1: 5 entries.
constexpr TranslationPair kList1[] = {
    {0x00, 0}, {0x01, 1}, {0x02, 4}, {0x03, 2}, {0x07, 3}, kEnd,
};

// SDK property 2: 6 entries.
constexpr TranslationPair kList2[] = {
    {0x00, kNoSdkValue}, {0x01, kNoSdkValue}, {0x02, 2}, {0x03, 1}, {0x04, kNoSdkValue},
    {0x05, kNoSdkValue}, kEnd,
};

// SDK property 3: 9 entries.
constexpr TranslationPair kList3[] = {
    {0x00, 2}, {0x01, 1}, {0x02, kNoSdkValue}, {0x03, 0}, {0x04, kNoSdkValue},
    {0x05, kNoSdkValue}, {0x06, kNoSdkValue}, {0x07, kNoSdkValue}, {0xFF, kNoSdkValue}, kEnd,
};

// SDK property 4: 14 entries.
constexpr TranslationPair kList4[] = {
    {0x00, 0}, {0x01, 1}, {0x02, 2}, {0x03, 3}, {0x04, 4}, {0x06, kNoSdkValue}, {0x07, 5},
    {0x09, kNoSdkValue}, {0x0A, kNoSdkValue}, {0x0B, kNoSdkValue}, {0x0C, kNoSdkValue},
    {0x0D, kNoSdkValue}, {0x0E, 5}, {0xFF, kNoSdkValue}, kEnd,
};

// SDK property 5: 7 entries.
constexpr TranslationPair kList5[] = {
    {0x00, 2}, {0x01, 0}, {0x02, 1}, {0x03, kNoSdkValue}, {0x04, kNoSdkValue},
    {0x05, kNoSdkValue}, {0x06, kNoSdkValue}, kEnd,
};

// SDK property 7: 13 entries.
constexpr TranslationPair kList7[] = {
    {0x00, 0}, {0x28, kNoSdkValue}, {0x30, kNoSdkValue}, {0x38, kNoSdkValue}, {0x40, kNoSdkValue},
    {0x43, kNoSdkValue}, {0x48, 100}, {0x50, 200}, {0x58, 400}, {0x60, 800}, {0x68, 1600},
    {0x70, kNoSdkValue}, {0x78, kNoSdkValue}, kEnd,
};

// SDK property 8: 53 entries.
constexpr TranslationPair kList8[] = {
    {0x08, kNoSdkValue}, {0x0B, kNoSdkValue}, {0x0C, kNoSdkValue}, {0x0D, kNoSdkValue},
    {0x10, kNoSdkValue}, {0x13, kNoSdkValue}, {0x14, kNoSdkValue}, {0x15, kNoSdkValue},
    {0x18, kNoSdkValue}, {0x1B, kNoSdkValue}, {0x1C, kNoSdkValue}, {0x1D, kNoSdkValue},
    {0x20, kNoSdkValue}, {0x23, 32}, {0x24, 35}, {0x25, kNoSdkValue}, {0x28, 40},
    {0x2B, kNoSdkValue}, {0x2C, 45}, {0x2D, kNoSdkValue}, {0x30, 56}, {0x33, 63},
    {0x34, kNoSdkValue}, {0x35, 71}, {0x38, 80}, {0x3B, kNoSdkValue}, {0x3C, kNoSdkValue},
    {0x3D, kNoSdkValue}, {0x40, kNoSdkValue}, {0x43, kNoSdkValue}, {0x44, kNoSdkValue},
    {0x45, kNoSdkValue}, {0x48, kNoSdkValue}, {0x4B, kNoSdkValue}, {0x4C, kNoSdkValue},
    {0x4D, kNoSdkValue}, {0x50, kNoSdkValue}, {0x53, kNoSdkValue}, {0x54, kNoSdkValue},
    {0x55, kNoSdkValue}, {0x58, kNoSdkValue}, {0x5B, kNoSdkValue}, {0x5C, kNoSdkValue},
    {0x5D, kNoSdkValue}, {0x60, kNoSdkValue}, {0x63, kNoSdkValue}, {0x64, kNoSdkValue},
    {0x65, kNoSdkValue}, {0x68, kNoSdkValue}, {0x6B, kNoSdkValue}, {0x6C, kNoSdkValue},
    {0x6D, kNoSdkValue}, {0x70, kNoSdkValue}, kEnd,
};

// SDK property 9: 70 entries.
constexpr TranslationPair kList9[] = {
    {0x04, kNoSdkValue}, {0x10, kNoSdkValue}, {0x13, kNoSdkValue}, {0x14, kNoSdkValue},
    {0x15, kNoSdkValue}, {0x18, 150000}, {0x1B, 130000}, {0x1C, 100000}, {0x1D, kNoSdkValue},
    {0x20, 80000}, {0x23, kNoSdkValue}, {0x24, 60000}, {0x25, 50000}, {0x28, kNoSdkValue},
    {0x2B, 32000}, {0x2C, kNoSdkValue}, {0x2D, 25000}, {0x30, 20000}, {0x33, 16000},
    {0x34, kNoSdkValue}, {0x35, 13000}, {0x38, 10000}, {0x3B, 8000}, {0x3C, kNoSdkValue},
    {0x3D, 6000}, {0x40, 5000}, {0x43, 4000}, {0x44, 3000}, {0x45, kNoSdkValue}, {0x48, 2500},
    {0x4B, 2000}, {0x4C, 1666}, {0x4D, kNoSdkValue}, {0x50, 1250}, {0x53, kNoSdkValue},
    {0x54, 1000}, {0x55, 769}, {0x58, 666}, {0x5B, kNoSdkValue}, {0x5C, 500}, {0x5D, 400},
    {0x60, 333}, {0x63, 250}, {0x64, kNoSdkValue}, {0x65, 200}, {0x68, 166}, {0x6B, 125},
    {0x6C, kNoSdkValue}, {0x6D, 100}, {0x70, 80}, {0x73, 62}, {0x74, kNoSdkValue}, {0x75, 50},
    {0x78, 40}, {0x7B, 31}, {0x7C, kNoSdkValue}, {0x7D, 25}, {0x80, 20}, {0x83, 15},
    {0x84, kNoSdkValue}, {0x85, 12}, {0x88, 10}, {0x8B, 8}, {0x8C, kNoSdkValue}, {0x8D, 6},
    {0x90, 5}, {0x93, 4}, {0x94, kNoSdkValue}, {0x95, kNoSdkValue}, {0x98, kNoSdkValue}, kEnd,
};

// SDK property 10: 25 entries.
constexpr TranslationPair kList10[] = {
    {0x00, kNoSdkValue}, {0x03, kNoSdkValue}, {0x04, kNoSdkValue}, {0x05, kNoSdkValue},
    {0x08, 400}, {0x0B, 366}, {0x0C, kNoSdkValue}, {0x0D, 333}, {0x10, 300}, {0x13, 266},
    {0x14, kNoSdkValue}, {0x15, 233}, {0x18, 200}, {0x1B, 167}, {0x1C, kNoSdkValue}, {0x1D, 134},
    {0x20, 100}, {0x23, 67}, {0x24, kNoSdkValue}, {0x25, 34}, {0x28, 0}, {0x2B, kNoSdkValue},
    {0x2C, kNoSdkValue}, {0x2D, kNoSdkValue}, {0x30, kNoSdkValue}, kEnd,
};

// SDK property 11: 25 entries.
constexpr TranslationPair kList11[] = {
    {0x00, kNoSdkValue}, {0x03, kNoSdkValue}, {0x04, kNoSdkValue}, {0x05, kNoSdkValue},
    {0x08, 400}, {0x0B, 366}, {0x0C, kNoSdkValue}, {0x0D, 333}, {0x10, 300}, {0x13, 266},
    {0x14, kNoSdkValue}, {0x15, 233}, {0x18, 200}, {0x1B, 167}, {0x1C, kNoSdkValue}, {0x1D, 134},
    {0x20, 100}, {0x23, 67}, {0x24, kNoSdkValue}, {0x25, 34}, {0x28, 0}, {0x2B, kNoSdkValue},
    {0x2C, kNoSdkValue}, {0x2D, kNoSdkValue}, {0x30, kNoSdkValue}, kEnd,
};

// SDK property 16: 5 entries.
constexpr TranslationPair kList16[] = {
    {-2, 0}, {-1, 1}, {0x00, 2}, {0x01, 3}, {0x02, 4}, kEnd,
};

// SDK property 17: 5 entries.
constexpr TranslationPair kList17[] = {
    {-2, 0}, {-1, 1}, {0x00, 2}, {0x01, 3}, {0x02, 4}, kEnd,
};

}  // namespace

const TranslationList kTranslationLists[kTranslationListCount] = {
    {2, kList2}, {1, kList1}, {7, kList7},   {5, kList5},   {0, kList0},
    {4, kList4}, {8, kList8}, {9, kList9},   {10, kList10}, {11, kList11},
    {3, kList3}, {16, kList16}, {17, kList17},
};

}  // namespace kq
