#pragma once

// The frame's exception, carrying one HRESULT, and the bounded string copies
// that raise it. The object creators turn any exception into E_OUTOFMEMORY.

#include <cstddef>

#include <windows.h>

namespace lumbo {

class CAtlException {
public:
    explicit CAtlException(HRESULT result) : m_hr(result) {}
    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};

// Maps a C runtime error of a copy to the frame's exception: out of memory →
// E_OUTOFMEMORY, a bad argument or range → E_INVALIDARG, anything else →
// E_FAIL. Success and a truncation the caller asked for are no error.
void AtlCrtErrorCheck(int error);

// Copies source into destination (capacity units, including the terminator).
// With truncate, a too-long source is cut to fit; without, it is an error and
// destination is left empty.
void CopyBounded(wchar_t* destination, std::size_t capacity, const wchar_t* source, bool truncate);

}  // namespace lumbo
