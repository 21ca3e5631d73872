#pragma once

#include <cstddef>
#include <cstdint>

// Error codes; GetErrorText() gives the text of the first one recorded.
enum MD5Error {
    MD5_ERR_NONE = 0,
    MD5_ERR_NO_MEMORY,
    MD5_ERR_NO_FILE,
    MD5_ERR_NO_TEXT,
    MD5_ERR_FAILED,
};

// MD5 (RFC 1321) of a NUL-terminated byte string as 32 lower-case hex digits.
// Use: Init, DigestText, GetDigestText; Init again before every further digest.
// Every compressed block first dispatches all pending messages of the calling thread, so window
// procedures of that thread may run inside DigestText.
class CMD5 {
public:
    CMD5();
    ~CMD5();
    CMD5(const CMD5&) = delete;
    CMD5& operator=(const CMD5&) = delete;

    bool Init();
    // Digests the bytes before the first NUL. False when no successful Init precedes it.
    bool DigestText(const char* text);
    // Null when the object is not ok; the text stays valid until the next Init.
    const char* GetDigestText();
    const char* GetErrorText() const { return m_szError; }
    // Only the first error of the object's life is kept.
    void SetError(int code);

protected:
    void Transform();
    void FormatDigest();

private:
    static constexpr std::size_t kBlockSize = 64;

    const std::uint8_t* m_pBlock = nullptr;
    std::uint8_t* m_pBuffer = nullptr;
    std::uint32_t m_nA = 0;
    std::uint32_t m_nB = 0;
    std::uint32_t m_nC = 0;
    std::uint32_t m_nD = 0;
    bool m_bOk = false;
    char m_szError[50] = {};
    char m_szDigest[33] = {};
};
