#pragma once
// The update manifest: a short signed text that names a newer setup program. The parser and the
// decision read untrusted bytes and use nothing but the standard library (fuzz/).
//
//   product=TovoBox
//   version=1.0.0.3
//   serial=7
//   expires=2027-01-31T00:00:00Z
//   url=http://box.tovo.com/update/TovoBoxSetup-1.0.0.3.exe
//   size=1234567
//   sha256=<64 hex digits>
//   channels=1001,1002            (optional: every channel when absent)
//   signature=<128 hex digits>    (ECDSA P-256 r||s over every byte before this line)
//
// Lines end with LF. Keys the client does not know are signed like the rest and skipped, so a
// later manifest with more fields still reaches older clients.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

constexpr size_t kMaxManifestBytes = 4096;
// No setup program of this client comes near it; a manifest naming more is refused.
constexpr uint64_t kMaxSetupBytes = 64ull * 1024 * 1024;
constexpr char kUpdateProduct[] = "TovoBox";

using FileVersion = std::array<uint16_t, 4>;

struct UpdateManifest {
    std::string product;
    FileVersion version = {};
    uint64_t serial = 0;
    int64_t expires = 0; // seconds since 1970-01-01 UTC
    std::string url;
    uint64_t size = 0;
    std::array<uint8_t, 32> sha256 = {};
    std::vector<std::string> channels; // empty: every channel
    std::string signedText;            // the exact bytes the signature covers
    std::array<uint8_t, 64> signature = {};
};

// Nothing at all for text that breaks any rule: over kMaxManifestBytes, a line without '=' or
// with a control character, a known key twice or missing, a value out of its form, or a
// signature line that is not the last.
std::optional<UpdateManifest> ParseUpdateManifest(const std::string& bytes);

// "a.b.c.d", each 0..65535 in decimal without sign; nothing otherwise.
std::optional<FileVersion> ParseFileVersion(const std::string& text);
// "YYYY-MM-DDTHH:MM:SSZ" as seconds since 1970 UTC.
std::optional<int64_t> ParseUtcTime(const std::string& text);

enum class UpdateVerdict {
    Accept,
    BadSignature,
    OtherProduct,
    NotNewer,     // the same or an older version than the running one
    Replayed,     // a serial below the highest this user accepted
    Expired,
    OtherChannel,
    UnknownVersion, // the running client's own version cannot be read
};

struct UpdateContext {
    std::string runningVersion; // the running client's FileVersion
    uint64_t highestSerial = 0; // the highest serial accepted before
    int64_t now = 0;            // seconds since 1970 UTC
    std::string channel;        // ours, UTF-8
};

UpdateVerdict DecideUpdate(const UpdateManifest& manifest, bool signatureGood,
                           const UpdateContext& context);

// Lower-case hexadecimal.
std::string ToHex(const uint8_t* bytes, size_t count);
