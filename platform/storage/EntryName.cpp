// EntryName.cpp: name validity and case folding of compound-file element names.
#include "platform/storage/EntryName.h"

namespace krv::storage {

bool IsValidEntryName(std::u16string_view name)
{
    if (name.empty() || name.size() > kMaxEntryNameUnits) return false;
    for (char16_t c : name) {
        if (c == 0 || c == u'/' || c == u'\\' || c == u':' || c == u'!') return false;
    }
    return true;
}

char16_t UpperCaseNameUnit(char16_t c)
{
    if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
    if (c < 0x100) {
        if (c == 0xB5) return 0x39C; // micro sign -> capital mu
        if (c == 0xFF) return 0x178; // y with diaeresis
        if (c >= 0xE0 && c != 0xF7) return static_cast<char16_t>(c - 0x20);
        return c; // sharp s has no single upper case
    }
    if (c < 0x180) {
        if (c == 0x131) return u'I'; // dotless i
        if (c == 0x17F) return u'S'; // long s
        if (c == 0x130 || c == 0x138 || c == 0x149 || c == 0x178) return c;
        // Upper case first in each pair, except in the two runs that start on an odd unit.
        const bool oddRun = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        const bool lower = oddRun ? (c % 2 == 0) : (c % 2 == 1);
        return lower ? static_cast<char16_t>(c - 1) : c;
    }
    if (c >= 0x3B1 && c <= 0x3C9) return c == 0x3C2 ? char16_t{0x3A3} : static_cast<char16_t>(c - 0x20);
    if (c >= 0x3AC && c <= 0x3AF) { // Greek letters with tonos
        static constexpr char16_t kUpper[] = {0x386, 0x388, 0x389, 0x38A};
        return kUpper[c - 0x3AC];
    }
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return static_cast<char16_t>(c - 0x3F);
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
    if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);
    return c;
}

std::u16string NameKey(std::u16string_view name)
{
    std::u16string key(name);
    for (char16_t& c : key) c = UpperCaseNameUnit(c);
    return key;
}

} // namespace krv::storage
