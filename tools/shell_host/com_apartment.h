#pragma once

#include <objbase.h>

#include "server/com_ptr.h"

namespace lumbo::tools {

using lumbo::ComPtr;

// CoInitialize for one thread, undone at the end of the scope.
class ComApartment {
public:
    ComApartment() : m_result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(m_result)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT m_result;
};

}  // namespace lumbo::tools
