#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "filter/filter_patterns.h"

namespace lumbo {

// The largest filter text whose compiled patterns are kept (20,000 lines of 60
// bytes are 1.2 MB); a larger one is compiled per call.
inline constexpr std::size_t kKeptFilterTextMaxBytes = 4u << 20;

// Where a check takes its compiled patterns from.
enum class PatternSource { Shared, PerCall };

// The compiled patterns of this filter text. The file is still read at every
// call (a rewrite of the same size within the clock's resolution must count),
// but compiling is what costs: the patterns of the last text read, with the
// code page and locale they were compiled under, are kept for the whole
// process and handed to every call that reads the same bytes. Readers share
// a lock that only the swap of a new text takes exclusively; a text past the
// bound is compiled per call and not kept. Nothing of the file's handle is.
std::shared_ptr<const CFilterPatterns> SharedFilterPatterns(const std::string& fileText);

// Whether some pattern of this filter text occurs in the name, as
// SharedFilterPatterns(fileText)->MatchAny(name) says. The answer depends
// only on the patterns and the name, so the kept patterns also keep the
// answers they gave, per name, up to a bound past which the answers are
// dropped and gathered anew; a text that is not kept answers per call.
bool SharedFilterMatch(const std::string& fileText, std::wstring name);

// The heap the kept text uses, for the bench.
std::size_t FilterPatternCacheTextBytes();

}  // namespace lumbo
