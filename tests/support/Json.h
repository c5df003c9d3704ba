// Json.h: a small strict JSON reader for the manifests of krv-mkpst and the reports of
// krv-inspect: objects, arrays, strings (with \u escapes, surrogate pairs included),
// numbers, true, false and null.
#ifndef KRV_TESTS_SUPPORT_JSON_H
#define KRV_TESTS_SUPPORT_JSON_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace krv::test {

struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text; // a string's UTF-8 contents
    std::vector<Json> items;
    std::map<std::string, Json> members;

    // The member, or a null value when absent (so lookups chain).
    [[nodiscard]] const Json& operator[](const std::string& key) const;
    [[nodiscard]] bool Has(const std::string& key) const { return members.contains(key); }
    [[nodiscard]] uint64_t Count() const { return static_cast<uint64_t>(number); }
};

// None when the text is not exactly one JSON value (surrounding white space allowed).
[[nodiscard]] std::optional<Json> ParseJson(std::string_view text);

} // namespace krv::test

#endif
