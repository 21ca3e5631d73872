// Channel and version as the report names the client.

#include "report/ClientIdentity.h"
#include "support/test_util.h"

#include <gtest/gtest.h>

TEST(Channel, IsThePartBeforeTheLastDot) {
    EXPECT_EQ(L"1001", ChannelFromValue(L"1001.exe"));
    EXPECT_EQ(L"a.b", ChannelFromValue(L"a.b.c"));
    EXPECT_EQ(L"", ChannelFromValue(L"1001"));
    EXPECT_EQ(L"", ChannelFromValue(L".x"));
    EXPECT_EQ(L"", ChannelFromValue(L""));
}

class ChannelFile : public ::testing::Test {
protected:
    void SetUp() override { dir = testutil::MakeTempDir(L"channel"); }
    void TearDown() override { testutil::RemoveTree(dir); }
    void Write(const std::string& bytes) { testutil::WriteBytes(dir + L"config.ini", bytes); }
    std::wstring dir;
};

TEST_F(ChannelFile, MissingFileSectionOrKeyGiveNoChannel) {
    EXPECT_EQ(L"", ReadChannel(dir));
    Write("[Other]\r\nchannel=1001.exe\r\n");
    EXPECT_EQ(L"", ReadChannel(dir));
    Write("[Tovo]\r\nchan=1001.exe\r\n");
    EXPECT_EQ(L"", ReadChannel(dir));
    Write("[Tovo]\r\nchannel=1001.exe\r\n");
    EXPECT_EQ(L"1001", ReadChannel(dir));
}

TEST_F(ChannelFile, ValueIsCutTo259CharactersBeforeTheDotIsSought) {
    // 259 characters, the last dot among the last four: all of them must be read.
    Write("[Tovo]\r\nchannel=" + std::string(256, 'c') + ".ab\r\n");
    EXPECT_EQ(std::wstring(256, L'c'), ReadChannel(dir));
    // The only dot lies beyond character 259: cut off, so there is none.
    Write("[Tovo]\r\nchannel=" + std::string(270, 'c') + ".exe\r\n");
    EXPECT_EQ(L"", ReadChannel(dir));
    Write("[Tovo]\r\nchannel=" + std::string(100, 'a') + "." + std::string(200, 'b') + "\r\n");
    EXPECT_EQ(std::wstring(100, L'a'), ReadChannel(dir));
}

TEST_F(ChannelFile, Utf16FileWithAChineseChannel) {
    std::wstring text = L"\xFEFF[Tovo]\r\nchannel=渠道一号.exe\r\n";
    Write(std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)));
    EXPECT_EQ(L"渠道一号", ReadChannel(dir));
}

TEST(Version, ComesFromTheFirstTranslationListed) {
    std::wstring bin = testutil::ExeDir();
    EXPECT_EQ(L"1.0.0.2", GetFileVersionString(bin + L"TovoBox.exe", L"FileVersion"));
    EXPECT_EQ(L"9.8.7.6-en", GetFileVersionString(bin + L"version_0409.dll", L"FileVersion"));
    EXPECT_EQ(L"", GetFileVersionString(bin + L"version_0409.dll", L"ProductName"));
    // The test program has no version record at all.
    EXPECT_EQ(L"", GetFileVersionString(bin + L"unit_tests.exe", L"FileVersion"));
    EXPECT_EQ(L"", GetFileVersionString(bin + L"no-such-file.exe", L"FileVersion"));
}
