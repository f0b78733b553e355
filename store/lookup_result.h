#pragma once

namespace lumbo {

// What one lookup in the client's database learnt. A lookup that could not
// read (a lock held past the wait, an I/O error, a damaged file, a statement
// that does not compile) learnt nothing: that is never "not found".
enum class LookupResult { NotFound, Found, Unreadable };

inline LookupResult FoundIf(bool found) { return found ? LookupResult::Found : LookupResult::NotFound; }

}  // namespace lumbo
