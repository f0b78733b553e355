// The overlay icons as the built DLL carries them, loaded as a data file.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "resources/resource_ids.h"
#include "store/unique_handle.h"
#include "tests/support/built_dll.h"

namespace {

#pragma pack(push, 2)
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct GroupIconEntry {
    BYTE width;
    BYTE height;
    BYTE colourCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

class IconResources : public ::testing::Test {
protected:
    void SetUp() override {
        m_dll.Reset(LoadLibraryExW(lumbo::test::BuiltDllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(m_dll) << "lumboExt.dll not found beside the test";
    }

    std::vector<BYTE> Resource(int id, LPCWSTR type) const {
        HRSRC found = FindResourceW(m_dll.Get(), MAKEINTRESOURCEW(id), type);
        if (found == nullptr) return {};
        const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(m_dll.Get(), found)));
        return std::vector<BYTE>(data, data + SizeofResource(m_dll.Get(), found));
    }

    lumbo::UniqueModule m_dll;
};

struct ExpectedImage {
    int size;
    int bitCount;
};
const ExpectedImage kImages[] = {{48, 8}, {32, 8}, {16, 8}, {256, 32}, {128, 32}, {48, 32}, {32, 32}, {16, 32}};

// Which channel dominates the badge's disc (0 red, 1 green, 2 blue), and a
// pixel of the 48-pixel image on the white symbol: the tick's corner, the top
// of the circling arrows, the middle of the cross.
struct ExpectedGroup {
    int id;
    int discChannel;
    int symbolX;
    int symbolY;
};
const ExpectedGroup kGroups[] = {
    {IDI_OVERLAY_SYNCHRONISED, 1, 30, 37},
    {IDI_OVERLAY_PENDING, 2, 32, 25},
    {IDI_OVERLAY_FAILED, 0, 32, 32},
};

TEST_F(IconResources, ThreeGroupsOfEightImages) {
    for (const ExpectedGroup& group : kGroups) {
        const std::vector<BYTE> directory = Resource(group.id, RT_GROUP_ICON);
        ASSERT_GE(directory.size(), sizeof(GroupIconHeader)) << group.id;
        GroupIconHeader header;
        std::memcpy(&header, directory.data(), sizeof header);
        EXPECT_EQ(header.type, 1);
        ASSERT_EQ(header.count, 8) << group.id;
        ASSERT_GE(directory.size(), sizeof header + 8 * sizeof(GroupIconEntry));

        for (int i = 0; i < 8; ++i) {
            GroupIconEntry entry;
            std::memcpy(&entry, directory.data() + sizeof header + i * sizeof entry, sizeof entry);
            const ExpectedImage& expected = kImages[i];
            EXPECT_EQ(entry.width == 0 ? 256 : entry.width, expected.size) << group.id << " image " << i;
            EXPECT_EQ(entry.height == 0 ? 256 : entry.height, expected.size) << group.id << " image " << i;
            EXPECT_EQ(entry.bitCount, expected.bitCount) << group.id << " image " << i;

            const std::vector<BYTE> image = Resource(entry.id, RT_ICON);
            ASSERT_EQ(image.size(), entry.bytes);
            if (expected.size == 256) {
                EXPECT_EQ(std::memcmp(image.data(), "\x89PNG", 4), 0) << "256 pixels are stored as PNG";
                continue;
            }
            BITMAPINFOHEADER bitmap;
            std::memcpy(&bitmap, image.data(), sizeof bitmap);
            EXPECT_EQ(bitmap.biWidth, expected.size);
            EXPECT_EQ(bitmap.biHeight, 2 * expected.size) << "colour and mask";
            EXPECT_EQ(bitmap.biBitCount, expected.bitCount);
        }
    }
}

TEST_F(IconResources, TransparentButForTheBadgeInTheLowerRight) {
    for (const ExpectedGroup& group : kGroups) {
        const std::vector<BYTE> directory = Resource(group.id, RT_GROUP_ICON);
        ASSERT_FALSE(directory.empty());
        GroupIconEntry entry;  // image 5: 48 pixels, 32 bits
        std::memcpy(&entry, directory.data() + sizeof(GroupIconHeader) + 5 * sizeof entry, sizeof entry);
        const std::vector<BYTE> image = Resource(entry.id, RT_ICON);
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER) + 48 * 48 * 4);
        const auto pixel = [&](int x, int y) {  // rows are stored bottom-up, BGRA
            return image.data() + sizeof(BITMAPINFOHEADER) + ((47 - y) * 48 + x) * 4;
        };
        EXPECT_EQ(pixel(2, 2)[3], 0) << "top left is transparent";
        EXPECT_EQ(pixel(45, 2)[3], 0) << "top right is transparent";
        EXPECT_EQ(pixel(2, 45)[3], 0) << "bottom left is transparent";
        const BYTE* disc = pixel(20, 32);
        EXPECT_EQ(disc[3], 255) << "the badge is opaque";
        const int rgb[3] = {disc[2], disc[1], disc[0]};
        for (int channel = 0; channel < 3; ++channel) {
            if (channel != group.discChannel) {
                EXPECT_GT(rgb[group.discChannel], rgb[channel] + 60) << group.id;
            }
        }
        const BYTE* symbol = pixel(group.symbolX, group.symbolY);
        EXPECT_GT(symbol[0] + symbol[1] + symbol[2], 3 * 200) << group.id << ": a white symbol on the badge";
    }
}

TEST_F(IconResources, TheShellCanLoadThem) {
    for (const ExpectedGroup& group : kGroups) {
        for (const int size : {16, 32, 48}) {
            const lumbo::UniqueIcon icon(
                static_cast<HICON>(LoadImageW(m_dll.Get(), MAKEINTRESOURCEW(group.id), IMAGE_ICON, size, size, 0)));
            EXPECT_TRUE(icon) << group.id << " at " << size;
        }
    }
}

}  // namespace
