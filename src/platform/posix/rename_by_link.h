#pragma once

#include <string>

#include "platform/result.h"

namespace brevalt {

// The rename used where the file system refuses RENAME_NOREPLACE: link the
// new name, then unlink the old one. Never replaces an existing target.
SysResult rename_by_link(const std::string& from, const std::string& to);

}  // namespace brevalt
