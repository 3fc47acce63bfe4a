// Simulated Cryptography Next Generation hashing: the "SHA256" algorithm provider and its hash
// objects, as bcrypt.dll gives them. Modelled: BCryptOpenAlgorithmProvider of "SHA256" (any other
// algorithm is STATUS_NOT_FOUND), hash objects whose memory the provider keeps (a null object
// buffer, as Windows 7 and later allow), data hashed in any number of pieces, the 32-byte result
// (any other size is STATUS_INVALID_PARAMETER; the object is finished either way), and accounted
// handles of kinds "hash algorithm" and "hash". Not modelled: other algorithms, HMAC secrets,
// properties, reusable hash objects.
#include <cstring>

#include "platform/sim/bcrypt.h"
#include "platform/sim/sim.h"

namespace sim {
namespace {

constexpr uint32_t RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

uint32_t RotateRight(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

// FIPS 180-4 SHA-256 over a whole message.
struct Sha256 {
  uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::string pending;
  uint64_t length = 0;

  void Block(const unsigned char* p) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = uint32_t(p[4 * i]) << 24 | uint32_t(p[4 * i + 1]) << 16 | uint32_t(p[4 * i + 2]) << 8 |
             uint32_t(p[4 * i + 3]);
    for (int i = 16; i < 64; ++i) {
      uint32_t s0 = RotateRight(w[i - 15], 7) ^ RotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
      uint32_t s1 = RotateRight(w[i - 2], 17) ^ RotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t v[8];
    std::memcpy(v, state, sizeof v);
    for (int i = 0; i < 64; ++i) {
      uint32_t s1 = RotateRight(v[4], 6) ^ RotateRight(v[4], 11) ^ RotateRight(v[4], 25);
      uint32_t choice = (v[4] & v[5]) ^ (~v[4] & v[6]);
      uint32_t t1 = v[7] + s1 + choice + RoundConstants[i] + w[i];
      uint32_t s0 = RotateRight(v[0], 2) ^ RotateRight(v[0], 13) ^ RotateRight(v[0], 22);
      uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
      std::memmove(v + 1, v, 7 * sizeof(uint32_t));
      v[4] += t1;
      v[0] = t1 + s0 + majority;
    }
    for (int i = 0; i < 8; ++i) state[i] += v[i];
  }
  void Add(const unsigned char* data, size_t bytes) {
    length += bytes;
    pending.append(reinterpret_cast<const char*>(data), bytes);
    size_t at = 0;
    for (; pending.size() - at >= 64; at += 64)
      Block(reinterpret_cast<const unsigned char*>(pending.data() + at));
    pending.erase(0, at);
  }
  void Finish(unsigned char out[32]) {
    uint64_t bits = length * 8;
    unsigned char pad[72] = {0x80};
    size_t padBytes = (pending.size() < 56 ? 56 : 120) - pending.size();
    for (int i = 0; i < 8; ++i) pad[padBytes + i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    Add(pad, padBytes + 8);
    for (int i = 0; i < 32; ++i) out[i] = static_cast<unsigned char>(state[i / 4] >> (24 - 8 * (i % 4)));
  }
};

struct Algorithm {};

}  // namespace

std::string Sha256Hex(const std::string& bytes) {
  Sha256 hash;
  hash.Add(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  unsigned char digest[32];
  hash.Finish(digest);
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : digest) out += {digits[b >> 4], digits[b & 15]};
  return out;
}

}  // namespace sim

using sim::Call;

NTSTATUS BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE* algorithm, LPCWSTR id, LPCWSTR, ULONG) {
  Call call("BCryptOpenAlgorithmProvider", {id ? sim::Utf8(id) : "null"});
  if (call.Faulted()) return call.Ret(STATUS_NOT_FOUND);
  if (!algorithm || !id) return call.Ret(STATUS_INVALID_PARAMETER);
  *algorithm = nullptr;
  if (std::u16string(id) != BCRYPT_SHA256_ALGORITHM) return call.Ret(STATUS_NOT_FOUND);
  *algorithm = sim::NewHandle("hash algorithm", std::make_shared<sim::Algorithm>());
  return call.Ret(STATUS_SUCCESS);
}

NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm, ULONG) {
  Call call("BCryptCloseAlgorithmProvider", {sim::Ptr(algorithm)});
  return call.Ret(sim::ReleaseHandle(algorithm, "hash algorithm") ? STATUS_SUCCESS
                                                                    : STATUS_INVALID_HANDLE);
}

NTSTATUS BCryptCreateHash(BCRYPT_ALG_HANDLE algorithm, BCRYPT_HASH_HANDLE* hash, PUCHAR object,
                          ULONG objectBytes, PUCHAR secret, ULONG secretBytes, ULONG) {
  Call call("BCryptCreateHash", {sim::Ptr(algorithm)});
  if (call.Faulted()) return call.Ret(STATUS_INVALID_PARAMETER);
  if (!sim::LookupHandle(algorithm, "hash algorithm")) return call.Ret(STATUS_INVALID_HANDLE);
  // Only the provider's own memory and no secret are modelled.
  if (!hash || object || objectBytes || secret || secretBytes)
    return call.Ret(STATUS_INVALID_PARAMETER);
  *hash = sim::NewHandle("hash", std::make_shared<sim::Sha256>());
  return call.Ret(STATUS_SUCCESS);
}

NTSTATUS BCryptHashData(BCRYPT_HASH_HANDLE hash, PUCHAR input, ULONG inputBytes, ULONG) {
  Call call("BCryptHashData", {sim::Ptr(hash), std::to_string(inputBytes)});
  if (call.Faulted()) return call.Ret(STATUS_INVALID_PARAMETER);
  auto state = sim::Lookup<sim::Sha256>(hash, "hash");
  if (!state) return call.Ret(STATUS_INVALID_HANDLE);
  if (!input && inputBytes) return call.Ret(STATUS_INVALID_PARAMETER);
  if (inputBytes) state->Add(input, inputBytes);
  return call.Ret(STATUS_SUCCESS);
}

NTSTATUS BCryptFinishHash(BCRYPT_HASH_HANDLE hash, PUCHAR output, ULONG outputBytes, ULONG) {
  Call call("BCryptFinishHash", {sim::Ptr(hash), std::to_string(outputBytes)});
  if (call.Faulted()) return call.Ret(STATUS_INVALID_PARAMETER);
  auto state = sim::Lookup<sim::Sha256>(hash, "hash");
  if (!state) return call.Ret(STATUS_INVALID_HANDLE);
  if (!output || outputBytes != 32) return call.Ret(STATUS_INVALID_PARAMETER);
  state->Finish(output);
  return call.Ret(STATUS_SUCCESS);
}

NTSTATUS BCryptDestroyHash(BCRYPT_HASH_HANDLE hash) {
  Call call("BCryptDestroyHash", {sim::Ptr(hash)});
  return call.Ret(sim::ReleaseHandle(hash, "hash") ? STATUS_SUCCESS : STATUS_INVALID_HANDLE);
}
