#pragma once
// Shared helpers of the fuzz targets.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);         \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace fuzz {

// A string of UTF-16 code units, two input bytes each, as the product sees text on Windows.
inline std::wstring Utf16Units(FuzzedDataProvider& in, size_t maxUnits = 512) {
    std::wstring out;
    size_t n = in.ConsumeIntegralInRange<size_t>(0, maxUnits);
    for (size_t i = 0; i < n && in.remaining_bytes() >= 2; ++i)
        out += static_cast<wchar_t>(in.ConsumeIntegral<uint16_t>());
    return out;
}

// Code points of UTF-16 units, unpaired surrogates as U+FFFD.
inline std::vector<uint32_t> CodePointsOfUtf16(const std::wstring& s) {
    std::vector<uint32_t> cps;
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t u = static_cast<uint32_t>(s[i]) & 0xFFFF;
        bool high = u >= 0xD800 && u < 0xDC00;
        uint32_t next = i + 1 < s.size() ? static_cast<uint32_t>(s[i + 1]) & 0xFFFF : 0;
        if (high && next >= 0xDC00 && next < 0xE000) {
            cps.push_back(0x10000 + ((u & 0x3FF) << 10) + (next & 0x3FF));
            ++i;
        } else {
            cps.push_back(u >= 0xD800 && u < 0xE000 ? 0xFFFD : u);
        }
    }
    return cps;
}

// Strict UTF-8 decoding (shortest form, no surrogates); false on any fault.
inline bool DecodeUtf8(const std::string& s, std::vector<uint32_t>& cps) {
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + static_cast<size_t>(extra) >= s.size())
            return false;
        uint32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            unsigned char t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000))
            return false;
        cps.push_back(cp);
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

} // namespace fuzz
