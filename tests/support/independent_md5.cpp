#include "support/independent_md5.h"

#include <windows.h>
#include <wincrypt.h>

namespace testutil {

std::string SystemMd5Hex(const std::string& bytes) {
    HCRYPTPROV prov = 0;
    HCRYPTHASH hash = 0;
    std::string hex;
    if (!CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        return hex;
    if (CryptCreateHash(prov, CALG_MD5, 0, 0, &hash)) {
        BYTE digest[16];
        DWORD len = sizeof digest;
        if (CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()),
                          static_cast<DWORD>(bytes.size()), 0) &&
            CryptGetHashParam(hash, HP_HASHVAL, digest, &len, 0)) {
            static const char digits[] = "0123456789abcdef";
            for (DWORD i = 0; i < len; ++i) {
                hex += digits[digest[i] >> 4];
                hex += digits[digest[i] & 15];
            }
        }
        CryptDestroyHash(hash);
    }
    CryptReleaseContext(prov, 0);
    return hex;
}

} // namespace testutil
