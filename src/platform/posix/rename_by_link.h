#pragma once

#include <string>

#include "platform/result.h"

namespace brevalt {

// The rename used where the file system refuses RENAME_NOREPLACE: link the
// new name, then unlink the old one. Where the file system has no hard
// links, a rename after checking that the new name is free. Never replaces
// an existing target (bar the race described at the checked rename).
SysResult rename_by_link(const std::string& from, const std::string& to);

}  // namespace brevalt
