// Security identifiers and descriptors of the simulated machine. See security.h.
#include "platform/sim/security.h"

#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/sim/files.h"
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
  if (alias == "AU") return "S-1-5-11";
  if (alias == "IU") return "S-1-5-4";
  if (alias == "WD") return "S-1-1-0";
  if (alias == "CO") return "S-1-3-0";
  if (alias.rfind("S-1-", 0) == 0 && alias.back() != '-' &&
      alias.find_first_not_of("0123456789-", 4) == std::string::npos &&
      alias.find("--") == std::string::npos)
    return alias;
  return {};
}

// One allowing entry of a DACL in text form.
struct Entry {
  BYTE flags = 0;
  ACCESS_MASK rights = 0;
  std::string sid;
};

struct Code {
  const char* name;
  DWORD bits;
};

// Two-letter codes one after another ("OICI", "GRGX") into the union of their bits; false for a
// code not among `codes`.
template <size_t N>
bool ParseCodes(const std::string& text, const Code (&codes)[N], DWORD* bits) {
  if (text.size() % 2) return false;
  for (size_t at = 0; at < text.size(); at += 2) {
    const Code* found = nullptr;
    for (const Code& code : codes)
      if (text.compare(at, 2, code.name) == 0) found = &code;
    if (!found) return false;
    *bits |= found->bits;
  }
  return true;
}

// An entry's flags: "OICI", "ID", "IO" and the like, or none.
bool ParseFlags(const std::string& text, BYTE* flags) {
  static const Code known[] = {{"OI", OBJECT_INHERIT_ACE}, {"CI", CONTAINER_INHERIT_ACE},
                               {"IO", INHERIT_ONLY_ACE}, {"ID", INHERITED_ACE}};
  DWORD bits = 0;
  if (!ParseCodes(text, known, &bits)) return false;
  *flags = static_cast<BYTE>(bits);
  return true;
}

// An entry's rights: "0x1200a9", or their two-letter names one after another ("FA", "GRGX").
bool ParseRights(const std::string& text, ACCESS_MASK* rights) {
  if (text.rfind("0x", 0) == 0) {
    char* end = nullptr;
    *rights = static_cast<ACCESS_MASK>(std::strtoul(text.c_str() + 2, &end, 16));
    return text.size() > 2 && *end == 0;
  }
  static const Code known[] = {
      {"FA", 0x1F01FF}, {"FR", 0x120089}, {"FW", 0x120116}, {"FX", 0x1200A0},
      {"GA", GENERIC_ALL}, {"GR", GENERIC_READ}, {"GW", GENERIC_WRITE}, {"GX", GENERIC_EXECUTE},
      {"SD", DELETE}, {"RC", 0x20000}, {"WD", WRITE_DAC}, {"WO", WRITE_OWNER}};
  return !text.empty() && ParseCodes(text, known, rights);
}

// Parses "D:[P][AI](A;flags;rights;;;sid)..." into its entries; false for anything else.
bool ParseDacl(const std::string& text, std::vector<Entry>* entries) {
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
    Entry entry;
    if (fields.size() != 6 || fields[0] != "A" || !ParseFlags(fields[1], &entry.flags) ||
        !ParseRights(fields[2], &entry.rights))
      return false;
    entry.sid = Alias(fields[5]);
    if (entry.sid.empty()) return false;
    entries->push_back(entry);
    at = end + 1;
  }
  return true;
}

// A SID's binary form from its text ("S-1-5-32-544").
std::vector<BYTE> SidBytes(const std::string& text) {
  std::vector<uint64_t> parts;
  for (size_t at = 2; at < text.size();) {
    size_t end = text.find('-', at);
    if (end == std::string::npos) end = text.size();
    parts.push_back(std::stoull(text.substr(at, end - at)));
    at = end + 1;
  }
  std::vector<BYTE> sid(8 + 4 * (parts.size() - 2));
  sid[0] = static_cast<BYTE>(parts[0]);
  sid[1] = static_cast<BYTE>(parts.size() - 2);
  for (int i = 0; i < 6; ++i) sid[2 + i] = static_cast<BYTE>(parts[1] >> (8 * (5 - i)));
  for (size_t i = 2; i < parts.size(); ++i) {
    DWORD sub = static_cast<DWORD>(parts[i]);
    std::memcpy(&sid[8 + 4 * (i - 2)], &sub, 4);
  }
  return sid;
}

// The DACL each file or folder was given (upper-case full path -> SDDL).
std::map<std::u16string, std::string>& Dacls() {
  static std::map<std::u16string, std::string> dacls;
  return dacls;
}
const bool registered = (RegisterResetHook("security", [] { Dacls().clear(); }), true);

std::u16string DaclKey(const std::u16string& windowsPath) { return Upper(FullPath(windowsPath)); }

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

void SetDacl(const std::u16string& windowsPath, const std::string& sddl) {
  Dacls()[DaclKey(windowsPath)] = sddl;
}

}  // namespace sim

BOOL CreateWellKnownSid(WELL_KNOWN_SID_TYPE type, PSID domain, PSID sid, DWORD* size) {
  sim::Call call("CreateWellKnownSid", {std::to_string(type)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  (void)domain;  // only domain SIDs need it
  // The groups by their SDDL aliases, whose SIDs the descriptors' text names too.
  const char* alias = nullptr;
  switch (type) {
    case WinWorldSid: alias = "WD"; break;
    case WinInteractiveSid: alias = "IU"; break;
    case WinAuthenticatedUserSid: alias = "AU"; break;
    case WinLocalSystemSid: alias = "SY"; break;
    case WinBuiltinAdministratorsSid: alias = "BA"; break;
    case WinBuiltinUsersSid: alias = "BU"; break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return call.Ret<BOOL>(FALSE);
  }
  std::vector<BYTE> bytes = sim::SidBytes(sim::Alias(alias));
  DWORD needed = static_cast<DWORD>(bytes.size());
  if (!size || *size < needed || !sid) {
    if (size) *size = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return call.Ret<BOOL>(FALSE);
  }
  std::memcpy(sid, bytes.data(), needed);
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
  std::vector<sim::Entry> entries;
  if (!text || !descriptor || revision != SDDL_REVISION_1 ||
      !sim::ParseDacl(sim::Utf8(text), &entries)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  std::vector<std::string> sids;
  for (auto& entry : entries) sids.push_back(entry.sid);
  std::vector<BYTE> block = sim::MakeDescriptor(sids);
  void* out = LocalAlloc(LMEM_FIXED, block.size());
  if (!out) return call.Ret<BOOL>(FALSE);
  std::memcpy(out, block.data(), block.size());
  *descriptor = out;
  if (size) *size = static_cast<ULONG>(block.size());
  return call.Ret<BOOL>(TRUE);
}

BOOL EqualSid(PSID first, PSID second) {
  sim::Call call("EqualSid", {sim::internal::SidText(first), sim::internal::SidText(second)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  BOOL same = first && second && sim::internal::SidText(first) == sim::internal::SidText(second);
  SetLastError(ERROR_SUCCESS);
  return call.Ret<BOOL>(same);
}

DWORD GetNamedSecurityInfoW(LPCWSTR name, SE_OBJECT_TYPE type, SECURITY_INFORMATION what,
                            PSID* owner, PSID* group, PACL* dacl, PACL* sacl,
                            PSECURITY_DESCRIPTOR* descriptor) {
  sim::Call call("GetNamedSecurityInfoW",
                 {sim::Utf8(name), std::to_string(type), std::to_string(what)});
  if (call.Faulted()) return call.Ret<DWORD>(GetLastError());
  // Only what the installer asks: a file's or folder's DACL with its descriptor.
  if (!name || type != SE_FILE_OBJECT || what != DACL_SECURITY_INFORMATION || owner || group ||
      sacl || !dacl || !descriptor)
    return call.Ret<DWORD>(ERROR_INVALID_PARAMETER);
  std::u16string path = name;
  if (!sim::DirExists(path) && !sim::FileExists(path))
    return call.Ret<DWORD>(ERROR_FILE_NOT_FOUND);
  auto given = sim::Dacls().find(sim::DaclKey(path));
  std::vector<sim::Entry> entries;
  (void)sim::ParseDacl(given != sim::Dacls().end()
                           ? given->second
                           : "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)",
                       &entries);
  // A self-relative descriptor (20 bytes: revision, control SE_DACL_PRESENT | SE_SELF_RELATIVE,
  // the DACL's offset), then the ACL and its entries.
  std::vector<BYTE> block(20 + 8, 0);
  block[0] = 1;
  WORD control = 0x8004;
  std::memcpy(&block[2], &control, 2);
  DWORD offset = 20;
  std::memcpy(&block[16], &offset, 4);
  for (auto& entry : entries) {
    std::vector<BYTE> sid = sim::SidBytes(entry.sid);
    WORD size = static_cast<WORD>(8 + sid.size());
    BYTE head[8] = {ACCESS_ALLOWED_ACE_TYPE, entry.flags};
    std::memcpy(head + 2, &size, 2);
    std::memcpy(head + 4, &entry.rights, 4);
    block.insert(block.end(), head, head + 8);
    block.insert(block.end(), sid.begin(), sid.end());
  }
  ACL acl = {2, 0, static_cast<WORD>(block.size() - 20), static_cast<WORD>(entries.size()), 0};
  std::memcpy(&block[20], &acl, sizeof acl);
  void* out = LocalAlloc(LMEM_FIXED, block.size());
  if (!out) return call.Ret<DWORD>(ERROR_NOT_ENOUGH_MEMORY);
  std::memcpy(out, block.data(), block.size());
  *descriptor = out;
  *dacl = reinterpret_cast<PACL>(static_cast<BYTE*>(out) + 20);
  return call.Ret<DWORD>(ERROR_SUCCESS);
}

BOOL GetAce(PACL acl, DWORD index, LPVOID* entry) {
  sim::Call call("GetAce", {std::to_string(index)});
  if (call.Faulted()) return call.Ret<BOOL>(FALSE);
  if (!acl || !entry || index >= acl->AceCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return call.Ret<BOOL>(FALSE);
  }
  BYTE* at = reinterpret_cast<BYTE*>(acl) + sizeof(ACL);
  for (DWORD i = 0; i < index; ++i) at += reinterpret_cast<ACE_HEADER*>(at)->AceSize;
  *entry = at;
  return call.Ret<BOOL>(TRUE);
}
