// Json.cpp: recursive descent over the text, nesting limited so bad input cannot exhaust
// the stack.
#include "tests/support/Json.h"

#include <cctype>
#include <charconv>
#include <cstdlib>

namespace krv::test {
namespace {

constexpr int kMaxDepth = 64;

class Parser {
public:
    explicit Parser(std::string_view text) : m_text(text) {}

    bool Document(Json& out)
    {
        if (!Value(out, 0)) return false;
        Blank();
        return m_at == m_text.size();
    }

private:
    void Blank()
    {
        while (m_at < m_text.size() &&
               (m_text[m_at] == ' ' || m_text[m_at] == '\n' || m_text[m_at] == '\r' || m_text[m_at] == '\t'))
            ++m_at;
    }
    bool Eat(char c)
    {
        Blank();
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool Word(std::string_view word)
    {
        if (m_text.substr(m_at, word.size()) != word) return false;
        m_at += word.size();
        return true;
    }
    static void Utf8(uint32_t cp, std::string& out)
    {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    bool Hex4(uint32_t& value)
    {
        if (m_at + 4 > m_text.size()) return false;
        const auto [ptr, ec] = std::from_chars(m_text.data() + m_at, m_text.data() + m_at + 4, value, 16);
        if (ec != std::errc() || ptr != m_text.data() + m_at + 4) return false;
        m_at += 4;
        return true;
    }
    bool String(std::string& out)
    {
        if (!Eat('"')) return false;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_at >= m_text.size()) return false;
            const char e = m_text[m_at++];
            switch (e) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case '/':
                out += '/';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                uint32_t cp = 0;
                if (!Hex4(cp)) return false;
                if (cp >= 0xD800 && cp < 0xDC00) {
                    uint32_t low = 0;
                    if (!Word("\\u") || !Hex4(low) || low < 0xDC00 || low >= 0xE000) return false;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                } else if (cp >= 0xDC00 && cp < 0xE000) {
                    return false;
                }
                Utf8(cp, out);
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }
    bool Number(double& out)
    {
        const size_t start = m_at;
        while (m_at < m_text.size() &&
               (std::isdigit(static_cast<unsigned char>(m_text[m_at])) || m_text[m_at] == '-' || m_text[m_at] == '+' ||
                m_text[m_at] == '.' || m_text[m_at] == 'e' || m_text[m_at] == 'E'))
            ++m_at;
        if (m_at == start) return false;
        const std::string digits(m_text.substr(start, m_at - start));
        char* end = nullptr;
        out = std::strtod(digits.c_str(), &end);
        return end == digits.c_str() + digits.size();
    }
    bool Value(Json& out, int depth)
    {
        if (depth > kMaxDepth) return false;
        Blank();
        if (m_at >= m_text.size()) return false;
        const char c = m_text[m_at];
        if (c == '{') {
            ++m_at;
            out.kind = Json::Kind::Object;
            if (Eat('}')) return true;
            do {
                std::string key;
                Json member;
                if (!String(key) || !Eat(':') || !Value(member, depth + 1)) return false;
                if (!out.members.emplace(std::move(key), std::move(member)).second) return false;
            } while (Eat(','));
            return Eat('}');
        }
        if (c == '[') {
            ++m_at;
            out.kind = Json::Kind::Array;
            if (Eat(']')) return true;
            do {
                Json item;
                if (!Value(item, depth + 1)) return false;
                out.items.push_back(std::move(item));
            } while (Eat(','));
            return Eat(']');
        }
        if (c == '"') {
            out.kind = Json::Kind::String;
            return String(out.text);
        }
        if (Word("true")) {
            out.kind = Json::Kind::Bool;
            out.boolean = true;
            return true;
        }
        if (Word("false")) {
            out.kind = Json::Kind::Bool;
            return true;
        }
        if (Word("null")) return true;
        out.kind = Json::Kind::Number;
        return Number(out.number);
    }

    std::string_view m_text;
    size_t m_at = 0;
};

} // namespace

const Json& Json::operator[](const std::string& key) const
{
    static const Json kNull;
    const auto it = members.find(key);
    return it == members.end() ? kNull : it->second;
}

std::optional<Json> ParseJson(std::string_view text)
{
    Json out;
    Parser parser(text);
    if (!parser.Document(out)) return std::nullopt;
    return out;
}

} // namespace krv::test
