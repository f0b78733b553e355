#include "tools/client_simulator/sample_tree.h"

#include <stdexcept>

#include <windows.h>

#include "text/conversions.h"
#include "tools/client_simulator/simulated_database.h"

namespace lumbo::tools {

namespace {

enum class Listed { No, Synchronised, Pending, Failed };

struct SampleItem {
    const wchar_t* relative;  // a trailing backslash makes a folder
    Listed listed;
    DWORD attributes;
};

// What each line is for is what the badges must show for it.
const SampleItem kSample[] = {
    {L"synchronised.txt", Listed::Synchronised, 0},
    {L"Photos\\", Listed::Synchronised, 0},
    {L"Photos\\beach.jpg", Listed::Synchronised, 0},
    {L"uploading.txt", Listed::Pending, 0},
    {L"Work\\", Listed::Synchronised, 0},                 // pending content: arrows, no tick
    {L"Work\\draft.docx", Listed::Pending, 0},
    {L"broken.pdf", Listed::Failed, 0},
    {L"new notes.txt", Listed::No, 0},                    // not listed yet: pending
    {L"secret.txt", Listed::No, FILE_ATTRIBUTE_HIDDEN},   // hidden: set apart
    {L"Ignored\\", Listed::No, 0},                        // an ignored folder
    {L"Ignored\\scratch.txt", Listed::No, 0},
    {L".git\\", Listed::No, 0},                           // dot-named
    {L".git\\config", Listed::No, 0},
    {L"~$draft.docx", Listed::No, 0},                     // matched by the filter file
    {L"Bob's report.docx", Listed::Synchronised, 0},
    {L"caf\u00E9 menu.txt", Listed::Synchronised, 0},
    // Names the ANSI code page garbles or lacks: traditional Chinese (some of
    // whose GBK trail bytes are ASCII letters or a backslash) and emoji.
    {L"\u6DFA\u8272\u7167\u7247\\", Listed::Synchronised, 0},               // 淺色照片: tick
    {L"\u6DFA\u8272\u7167\u7247\\\u6D77\u908A.jpg", Listed::Synchronised, 0},  // 海邊.jpg
    {L"\u9577\u7BC7\u5831\u544A.docx", Listed::No, 0},                      // 長篇報告: new, pending
    {L"\u96B1\u85CF\u7B46\u8A18.txt", Listed::No, FILE_ATTRIBUTE_HIDDEN},   // 隱藏筆記: hidden, set apart
    {L"\U0001F389 \u6D3E\u5C0D.txt", Listed::Synchronised, 0},               // 🎉 派對: tick
    {L"\U0001F4DD \u65B0\u8A08\u5283.txt", Listed::No, 0},                  // 📝 新計劃: new, pending
};

void CreateItem(const std::wstring& path, bool folder, DWORD attributes) {
    if (folder) {
        CreateDirectoryW(path.c_str(), nullptr);
    } else {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create a sample file");
        DWORD written = 0;
        WriteFile(file, "sample\r\n", 8, &written, nullptr);
        CloseHandle(file);
    }
    if (attributes != 0 && !SetFileAttributesW(path.c_str(), attributes))
        throw std::runtime_error("cannot set a sample attribute");
}

}  // namespace

void CreateSampleTree(const std::wstring& syncFolder, SimulatedDatabase& database) {
    for (const SampleItem& item : kSample) {
        std::wstring relative = item.relative;
        const bool folder = !relative.empty() && relative.back() == L'\\';
        if (folder) relative.pop_back();
        const std::wstring path = syncFolder + L"\\" + relative;
        CreateItem(path, folder, item.attributes);
        if (item.listed != Listed::No)
            database.SetStatus(WideToUtf8(path), static_cast<int>(item.listed) - 1);
    }
}

}  // namespace lumbo::tools
