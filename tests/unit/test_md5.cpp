#include "report/MD5.h"
#include "support/independent_md5.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

namespace {

std::string Digest(CMD5& md5, const std::string& text) {
    if (!md5.Init() || !md5.DigestText(text.c_str())) {
        return "<failed>";
    }
    const char* digest = md5.GetDigestText();
    return digest ? digest : "<null>";
}

std::string Digest(const std::string& text) {
    CMD5 md5;
    return Digest(md5, text);
}

std::string ReferenceDigest(const std::string& text) {
    return testutil::SystemMd5Hex(text);
}

int g_nDispatched = 0;
char* g_pRewrite = nullptr; // text that the handler rewrites while it is being digested

LRESULT CALLBACK CountingWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        ++g_nDispatched;
        if (g_pRewrite)
            std::memset(g_pRewrite, 'b', std::strlen(g_pRewrite));
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace

TEST(MD5, Rfc1321Suite) {
    EXPECT_EQ(Digest(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Digest("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Digest("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Digest("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Digest("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(Digest("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(Digest("1234567890123456789012345678901234567890"
                     "1234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(MD5, PaddingBoundariesAndEmbeddedNul) {
    for (size_t length : {55u, 56u, 63u, 64u, 65u, 119u}) {
        const std::string text(length, 'a');
        EXPECT_EQ(Digest(text), ReferenceDigest(text)) << "length " << length;
    }
    EXPECT_EQ(Digest(std::string("abc\0def", 7)), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(MD5, RandomTextsMatchReference) {
    std::mt19937 generator(20240607);
    std::uniform_int_distribution<int> lengths(0, 300);
    std::uniform_int_distribution<int> bytes(1, 255);
    for (int i = 0; i < 2000; ++i) {
        std::string text(size_t(lengths(generator)), '\0');
        for (char& c : text) {
            c = char(bytes(generator));
        }
        ASSERT_EQ(Digest(text), ReferenceDigest(text))
            << "case " << i << ", length " << text.size();
    }
}

TEST(MD5, ObjectReuseAndState) {
    // FormatDigest leaves the state byte-reversed: Init must reset it fully.
    CMD5 md5;
    const std::string second(100, 'x');
    EXPECT_EQ(Digest(md5, "abc"), Digest("abc"));
    EXPECT_EQ(Digest(md5, second), Digest(second));
    EXPECT_STREQ(md5.GetErrorText(), "");

    ASSERT_TRUE(md5.Init());
    ASSERT_NE(md5.GetDigestText(), nullptr);
    EXPECT_STREQ(md5.GetDigestText(), "");
}

TEST(MD5, ErrorTextKeepsFirstError) {
    CMD5 fresh;
    EXPECT_FALSE(fresh.DigestText("abc")); // no buffer yet
    EXPECT_EQ(fresh.GetDigestText(), nullptr);
    EXPECT_STREQ(fresh.GetErrorText(), "Have something wrong with MD5!");

    CMD5 md5;
    ASSERT_TRUE(md5.Init());
    md5.SetError(MD5_ERR_NO_TEXT);
    EXPECT_EQ(md5.GetDigestText(), nullptr);
    md5.SetError(MD5_ERR_NO_FILE);
    EXPECT_STREQ(md5.GetErrorText(), "Have not assign the text !");

    EXPECT_EQ(Digest(md5, "abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_STREQ(md5.GetErrorText(), "Have not assign the text !");
}

TEST(MD5, DigestDispatchesPendingMessages) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = CountingWndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TovoMD5TestSink";
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND sink = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                wc.hInstance, nullptr);
    ASSERT_NE(sink, nullptr);

    g_nDispatched = 0;
    ASSERT_TRUE(PostMessageW(sink, WM_APP, 0, 0));
    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP + 1, 0, 0));
    CMD5 md5;
    ASSERT_TRUE(md5.Init());
    ASSERT_TRUE(md5.DigestText("abc"));
    EXPECT_EQ(g_nDispatched, 1);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_APP, WM_APP + 1, PM_NOREMOVE));
    EXPECT_STREQ(md5.GetDigestText(), "900150983cd24fb0d6963f7d28e17f72");

    // The queue is drained before the first block is read: what the handler wrote is digested.
    std::string text(130, 'a');
    g_pRewrite = &text[0];
    ASSERT_TRUE(PostMessageW(sink, WM_APP, 0, 0));
    ASSERT_TRUE(md5.Init());
    ASSERT_TRUE(md5.DigestText(text.c_str()));
    g_pRewrite = nullptr;
    EXPECT_STREQ(ReferenceDigest(std::string(130, 'b')).c_str(), md5.GetDigestText());

    DestroyWindow(sink);
    UnregisterClassW(wc.lpszClassName, wc.hInstance);
}
