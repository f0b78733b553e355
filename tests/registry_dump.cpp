#include "tests/registry_dump.h"

#include <algorithm>
#include <cstdio>

#include "store/registry.h"

namespace lumbo::test {

namespace {

std::string Utf8(const wchar_t* text, size_t units) {
    if (units == 0) return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(units), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(units), out.data(), bytes, nullptr, nullptr);
    return out;
}

std::string FormatData(DWORD type, const std::vector<BYTE>& data) {
    char buffer[16];
    switch (type) {
    case REG_SZ:
    case REG_MULTI_SZ: {
        std::string text = type == REG_SZ ? "SZ:" : "MULTI_SZ:";
        const wchar_t* units = reinterpret_cast<const wchar_t*>(data.data());
        size_t start = 0;
        const size_t count = data.size() / 2;
        for (size_t i = 0; i < count; ++i) {
            if (units[i] != L'\0') continue;
            text += Utf8(units + start, i - start) + "\\0";
            start = i + 1;
        }
        text += Utf8(units + start, count - start);
        if (data.size() % 2 != 0) text += "+odd";
        return text;
    }
    case REG_DWORD:
        if (data.size() == 4) {
            DWORD number = 0;
            std::copy(data.begin(), data.end(), reinterpret_cast<BYTE*>(&number));
            return "DWORD:" + std::to_string(number);
        }
        break;
    default:
        break;
    }
    std::snprintf(buffer, sizeof(buffer), "T%lu:", static_cast<unsigned long>(type));
    std::string text = type == REG_BINARY ? "BINARY:" : buffer;
    for (BYTE byte : data) {
        std::snprintf(buffer, sizeof(buffer), "%02x", byte);
        text += buffer;
    }
    return text;
}

void DumpInto(HKEY key, const std::string& relative, std::vector<std::string>& lines) {
    lines.push_back(relative);
    for (DWORD index = 0;; ++index) {
        std::vector<wchar_t> name(16384);
        DWORD nameUnits = 16384;
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(key, index, name.data(), &nameUnits, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        std::vector<BYTE> data(size);
        nameUnits = 16384;
        if (RegEnumValueW(key, index, name.data(), &nameUnits, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
            break;
        data.resize(size);
        const std::string valueName = nameUnits == 0 ? "@" : Utf8(name.data(), nameUnits);
        lines.push_back(relative + "|" + valueName + "=" + FormatData(type, data));
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameUnits = 256;
        if (RegEnumKeyExW(key, index, name, &nameUnits, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        RegistryKey child = OpenRegistryKey(key, name, KEY_READ);
        const std::string childName = Utf8(name, nameUnits);
        if (child) DumpInto(child.Get(), relative == "." ? childName : relative + "\\" + childName, lines);
    }
}

}  // namespace

std::vector<std::string> DumpKeyTree(HKEY root, const std::wstring& path) {
    std::vector<std::string> lines;
    RegistryKey key = OpenRegistryKey(root, path.c_str(), KEY_READ);
    if (!key) return lines;
    DumpInto(key.Get(), ".", lines);
    std::sort(lines.begin(), lines.end());
    return lines;
}

bool KeyExists(HKEY root, const std::wstring& path) {
    return static_cast<bool>(OpenRegistryKey(root, path.c_str(), KEY_READ));
}

void DeleteTree(HKEY root, const std::wstring& path) { RegDeleteTreeW(root, path.c_str()); }

}  // namespace lumbo::test
