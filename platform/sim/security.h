// Security identifiers and descriptors of the simulated machine (security.cpp): what the other
// areas (private namespaces, mutexes) read from them.
//
// A SID is its binary form (revision 1, authority 5) as Windows lays it out; a security
// descriptor made from text (ConvertStringSecurityDescriptorToSecurityDescriptorW, a LocalAlloc
// block the caller frees) keeps the SIDs its DACL allows. Understood: "D:" with optional "P"
// and allowing entries "(A;;<rights>;;;<SID>)", the SID as an alias (BA, SY, BU, WD) or
// "S-1-..." text; anything else fails with ERROR_INVALID_PARAMETER.
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

}  // namespace sim
