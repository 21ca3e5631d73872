// The report address: whatever the five values hold, its query parses back into exactly the five
// fields, in order, each decoding to the UTF-8 of its value.

#include "fuzz_util.h"
#include "report/ReportUrl.h"

namespace {

int Hex(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1; // lower case is never produced
}

bool Unreserved(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') ||
           c == L'-' || c == L'.' || c == L'_' || c == L'~';
}

std::string PercentDecode(const std::wstring& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == L'%') {
            FUZZ_CHECK(i + 2 < s.size());
            int hi = Hex(s[i + 1]), lo = Hex(s[i + 2]);
            FUZZ_CHECK(hi >= 0 && lo >= 0);
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            FUZZ_CHECK(Unreserved(s[i]));
            out += static_cast<char>(s[i]);
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::wstring values[5];
    for (std::wstring& v : values)
        v = fuzz::Utf16Units(in, 300);
    const std::wstring server = L"http://127.0.0.1:1";
    std::wstring url =
        BuildReportUrl(server, values[0], values[1], values[2], values[3], values[4]);

    const std::wstring head = server + L"/box.php?";
    FUZZ_CHECK(url.compare(0, head.size(), head) == 0);
    std::wstring query = url.substr(head.size());
    FUZZ_CHECK(query.find_first_of(L"#? ") == std::wstring::npos);

    static const wchar_t* const kNames[] = {L"from", L"version", L"mac", L"type", L"centerkey"};
    size_t pos = 0;
    for (int f = 0; f < 5; ++f) {
        size_t amp = query.find(L'&', pos);
        FUZZ_CHECK((amp == std::wstring::npos) == (f == 4));
        std::wstring field = query.substr(pos, amp == std::wstring::npos ? amp : amp - pos);
        size_t eq = field.find(L'=');
        FUZZ_CHECK(eq != std::wstring::npos && field.substr(0, eq) == kNames[f]);
        std::string bytes = PercentDecode(field.substr(eq + 1));
        std::vector<uint32_t> decoded;
        FUZZ_CHECK(fuzz::DecodeUtf8(bytes, decoded));
        FUZZ_CHECK(decoded == fuzz::CodePointsOfUtf16(values[f]));
        pos = amp + 1;
    }
    return 0;
}
