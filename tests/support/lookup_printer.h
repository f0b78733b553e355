#pragma once

// Lookup results by name in test failures.

#include <ostream>

#include "store/lookup_result.h"

namespace lumbo {

inline void PrintTo(LookupResult result, std::ostream* out) {
    switch (result) {
        case LookupResult::NotFound: *out << "NotFound"; return;
        case LookupResult::Found: *out << "Found"; return;
        case LookupResult::Unreadable: *out << "Unreadable"; return;
    }
    *out << "LookupResult(" << static_cast<int>(result) << ")";
}

}  // namespace lumbo
