#include "filter/filter_pattern_cache.h"

#include <new>
#include <unordered_map>

#include <windows.h>

namespace lumbo {

namespace {

// Answers kept per name beside the patterns: about 4,000 names of 100 letters.
constexpr std::size_t kMaxAnswerBytes = 1u << 20;
constexpr std::size_t kAnswerOverhead = sizeof(std::wstring) + 4 * sizeof(void*);

class Answers {
public:
    Answers() = default;
    Answers(const Answers&) = delete;
    Answers& operator=(const Answers&) = delete;

    // False when the name was not asked yet.
    bool Find(const std::wstring& name, bool& answer) const {
        AcquireSRWLockShared(&m_lock);
        const auto found = m_answers.find(name);
        const bool known = found != m_answers.end();
        if (known) answer = found->second;
        ReleaseSRWLockShared(&m_lock);
        return known;
    }

    void Add(const std::wstring& name, bool answer) {
        const std::size_t cost = name.size() * sizeof(wchar_t) + kAnswerOverhead;
        AcquireSRWLockExclusive(&m_lock);
        try {
            if (m_bytes + cost > kMaxAnswerBytes) {
                m_answers.clear();
                m_bytes = 0;
            }
            if (cost <= kMaxAnswerBytes && m_answers.emplace(name, answer).second) m_bytes += cost;
        } catch (const std::bad_alloc&) {
            // Not kept; the answer was given all the same.
        }
        ReleaseSRWLockExclusive(&m_lock);
    }

private:
    mutable SRWLOCK m_lock = SRWLOCK_INIT;
    std::unordered_map<std::wstring, bool> m_answers;
    std::size_t m_bytes = 0;
};

struct Compiled {
    std::string text;
    UINT codePage = 0;
    LCID locale = 0;
    std::shared_ptr<const CFilterPatterns> patterns;
    // Given by these patterns; mutable beside the constant rest.
    mutable Answers answers;
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

// The kept entry for this text, or nothing (and the patterns compiled for
// this call alone) when the text is past the bound.
std::shared_ptr<const Compiled> CompiledFor(const std::string& fileText,
                                            std::shared_ptr<const CFilterPatterns>& patterns) {
    // The lines are read in the ANSI code page and the character classes
    // follow the user's locale: patterns compiled under others are others.
    const UINT codePage = GetACP();
    const LCID locale = GetUserDefaultLCID();
    std::shared_ptr<const Compiled> current = Current();
    if (current && current->codePage == codePage && current->locale == locale && current->text == fileText) {
        patterns = current->patterns;
        return current;
    }

    // Compiled before anything is published: an exception leaves the kept
    // entry as it was.
    patterns = std::make_shared<const CFilterPatterns>(fileText);
    if (fileText.size() > kKeptFilterTextMaxBytes) return nullptr;
    auto compiled = std::make_shared<Compiled>();
    compiled->text = fileText;
    compiled->codePage = codePage;
    compiled->locale = locale;
    compiled->patterns = patterns;
    Publish(compiled);
    return compiled;
}

}  // namespace

std::shared_ptr<const CFilterPatterns> SharedFilterPatterns(const std::string& fileText) {
    std::shared_ptr<const CFilterPatterns> patterns;
    CompiledFor(fileText, patterns);
    return patterns;
}

bool SharedFilterMatch(const std::string& fileText, std::wstring name) {
    // The patterns see the name up to its first NUL; so does the key.
    name.resize(std::char_traits<wchar_t>::length(name.c_str()));
    std::shared_ptr<const CFilterPatterns> patterns;
    const std::shared_ptr<const Compiled> compiled = CompiledFor(fileText, patterns);
    if (!compiled) return patterns->MatchAny(name);
    bool answer = false;
    if (compiled->answers.Find(name, answer)) return answer;
    answer = patterns->MatchAny(name);
    compiled->answers.Add(name, answer);
    return answer;
}

std::size_t FilterPatternCacheTextBytes() {
    const std::shared_ptr<const Compiled> current = Current();
    return current ? current->text.capacity() : 0;
}

}  // namespace lumbo
