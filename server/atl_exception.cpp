#include "server/atl_exception.h"

#include <cerrno>
#include <cwchar>

namespace lumbo {

namespace {
// The runtime's code for a truncation that was asked for.
constexpr int kTruncated = 80;  // STRUNCATE
}  // namespace

void AtlCrtErrorCheck(int error) {
    switch (error) {
        case 0:
        case kTruncated:
            return;
        case ENOMEM:
            throw CAtlException(E_OUTOFMEMORY);
        case EINVAL:
        case ERANGE:
            throw CAtlException(E_INVALIDARG);
        default:
            throw CAtlException(E_FAIL);
    }
}

void CopyBounded(wchar_t* destination, std::size_t capacity, const wchar_t* source, bool truncate) {
    if (destination == nullptr || source == nullptr || capacity == 0) AtlCrtErrorCheck(EINVAL);
    const std::size_t length = std::wcslen(source);
    if (length < capacity) {
        std::wmemcpy(destination, source, length + 1);
        return;
    }
    if (!truncate) {
        destination[0] = L'\0';
        AtlCrtErrorCheck(ERANGE);
    }
    std::wmemcpy(destination, source, capacity - 1);
    destination[capacity - 1] = L'\0';
    AtlCrtErrorCheck(kTruncated);
}

}  // namespace lumbo
