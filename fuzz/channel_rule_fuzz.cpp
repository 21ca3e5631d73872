// The channel rule: the channel is the value up to its last dot, never more, and once encoded it
// cannot add or break a query field.

#include "fuzz_util.h"
#include "report/ChannelRule.h"
#include "report/ReportUrl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::wstring value = fuzz::Utf16Units(in, 1024);
    std::wstring channel = ChannelFromValue(value);

    size_t dot = value.rfind(L'.');
    if (dot == std::wstring::npos) {
        FUZZ_CHECK(channel.empty());
    } else {
        FUZZ_CHECK(channel.size() == dot);
        FUZZ_CHECK(value.compare(0, channel.size(), channel) == 0);
        FUZZ_CHECK(value.find(L'.', dot + 1) == std::wstring::npos);
    }
    std::wstring encoded = EncodeQueryValue(channel);
    FUZZ_CHECK(encoded.find_first_of(L"&=#?+ \r\n") == std::wstring::npos);
    return 0;
}
