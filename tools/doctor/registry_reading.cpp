#include "tools/doctor/registry_reading.h"

#include <cstring>

#include <objbase.h>

namespace lumbo::doctor {

namespace {
constexpr DWORD kMaxValueBytes = 64 * 1024;
}  // namespace

KeyRead OpenKey(HKEY root, const std::wstring& subKey) {
    KeyRead read;
    HKEY key = nullptr;
    read.error = RegOpenKeyExW(root, subKey.c_str(), 0, KEY_READ | kNativeView, &key);
    if (read.error == ERROR_SUCCESS) read.key = RegistryKey(key);
    return read;
}

RawValue ReadRawValue(HKEY root, const std::wstring& subKey, const wchar_t* valueName) {
    RawValue value;
    const KeyRead key = OpenKey(root, subKey);
    if (!key.key) {
        value.error = key.error;
        value.state = key.error == ERROR_FILE_NOT_FOUND || key.error == ERROR_PATH_NOT_FOUND
                          ? RawValue::State::KeyMissing
                          : RawValue::State::Unreadable;
        return value;
    }
    value.bytes.resize(kMaxValueBytes);
    DWORD size = kMaxValueBytes;
    value.error = RegQueryValueExW(key.key.Get(), valueName, nullptr, &value.type, value.bytes.data(), &size);
    if (value.error == ERROR_FILE_NOT_FOUND) {
        value.state = RawValue::State::ValueMissing;
        value.bytes.clear();
    } else if (value.error != ERROR_SUCCESS) {
        value.state = RawValue::State::Unreadable;
        value.bytes.clear();
    } else {
        value.state = RawValue::State::Read;
        value.bytes.resize(size);
    }
    return value;
}

std::wstring RawValue::Text() const {
    std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
}

std::size_t RawValue::Units() const {
    std::size_t units = bytes.size() / sizeof(wchar_t);
    if (units > 0 && bytes[units * 2 - 1] == 0 && bytes[units * 2 - 2] == 0) --units;
    return units;
}

std::wstring TypeName(DWORD type) {
    switch (type) {
        case REG_NONE: return L"REG_NONE";
        case REG_SZ: return L"REG_SZ";
        case REG_EXPAND_SZ: return L"REG_EXPAND_SZ";
        case REG_BINARY: return L"REG_BINARY";
        case REG_DWORD: return L"REG_DWORD";
        case REG_DWORD_BIG_ENDIAN: return L"REG_DWORD_BIG_ENDIAN";
        case REG_LINK: return L"REG_LINK";
        case REG_MULTI_SZ: return L"REG_MULTI_SZ";
        case REG_QWORD: return L"REG_QWORD";
        default: return L"type " + std::to_wstring(type);
    }
}

std::wstring ErrorText(LONG error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = L"error " + std::to_wstring(error);
    if (length > 0 && buffer != nullptr) {
        std::wstring message(buffer, length);
        while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
            message.pop_back();
        text += L": " + message;
    }
    if (buffer != nullptr) LocalFree(buffer);
    return text;
}

std::wstring Describe(const RawValue& value) {
    switch (value.state) {
        case RawValue::State::KeyMissing: return L"the key is missing";
        case RawValue::State::ValueMissing: return L"the value is missing";
        case RawValue::State::Unreadable: return L"could not read: " + ErrorText(value.error);
        case RawValue::State::Read: break;
    }
    if (value.IsString())
        return TypeName(value.type) + L" of " + std::to_wstring(value.Units()) + L" units";
    return TypeName(value.type) + L" of " + std::to_wstring(value.bytes.size()) + L" bytes";
}

JsonValue ToJson(const RawValue& value) {
    static const wchar_t* const kStates[] = {L"read", L"key missing", L"value missing", L"unreadable"};
    JsonValue json = JsonValue::Object();
    json.Set("state", kStates[static_cast<int>(value.state)]);
    if (value.state == RawValue::State::Unreadable) json.Set("error", value.error);
    if (value.state != RawValue::State::Read) return json;
    json.Set("type", TypeName(value.type));
    json.Set("bytes", value.bytes.size());
    if (value.IsString()) {
        json.Set("units", value.Units());
        json.Set("text", value.Text());
    }
    return json;
}

std::optional<std::wstring> StringValue(const RawValue& value) {
    if (!value.IsString()) return std::nullopt;
    return value.Text();
}

bool SameName(const std::wstring& left, const std::wstring& right) {
    return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

bool NamesGuid(const std::wstring& text, REFGUID guid) {
    // CLSIDFromString would also take a ProgID and look it up; a GUID of
    // registry form is all that may stand here.
    if (text.size() != 38 || text.front() != L'{' || text.back() != L'}') return false;
    GUID parsed = {};
    if (FAILED(IIDFromString(text.c_str(), &parsed))) return false;
    return IsEqualGUID(parsed, guid) != FALSE;
}

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

}  // namespace lumbo::doctor
