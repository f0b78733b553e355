#include "tools/doctor/checks.h"

#include <algorithm>
#include <optional>

#include "tools/doctor/module_info.h"
#include "tools/doctor/our_classes.h"
#include "tools/doctor/registry_reading.h"

namespace lumbo::doctor {

namespace {

constexpr wchar_t kOverlayKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers";
// Explorer takes this many entries and drops the rest.
constexpr int kExplorerSlots = 15;
// Windows draws four overlays of its own (shortcut, share, offline, ...)
// from those slots without any registry entry: the conservative count.
constexpr int kConservativeSlots = 11;

struct OverlayEntry {
    int position = 0;  // counted from 1
    std::wstring name;
    RawValue clsid;
    std::optional<std::wstring> dll;
    std::wstring product;
    int ours = -1;  // index into OurClasses(), or -1
};

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

JsonValue EntryJson(const OverlayEntry& entry) {
    JsonValue json = JsonValue::Object();
    json.Set("position", entry.position);
    json.Set("name", entry.name);
    json.Set("clsid", ToJson(entry.clsid));
    json.Set("dll", entry.dll ? JsonValue(*entry.dll) : JsonValue());
    json.Set("product", entry.product);
    json.Set("ours", entry.ours >= 0);
    return json;
}

std::wstring EntryLine(const OverlayEntry& entry) {
    std::wstring line = std::to_wstring(entry.position) + L". " + Quoted(entry.name) + L" ";
    if (const std::optional<std::wstring> clsid = StringValue(entry.clsid)) line += *clsid;
    else line += L"(CLSID: " + Describe(entry.clsid) + L")";
    line += L" " + (entry.dll ? *entry.dll : std::wstring(L"(no InprocServer32)"));
    if (entry.ours >= 0) line += L"  <- lumbo";
    return line;
}

}  // namespace

Findings CheckOverlaySlots() {
    Findings findings;
    Finding list;
    list.id = "overlay.slots";
    const KeyRead key = OpenKey(HKEY_LOCAL_MACHINE, kOverlayKey);
    if (!key.key) {
        list.verdict = Verdict::Fail;
        list.finding = key.error == ERROR_FILE_NOT_FOUND
                           ? L"HKLM\\" + std::wstring(kOverlayKey) + L" is missing: no overlay handler is registered"
                           : L"could not read: HKLM\\" + std::wstring(kOverlayKey) + L" (" + ErrorText(key.error) + L")";
        list.advice = L"register lumboExt.dll again (install.cmd)";
        list.data.Set("key_error", key.error);
        findings.push_back(std::move(list));
        return findings;
    }

    // Explorer's order is the order the registry enumerates the names in.
    std::vector<OverlayEntry> entries;
    LONG enumError = ERROR_SUCCESS;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        enumError = RegEnumKeyExW(key.key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (enumError != ERROR_SUCCESS) break;
        OverlayEntry entry;
        entry.position = static_cast<int>(index) + 1;
        entry.name.assign(name, length);
        entry.clsid = ReadRawValue(HKEY_LOCAL_MACHINE, std::wstring(kOverlayKey) + L"\\" + entry.name, nullptr);
        if (const std::optional<std::wstring> clsid = StringValue(entry.clsid)) {
            for (int i = 0; i < kOverlayClassCount; ++i) {
                if (NamesGuid(*clsid, *OurClasses()[i].clsid)) entry.ours = i;
            }
            entry.dll = RegisteredPath(ReadInprocServer(*clsid));
        }
        entry.product = entry.ours >= 0 ? L"lumbo" : entry.dll ? ProductOf(*entry.dll) : L"unknown";
        entries.push_back(std::move(entry));
    }

    const int count = static_cast<int>(entries.size());
    list.finding = std::to_wstring(count) + L" overlay identifiers; Explorer uses the first " +
                   std::to_wstring(kExplorerSlots) + L" in this order";
    if (enumError != ERROR_NO_MORE_ITEMS) {
        list.verdict = Verdict::Warn;
        list.finding += L"; could not read past entry " + std::to_wstring(count) + L" (" + ErrorText(enumError) + L")";
    }
    JsonValue entriesJson = JsonValue::Array();
    for (const OverlayEntry& entry : entries) {
        entriesJson.Add(EntryJson(entry));
        if (entry.position == kExplorerSlots + 1) list.details.push_back(L"-- Explorer drops the entries below --");
        list.details.push_back(EntryLine(entry));
    }
    list.data.Set("key", L"HKLM\\" + std::wstring(kOverlayKey));
    list.data.Set("registry_view", kNativeViewName);
    list.data.Set("explorer_slots", kExplorerSlots);
    list.data.Set("conservative_slots", kConservativeSlots);
    list.data.Set("entries", std::move(entriesJson));
    findings.push_back(std::move(list));

    for (int i = 0; i < kOverlayClassCount; ++i) {
        const OurClass& ours = OurClasses()[i];
        Finding position;
        position.id = "overlay.position." + ToUtf8(ours.name);
        const OverlayEntry* found = nullptr;
        for (const OverlayEntry& entry : entries) {
            if (entry.ours == i && found == nullptr) found = &entry;
        }
        position.data.Set("clsid", GuidText(*ours.clsid));
        if (found == nullptr) {
            position.verdict = Verdict::Fail;
            position.finding = L"no overlay identifier names " + std::wstring(ours.name) + L" " +
                               GuidText(*ours.clsid) + L": its badge (" + std::wstring(ours.name) + L") never shows";
            position.advice = L"register lumboExt.dll again (install.cmd)";
            position.data.Set("position", JsonValue());
            findings.push_back(std::move(position));
            continue;
        }
        const bool within15 = found->position <= kExplorerSlots;
        const bool within11 = found->position <= kConservativeSlots;
        position.data.Set("name", found->name);
        position.data.Set("position", found->position);
        position.data.Set("within_15", within15);
        position.data.Set("within_11", within11);
        position.finding = Quoted(found->name) + L" is at position " + std::to_wstring(found->position) + L" of " +
                           std::to_wstring(count);
        if (within11) {
            position.finding += L": within the first " + std::to_wstring(kConservativeSlots);
        } else {
            JsonValue ahead = JsonValue::Array();
            // Grouped by product, in the order the products first appear.
            std::vector<std::pair<std::wstring, std::wstring>> products;
            for (const OverlayEntry& entry : entries) {
                if (entry.position >= found->position) break;
                if (entry.ours >= 0) continue;
                ahead.Add(JsonValue::Object()
                              .Set("position", entry.position)
                              .Set("name", entry.name)
                              .Set("product", entry.product));
                auto product = std::find_if(products.begin(), products.end(),
                                            [&](const auto& known) { return known.first == entry.product; });
                if (product == products.end()) product = products.insert(products.end(), {entry.product, L""});
                product->second += (product->second.empty() ? L"" : L", ") + Quoted(entry.name);
            }
            std::wstring aheadText;
            for (const auto& [product, names] : products)
                aheadText += (aheadText.empty() ? L"" : L"; ") + product + L": " + names;
            position.data.Set("ahead", std::move(ahead));
            position.verdict = within15 ? Verdict::Warn : Verdict::Fail;
            position.finding += within15 ? L": within Explorer's 15 but beyond 11, so Windows' own overlays may take "
                                           L"its slot"
                                         : L": beyond Explorer's 15, so its badge never shows";
            position.finding += L"; ahead of it: " + aheadText;
            position.advice =
                L"fewer overlay entries from other products (uninstall or disable them), or the client's installer "
                L"registers ours under names that sort first (leading blanks); that is the client's decision, and "
                L"lumboExt.dll works under any identifier name";
        }
        findings.push_back(std::move(position));
    }
    return findings;
}

}  // namespace lumbo::doctor
