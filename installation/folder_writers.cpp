#include "installation/folder_writers.h"

#include "support/handles.h"

namespace {

constexpr ACCESS_MASK WriteRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD |
                                    WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

struct Group {
  WELL_KNOWN_SID_TYPE type;
  LPCWSTR name;
};
constexpr Group NonAdministrators[] = {{WinBuiltinUsersSid, TEXT("Users")},
                                       {WinAuthenticatedUserSid, TEXT("Authenticated Users")},
                                       {WinWorldSid, TEXT("Everyone")},
                                       {WinInteractiveSid, TEXT("INTERACTIVE")}};

LPCWSTR GroupOf(PSID sid) {
  for (const Group& group : NonAdministrators) {
    BYTE known[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof known;
    if (CreateWellKnownSid(group.type, nullptr, known, &size) && EqualSid(sid, known))
      return group.name;
  }
  return nullptr;
}

}  // namespace

bool FindNonAdministratorWriter(LPCWSTR folder, LPCWSTR* group) {
  *group = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD result = GetNamedSecurityInfoW(folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                       nullptr, &dacl, nullptr, &descriptor);
  if (result != ERROR_SUCCESS) {
    SetLastError(result);
    return false;
  }
  LocalBlock<void> held(descriptor);
  if (!dacl) {
    *group = TEXT("Everyone");
    return true;
  }
  for (DWORD i = 0; i < dacl->AceCount && !*group; ++i) {
    LPVOID entry = nullptr;
    if (!GetAce(dacl, i, &entry)) continue;
    const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
      continue;
    ACCESS_ALLOWED_ACE* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    if (allowed->Mask & WriteRights) *group = GroupOf(&allowed->SidStart);
  }
  return true;
}
