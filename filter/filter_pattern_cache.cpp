#include "filter/filter_pattern_cache.h"

#include <windows.h>

namespace lumbo {

namespace {

// 20,000 lines of 60 bytes are 1.2 MB; a larger file is compiled per call.
constexpr std::size_t kMaxTextBytes = 4u << 20;

struct Compiled {
    std::string text;
    UINT codePage = 0;
    LCID locale = 0;
    std::shared_ptr<const CFilterPatterns> patterns;
};

SRWLOCK g_lock = SRWLOCK_INIT;
std::shared_ptr<const Compiled> g_compiled;

std::shared_ptr<const Compiled> Current() {
    AcquireSRWLockShared(&g_lock);
    std::shared_ptr<const Compiled> current = g_compiled;
    ReleaseSRWLockShared(&g_lock);
    return current;
}

void Publish(std::shared_ptr<const Compiled> compiled) {
    AcquireSRWLockExclusive(&g_lock);
    g_compiled.swap(compiled);
    ReleaseSRWLockExclusive(&g_lock);
    // The previous entry is released here, outside the lock.
}

}  // namespace

std::shared_ptr<const CFilterPatterns> SharedFilterPatterns(const std::string& fileText) {
    // The lines are read in the ANSI code page and the character classes
    // follow the user's locale: patterns compiled under others are others.
    const UINT codePage = GetACP();
    const LCID locale = GetUserDefaultLCID();
    const std::shared_ptr<const Compiled> current = Current();
    if (current && current->codePage == codePage && current->locale == locale && current->text == fileText)
        return current->patterns;

    // Compiled before anything is published: an exception leaves the kept
    // entry as it was.
    auto patterns = std::make_shared<const CFilterPatterns>(fileText);
    if (fileText.size() <= kMaxTextBytes) {
        auto compiled = std::make_shared<Compiled>();
        compiled->text = fileText;
        compiled->codePage = codePage;
        compiled->locale = locale;
        compiled->patterns = patterns;
        Publish(std::move(compiled));
    }
    return patterns;
}

std::size_t FilterPatternCacheTextBytes() {
    const std::shared_ptr<const Compiled> current = Current();
    return current ? current->text.capacity() : 0;
}

}  // namespace lumbo
