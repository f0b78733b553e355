#include "shellext/web_address.h"

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

bool IsWebAddress(std::wstring_view target) {
    const auto startsWith = [target](std::wstring_view scheme) {
        if (target.size() < scheme.size()) return false;
        for (std::size_t i = 0; i < scheme.size(); ++i) {
            wchar_t unit = target[i];
            if (unit >= L'A' && unit <= L'Z') unit = static_cast<wchar_t>(unit - L'A' + L'a');
            if (unit != scheme[i]) return false;
        }
        return true;
    };
    return startsWith(L"http://") || startsWith(L"https://");
}

HRESULT OpenClientWebAddress() {
    const std::wstring installPath = ReadInstallPath();
    if (installPath.empty()) return S_OK;
    const std::wstring configPath = installPath + kConfigFileSuffix;
    if (configPath.size() >= kPathUnits) return S_OK;
    char ansiPath[kPathUnits] = {};
    if (WideToAnsiBuf(configPath.c_str(), ansiPath, static_cast<int>(sizeof ansiPath)) == 0) return S_OK;

    const std::optional<std::string> text = ReadConfigText(ansiPath);
    if (!text) return S_OK;
    const std::optional<std::string> address = FindWebAddress(*text);
    if (!address) return S_OK;

    const std::wstring target = AnsiToWide(WebTarget(*address));
    // Too long for the client's own buffer: refused rather than cut.
    if (target.size() >= kTargetUnits || !IsWebAddress(target)) return S_OK;
    ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return S_OK;
}

}  // namespace lumbo
