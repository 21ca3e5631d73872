// The new-window address rule: only http and https addresses with a host ever come out, trimmed
// of blanks, free of control characters and at most 2048 characters, and a second pass keeps them.

#include "fuzz_util.h"
#include "web/PageRules.h"

#include <cwctype>

namespace {

bool Blank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    // Repeating the text reaches lengths around the limit that the input size alone would not.
    size_t copies = in.ConsumeIntegralInRange<size_t>(1, 4);
    std::wstring unit = fuzz::Utf16Units(in, 1200);
    std::wstring text;
    for (size_t i = 0; i < copies; ++i)
        text += unit;
    // The rule reads a C string: what follows a NUL is not part of it.
    std::wstring seen = text.substr(0, text.find(L'\0'));

    std::wstring out = ExternalBrowserAddress(text.c_str());
    FUZZ_CHECK(ExternalBrowserAddress(nullptr).empty());
    if (out.empty())
        return 0;
    FUZZ_CHECK(out.size() <= 2048);
    FUZZ_CHECK(seen.find(out) != std::wstring::npos);
    FUZZ_CHECK(!Blank(out.front()) && !Blank(out.back()));
    for (wchar_t c : out)
        FUZZ_CHECK(!(c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)));
    size_t colon = out.find(L':');
    std::wstring scheme = out.substr(0, colon);
    for (wchar_t& c : scheme)
        c = static_cast<wchar_t>(std::towlower(c));
    FUZZ_CHECK(scheme == L"http" || scheme == L"https");
    FUZZ_CHECK(out.compare(colon, 3, L"://") == 0 && out.size() > colon + 3);
    FUZZ_CHECK(ExternalBrowserAddress(out.c_str()) == out);
    return 0;
}
