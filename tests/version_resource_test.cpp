// The version resource of the built DLL: the project's version, the one a crash
// report names, in the numbers and in the text.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/built_dll.h"

namespace {

std::vector<BYTE> VersionBlock() {
    const std::wstring dll = lumbo::test::BuiltDllPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(dll.c_str(), &ignored);
    std::vector<BYTE> block(size);
    if (size == 0 || !GetFileVersionInfoW(dll.c_str(), 0, size, block.data())) block.clear();
    return block;
}

std::wstring StringValue(std::vector<BYTE>& block, const wchar_t* name) {
    void* value = nullptr;
    UINT units = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
    if (!VerQueryValueW(block.data(), path.c_str(), &value, &units) || units == 0) return L"<none>";
    return std::wstring(static_cast<const wchar_t*>(value));
}

TEST(VersionResource, CarriesTheProjectVersion) {
    std::vector<BYTE> block = VersionBlock();
    ASSERT_FALSE(block.empty()) << "no version resource in lumboExt.dll";
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    ASSERT_EQ(size, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD expectedHigh = MAKELONG(LUMBO_VERSION_MINOR, LUMBO_VERSION_MAJOR);
    const DWORD expectedLow = MAKELONG(0, LUMBO_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, expectedHigh);
    EXPECT_EQ(fixed->dwFileVersionLS, expectedLow);
    EXPECT_EQ(fixed->dwProductVersionMS, expectedHigh);
    EXPECT_EQ(fixed->dwProductVersionLS, expectedLow);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    EXPECT_EQ(StringValue(block, L"FileVersion"), LUMBO_VERSION_TEXT);
    EXPECT_EQ(StringValue(block, L"ProductVersion"), LUMBO_VERSION_TEXT);
    EXPECT_EQ(StringValue(block, L"OriginalFilename"), L"lumboExt.dll");
}

}  // namespace
