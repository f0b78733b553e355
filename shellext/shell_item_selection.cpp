#include "shellext/shell_item_selection.h"

#include <utility>

#include "server/com_ptr.h"

namespace lumbo {

namespace {

// A string the shell allocated for us.
class TaskMemString {
public:
    TaskMemString() = default;
    ~TaskMemString() { CoTaskMemFree(m_text); }
    TaskMemString(const TaskMemString&) = delete;
    TaskMemString& operator=(const TaskMemString&) = delete;

    wchar_t** Out() { return &m_text; }
    const wchar_t* Get() const { return m_text; }

private:
    wchar_t* m_text = nullptr;
};

}  // namespace

bool ReadShellItemPaths(IShellItemArray* items, std::vector<std::wstring>& selection) {
    if (items == nullptr) return false;
    DWORD count = 0;
    if (FAILED(items->GetCount(&count))) return false;
    // No reserve: a count no item backs must not size an allocation.
    std::vector<std::wstring> read;
    for (DWORD index = 0; index < count; ++index) {
        ComPtr<IShellItem> item;
        if (FAILED(items->GetItemAt(index, item.Out())) || !item) return false;
        TaskMemString path;
        if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, path.Out())) || path.Get() == nullptr ||
            path.Get()[0] == L'\0')
            return false;
        read.emplace_back(path.Get());
    }
    selection = std::move(read);
    return true;
}

}  // namespace lumbo
