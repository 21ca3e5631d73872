// What the report sends and when it starts.

#include "report/UsageReport.h"
#include "support/independent_md5.h"
#include "support/test_util.h"

#include <gtest/gtest.h>

namespace {

std::wstring Wide(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

// The key recomputed with another MD5, for ASCII inputs.
std::wstring ExpectedKey(const std::string& version, const std::string& mac,
                         const std::string& type) {
    return Wide(testutil::SystemMd5Hex(type + testutil::SystemMd5Hex(version + mac)));
}

} // namespace

TEST(ReportKey, IsTheDoubleDigestOverVersionMacAndType) {
    EXPECT_EQ(ExpectedKey("1.0.0.2", "00-1A-2B-3C-4D-5E", "2"),
              ComputeCenterKey(L"1.0.0.2", L"00-1A-2B-3C-4D-5E", L"2"));
    // No machine identifier: the key is taken over the version alone.
    EXPECT_EQ(ExpectedKey("1.0.0.2", "", "2"), ComputeCenterKey(L"1.0.0.2", L"", L"2"));
    EXPECT_EQ(ExpectedKey("", "", "2"), ComputeCenterKey(L"", L"", L"2"));
    EXPECT_EQ(32u, ComputeCenterKey(L"1.0.0.2", L"00-00-00-00-00-00", L"2").size());
}

TEST(ReportUrl, NormalValuesGoUnchangedOthersArePercentEncoded) {
    std::wstring key = ComputeCenterKey(L"1.0.0.2", L"00-1A-2B-3C-4D-5E", L"2");
    EXPECT_EQ(L"http://box.example/box.php?from=1001&version=1.0.0.2&mac=00-1A-2B-3C-4D-5E"
              L"&type=2&centerkey=" +
                  key,
              BuildReportUrl(L"http://box.example", L"1001", L"1.0.0.2", L"00-1A-2B-3C-4D-5E", L"2",
                             key));
    EXPECT_EQ(L"http://h/box.php?from=&version=1.0.0.2&mac=&type=2&centerkey=",
              BuildReportUrl(L"http://h", L"", L"1.0.0.2", L"", L"2", L""));

    EXPECT_EQ(L"aZ09-._~", EncodeQueryValue(L"aZ09-._~"));
    EXPECT_EQ(L"a%26b%3Dc%23d%20e%0D%0Af%2B%25", EncodeQueryValue(L"a&b=c#d e\r\nf+%"));
    EXPECT_EQ(L"%E6%B8%A0%E9%81%93", EncodeQueryValue(L"渠道"));
    EXPECT_EQ(L"%3F%2F", EncodeQueryValue(L"?/"));
}

TEST(ReportTrigger, StartsOnlyWhenOnlineAndNotYetStarted) {
    EXPECT_TRUE(ShouldStartReport(TRUE, FALSE));
    EXPECT_FALSE(ShouldStartReport(FALSE, FALSE));
    EXPECT_FALSE(ShouldStartReport(TRUE, TRUE));
    EXPECT_FALSE(ShouldStartReport(FALSE, TRUE));
}
