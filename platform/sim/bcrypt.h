// The simulated Cryptography Next Generation provider (bcrypt.cpp): what tests may use of it.
#pragma once

#include <string>

namespace sim {

// The SHA-256 of the bytes as 64 lower-case hex digits: what the SHA256 provider computes.
std::string Sha256Hex(const std::string& bytes);

}  // namespace sim
