#include "report/UpdateVerify.h"

#include "framework/handles.h"
#include "update_keys.h"

#include <softpub.h>
#include <wintrust.h>

#include <cstring>

#ifndef NT_SUCCESS
#define NT_SUCCESS(status) (static_cast<NTSTATUS>(status) >= 0)
#endif

struct CSha256::Impl {
    UniqueAlgorithmProvider provider;
    std::vector<UCHAR> object; // Windows 7 wants the caller's memory for the hash object
    UniqueCngHash hash;
    bool failed = false;
};

CSha256::CSha256() : m_impl(new Impl) {
    BCRYPT_ALG_HANDLE provider = nullptr;
    if (!NT_SUCCESS(BCryptOpenAlgorithmProvider(&provider, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        m_impl->failed = true;
        return;
    }
    m_impl->provider.reset(provider);
    DWORD objectLength = 0;
    ULONG written = 0;
    if (!NT_SUCCESS(BCryptGetProperty(provider, BCRYPT_OBJECT_LENGTH,
                                      reinterpret_cast<PUCHAR>(&objectLength), sizeof objectLength,
                                      &written, 0))) {
        m_impl->failed = true;
        return;
    }
    m_impl->object.resize(objectLength);
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!NT_SUCCESS(BCryptCreateHash(provider, &hash, m_impl->object.data(), objectLength, nullptr,
                                     0, 0))) {
        m_impl->failed = true;
        return;
    }
    m_impl->hash.reset(hash);
}

CSha256::~CSha256() {
    m_impl->hash.reset(); // before the memory it lives in
    delete m_impl;
}

bool CSha256::Add(const void* data, size_t size) {
    const auto* bytes = static_cast<const UCHAR*>(data);
    while (!m_impl->failed && size > 0) {
        ULONG piece = size > 0x10000000 ? 0x10000000 : static_cast<ULONG>(size);
        if (!NT_SUCCESS(BCryptHashData(m_impl->hash.get(), const_cast<PUCHAR>(bytes), piece, 0)))
            m_impl->failed = true;
        bytes += piece;
        size -= piece;
    }
    return !m_impl->failed;
}

bool CSha256::Finish(Sha256Digest& digest) {
    if (m_impl->failed ||
        !NT_SUCCESS(BCryptFinishHash(m_impl->hash.get(), digest.data(), 32, 0)))
        m_impl->failed = true;
    bool ok = !m_impl->failed;
    m_impl->failed = true; // a hash finishes once
    return ok;
}

bool VerifyEcdsaP256(const std::string& message, const std::array<uint8_t, 64>& signature,
                     const EcdsaPublicKey& key) {
    Sha256Digest digest = {};
    CSha256 sha;
    if (!sha.Add(message.data(), message.size()) || !sha.Finish(digest))
        return false;
    BCRYPT_ALG_HANDLE providerHandle = nullptr;
    if (!NT_SUCCESS(BCryptOpenAlgorithmProvider(&providerHandle, BCRYPT_ECDSA_P256_ALGORITHM,
                                                nullptr, 0)))
        return false;
    UniqueAlgorithmProvider provider(providerHandle);
    std::array<UCHAR, sizeof(BCRYPT_ECCKEY_BLOB) + 64> blob = {};
    BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    memcpy(blob.data(), &header, sizeof header);
    memcpy(blob.data() + sizeof header, key.data(), key.size());
    BCRYPT_KEY_HANDLE keyHandle = nullptr;
    if (!NT_SUCCESS(BCryptImportKeyPair(provider.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &keyHandle,
                                        blob.data(), static_cast<ULONG>(blob.size()), 0)))
        return false;
    UniqueCngKey publicKey(keyHandle);
    std::array<UCHAR, 64> sig = {};
    memcpy(sig.data(), signature.data(), sig.size());
    return BCryptVerifySignature(publicKey.get(), nullptr, digest.data(), 32, sig.data(), 64, 0) ==
           0;
}

const std::vector<EcdsaPublicKey>& BuiltInUpdateKeys() {
    static const std::vector<EcdsaPublicKey> keys = [] {
        std::vector<EcdsaPublicKey> list;
        for (const auto& raw : kUpdatePublicKeys) {
            EcdsaPublicKey key = {};
            memcpy(key.data(), raw, key.size());
            list.push_back(key);
        }
        return list;
    }();
    return keys;
}

bool VerifyManifestSignature(const UpdateManifest& manifest) {
    for (const EcdsaPublicKey& key : BuiltInUpdateKeys()) {
        if (VerifyEcdsaP256(manifest.signedText, manifest.signature, key))
            return true;
    }
    return false;
}

bool FileMatches(HANDLE file, uint64_t expectedSize, const Sha256Digest& expected) {
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(file, zero, nullptr, FILE_BEGIN))
        return false;
    CSha256 sha;
    std::vector<char> buffer(64 * 1024);
    uint64_t total = 0;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
            return false;
        if (read == 0)
            break;
        total += read;
        if (total > expectedSize || !sha.Add(buffer.data(), read))
            return false;
    }
    Sha256Digest digest = {};
    return total == expectedSize && sha.Finish(digest) && digest == expected;
}

std::optional<std::vector<uint8_t>> SignerSubject(const std::wstring& path) {
    HCERTSTORE storeHandle = nullptr;
    HCRYPTMSG msgHandle = nullptr;
    DWORD encoding = 0, contentType = 0, formatType = 0;
    if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(),
                          CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED, CERT_QUERY_FORMAT_FLAG_BINARY,
                          0, &encoding, &contentType, &formatType, &storeHandle, &msgHandle,
                          nullptr))
        return std::nullopt;
    UniqueCertStore store(storeHandle);
    UniqueCryptMsg msg(msgHandle);
    DWORD size = 0;
    if (!CryptMsgGetParam(msg.get(), CMSG_SIGNER_CERT_INFO_PARAM, 0, nullptr, &size) || size == 0)
        return std::nullopt;
    std::vector<BYTE> info(size);
    if (!CryptMsgGetParam(msg.get(), CMSG_SIGNER_CERT_INFO_PARAM, 0, info.data(), &size))
        return std::nullopt;
    UniqueCertContext cert(CertFindCertificateInStore(
        store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_SUBJECT_CERT,
        reinterpret_cast<PCERT_INFO>(info.data()), nullptr));
    if (!cert)
        return std::nullopt;
    const CERT_NAME_BLOB& subject = cert.get()->pCertInfo->Subject;
    return std::vector<uint8_t>(subject.pbData, subject.pbData + subject.cbData);
}

namespace {

// Revocation needs the network (the issuers' lists): the download checks it on its worker; the
// start, which must not wait for the network, checks the same bytes again without it.
LONG TrustStatus(WINTRUST_FILE_INFO& fileInfo, bool checkRevocation = false) {
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = checkRevocation ? WTD_REVOKE_WHOLECHAIN : WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = checkRevocation ? WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT
                                       : WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG status = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return status;
}

} // namespace

bool TrustedAuthenticode(const std::wstring& path, HANDLE file, bool checkRevocation) {
    WINTRUST_FILE_INFO fileInfo = {};
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = path.c_str();
    fileInfo.hFile = file;
    return TrustStatus(fileInfo, checkRevocation) == 0;
}

bool SameSignerAsClient(const std::wstring& clientPath, const std::wstring& setupPath,
                        HANDLE setupFile, bool checkRevocation) {
    auto client = SignerSubject(clientPath);
    if (!client) {
        // Only a client without any signature relies on the manifest alone; one whose signature
        // cannot be read accepts nothing.
        WINTRUST_FILE_INFO fileInfo = {};
        fileInfo.cbStruct = sizeof fileInfo;
        fileInfo.pcwszFilePath = clientPath.c_str();
        return TrustStatus(fileInfo) == TRUST_E_NOSIGNATURE;
    }
    // The subject, not the key: a renewed certificate of the same publisher has a new key.
    auto setup = SignerSubject(setupPath);
    return setup && *setup == *client &&
           TrustedAuthenticode(setupPath, setupFile, checkRevocation);
}
