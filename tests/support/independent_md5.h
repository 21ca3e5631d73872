#pragma once
#include <string>

namespace testutil {
// MD5 of bytes as lower-case hex, from the system's cryptographic provider: a second,
// independent implementation to check ours against.
std::string SystemMd5Hex(const std::string& bytes);
} // namespace testutil
