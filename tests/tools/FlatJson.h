// FlatJson.h: a strict reader for one flat JSON object (no nesting), enough to check the
// output of krv-inspect key by key and in order.
#ifndef KRV_TESTS_TOOLS_FLATJSON_H
#define KRV_TESTS_TOOLS_FLATJSON_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace krv::test {

struct JsonMember {
    enum class Kind { String, Number, Bool, Null };
    std::string key;
    Kind kind = Kind::Null;
    std::string text; // the string's contents, the number's digits, "true"/"false", "null"
};

// The members in the order they were written; none when the text is not exactly one flat
// object (surrounding white space allowed), or a number is not valid JSON.
std::optional<std::vector<JsonMember>> ParseFlatJson(std::string_view text);

} // namespace krv::test

#endif
