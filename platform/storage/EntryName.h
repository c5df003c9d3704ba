// EntryName.h: element names of a compound file: which are valid, and how they compare.
//
// Names are compared without regard to case, as compound files order them in their
// sibling trees: a shorter name sorts first; names of equal length compare code unit by
// code unit after each is upper-cased (simple, one-to-one case mapping).
#ifndef KRV_PLATFORM_STORAGE_ENTRYNAME_H
#define KRV_PLATFORM_STORAGE_ENTRYNAME_H

#include <cstddef>
#include <string>
#include <string_view>

namespace krv::storage {

inline constexpr size_t kMaxEntryNameUnits = 31;

// 1 to 31 UTF-16 code units, no zero and none of / \ : ! (which name paths elsewhere).
bool IsValidEntryName(std::u16string_view name);

// The upper-case form of one code unit: ASCII, Latin-1, Latin Extended-A, Greek,
// Cyrillic and the full-width Latin letters; every other unit is its own upper case.
char16_t UpperCaseNameUnit(char16_t unit);

// The key under which a name is found and sorted: its upper-case form.
std::u16string NameKey(std::u16string_view name);

// Orders keys (or any names already upper-cased) as a compound file's sibling tree does.
struct NameKeyLess {
    bool operator()(const std::u16string& a, const std::u16string& b) const
    {
        if (a.size() != b.size()) return a.size() < b.size();
        return a < b;
    }
};

} // namespace krv::storage

#endif
