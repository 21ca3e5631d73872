#include "report/MD5.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>

namespace {

const char* const kErrorTexts[] = {
    "",
    "The Memory is not enough !",
    "Have not assign a file !",
    "Have not assign the text !",
    "Have something wrong with MD5!",
};

const std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Per round, the rotation of steps 0..3 mod 4.
const int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

std::uint32_t RotateLeft(std::uint32_t value, int bits) {
    return (value << bits) | (value >> (32 - bits));
}

// Byte arithmetic keeps the result independent of host byte order and alignment.
std::uint32_t ReadLittleEndian32(const std::uint8_t* bytes) {
    return std::uint32_t(bytes[0]) | (std::uint32_t(bytes[1]) << 8) |
           (std::uint32_t(bytes[2]) << 16) | (std::uint32_t(bytes[3]) << 24);
}

std::uint32_t ReverseBytes(std::uint32_t value) {
    return (value >> 24) | ((value >> 8) & 0x0000ff00u) | ((value << 8) & 0x00ff0000u) |
           (value << 24);
}

} // namespace

CMD5::CMD5() = default;

CMD5::~CMD5() {
    delete[] m_pBuffer;
}

bool CMD5::Init() {
    m_bOk = true;
    m_szDigest[0] = '\0';
    if (!m_pBuffer) {
        m_pBuffer = new (std::nothrow) std::uint8_t[kBlockSize];
    }
    if (!m_pBuffer) {
        SetError(MD5_ERR_NO_MEMORY);
        // SetError does nothing once an error is kept, yet without a buffer we must not be ok.
        m_bOk = false;
        return false;
    }
    m_pBlock = m_pBuffer;
    m_nA = 0x67452301;
    m_nB = 0xefcdab89;
    m_nC = 0x98badcfe;
    m_nD = 0x10325476;
    return true;
}

bool CMD5::DigestText(const char* text) {
    if (!m_bOk || !m_pBuffer || !text) {
        return false;
    }
    const std::size_t length = std::strlen(text);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text);

    // Full blocks are compressed in place; only the tail is copied.
    std::size_t offset = 0;
    for (; length - offset >= kBlockSize; offset += kBlockSize) {
        m_pBlock = bytes + offset;
        Transform();
    }

    m_pBlock = m_pBuffer;
    const std::size_t rest = length - offset;
    std::memset(m_pBuffer, 0, kBlockSize);
    std::memcpy(m_pBuffer, bytes + offset, rest);
    m_pBuffer[rest] = 0x80;
    if (rest >= kBlockSize - 8) {
        // No room left for the length: it goes into a block of its own.
        Transform();
        std::memset(m_pBuffer, 0, kBlockSize);
    }
    const std::uint64_t bits = std::uint64_t(length) * 8;
    for (std::size_t i = 0; i < 8; ++i) {
        m_pBuffer[kBlockSize - 8 + i] = std::uint8_t(bits >> (8 * i));
    }
    Transform();
    FormatDigest();
    return true;
}

const char* CMD5::GetDigestText() {
    if (m_bOk) {
        return m_szDigest;
    }
    if (m_szError[0] == '\0') {
        SetError(MD5_ERR_FAILED);
    }
    return nullptr;
}

void CMD5::SetError(int code) {
    if (m_szError[0] != '\0') {
        return;
    }
    if (code < MD5_ERR_NONE || code > MD5_ERR_FAILED) {
        code = MD5_ERR_FAILED;
    }
    m_bOk = false;
    std::snprintf(m_szError, sizeof(m_szError), "%s", kErrorTexts[code]);
}

void CMD5::Transform() {
    // Keeps the thread's windows responsive while a long text is digested.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }

    std::uint32_t words[16];
    for (int i = 0; i < 16; ++i) {
        words[i] = ReadLittleEndian32(m_pBlock + 4 * i);
    }

    std::uint32_t a = m_nA;
    std::uint32_t b = m_nB;
    std::uint32_t c = m_nC;
    std::uint32_t d = m_nD;
    for (int step = 0; step < 64; ++step) {
        const int phase = step / 16;
        std::uint32_t mix;
        int word;
        switch (phase) {
        case 0:
            mix = (b & c) | (~b & d);
            word = step;
            break;
        case 1:
            mix = (d & b) | (~d & c);
            word = (5 * step + 1) % 16;
            break;
        case 2:
            mix = b ^ c ^ d;
            word = (3 * step + 5) % 16;
            break;
        default:
            mix = c ^ (b | ~d);
            word = (7 * step) % 16;
            break;
        }
        const std::uint32_t next =
            b + RotateLeft(a + mix + kSine[step] + words[word], kShift[phase][step % 4]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    m_nA += a;
    m_nB += b;
    m_nC += c;
    m_nD += d;
}

void CMD5::FormatDigest() {
    // Reversing each word makes "%08x" print its bytes in digest order, low byte first.
    std::uint32_t* words[4] = {&m_nA, &m_nB, &m_nC, &m_nD};
    for (std::size_t i = 0; i < 4; ++i) {
        *words[i] = ReverseBytes(*words[i]);
        std::snprintf(m_szDigest + 8 * i, sizeof(m_szDigest) - 8 * i, "%08x",
                      static_cast<unsigned>(*words[i]));
    }
}
