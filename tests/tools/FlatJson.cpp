// FlatJson.cpp: parsing one flat JSON object.
#include "tests/tools/FlatJson.h"

#include <cctype>

namespace krv::test {
namespace {

class Cursor {
public:
    explicit Cursor(std::string_view text) : m_text(text) {}

    void SkipSpace()
    {
        while (m_at < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_at]))) ++m_at;
    }
    bool Take(char c)
    {
        SkipSpace();
        if (m_at >= m_text.size() || m_text[m_at] != c) return false;
        ++m_at;
        return true;
    }
    bool TakeWord(std::string_view word)
    {
        if (m_text.substr(m_at, word.size()) != word) return false;
        m_at += word.size();
        return true;
    }
    bool AtEnd()
    {
        SkipSpace();
        return m_at == m_text.size();
    }
    char Peek()
    {
        SkipSpace();
        return m_at < m_text.size() ? m_text[m_at] : '\0';
    }

    std::optional<std::string> String()
    {
        if (!Take('"')) return std::nullopt;
        std::string value;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (c == '"') return value;
            if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
            if (c == '\\') {
                if (m_at >= m_text.size()) return std::nullopt;
                const char e = m_text[m_at++];
                if (e != '"' && e != '\\' && e != '/') return std::nullopt; // no other escape is expected
                value += e;
            } else {
                value += c;
            }
        }
        return std::nullopt;
    }

    // -? (0 | [1-9][0-9]*) (. [0-9]+)? ([eE] [+-]? [0-9]+)?
    std::optional<std::string> Number()
    {
        const size_t start = m_at;
        auto digits = [&] {
            const size_t from = m_at;
            while (m_at < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_at]))) ++m_at;
            return m_at - from;
        };
        if (m_at < m_text.size() && m_text[m_at] == '-') ++m_at;
        const size_t intStart = m_at;
        const size_t intDigits = digits();
        if (intDigits == 0 || (intDigits > 1 && m_text[intStart] == '0')) return std::nullopt;
        if (m_at < m_text.size() && m_text[m_at] == '.') {
            ++m_at;
            if (digits() == 0) return std::nullopt;
        }
        if (m_at < m_text.size() && (m_text[m_at] == 'e' || m_text[m_at] == 'E')) {
            ++m_at;
            if (m_at < m_text.size() && (m_text[m_at] == '+' || m_text[m_at] == '-')) ++m_at;
            if (digits() == 0) return std::nullopt;
        }
        return std::string(m_text.substr(start, m_at - start));
    }

private:
    std::string_view m_text;
    size_t m_at = 0;
};

} // namespace

std::optional<std::vector<JsonMember>> ParseFlatJson(std::string_view text)
{
    Cursor in(text);
    std::vector<JsonMember> members;
    if (!in.Take('{')) return std::nullopt;
    if (in.Take('}')) return in.AtEnd() ? std::optional(members) : std::nullopt;
    do {
        JsonMember member;
        auto key = in.String();
        if (!key || !in.Take(':')) return std::nullopt;
        member.key = std::move(*key);
        const char first = in.Peek();
        if (first == '"') {
            auto value = in.String();
            if (!value) return std::nullopt;
            member.kind = JsonMember::Kind::String;
            member.text = std::move(*value);
        } else if (in.TakeWord("true") || in.TakeWord("false")) {
            member.kind = JsonMember::Kind::Bool;
            member.text = first == 't' ? "true" : "false";
        } else if (in.TakeWord("null")) {
            member.kind = JsonMember::Kind::Null;
            member.text = "null";
        } else {
            auto number = in.Number();
            if (!number) return std::nullopt;
            member.kind = JsonMember::Kind::Number;
            member.text = std::move(*number);
        }
        members.push_back(std::move(member));
    } while (in.Take(','));
    if (!in.Take('}') || !in.AtEnd()) return std::nullopt;
    return members;
}

} // namespace krv::test
