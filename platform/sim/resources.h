// The simulated program's resources of raw data (RCDATA) that tests stage (resources.cpp). The
// dialog templates come from resources/installer.rc (dialog_templates.h).
#pragma once

#include <string>

namespace sim {

// The program carries RCDATA `name` with these bytes, or no longer carries it.
void SetProgramData(const std::u16string& name, const std::string& bytes);
void RemoveProgramData(const std::u16string& name);

}  // namespace sim
