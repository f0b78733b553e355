#include "tools/shell_host/listing_picture.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include <shellapi.h>

#include "store/unique_handle.h"

namespace lumbo::tools {

namespace {

constexpr int kRowHeight = 40;
constexpr int kWidth = 640;
constexpr int kIconSize = 32;

HICON PlainIcon(const ListedItem& item) {
    SHFILEINFOW info = {};
    const DWORD attributes = item.folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    if (SHGetFileInfoW(item.path.c_str(), attributes, &info, sizeof info,
                       SHGFI_ICON | SHGFI_LARGEICON | SHGFI_USEFILEATTRIBUTES) != 0)
        return info.hIcon;
    return nullptr;
}

HICON OverlayIcon(const OverlayHandler& handler) {
    HICON icon = nullptr;
    ExtractIconExW(handler.iconFile.c_str(), handler.iconIndex, &icon, nullptr, 1);
    return icon;
}

const OverlayHandler* HandlerFor(int iconIndex, const std::vector<OverlayHandler>& handlers) {
    for (const OverlayHandler& handler : handlers)
        if (handler.iconIndex == iconIndex) return &handler;
    return nullptr;
}

bool WriteBmp(const std::wstring& path, const void* pixels, int width, int height) {
    const DWORD imageBytes = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 4;
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + imageBytes;
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = -height;
    info.biPlanes = 1;
    info.biBitCount = 32;
    info.biCompression = BI_RGB;
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (out == nullptr) return false;
    const bool ok = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info, sizeof info, 1, out) == 1 &&
                    std::fwrite(pixels, imageBytes, 1, out) == 1;
    return std::fclose(out) == 0 && ok;
}

}  // namespace

bool WriteListingPicture(const std::wstring& bmpPath, const std::wstring& title,
                         const std::vector<ListedItem>& items, const std::vector<OverlayHandler>& handlers) {
    const int height = kRowHeight * (static_cast<int>(items.size()) + 1) + 8;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    const UniqueGdiObject<HBITMAP> bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (bitmap.Get() == nullptr || pixels == nullptr) return false;
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) return false;
    const HGDIOBJ previousBitmap = SelectObject(dc, bitmap.Get());

    const RECT all = {0, 0, kWidth, height};
    const UniqueGdiObject<HBRUSH> background(CreateSolidBrush(RGB(255, 255, 255)));
    FillRect(dc, &all, background.Get());
    const UniqueGdiObject<HFONT> font(CreateFontW(-15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                            DEFAULT_PITCH, L"Tahoma"));
    // Tahoma has no Chinese letters; names it cannot draw use a face that
    // has them (WenQuanYi under Wine, installed by the set-up script).
    const UniqueGdiObject<HFONT> wideFont(CreateFontW(-15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                                DEFAULT_PITCH, L"WenQuanYi Micro Hei"));
    const HGDIOBJ previousFont = SelectObject(dc, font.Get());
    const auto fontFor = [&](const std::wstring& text) -> HFONT {
        SelectObject(dc, font.Get());
        std::vector<WORD> glyphs(text.size());
        if (GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                             GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR)
            return font.Get();
        for (const WORD glyph : glyphs) {
            if (glyph == 0xFFFF && wideFont.Get() != nullptr) return wideFont.Get();
        }
        return font.Get();
    };
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutW(dc, 12, 12, title.c_str(), static_cast<int>(title.size()));

    int y = kRowHeight + 4;
    for (const ListedItem& item : items) {
        const int x = 16 + 28 * item.depth;
        const UniqueIcon plain(PlainIcon(item));
        if (plain.Get() != nullptr) DrawIconEx(dc, x, y, plain.Get(), kIconSize, kIconSize, 0, nullptr, DI_NORMAL);
        // Explorer draws one overlay per item: the first handler that claims it.
        if (!item.badges.empty()) {
            if (const OverlayHandler* handler = HandlerFor(item.badges.front(), handlers)) {
                const UniqueIcon overlay(OverlayIcon(*handler));
                if (overlay.Get() != nullptr)
                    DrawIconEx(dc, x, y, overlay.Get(), kIconSize, kIconSize, 0, nullptr, DI_NORMAL);
            }
        }
        std::wstring label = item.name;
        if (!item.badges.empty()) {
            label += L"   (";
            for (std::size_t i = 0; i < item.badges.size(); ++i) {
                if (i > 0) label += L", ";
                label += BadgeName(item.badges[i]);
            }
            label += L")";
        }
        SelectObject(dc, fontFor(label));
        TextOutW(dc, x + kIconSize + 10, y + 8, label.c_str(), static_cast<int>(label.size()));
        y += kRowHeight;
    }
    GdiFlush();
    SelectObject(dc, previousFont);
    SelectObject(dc, previousBitmap);
    DeleteDC(dc);
    return WriteBmp(bmpPath, pixels, kWidth, height);
}

}  // namespace lumbo::tools
