// Security identifiers and descriptors of the simulated machine. See security.h.
#include "platform/sim/security.h"

#include <cstring>

#include "platform/sim/sim.h"

namespace sim {
namespace {

// The header of a descriptor block: a marker, then the allowed SIDs' texts, each ended by '\0',
// the list ended by an empty text.
constexpr char kMarker[] = "SIMSD";

std::string Alias(const std::string& alias) {
  if (alias == "BA") return kAdministratorsSid;
  if (alias == "SY") return kSystemSid;
  if (alias == "BU") return "S-1-5-32-545";
  if (alias == "WD") return "S-1-1-0";
  if (alias.rfind("S-1-", 0) == 0) return alias;
  return {};
}

// Parses "D:[P](A;;rights;;;sid)..." into the allowed SIDs; false for anything else.
bool ParseDacl(const std::string& text, std::vector<std::string>* sids) {
  if (text.rfind("D:", 0) != 0) return false;
  size_t at = 2;
  while (at < text.size() && text[at] != '(') {
    if (text[at] != 'P' && text[at] != 'A' && text[at] != 'I') return false;  // P, AI flags
    ++at;
  }
  while (at < text.size()) {
    if (text[at] != '(') return false;
    size_t end = text.find(')', at);
    if (end == std::string::npos) return false;
    std::vector<std::string> fields;
    std::string field;
    for (size_t i = at + 1; i < end; ++i) {
      if (text[i] == ';') {
        fields.push_back(field);
        field.clear();
      } else {
        field += text[i];
      }
    }
    fields.push_back(field);
    if (fields.size() != 6 || fields[0] != "A" || fields[2].empty()) return false;
    std::string sid = Alias(fields[5]);
    if (sid.empty()) return false;
    sids->push_back(sid);
    at = end + 1;
  }
  return true;
}

}  // namespace

namespace internal {

std::string SidText(const void* sid) {
  if (!sid) return {};
  const BYTE* b = static_cast<const BYTE*>(sid);
  uint64_t authority = 0;
  for (int i = 2; i < 8; ++i) authority = (authority << 8) | b[i];
  std::string text = "S-" + std::to_string(b[0]) + "-" + std::to_string(authority);
  for (int i = 0; i < b[1]; ++i) {
    DWORD sub;
    std::memcpy(&sub, b + 8 + 4 * i, 4);
    text += "-" + std::to_string(sub);
  }
  return text;
}

std::vector<std::string> AllowedSids(const void* descriptor) {
  std::vector<std::string> out;
  if (!descriptor) return out;
  const char* p = static_cast<const char*>(descriptor);
  if (std::strcmp(p, kMarker) != 0) return out;
  for (p += sizeof kMarker; *p; p += std::strlen(p) + 1) out.push_back(p);
  return out;
}

std::vector<BYTE> DescriptorBytes(const void* descriptor) {
  if (!descriptor || std::strcmp(static_cast<const char*>(descriptor), kMarker) != 0) return {};
  const char* start = static_cast<const char*>(descriptor);
  const char* p = start + sizeof kMarker;
  while (*p) p += std::strlen(p) + 1;
  return std::vector<BYTE>(start, p + 1);
}

}  // namespace internal

std::vector<BYTE> MakeDescriptor(const std::vector<std::string>& sids) {
  std::string block(kMarker, sizeof kMarker);
  for (auto& sid : sids) block += sid + '\0';
  block += '\0';
  return std::vector<BYTE>(block.begin(), block.end());
}

}  // namespace sim

BOOL CreateWellKnownSid(WELL_KNOWN_SID_TYPE type, PSID domain, PSID sid, DWORD* size) {
  sim::Call call("CreateWellKnownSid", {std::to_string(type)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  (void)domain;  // only domain SIDs need it
  std::vector<DWORD> subs;
  switch (type) {
    case WinLocalSystemSid: subs = {18}; break;
    case WinBuiltinAdministratorsSid: subs = {32, 544}; break;
    case WinBuiltinUsersSid: subs = {32, 545}; break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return call.Ret<BOOL>(FALSE);
  }
  DWORD needed = static_cast<DWORD>(8 + 4 * subs.size());
  if (!size || *size < needed || !sid) {
    if (size) *size = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return call.Ret<BOOL>(FALSE);
  }
  BYTE* b = static_cast<BYTE*>(sid);
  b[0] = 1;
  b[1] = static_cast<BYTE>(subs.size());
  std::memset(b + 2, 0, 5);
  b[7] = 5;  // NT authority
  for (size_t i = 0; i < subs.size(); ++i) std::memcpy(b + 8 + 4 * i, &subs[i], 4);
  *size = needed;
  return call.Ret<BOOL>(TRUE);
}

BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR text, DWORD revision,
                                                          PSECURITY_DESCRIPTOR* descriptor,
                                                          ULONG* size) {
  sim::Call call("ConvertStringSecurityDescriptorToSecurityDescriptorW",
                 {sim::Utf8(text), std::to_string(revision)});
  if (descriptor) *descriptor = nullptr;
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  std::vector<std::string> sids;
  if (!text || !descriptor || revision != SDDL_REVISION_1 || !sim::ParseDacl(sim::Utf8(text), &sids)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  std::string block(sim::kMarker, sizeof sim::kMarker);
  for (auto& sid : sids) block += sid + '\0';
  block += '\0';
  void* out = LocalAlloc(LMEM_FIXED, block.size());
  if (!out) return call.Ret<BOOL>(FALSE);
  std::memcpy(out, block.data(), block.size());
  *descriptor = out;
  if (size) *size = static_cast<ULONG>(block.size());
  return call.Ret<BOOL>(TRUE);
}
