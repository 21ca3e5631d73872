#pragma once
// Manifests signed the way a partner signs them, with the test build's keys (update_test_keys.h:
// "test-1" and "test-2" are built into the test client, "other" is not).

#include <string>

namespace testutil {

// text + "signature=<r||s in hex>\n", signed with CNG; empty when the key is unknown.
std::string SignManifest(const std::string& text, const std::string& keyName = "test-1");

// A manifest text for the given fields, unsigned, lines in the usual order.
struct ManifestFields {
    std::string product = "TovoBox";
    std::string version = "1.0.0.3";
    std::string serial = "7";
    std::string expires = "2099-01-01T00:00:00Z";
    std::string url;
    std::string size;
    std::string sha256;
    std::string channels; // left out when empty
};
std::string ManifestText(const ManifestFields& fields);
// Lower-case hex SHA-256 of bytes.
std::string Sha256Hex(const std::string& bytes);

} // namespace testutil
