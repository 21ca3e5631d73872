// The update manifest's rules, its signature with the system's cryptography, and the setup's
// switches. The whole update, end to end, is e2e.Update.*.

#include "app/UpdateStart.h"
#include "framework/afxwin.h"
#include "mainwnd/Layout.h"
#include "report/UpdateCheck.h"
#include "report/UpdateManifest.h"
#include "report/UpdateVerify.h"
#include "support/test_util.h"
#include "support/update_signing.h"

#include <gtest/gtest.h>

namespace {

const std::string kHash(64, 'a');

std::string Good(const std::string& extra = "") {
    return "product=TovoBox\nversion=1.0.0.3\nserial=7\nexpires=2030-02-28T12:00:00Z\n"
           "url=http://box/s.exe\nsize=10\nsha256=" + kHash + "\n" + extra +
           "signature=" + std::string(128, '0') + "\n";
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

} // namespace

TEST(UpdateManifest, ParsesOnlyWellFormedBoundedText) {
    auto m = ParseUpdateManifest(Good("channels=1001.exe,渠道\nlater-field=anything goes\n"));
    ASSERT_TRUE(m);
    EXPECT_EQ("TovoBox", m->product);
    EXPECT_EQ((FileVersion{1, 0, 0, 3}), m->version);
    EXPECT_EQ(7u, m->serial);
    EXPECT_EQ(1898510400, m->expires);
    EXPECT_EQ(10u, m->size);
    EXPECT_EQ((std::vector<std::string>{"1001.exe", "渠道"}), m->channels);
    EXPECT_EQ(Good().substr(0, Good().find("signature=")) +
                  "channels=1001.exe,渠道\nlater-field=anything goes\n",
              m->signedText);
    ASSERT_TRUE(ParseUpdateManifest(Good().substr(0, Good().size() - 1))); // no final LF

    const struct {
        const char* why;
        std::string text;
    } bad[] = {
        {"empty", ""},
        {"over the bound", Good("x=" + std::string(kMaxManifestBytes, 'x') + "\n")},
        {"no signature", Good().substr(0, Good().find("signature="))},
        {"signature not last", Good() + "serial=8\n"},
        {"two signatures", Replace(Good(), "serial=7\n", "serial=7\nsignature=" +
                                                             std::string(128, '0') + "\n")},
        {"short signature", Replace(Good(), std::string(128, '0'), std::string(126, '0'))},
        {"missing key", Replace(Good(), "size=10\n", "")},
        {"key twice", Replace(Good(), "size=10\n", "size=10\nsize=10\n")},
        {"CR LF", Replace(Good(), "size=10\n", "size=10\r\n")},
        {"line without =", Replace(Good(), "size=10\n", "size 10\n")},
        {"empty value", Replace(Good(), "size=10", "size=")},
        {"upper-case key", Replace(Good(), "size=10", "Size=10")},
        {"three-part version", Replace(Good(), "1.0.0.3", "1.0.3")},
        {"version part over 65535", Replace(Good(), "1.0.0.3", "1.0.0.65536")},
        {"signed version", Replace(Good(), "1.0.0.3", "1.0.0.+3")},
        {"serial over 64 bits", Replace(Good(), "serial=7", "serial=18446744073709551616")},
        {"local time", Replace(Good(), "12:00:00Z", "12:00:00")},
        {"no such day", Replace(Good(), "2030-02-28", "2030-02-29")},
        {"zero size", Replace(Good(), "size=10", "size=0")},
        {"size over the limit", Replace(Good(), "size=10", "size=" + std::to_string(kMaxSetupBytes + 1))},
        {"short hash", Replace(Good(), kHash, kHash.substr(1))},
        {"hash not hex", Replace(Good(), kHash, "g" + kHash.substr(1))},
        {"file address", Replace(Good(), "http://box/s.exe", "file://C:/s.exe")},
        {"address with a space", Replace(Good(), "http://box/s.exe", "http://box/s .exe")},
        {"empty channel", Good("channels=a,,b\n")},
        {"control character", Good("note=a\tb\n")},
    };
    for (const auto& c : bad)
        EXPECT_FALSE(ParseUpdateManifest(c.text)) << c.why;
    EXPECT_EQ(2000000000, ParseUtcTime("2033-05-18T03:33:20Z"));
    EXPECT_EQ(951782400, ParseUtcTime("2000-02-29T00:00:00Z"));
    EXPECT_FALSE(ParseUtcTime("1900-02-29T00:00:00Z"));
}

TEST(UpdateManifest, OnlyASignedNewerUnexpiredUnreplayedUpdateForOurChannelIsAccepted) {
    UpdateManifest m = *ParseUpdateManifest(Good("channels=1001.exe,sample\n"));
    UpdateContext base{"1.0.0.2", 7, 1898510399, "sample"};
    const struct {
        const char* why;
        bool signatureGood;
        UpdateContext context;
        UpdateVerdict verdict;
    } cases[] = {
        {"all good", true, base, UpdateVerdict::Accept},
        {"bad signature", false, base, UpdateVerdict::BadSignature},
        {"same version", true, {"1.0.0.3", 7, base.now, "sample"}, UpdateVerdict::NotNewer},
        {"numeric, not text, order", true, {"1.0.0.10", 0, base.now, "sample"},
         UpdateVerdict::NotNewer},
        {"unknown running version", true, {"", 0, base.now, "sample"},
         UpdateVerdict::UnknownVersion},
        {"lower serial", true, {"1.0.0.2", 8, base.now, "sample"}, UpdateVerdict::Replayed},
        {"expired this second", true, {"1.0.0.2", 7, base.now + 1, "sample"},
         UpdateVerdict::Expired},
        {"other channel", true, {"1.0.0.2", 7, base.now, "samp"}, UpdateVerdict::OtherChannel},
        {"no channel", true, {"1.0.0.2", 7, base.now, ""}, UpdateVerdict::OtherChannel},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.verdict, DecideUpdate(m, c.signatureGood, c.context)) << c.why;
    m.channels.clear();
    EXPECT_EQ(UpdateVerdict::Accept, DecideUpdate(m, true, {"1.0.0.2", 0, 0, ""}));
    m.product = "Other";
    EXPECT_EQ(UpdateVerdict::OtherProduct, DecideUpdate(m, true, base));
}

// The manifest tools/update-manifest.sh signed at configure time with the second built-in key,
// and manifests signed here: a changed byte or an unknown key fails; so does a DER signature.
TEST(UpdateManifest, SignatureIsCheckedWithTheBuiltInKeys) {
    std::string sample;
    ASSERT_TRUE(ReadSmallFile(DirectoryOf(AfxGetModuleFileName()) + L"update-sample.txt",
                              kMaxManifestBytes, sample));
    auto m = ParseUpdateManifest(sample);
    ASSERT_TRUE(m);
    EXPECT_TRUE(VerifyManifestSignature(*m));
    EXPECT_EQ(testutil::Sha256Hex("sample setup program\n"), ToHex(m->sha256.data(), 32));
    std::string changed = Replace(sample, "serial=42", "serial=43");
    EXPECT_FALSE(VerifyManifestSignature(*ParseUpdateManifest(changed)));

    std::string text = testutil::ManifestText({"TovoBox", "1.0.0.3", "7", "2099-01-01T00:00:00Z",
                                                "http://127.0.0.1/s.exe", "5", kHash, ""});
    for (const char* key : {"test-1", "test-2"}) {
        auto signedByUs = ParseUpdateManifest(testutil::SignManifest(text, key));
        ASSERT_TRUE(signedByUs) << key;
        EXPECT_TRUE(VerifyManifestSignature(*signedByUs)) << key;
        signedByUs->signature[5] ^= 1;
        EXPECT_FALSE(VerifyManifestSignature(*signedByUs)) << key;
    }
    EXPECT_FALSE(VerifyManifestSignature(*ParseUpdateManifest(testutil::SignManifest(text, "other"))));
}

TEST(UpdateManifest, SetupGetsItsFullQuotedPathAndTheInstallFolderLast) {
    EXPECT_EQ(L"\"C:\\u\\A B\\TovoBoxSetup.exe\" /S /UPDATE /D=C:\\Program Files\\Tovo",
              UpdateSetupCommandLine(L"C:\\u\\A B\\TovoBoxSetup.exe", L"C:\\Program Files\\Tovo\\",
                                     false));
    EXPECT_EQ(L"\"C:\\s.exe\" /S /UPDATE /AUTO /D=C:\\", UpdateSetupCommandLine(L"C:\\s.exe", L"C:\\", true));
}

// Wine trusts any self-signed certificate, so what tells publishers apart here is the client's own
// reading of the signer's subject; a renewed certificate (new key, same subject) is the same one.
TEST(UpdateManifest, SetupMustBeSignedByTheSignedClientsPublisher) {
    const std::wstring dir = DirectoryOf(AfxGetModuleFileName()) + L"signed\\";
    const struct {
        const wchar_t* client;
        const wchar_t* setup;
        bool accepted;
    } cases[] = {
        {L"client.exe", L"setup-same.exe", true},      {L"client.exe", L"setup-renewed.exe", true},
        {L"client.exe", L"setup-other.exe", false},    {L"client.exe", L"unsigned.exe", false},
        {L"client.exe", L"setup-changed.exe", false},  {L"unsigned.exe", L"setup-other.exe", true},
    };
    for (const auto& c : cases) {
        std::wstring setup = dir + c.setup;
        HANDLE file = CreateFileW(setup.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        EXPECT_EQ(c.accepted, SameSignerAsClient(dir + c.client, setup, file, true))
            << testutil::ToUtf8(c.client) << " " << testutil::ToUtf8(c.setup);
        CloseHandle(file);
    }
}
