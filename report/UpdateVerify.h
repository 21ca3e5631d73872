#pragma once
// The update's cryptography, all of it the system's own: CNG for SHA-256 and ECDSA P-256, the
// trust provider and the message functions for Authenticode.

#include "report/UpdateManifest.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using Sha256Digest = std::array<uint8_t, 32>;
// A P-256 public key: X then Y, 32 bytes each, big-endian.
using EcdsaPublicKey = std::array<uint8_t, 64>;

// SHA-256 fed in pieces (BCryptCreateHash and friends: BCryptHash exists only from Windows 10).
class CSha256 {
public:
    CSha256();
    ~CSha256();
    CSha256(const CSha256&) = delete;
    CSha256& operator=(const CSha256&) = delete;
    bool Add(const void* data, size_t size);
    // Once; false when any step failed.
    bool Finish(Sha256Digest& digest);

private:
    struct Impl;
    Impl* m_impl;
};

// ECDSA P-256 over SHA-256 of message; the signature is raw r||s.
bool VerifyEcdsaP256(const std::string& message, const std::array<uint8_t, 64>& signature,
                     const EcdsaPublicKey& key);
// Signed by one of the keys built into the client.
bool VerifyManifestSignature(const UpdateManifest& manifest);
const std::vector<EcdsaPublicKey>& BuiltInUpdateKeys();

// Reads the open file from its start: true when it holds exactly expectedSize bytes whose SHA-256
// is expected. At most expectedSize + 1 bytes are read.
bool FileMatches(HANDLE file, uint64_t expectedSize, const Sha256Digest& expected);

// The DER subject of the certificate that signed the file's embedded Authenticode signature;
// nothing when the file carries none that parses.
std::optional<std::vector<uint8_t>> SignerSubject(const std::wstring& path);
// WinVerifyTrust accepts the file's Authenticode signature (no user interface; the chain's
// revocation only when asked, as it may fetch the issuers' lists). The open handle is checked,
// not whatever the path names by then.
bool TrustedAuthenticode(const std::wstring& path, HANDLE file, bool checkRevocation);
// The setup may run only as the running client's publisher's: when the client is signed, the
// setup must carry a trusted signature by a certificate of the same subject.
bool SameSignerAsClient(const std::wstring& clientPath, const std::wstring& setupPath,
                        HANDLE setupFile, bool checkRevocation);
