// Reads the resources of the built gnatter_gui.exe as a data file: the exact table of
// types, IDs and languages; the icon group and each of its six images; the embedded fly
// image, byte for byte the committed res/fly.png (copied beside this test as
// resources_test_fly.png) and its PNG layout; and the manifest, element by element.
#include "win_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

std::string idText(LPCWSTR id)
{
    return IS_INTRESOURCE(id) ? std::to_string(reinterpret_cast<ULONG_PTR>(id))
                              : "\"" + toUtf8(id) + "\"";
}

class LauncherResources : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        module_ = LoadLibraryExW(joinPath(exeFolder(), L"gnatter_gui.exe").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    }
    static void TearDownTestSuite() { FreeLibrary(module_); }
    void SetUp() override { ASSERT_NE(module_, nullptr) << "cannot load gnatter_gui.exe"; }

    // The bytes of one resource; `found` false when it is missing.
    static std::string bytes(WORD type, WORD id, WORD language, bool* found = nullptr)
    {
        HRSRC info = FindResourceExW(module_, MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(id), language);
        if (found) {
            *found = info != nullptr;
        }
        if (info == nullptr) {
            return std::string();
        }
        const void* data = LockResource(LoadResource(module_, info));
        return std::string(static_cast<const char*>(data), SizeofResource(module_, info));
    }

    static HMODULE module_;
};

HMODULE LauncherResources::module_ = nullptr;

BOOL CALLBACK onLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR out)
{
    reinterpret_cast<std::vector<std::string>*>(out)->push_back(
        idText(type) + "/" + idText(name) + "/" + std::to_string(language));
    return TRUE;
}

BOOL CALLBACK onName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR out)
{
    EnumResourceLanguagesW(module, type, name, onLanguage, out);
    return TRUE;
}

BOOL CALLBACK onType(HMODULE module, LPWSTR type, LONG_PTR out)
{
    EnumResourceNamesW(module, type, onName, out);
    return TRUE;
}

TEST_F(LauncherResources, TableHoldsExactlyIconsImageGroupAndManifest)
{
    std::vector<std::string> found;
    EnumResourceTypesW(module_, onType, reinterpret_cast<LONG_PTR>(&found));
    std::sort(found.begin(), found.end());
    std::vector<std::string> expected = {"10/102/1033", "14/101/1033", "24/1/0"};
    for (int id = 1; id <= 6; ++id) {
        expected.push_back("3/" + std::to_string(id) + "/1033");
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected) << "type/name/language";
}

uint16_t le16(const std::string& b, size_t at) { return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8; }
uint32_t le32(const std::string& b, size_t at) { return le16(b, at) | uint32_t(le16(b, at + 2)) << 16; }
uint32_t be32(const std::string& b, size_t at)
{
    return uint32_t(uint8_t(b[at])) << 24 | uint8_t(b[at + 1]) << 16 | uint8_t(b[at + 2]) << 8 |
           uint8_t(b[at + 3]);
}

struct IconEntry {
    int side;  // 256 is stored as 0
    uint32_t bytes;
};
const IconEntry kIcons[] = {{16, 1128}, {32, 4264}, {48, 9640}, {64, 16936}, {128, 67624}, {256, 8330}};
const char kPngSignature[] = "\x89PNG\r\n\x1a\n";

TEST_F(LauncherResources, IconGroupListsSixImagesInAscendingSize)
{
    const std::string group = bytes(14, 101, 1033);
    ASSERT_EQ(group.size(), 6u + 6u * 14u);
    EXPECT_EQ(le16(group, 0), 0) << "reserved";
    EXPECT_EQ(le16(group, 2), 1) << "type";
    EXPECT_EQ(le16(group, 4), 6) << "count";
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE("entry " + std::to_string(i + 1));
        const size_t at = 6 + 14 * i;
        const int stored = kIcons[i].side == 256 ? 0 : kIcons[i].side;
        EXPECT_EQ(uint8_t(group[at]), stored) << "width";
        EXPECT_EQ(uint8_t(group[at + 1]), stored) << "height";
        EXPECT_EQ(uint8_t(group[at + 2]), 0) << "colour count";
        EXPECT_EQ(uint8_t(group[at + 3]), 0) << "reserved";
        EXPECT_EQ(le16(group, at + 4), 1) << "planes";
        EXPECT_EQ(le16(group, at + 6), 32) << "bit count";
        EXPECT_EQ(le32(group, at + 8), kIcons[i].bytes) << "bytes in resource";
        EXPECT_EQ(le16(group, at + 12), i + 1) << "icon ID";
    }
}

TEST_F(LauncherResources, IconImagesAreGreyDibsWithMatchingMasks)
{
    for (int i = 0; i < 5; ++i) {
        const int w = kIcons[i].side;
        SCOPED_TRACE("icon " + std::to_string(i + 1) + " (" + std::to_string(w) + " px)");
        const std::string dib = bytes(3, WORD(i + 1), 1033);
        ASSERT_EQ(dib.size(), kIcons[i].bytes);
        EXPECT_EQ(le32(dib, 0), 40u) << "header size";
        EXPECT_EQ(int32_t(le32(dib, 4)), w) << "width";
        EXPECT_EQ(int32_t(le32(dib, 8)), 2 * w) << "height (colour and mask)";
        EXPECT_EQ(le16(dib, 12), 1) << "planes";
        EXPECT_EQ(le16(dib, 14), 32) << "bit count";
        EXPECT_EQ(le32(dib, 16), uint32_t(BI_RGB)) << "compression";
        EXPECT_EQ(le32(dib, 20), uint32_t(w * w * 4)) << "image size";
        const size_t maskStride = (w + 31) / 32 * 4;
        ASSERT_EQ(dib.size(), 40 + size_t(w) * w * 4 + maskStride * w);
        int maskMismatch = 0, notGrey = 0;
        for (int row = 0; row < w; ++row) {
            for (int x = 0; x < w; ++x) {
                const size_t px = 40 + (size_t(row) * w + x) * 4;
                const bool transparent = dib[px + 3] == 0;
                const size_t maskByte = 40 + size_t(w) * w * 4 + row * maskStride + x / 8;
                const bool masked = (uint8_t(dib[maskByte]) >> (7 - x % 8)) & 1;
                maskMismatch += masked != transparent;
                notGrey += !(dib[px] == dib[px + 1] && dib[px + 1] == dib[px + 2]);
            }
        }
        EXPECT_EQ(maskMismatch, 0) << "pixels whose mask bit differs from alpha == 0";
        EXPECT_EQ(notGrey, 0) << "pixels with R, G and B not all equal";
        for (size_t corner : {size_t(0), size_t(w - 1), size_t(w) * (w - 1), size_t(w) * w - 1}) {
            EXPECT_EQ(dib[40 + corner * 4 + 3], 0) << "corner pixel " << corner << " opaque";
        }
    }
}

TEST_F(LauncherResources, LargestIconIsA256PixelGreyAlphaPng)
{
    const std::string png = bytes(3, 6, 1033);
    ASSERT_EQ(png.size(), kIcons[5].bytes);
    ASSERT_EQ(png.compare(0, 8, kPngSignature, 8), 0) << "PNG signature";
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(be32(png, 16), 256u) << "width";
    EXPECT_EQ(be32(png, 20), 256u) << "height";
    EXPECT_EQ(uint8_t(png[25]), 4) << "colour type (grey with alpha)";
    EXPECT_EQ(uint8_t(png[28]), 0) << "interlace";
}

TEST_F(LauncherResources, FlyImageIsTheCommittedPngByteForByte)
{
    const std::string reference = readFile(joinPath(exeFolder(), L"resources_test_fly.png"));
    ASSERT_FALSE(reference.empty()) << "resources_test_fly.png missing beside the test";
    const std::string embedded = bytes(10, 102, 1033);
    EXPECT_EQ(embedded.size(), reference.size());
    EXPECT_TRUE(embedded == reference) << "RCDATA 102 differs from res/fly.png";
}

uint32_t crc32(const std::string& data, size_t from, size_t length)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = from; i < from + length; ++i) {
        crc ^= uint8_t(data[i]);
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

TEST_F(LauncherResources, FlyImageIsTwoColourPalettePngWithTransparentGround)
{
    const std::string png = bytes(10, 102, 1033);
    ASSERT_GE(png.size(), 8u);
    ASSERT_EQ(png.compare(0, 8, kPngSignature, 8), 0) << "PNG signature";
    std::vector<std::string> order;
    std::map<std::string, std::string> body;
    int textChunks = 0;
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = be32(png, at);
        ASSERT_LE(at + 12 + length, png.size()) << "chunk runs past the end";
        const std::string type = png.substr(at + 4, 4);
        EXPECT_EQ(crc32(png, at + 4, 4 + length), be32(png, at + 8 + length)) << type << " CRC";
        if (type == "tEXt" || type == "zTXt" || type == "iTXt") {
            ++textChunks;
        } else if (order.empty() || order.back() != type) {
            order.push_back(type);
        }
        body[type] = png.substr(at + 8, length);
        at += 12 + length;
    }
    EXPECT_EQ(order, (std::vector<std::string>{"IHDR", "PLTE", "tRNS", "IDAT", "IEND"}));
    EXPECT_EQ(textChunks, 1);
    const std::string ihdr = body["IHDR"];
    ASSERT_EQ(ihdr.size(), 13u);
    EXPECT_EQ(be32(ihdr, 0), 144u) << "width";
    EXPECT_EQ(be32(ihdr, 4), 144u) << "height";
    EXPECT_EQ(uint8_t(ihdr[8]), 8) << "bit depth";
    EXPECT_EQ(uint8_t(ihdr[9]), 3) << "colour type";
    EXPECT_EQ(uint8_t(ihdr[12]), 0) << "interlace";
    EXPECT_EQ(body["PLTE"], std::string("\0\0\0\xff\xff\xff", 6)) << "palette: black, white";
    EXPECT_EQ(body["tRNS"], std::string("\xff\0", 2)) << "alpha: black opaque, white clear";
}

// One XML tag as "<name a="1" b="2">", attributes sorted by name, or "</name>".
std::vector<std::string> xmlTags(const std::string& xml, std::string* description)
{
    std::vector<std::string> tags;
    for (size_t open = xml.find('<'); open != std::string::npos; open = xml.find('<', open + 1)) {
        const size_t close = xml.find('>', open);
        if (close == std::string::npos) {
            tags.push_back("unterminated tag");
            break;
        }
        std::string tag = xml.substr(open + 1, close - open - 1);
        if (tag.rfind("/", 0) == 0) {
            tags.push_back("<" + tag + ">");
            continue;
        }
        const bool empty = !tag.empty() && tag.back() == '/';
        const bool declaration = !tag.empty() && tag[0] == '?';
        if (empty || declaration) {
            tag.pop_back();
        }
        size_t at = tag.find_first_of(" \t\r\n");
        const std::string name = tag.substr(0, at);
        std::vector<std::string> attributes;
        while (at != std::string::npos && (at = tag.find_first_not_of(" \t\r\n", at)) != std::string::npos) {
            const size_t quote = tag.find('"', tag.find('=', at));
            const size_t end = tag.find('"', quote + 1);
            if (quote == std::string::npos || end == std::string::npos) {
                attributes.push_back("malformed:" + tag.substr(at));
                break;
            }
            std::string key = tag.substr(at, tag.find('=', at) - at);
            key.erase(key.find_last_not_of(" \t") + 1);
            attributes.push_back(key + "=\"" + tag.substr(quote + 1, end - quote - 1) + "\"");
            at = end + 1;
        }
        std::sort(attributes.begin(), attributes.end());
        std::string text = "<" + name;
        for (const std::string& a : attributes) {
            text += " " + a;
        }
        tags.push_back(text + (empty ? "/>" : declaration ? "?>" : ">"));
        if (name == "description" && !empty && description) {
            *description = xml.substr(close + 1, xml.find('<', close) - close - 1);
        }
    }
    return tags;
}

TEST_F(LauncherResources, ManifestDeclaresExactlyItsElementsInOrder)
{
    const std::string manifest = bytes(24, 1, 0);
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, manifest.data(),
                                  int(manifest.size()), nullptr, 0), 0) << "not UTF-8";
    std::string description;
    const std::vector<std::string> expected = {
        R"(<?xml encoding="UTF-8" standalone="yes" version="1.0"?>)",
        R"(<assembly manifestVersion="1.0" xmlns="urn:schemas-microsoft-com:asm.v1">)",
        R"(<assemblyIdentity name="GnatterGui" processorArchitecture="*" type="win32" version="1.0.0.0"/>)",
        R"(<description>)", R"(</description>)",
        R"(<dependency>)", R"(<dependentAssembly>)",
        R"(<assemblyIdentity language="*" name="Microsoft.Windows.Common-Controls" processorArchitecture="*" publicKeyToken="6595b64144ccf1df" type="win32" version="6.0.0.0"/>)",
        R"(</dependentAssembly>)", R"(</dependency>)",
        R"(<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">)", R"(<security>)",
        R"(<requestedPrivileges>)", R"(<requestedExecutionLevel level="asInvoker"/>)",
        R"(</requestedPrivileges>)", R"(</security>)", R"(</trustInfo>)",
        R"(<compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1">)", R"(<application>)",
        R"(<supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"/>)",
        R"(<supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>)",
        R"(<supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>)",
        R"(<supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>)",
        R"(<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>)",
        R"(</application>)", R"(</compatibility>)", R"(</assembly>)",
    };
    EXPECT_EQ(xmlTags(manifest, &description), expected);
    EXPECT_EQ(description, "Gnatter GUI");
    EXPECT_EQ(manifest.rfind("<?xml", 0), 0u) << "the declaration opens the manifest";
}

TEST_F(LauncherResources, ManifestDeclaresNoDpiAwareness)
{
    std::string lower = bytes(24, 1, 0);
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    EXPECT_EQ(lower.find("dpiaware"), std::string::npos);
    EXPECT_EQ(lower.find("windowssettings"), std::string::npos);
}

}  // namespace
