// Private namespaces of the simulated machine (namespaces.cpp): what tests stage and inspect.
//
// As Windows documents them: a boundary descriptor is a name and the SIDs added to it; creating
// the namespace of a boundary needs a token that holds every one of those SIDs (the Administrators
// SID: an elevated process) and fails with ERROR_ALREADY_EXISTS when the namespace exists, which is
// then opened instead. A process names objects in it through the alias prefix it gave
// ("alias\name"): such a name belongs to the namespace, and the same name anywhere else is another
// object. The namespace stays while any process has it open.
//
// Wine 8 has none of it: with SetPrivateNamespaces(false), CreateBoundaryDescriptorW returns NULL
// with last error 0, and a call of AddSIDToBoundaryDescriptor ends the process as Wine's
// unimplemented stub does (here: std::abort).
#pragma once

#include <string>
#include <vector>

namespace sim {

void SetPrivateNamespaces(bool supported);  // a reset gives Windows: supported
// The machine-wide name of the object "alias\<object>" in the namespace of that boundary (its name
// and its SIDs' texts): what another process holding it is staged with (HoldMutexElsewhere).
std::u16string PrivateObjectName(const std::u16string& boundary,
                                 const std::vector<std::string>& sids,
                                 const std::u16string& object);
// Open namespaces of this process (handles not yet closed).
size_t OpenNamespaces();

namespace internal {
// A name given to a named-object call, resolved: "alias\rest" for an alias this process opened
// becomes the object's machine-wide name; any other name comes back unchanged.
std::u16string ResolveObjectName(const std::u16string& name);
}  // namespace internal

}  // namespace sim
