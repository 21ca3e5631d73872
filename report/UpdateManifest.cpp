#include "report/UpdateManifest.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr size_t kMaxUrlLength = 2048;
constexpr char kSignatureKey[] = "signature=";

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

template <size_t N> bool ParseHex(const std::string& text, std::array<uint8_t, N>& out) {
    if (text.size() != 2 * N)
        return false;
    for (size_t i = 0; i < N; ++i) {
        int hi = HexValue(text[2 * i]);
        int lo = HexValue(text[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return true;
}

std::optional<uint64_t> ParseDecimal(const std::string& text, uint64_t max) {
    if (text.empty() || text.size() > 20)
        return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (max - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

bool IsKeyChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// Printable ASCII and any byte of a multi-byte UTF-8 sequence; no control characters.
bool IsValueByte(char c) {
    auto b = static_cast<unsigned char>(c);
    return b >= 0x20 && b != 0x7f;
}

std::vector<std::string> SplitChannels(const std::string& text) {
    std::vector<std::string> items;
    size_t begin = 0;
    for (;;) {
        size_t comma = text.find(',', begin);
        items.push_back(text.substr(begin, comma - begin));
        if (comma == std::string::npos)
            break;
        begin = comma + 1;
    }
    return items;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool IsLeap(unsigned y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

} // namespace

std::optional<FileVersion> ParseFileVersion(const std::string& text) {
    FileVersion version = {};
    size_t begin = 0;
    for (size_t i = 0; i < version.size(); ++i) {
        size_t dot = text.find('.', begin);
        bool last = i + 1 == version.size();
        if (last != (dot == std::string::npos))
            return std::nullopt;
        std::string part = text.substr(begin, last ? std::string::npos : dot - begin);
        if (part.size() > 5)
            return std::nullopt;
        auto value = ParseDecimal(part, 65535);
        if (!value)
            return std::nullopt;
        version[i] = static_cast<uint16_t>(*value);
        begin = dot + 1;
    }
    return version;
}

std::optional<int64_t> ParseUtcTime(const std::string& text) {
    // YYYY-MM-DDTHH:MM:SSZ
    static const char kForm[] = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != sizeof kForm - 1)
        return std::nullopt;
    for (size_t i = 0; i < text.size(); ++i) {
        bool digit = text[i] >= '0' && text[i] <= '9';
        if (kForm[i] == 'd' ? !digit : text[i] != kForm[i])
            return std::nullopt;
    }
    auto num = [&](size_t at, size_t len) {
        unsigned v = 0;
        for (size_t i = at; i < at + len; ++i)
            v = v * 10 + static_cast<unsigned>(text[i] - '0');
        return v;
    };
    unsigned year = num(0, 4), month = num(5, 2), day = num(8, 2);
    unsigned hour = num(11, 2), minute = num(14, 2), second = num(17, 2);
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1970 || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 ||
        second > 59)
        return std::nullopt;
    if (day > kDays[month - 1] + (month == 2 && IsLeap(year) ? 1u : 0u))
        return std::nullopt;
    return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

std::optional<UpdateManifest> ParseUpdateManifest(const std::string& bytes) {
    if (bytes.size() > kMaxManifestBytes)
        return std::nullopt;
    // The signature is the last line; the signed text is everything before it, whole lines.
    std::string body = bytes;
    if (!body.empty() && body.back() == '\n')
        body.pop_back();
    size_t lineStart = body.rfind('\n');
    lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
    if (lineStart == 0 || body.compare(lineStart, sizeof kSignatureKey - 1, kSignatureKey) != 0)
        return std::nullopt;
    UpdateManifest m;
    if (!ParseHex(body.substr(lineStart + sizeof kSignatureKey - 1), m.signature))
        return std::nullopt;
    m.signedText = bytes.substr(0, lineStart);

    bool seen[8] = {};
    static const char* const kKeys[] = {"product", "version", "serial", "expires",
                                        "url",     "size",    "sha256", "channels"};
    std::vector<std::string> otherKeys;
    size_t begin = 0;
    while (begin < m.signedText.size()) {
        size_t end = m.signedText.find('\n', begin);
        std::string line = m.signedText.substr(begin, end - begin);
        begin = end + 1;
        size_t eq = line.find('=');
        if (eq == 0 || eq == std::string::npos)
            return std::nullopt;
        std::string key = line.substr(0, eq);
        std::string value = line.substr(eq + 1);
        if (!std::all_of(key.begin(), key.end(), IsKeyChar) || value.empty() ||
            !std::all_of(value.begin(), value.end(), IsValueByte))
            return std::nullopt;
        auto index = static_cast<size_t>(std::find(std::begin(kKeys), std::end(kKeys), key) -
                                         std::begin(kKeys));
        if (index == std::size(kKeys)) {
            if (key == "signature" ||
                std::find(otherKeys.begin(), otherKeys.end(), key) != otherKeys.end())
                return std::nullopt;
            otherKeys.push_back(key);
            continue;
        }
        if (seen[index])
            return std::nullopt;
        seen[index] = true;
        switch (index) {
        case 0:
            m.product = value;
            break;
        case 1: {
            auto version = ParseFileVersion(value);
            if (!version)
                return std::nullopt;
            m.version = *version;
            break;
        }
        case 2: {
            auto serial = ParseDecimal(value, UINT64_MAX);
            if (!serial)
                return std::nullopt;
            m.serial = *serial;
            break;
        }
        case 3: {
            auto expires = ParseUtcTime(value);
            if (!expires)
                return std::nullopt;
            m.expires = *expires;
            break;
        }
        case 4:
            if (value.size() > kMaxUrlLength || value.find(' ') != std::string::npos ||
                (value.compare(0, 7, "http://") != 0 && value.compare(0, 8, "https://") != 0))
                return std::nullopt;
            m.url = value;
            break;
        case 5: {
            auto size = ParseDecimal(value, kMaxSetupBytes);
            if (!size || *size == 0)
                return std::nullopt;
            m.size = *size;
            break;
        }
        case 6:
            if (!ParseHex(value, m.sha256))
                return std::nullopt;
            break;
        default:
            m.channels = SplitChannels(value);
            if (std::any_of(m.channels.begin(), m.channels.end(),
                            [](const std::string& c) { return c.empty(); }))
                return std::nullopt;
            break;
        }
    }
    // Every key but the channels is required.
    if (!std::all_of(seen, seen + 7, [](bool s) { return s; }))
        return std::nullopt;
    return m;
}

UpdateVerdict DecideUpdate(const UpdateManifest& manifest, bool signatureGood,
                           const UpdateContext& context) {
    if (!signatureGood)
        return UpdateVerdict::BadSignature;
    if (manifest.product != kUpdateProduct)
        return UpdateVerdict::OtherProduct;
    auto running = ParseFileVersion(context.runningVersion);
    if (!running)
        return UpdateVerdict::UnknownVersion;
    if (!(*running < manifest.version))
        return UpdateVerdict::NotNewer;
    if (manifest.serial < context.highestSerial)
        return UpdateVerdict::Replayed;
    if (manifest.expires <= context.now)
        return UpdateVerdict::Expired;
    if (!manifest.channels.empty() &&
        std::find(manifest.channels.begin(), manifest.channels.end(), context.channel) ==
            manifest.channels.end())
        return UpdateVerdict::OtherChannel;
    return UpdateVerdict::Accept;
}

std::string ToHex(const uint8_t* bytes, size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        text.push_back(kDigits[bytes[i] >> 4]);
        text.push_back(kDigits[bytes[i] & 15]);
    }
    return text;
}
