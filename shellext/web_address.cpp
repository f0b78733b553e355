#include "shellext/web_address.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include <shellapi.h>

#include "store/client_contract.h"
#include "store/install_path.h"
#include "text/conversions.h"

namespace lumbo {

namespace {

constexpr std::size_t kPathUnits = 1024;
constexpr std::size_t kConfigBytes = 1024;
constexpr std::size_t kTargetUnits = 1024;
constexpr std::string_view kAddressLinePrefix = "weba";
constexpr char kFolderFragment[] = "#dir/path=";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The first kConfigBytes bytes of the file, up to the first NUL.
std::optional<std::string> ReadConfigText(const char* ansiPath) {
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(ansiPath, "rb"));
    if (!file) return std::nullopt;
    char buffer[kConfigBytes + 1] = {};
    const std::size_t read = std::fread(buffer, 1, kConfigBytes, file.get());
    return std::string(buffer, read).c_str();
}

bool StartsWithIgnoringAsciiCase(std::wstring_view text, std::wstring_view lowerPrefix) {
    if (text.size() < lowerPrefix.size()) return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        wchar_t unit = text[i];
        if (unit >= L'A' && unit <= L'Z') unit = static_cast<wchar_t>(unit - L'A' + L'a');
        if (unit != lowerPrefix[i]) return false;
    }
    return true;
}

bool IsAsciiAlphanumeric(wchar_t unit) {
    return (unit >= L'a' && unit <= L'z') || (unit >= L'A' && unit <= L'Z') || (unit >= L'0' && unit <= L'9');
}

bool IsHexDigit(wchar_t unit) {
    return (unit >= L'0' && unit <= L'9') || (unit >= L'a' && unit <= L'f') || (unit >= L'A' && unit <= L'F');
}

// Unreserved characters, sub-delimiters and the colon of RFC 3986: what a
// host, a port and user information consist of (with percent escapes).
bool IsAuthorityCharacter(wchar_t unit) {
    return IsAsciiAlphanumeric(unit) || std::wstring_view(L"-._~!$&'()*+,;=:").find(unit) != std::wstring_view::npos;
}

// Everything RFC 3986 lets a URL hold as it stands ('%' only as an escape).
bool IsUrlCharacter(wchar_t unit) {
    return IsAsciiAlphanumeric(unit) || std::wstring_view(L"-._~!$&'()*+,;=:@/?#[]%").find(unit) != std::wstring_view::npos;
}

bool IsPercentEscape(std::wstring_view text, std::size_t at) {
    return at + 2 < text.size() && text[at] == L'%' && IsHexDigit(text[at + 1]) && IsHexDigit(text[at + 2]);
}

// [user information@]host[:port], with a host that is a name, an IPv4
// address or a bracketed IPv6 address.
bool IsWellFormedAuthority(std::wstring_view authority) {
    const std::size_t at = authority.rfind(L'@');
    if (at != std::wstring_view::npos) {
        const std::wstring_view user = authority.substr(0, at);
        for (std::size_t i = 0; i < user.size(); ++i) {
            if (user[i] == L'%' ? !IsPercentEscape(user, i) : !IsAuthorityCharacter(user[i])) return false;
        }
        authority.remove_prefix(at + 1);
    }
    std::wstring_view host = authority;
    std::wstring_view port;
    if (!authority.empty() && authority[0] == L'[') {
        const std::size_t close = authority.find(L']');
        if (close == std::wstring_view::npos || close < 2) return false;
        for (const wchar_t unit : authority.substr(1, close - 1)) {
            if (!IsHexDigit(unit) && unit != L':' && unit != L'.') return false;
        }
        host = authority.substr(0, close + 1);
        const std::wstring_view rest = authority.substr(close + 1);
        if (!rest.empty() && rest[0] != L':') return false;
        if (!rest.empty()) port = rest.substr(1);
    } else {
        const std::size_t colon = authority.find(L':');
        if (colon != std::wstring_view::npos) {
            host = authority.substr(0, colon);
            port = authority.substr(colon + 1);
        }
        if (host.empty()) return false;
        for (std::size_t i = 0; i < host.size(); ++i) {
            if (host[i] == L'%' ? !IsPercentEscape(host, i) : !IsAuthorityCharacter(host[i])) return false;
        }
    }
    for (const wchar_t unit : port) {
        if (unit < L'0' || unit > L'9') return false;
    }
    return true;
}

void AppendPercentEncoded(std::wstring& out, char32_t codePoint) {
    unsigned char bytes[4];
    int count = 0;
    if (codePoint < 0x80) {
        bytes[count++] = static_cast<unsigned char>(codePoint);
    } else if (codePoint < 0x800) {
        bytes[count++] = static_cast<unsigned char>(0xC0 | (codePoint >> 6));
        bytes[count++] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        bytes[count++] = static_cast<unsigned char>(0xE0 | (codePoint >> 12));
        bytes[count++] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes[count++] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
    } else {
        bytes[count++] = static_cast<unsigned char>(0xF0 | (codePoint >> 18));
        bytes[count++] = static_cast<unsigned char>(0x80 | ((codePoint >> 12) & 0x3F));
        bytes[count++] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
        bytes[count++] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
    }
    constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    for (int i = 0; i < count; ++i) {
        out.push_back(L'%');
        out.push_back(kHex[bytes[i] >> 4]);
        out.push_back(kHex[bytes[i] & 0x0F]);
    }
}

}  // namespace

std::optional<std::string> FindWebAddress(std::string_view configText) {
    while (!configText.empty()) {
        const std::size_t end = configText.find('\n');
        const std::string_view line = configText.substr(0, end);
        configText = end == std::string_view::npos ? std::string_view() : configText.substr(end + 1);
        if (line.substr(0, kAddressLinePrefix.size()) != kAddressLinePrefix) continue;

        std::string_view rest = line;
        for (int word = 0; ; ++word) {
            const std::size_t start = rest.find_first_not_of(' ');
            if (start == std::string_view::npos) return std::nullopt;
            rest.remove_prefix(start);
            const std::size_t wordEnd = rest.find(' ');
            if (word == 2) return std::string(rest.substr(0, wordEnd));
            if (wordEnd == std::string_view::npos) return std::nullopt;
            rest.remove_prefix(wordEnd);
        }
    }
    return std::nullopt;
}

std::string WebTarget(const std::string& address) { return address + kFolderFragment; }

std::optional<std::wstring> OpenableWebAddress(std::wstring_view target) {
    std::size_t hostStart = 0;
    for (const std::wstring_view scheme : {std::wstring_view(L"http://"), std::wstring_view(L"https://")}) {
        if (StartsWithIgnoringAsciiCase(target, scheme)) hostStart = scheme.size();
    }
    if (hostStart == 0) return std::nullopt;

    const std::size_t hostEnd = std::min(target.find_first_of(L"/?#", hostStart), target.size());
    const std::wstring_view authority = target.substr(hostStart, hostEnd - hostStart);
    if (!IsWellFormedAuthority(authority)) return std::nullopt;

    std::wstring opened(target.substr(0, hostEnd));
    for (std::size_t i = hostEnd; i < target.size(); ++i) {
        const wchar_t unit = target[i];
        if (IsUrlCharacter(unit) && (unit != L'%' || IsPercentEscape(target, i))) {
            opened.push_back(unit);
            continue;
        }
        char32_t codePoint = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < target.size() && target[i + 1] >= 0xDC00 &&
            target[i + 1] <= 0xDFFF) {
            codePoint = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (target[i + 1] - 0xDC00);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            return std::nullopt;  // half a character: no text to encode
        }
        AppendPercentEncoded(opened, codePoint);
    }
    return opened;
}

ClientWebAddress ResolveClientWebAddress() {
    ClientWebAddress resolved;
    const std::wstring installPath = ReadInstallPath();
    if (installPath.empty()) return resolved;
    resolved.configPath = installPath + kConfigFileSuffix;
    resolved.outcome = WebAddressOutcome::PathUnusable;
    if (resolved.configPath.size() >= kPathUnits) return resolved;
    char ansiPath[kPathUnits] = {};
    if (WideToAnsiBuf(resolved.configPath.c_str(), ansiPath, static_cast<int>(sizeof ansiPath)) == 0)
        return resolved;

    resolved.outcome = WebAddressOutcome::NoFile;
    const std::optional<std::string> text = ReadConfigText(ansiPath);
    if (!text) return resolved;
    resolved.outcome = WebAddressOutcome::NoAddressLine;
    const std::optional<std::string> address = FindWebAddress(*text);
    if (!address) return resolved;
    resolved.address = *address;

    resolved.outcome = WebAddressOutcome::NotOpenable;
    const std::optional<std::wstring> target = OpenableWebAddress(AnsiToWide(WebTarget(*address)));
    if (!target) return resolved;
    // Too long for the client's own buffer, as converted or once encoded:
    // refused rather than cut.
    resolved.outcome = WebAddressOutcome::TooLong;
    if (target->size() >= kTargetUnits) return resolved;
    resolved.outcome = WebAddressOutcome::Opens;
    resolved.target = *target;
    return resolved;
}

HRESULT OpenClientWebAddress() {
    const ClientWebAddress resolved = ResolveClientWebAddress();
    if (resolved.outcome == WebAddressOutcome::Opens)
        ShellExecuteW(nullptr, L"open", resolved.target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return S_OK;
}

}  // namespace lumbo
