#include "support/update_signing.h"

#include "framework/handles.h"
#include "report/UpdateVerify.h"
#include "update_test_keys.h"

#include <cstring>
#include <vector>

namespace testutil {

namespace {

std::vector<UCHAR> FromHex(const std::string& hex) {
    std::vector<UCHAR> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<UCHAR>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

} // namespace

std::string Sha256Hex(const std::string& bytes) {
    CSha256 sha;
    Sha256Digest digest = {};
    sha.Add(bytes.data(), bytes.size());
    sha.Finish(digest);
    return ToHex(digest.data(), digest.size());
}

std::string SignManifest(const std::string& text, const std::string& keyName) {
    for (const TestUpdateKey& key : kTestUpdateKeys) {
        if (keyName != key.name)
            continue;
        std::vector<UCHAR> xy = FromHex(key.xy), d = FromHex(key.d);
        BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PRIVATE_P256_MAGIC, 32};
        std::vector<UCHAR> blob(sizeof header);
        memcpy(blob.data(), &header, sizeof header);
        blob.insert(blob.end(), xy.begin(), xy.end());
        blob.insert(blob.end(), d.begin(), d.end());
        BCRYPT_ALG_HANDLE alg = nullptr;
        BCryptOpenAlgorithmProvider(&alg, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0);
        UniqueAlgorithmProvider provider(alg);
        BCRYPT_KEY_HANDLE keyHandle = nullptr;
        if (!provider || BCryptImportKeyPair(provider.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB,
                                             &keyHandle, blob.data(),
                                             static_cast<ULONG>(blob.size()), 0) != 0)
            return std::string();
        UniqueCngKey privateKey(keyHandle);
        Sha256Digest digest = {};
        CSha256 sha;
        sha.Add(text.data(), text.size());
        sha.Finish(digest);
        UCHAR sig[64] = {};
        ULONG written = 0;
        if (BCryptSignHash(privateKey.get(), nullptr, digest.data(), 32, sig, sizeof sig, &written,
                           0) != 0 ||
            written != 64)
            return std::string();
        return text + "signature=" + ToHex(sig, 64) + "\n";
    }
    return std::string();
}

std::string ManifestText(const ManifestFields& f) {
    std::string text = "product=" + f.product + "\nversion=" + f.version + "\nserial=" + f.serial +
                       "\nexpires=" + f.expires + "\nurl=" + f.url + "\nsize=" + f.size +
                       "\nsha256=" + f.sha256 + "\n";
    if (!f.channels.empty())
        text += "channels=" + f.channels + "\n";
    return text;
}

} // namespace testutil
