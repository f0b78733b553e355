#include "tools/shell_host/listing_picture.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <vector>

#include <shellapi.h>
#include <usp10.h>

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

// Faces tried in turn for each letter of a text, so that a name mixing Latin,
// Chinese and emoji draws every letter from a face that has it.
class FontChain {
public:
    FontChain(HDC dc, std::initializer_list<const wchar_t*> faces) : m_dc(dc) {
        for (const wchar_t* face : faces) {
            HFONT font = CreateFontW(-15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, face);
            if (font != nullptr) m_fonts.emplace_back(font);
        }
    }

    HFONT Primary() const { return m_fonts.empty() ? nullptr : m_fonts.front().Get(); }

    // Draws the text from (x, y) run by run, each in the first face that has
    // all of the run's units.
    void Draw(int x, int y, const std::wstring& text) const {
        std::size_t start = 0;
        while (start < text.size()) {
            const HFONT font = FontFor(text.substr(start, LetterLength(text, start)));
            std::size_t end = start + LetterLength(text, start);
            while (end < text.size() && FontFor(text.substr(end, LetterLength(text, end))) == font)
                end += LetterLength(text, end);
            SelectObject(m_dc, font);
            x += DrawRun(x, y, text.c_str() + start, static_cast<int>(end - start));
            start = end;
        }
    }

private:
    // Draws the units in the selected face and gives their width. GDI's text
    // calls take each unit of a surrogate pair for a letter of its own (two
    // boxes for an emoji); the script processor maps whole letters to glyphs.
    int DrawRun(int x, int y, const wchar_t* units, int count) const {
        SCRIPT_CACHE cache = nullptr;
        SCRIPT_ANALYSIS analysis = {};
        std::vector<WORD> glyphs(static_cast<std::size_t>(count) * 2 + 16);
        std::vector<WORD> clusters(static_cast<std::size_t>(count));
        std::vector<SCRIPT_VISATTR> attributes(glyphs.size());
        int glyphCount = 0;
        SIZE extent = {};
        if (SUCCEEDED(ScriptShape(m_dc, &cache, units, count, static_cast<int>(glyphs.size()), &analysis,
                                  glyphs.data(), clusters.data(), attributes.data(), &glyphCount))) {
            ExtTextOutW(m_dc, x, y, ETO_GLYPH_INDEX, nullptr, reinterpret_cast<const wchar_t*>(glyphs.data()),
                        static_cast<UINT>(glyphCount), nullptr);
            GetTextExtentPointI(m_dc, glyphs.data(), glyphCount, &extent);
        } else {
            TextOutW(m_dc, x, y, units, count);
            GetTextExtentPoint32W(m_dc, units, count, &extent);
        }
        ScriptFreeCache(&cache);
        return extent.cx;
    }

    // The units of the letter at `at`: a surrogate pair stays whole.
    static std::size_t LetterLength(const std::wstring& text, std::size_t at) {
        return IS_HIGH_SURROGATE(text[at]) && at + 1 < text.size() && IS_LOW_SURROGATE(text[at + 1]) ? 2 : 1;
    }

    // The first face whose glyph indices mark none of the letter's units as
    // missing; a letter beyond the basic plane (GDI looks units up one by
    // one) goes to the last face, the emoji one.
    HFONT FontFor(const std::wstring& letter) const {
        if (m_fonts.empty()) return nullptr;
        if (letter.size() == 2) return m_fonts.back().Get();
        for (const UniqueGdiObject<HFONT>& font : m_fonts) {
            SelectObject(m_dc, font.Get());
            WORD glyph = 0;
            if (GetGlyphIndicesW(m_dc, letter.c_str(), 1, &glyph, GGI_MARK_NONEXISTING_GLYPHS) != GDI_ERROR &&
                glyph != 0xFFFF)
                return font.Get();
        }
        return m_fonts.front().Get();
    }

    HDC m_dc;
    std::vector<UniqueGdiObject<HFONT>> m_fonts;
};

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
    // Tahoma has no Chinese letters and no emoji; each run of a name is drawn
    // in the first face that has its letters: WenQuanYi, then Symbola (both
    // installed by the set-up script; Wine draws no colour emoji faces).
    const FontChain fonts(dc, {L"Tahoma", L"WenQuanYi Micro Hei", L"Symbola"});
    const HGDIOBJ previousFont = SelectObject(dc, fonts.Primary());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    fonts.Draw(12, 12, title);

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
        fonts.Draw(x + kIconSize + 10, y + 8, label);
        y += kRowHeight;
    }
    GdiFlush();
    SelectObject(dc, previousFont);
    SelectObject(dc, previousBitmap);
    DeleteDC(dc);
    return WriteBmp(bmpPath, pixels, kWidth, height);
}

}  // namespace lumbo::tools
