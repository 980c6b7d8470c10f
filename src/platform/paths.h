// The few facts about files and places that need the operating system's own calls.
#pragma once

#include <string>

namespace platform {

// The folder holding the running program (its symbolic links resolved), or "" when the system
// cannot tell.
std::string ProgramDir();

// True when this process may create and rename files inside the directory `dir`.
bool CanWriteDir(const std::string& dir);

}  // namespace platform
