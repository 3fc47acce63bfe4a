// Security identifiers and descriptors of the simulated machine (security.cpp): what the other
// areas (private namespaces, mutexes) read from them.
//
// A SID is its binary form (revision 1) as Windows lays it out; a security
// descriptor made from text (ConvertStringSecurityDescriptorToSecurityDescriptorW, a LocalAlloc
// block the caller frees) keeps the SIDs its DACL allows. Understood: "D:" with optional "P"
// and allowing entries "(A;<flags>;<rights>;;;<SID>)": flags OI, CI, IO, ID; rights as a number
// ("0x1200a9") or two-letter names (FA, FR, FW, FX, GA, GR, GW, GX, SD, RC, WD, WO); the SID as
// an alias (BA, SY, BU, AU, IU, WD, CO) or "S-1-..." text. Anything else fails with
// ERROR_INVALID_PARAMETER. A file's or folder's DACL (GetNamedSecurityInfoW) is laid out as
// Windows lays it out, with its entries' rights and flags.
#pragma once

#include <string>
#include <vector>

#include "platform/sim/windows.h"

namespace sim {

inline constexpr char kAdministratorsSid[] = "S-1-5-32-544";
inline constexpr char kSystemSid[] = "S-1-5-18";

namespace internal {
// The SID's text form ("S-1-5-32-544"); empty for no SID.
std::string SidText(const void* sid);
// The SIDs a descriptor's DACL allows, in text form; empty for none or no descriptor.
std::vector<std::string> AllowedSids(const void* descriptor);
// The whole self-relative descriptor's bytes; empty for none or no descriptor.
std::vector<BYTE> DescriptorBytes(const void* descriptor);
}  // namespace internal

// A descriptor whose DACL allows these SIDs ("S-1-5-32-544", ...), as its bytes.
std::vector<BYTE> MakeDescriptor(const std::vector<std::string>& sids);

// The DACL GetNamedSecurityInfoW reports for a file or folder, in SDDL ("D:P(A;OICI;FA;;;BA)..."),
// as the machine's administrator set it. One never set is the DACL of a folder under Program
// Files: SYSTEM and Administrators full control, Users read and execute.
void SetDacl(const std::u16string& windowsPath, const std::string& sddl);

}  // namespace sim
