#include "text/conversions.h"

#include <cwchar>
#include <limits>
#include <vector>

namespace lumbo {

namespace {

constexpr char kErrorInConversion[] = "Error in conversion.";
constexpr char kInvalidSequence[] = "Invalid UTF-8 sequence.";
constexpr char kCountChanged[] = "La falla!";

}  // namespace

UINT ConversionCodePage() {
    // Windows before NT 5.0 had no per-thread ANSI code page: there the
    // thread locale's default stands in, or the system's when that cannot be
    // read. Settled once; two threads settling it at once reach the same.
    static const UINT codePage = [] {
        OSVERSIONINFOA version = {};
        version.dwOSVersionInfoSize = sizeof(version);
        if (GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion > 4)
            return static_cast<UINT>(CP_THREAD_ACP);
        char text[8] = {};
        if (GetLocaleInfoA(GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE, text, sizeof(text)) > 0) {
            UINT number = 0;
            for (const char* c = text; *c >= '0' && *c <= '9'; ++c) number = number * 10 + static_cast<UINT>(*c - '0');
            if (number != 0) return number;
        }
        return GetACP();
    }();
    return codePage;
}

std::string WideToUtf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size == 0) throw ConversionError(kErrorInConversion);
    std::vector<char> buffer(static_cast<std::size_t>(size), '\0');
    const int written = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer.data(), size, nullptr, nullptr);
    if (written != size) throw ConversionError(kCountChanged);
    return std::string(buffer.data());
}

std::string WideToUtf8(const std::wstring& text) { return WideToUtf8(text.c_str()); }

std::string Utf8ToAnsi(std::string utf8) {
    if (utf8.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return {};
    const int inputLength = static_cast<int>(utf8.size());
    const int units = inputLength == 0
        ? 0
        : MultiByteToWideChar(CP_UTF8, 0, utf8.data(), inputLength, nullptr, 0);
    // A unit count whose byte size does not fit 32 bits is an allocation failure.
    if (static_cast<unsigned long long>(units) + 1 > 0x7FFFFFFFull / sizeof(wchar_t)) throw std::bad_alloc();
    std::vector<wchar_t> wide(static_cast<std::size_t>(units) + 1, L'\0');
    if (units > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), inputLength, wide.data(), units);

    const UINT codePage = ConversionCodePage();
    const std::size_t length = std::wcslen(wide.data()) + 1;
    if (length > 0x3FFFFFFF) return {};
    std::vector<char> ansi(2 * length, '\0');
    if (!WideToAnsi(ansi.data(), static_cast<int>(ansi.size()), wide.data(), codePage)) return {};
    return std::string(ansi.data());
}

char* WideToAnsi(char* out, int outSize, const wchar_t* text, UINT codePage) {
    // A size of 0 would turn the conversion into a query of the size needed,
    // which succeeds; no text fits there, not even the terminator.
    if (out == nullptr || text == nullptr || outSize <= 0) return nullptr;
    out[0] = '\0';
    const int written = WideCharToMultiByte(codePage, 0, text, -1, out, outSize, nullptr, nullptr);
    return written != 0 ? out : nullptr;
}

std::wstring AnsiToWide(const char* text) {
    const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (units == 0) {
        throw ConversionError(GetLastError() == ERROR_NO_UNICODE_TRANSLATION ? kInvalidSequence
                                                                             : kErrorInConversion);
    }
    std::vector<wchar_t> buffer(static_cast<std::size_t>(units), L'\0');
    const int written = MultiByteToWideChar(CP_ACP, 0, text, -1, buffer.data(), units);
    if (written != units) throw ConversionError(kCountChanged);
    return std::wstring(buffer.data());
}

std::wstring AnsiToWide(const std::string& text) { return AnsiToWide(text.c_str()); }

std::wstring Utf8ToWide(std::string_view utf8) {
    if (utf8.empty()) return {};
    if (utf8.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) throw ConversionError(kErrorInConversion);
    const int length = static_cast<int>(utf8.size());
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
    if (units == 0) {
        throw ConversionError(GetLastError() == ERROR_NO_UNICODE_TRANSLATION ? kInvalidSequence
                                                                             : kErrorInConversion);
    }
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    const int written = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(), units);
    if (written != units) throw ConversionError(kCountChanged);
    return wide;
}

int WideToAnsiBuf(const wchar_t* text, char* out, int outSize) {
    return WideCharToMultiByte(CP_ACP, 0, text, -1, out, outSize, nullptr, nullptr);
}

}  // namespace lumbo
