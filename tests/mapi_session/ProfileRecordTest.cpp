// ProfileRecordTest.cpp: the profile file's text form survives any string and rejects
// anything that is not a complete profile, a file cut short above all.
#include "platform/mapi/session/ProfileRecord.h"

#include <gtest/gtest.h>

namespace krv::mapi {
namespace {

ProfileRecord SampleProfile()
{
    ProfileRecord profile;
    profile.name = "PstLoadTmp007";
    profile.owner = ProcessIdentity{4242, 987654321, "0b5c6d2e-1111-2222-3333-444455556666"};
    ServiceRecord ansi;
    ansi.uid = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0xFF};
    ansi.provider = "MSPST MS";
    ansi.displayName = "Personal Folders";
    ansi.configured = true;
    // Blanks, line breaks, the escape character and bytes above ASCII must all survive.
    ansi.storePath = "/tmp/a dir/line\nbreak/100%/r\xC3\xA9par\xE9.pst";
    ansi.storeName = "Recovered Personal Folder";
    ansi.encryption = 0x80000000;
    ServiceRecord unicode;
    unicode.uid = {0xAA};
    unicode.provider = "MSUPST MS";
    unicode.unicode = true; // unconfigured: empty strings must survive too
    profile.services = {ansi, unicode};
    return profile;
}

// The whole line (with its line break) that starts with `prefix`.
std::string LineStartingWith(const std::string& text, const std::string& prefix)
{
    const size_t start = text.find("\n" + prefix) + 1;
    const size_t end = text.find('\n', start);
    return text.substr(start, end - start + 1);
}

TEST(ProfileRecordTest, RoundTripKeepsEveryField)
{
    const ProfileRecord profile = SampleProfile();
    const std::string text = SerializeProfile(profile);
    const auto back = ParseProfile(text);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, profile);
    // One line per record: the path's line break did not make a line of its own.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6);
}

// A process that dies while writing leaves a prefix of the text: no prefix may pass.
TEST(ProfileRecordTest, EveryTruncationIsRejected)
{
    const std::string text = SerializeProfile(SampleProfile());
    for (size_t length = 0; length < text.size(); ++length) {
        EXPECT_FALSE(ParseProfile(std::string_view(text).substr(0, length)).has_value()) << "length " << length;
    }
}

TEST(ProfileRecordTest, MalformedTextsAreRejected)
{
    const std::string good = SerializeProfile(SampleProfile());
    const auto replaced = [&](std::string_view from, std::string_view to) {
        const size_t at = good.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at == std::string::npos) return good;
        std::string text = good.substr(0, at);
        text.append(to);
        text.append(good, at + from.size());
        return text;
    };
    const std::string serviceLine = LineStartingWith(good, "service ");
    const std::string ownerLine = LineStartingWith(good, "owner ");
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"other version", replaced("corvessa-profile 1", "corvessa-profile 2")},
        {"junk after end", good + "service x\n"},
        {"bad escape", replaced("%20", "%2G")},
        {"cut escape", replaced("%20Folder\nservice", "%2\nservice")},
        {"string without marker", replaced("=PstLoadTmp007", "PstLoadTmp007")},
        {"short uid", replaced("0102030405060708090a0b0c0d0e0fff", "0102")},
        {"upper-case hex uid", replaced("0102030405060708090a0b0c0d0e0fff", "0102030405060708090A0B0C0D0E0FFF")},
        {"flag not 0 or 1", replaced(" 1 0 2147483648", " 2 0 2147483648")},
        {"number with sign", replaced("owner 4242", "owner +4242")},
        {"encryption beyond 32 bits", replaced("2147483648", "99999999999")},
        {"unknown record", replaced("\nend\n", "\nextra =x\nend\n")},
        {"empty name", replaced("=PstLoadTmp007", "=")},
        {"duplicate service", replaced("\nend\n", "\n" + serviceLine + "end\n")},
        {"carriage return", replaced("\nend\n", "\r\nend\n")},
        {"no owner", replaced(ownerLine, "")},
    };
    ASSERT_TRUE(ParseProfile(good).has_value());
    for (const auto& c : cases) EXPECT_FALSE(ParseProfile(c.text).has_value()) << c.what;
}

TEST(ProfileRecordTest, OversizedTextIsRejectedUnread)
{
    std::string text = SerializeProfile(SampleProfile());
    text.insert(text.find("end\n"), std::string(kMaxProfileFileBytes, ' '));
    EXPECT_FALSE(ParseProfile(text).has_value());
}

} // namespace
} // namespace krv::mapi
