#include "support/independent_md5.h"

#include <windows.h>
#include <wincrypt.h>

namespace testutil {

std::string SystemMd5Hex(const std::string& bytes) {
    // Acquired once: under Wine each acquisition costs milliseconds.
    static const HCRYPTPROV provider = [] {
        HCRYPTPROV handle = 0;
        return CryptAcquireContextW(&handle, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)
                   ? handle
                   : 0;
    }();
    std::string hex = "<no reference>";
    HCRYPTHASH hash = 0;
    if (!provider || !CryptCreateHash(provider, CALG_MD5, 0, 0, &hash))
        return hex;
    BYTE value[16];
    DWORD size = sizeof value;
    if (CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()),
                      static_cast<DWORD>(bytes.size()), 0) &&
        CryptGetHashParam(hash, HP_HASHVAL, value, &size, 0)) {
        static const char digits[] = "0123456789abcdef";
        hex.clear();
        for (DWORD i = 0; i < size; ++i) {
            hex += digits[value[i] >> 4];
            hex += digits[value[i] & 15];
        }
    }
    CryptDestroyHash(hash);
    return hex;
}

} // namespace testutil
