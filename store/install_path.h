#pragma once

#include <cstddef>
#include <string>

namespace lumbo {

// The longest install folder read, in UTF-16 units (with its terminator the
// value's 1024 bytes).
inline constexpr std::size_t kInstallPathMaxUnits = 511;

// The client's install folder from the registry (UTF-16); empty when the key,
// its default value or a string of at most 511 units cannot be had.
std::wstring ReadInstallPath();

// The install folder + "\mydatabase.db" in UTF-8, as SQLite takes it; empty
// when the install folder is.
std::string DatabasePath();

}  // namespace lumbo
