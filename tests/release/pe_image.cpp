// Reads PE32+ headers, the section table and the import, delay-import and debug
// directories from an image's bytes; see pe_image.h.
#include "pe_image.h"

#include <cstddef>
#include <cstring>

namespace release {
namespace {

// Little-endian reads that report, instead of running past the end of the bytes.
class Reader {
public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}

    bool has(std::uint64_t offset, std::uint64_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }
    std::uint64_t read(std::uint64_t offset, int width) const {
        std::uint64_t value = 0;
        for (int i = width - 1; i >= 0; --i) {
            value = (value << 8) | static_cast<unsigned char>(bytes_[static_cast<std::size_t>(offset) + i]);
        }
        return value;
    }
    std::uint16_t u16(std::uint64_t offset) const { return static_cast<std::uint16_t>(read(offset, 2)); }
    std::uint32_t u32(std::uint64_t offset) const { return static_cast<std::uint32_t>(read(offset, 4)); }
    std::uint64_t u64(std::uint64_t offset) const { return read(offset, 8); }
    // A NUL-terminated string starting at offset; false if the bytes end before the NUL.
    bool cString(std::uint64_t offset, std::string* out) const {
        for (std::uint64_t end = offset; end < bytes_.size(); ++end) {
            if (bytes_[static_cast<std::size_t>(end)] == '\0') {
                out->assign(bytes_, static_cast<std::size_t>(offset), static_cast<std::size_t>(end - offset));
                return true;
            }
        }
        return false;
    }

private:
    const std::string& bytes_;
};

struct Directory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

// File offset of a relative virtual address: it must fall inside a section's raw data.
bool rvaToOffset(const Image& image, std::uint32_t rva, std::uint64_t* offset) {
    for (const Section& s : image.sections) {
        if (rva >= s.virtualAddress && rva - s.virtualAddress < s.rawSize) {
            *offset = static_cast<std::uint64_t>(s.rawOffset) + (rva - s.virtualAddress);
            return true;
        }
    }
    return false;
}

std::string hex(std::uint64_t value) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    do {
        text.insert(text.begin(), digits[value & 0xf]);
        value >>= 4;
    } while (value != 0);
    return "0x" + text;
}

bool readDllName(const Reader& r, const Image& image, std::uint32_t rva, const char* what,
                 std::string* name, std::string* error) {
    std::uint64_t offset = 0;
    if (!rvaToOffset(image, rva, &offset) || !r.cString(offset, name) || name->empty()) {
        *error = std::string("a ") + what + " entry names its DLL at RVA " + hex(rva) +
                 ", which holds no string inside the file";
        return false;
    }
    return true;
}

// Entries end at the first all-zero descriptor; a directory that runs off its section
// or goes on implausibly long is an error rather than a short list.
constexpr int kMaxDescriptors = 4096;

bool readImports(const Reader& r, Image* image, Directory dir, std::string* error) {
    if (dir.rva == 0) return true;
    std::uint64_t offset = 0;
    if (!rvaToOffset(*image, dir.rva, &offset)) {
        *error = "the import directory's RVA " + hex(dir.rva) + " lies in no section";
        return false;
    }
    constexpr int kSize = 20;  // IMAGE_IMPORT_DESCRIPTOR
    for (int i = 0; i < kMaxDescriptors; ++i, offset += kSize) {
        if (!r.has(offset, kSize)) {
            *error = "the import directory runs past the end of the file";
            return false;
        }
        const std::uint32_t lookup = r.u32(offset), nameRva = r.u32(offset + 12), thunks = r.u32(offset + 16);
        if (lookup == 0 && nameRva == 0 && thunks == 0) return true;
        std::string name;
        if (!readDllName(r, *image, nameRva, "import", &name, error)) return false;
        image->imports.push_back(name);
    }
    *error = "the import directory has no terminating entry";
    return false;
}

bool readDelayImports(const Reader& r, Image* image, Directory dir, std::string* error) {
    if (dir.rva == 0) return true;
    std::uint64_t offset = 0;
    if (!rvaToOffset(*image, dir.rva, &offset)) {
        *error = "the delay-import directory's RVA " + hex(dir.rva) + " lies in no section";
        return false;
    }
    constexpr int kSize = 32;  // IMAGE_DELAYLOAD_DESCRIPTOR
    for (int i = 0; i < kMaxDescriptors; ++i, offset += kSize) {
        if (!r.has(offset, kSize)) {
            *error = "the delay-import directory runs past the end of the file";
            return false;
        }
        const std::uint32_t attributes = r.u32(offset), nameField = r.u32(offset + 4);
        if (attributes == 0 && nameField == 0 && r.u32(offset + 12) == 0) return true;
        // Bit 0 clear: the old layout, which stores virtual addresses instead of RVAs.
        const std::uint32_t nameRva =
            (attributes & 1) ? nameField : static_cast<std::uint32_t>(nameField - image->imageBase);
        std::string name;
        if (!readDllName(r, *image, nameRva, "delay-import", &name, error)) return false;
        image->delayImports.push_back(name);
    }
    *error = "the delay-import directory has no terminating entry";
    return false;
}

bool readDebugTypes(const Reader& r, Image* image, Directory dir, std::string* error) {
    if (dir.rva == 0 || dir.size == 0) return true;
    std::uint64_t offset = 0;
    constexpr std::uint32_t kSize = 28;  // IMAGE_DEBUG_DIRECTORY
    if (!rvaToOffset(*image, dir.rva, &offset) || !r.has(offset, dir.size) || dir.size % kSize != 0) {
        *error = "the debug directory (RVA " + hex(dir.rva) + ", " + std::to_string(dir.size) +
                 " bytes) is not a whole number of entries inside the file";
        return false;
    }
    for (std::uint32_t i = 0; i < dir.size / kSize; ++i) image->debugTypes.push_back(r.u32(offset + i * kSize + 12));
    return true;
}

}  // namespace

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

ParseResult parseImage(const std::string& bytes) {
    ParseResult result;
    Image& image = result.image;
    const Reader r(bytes);

    if (!r.has(0, 0x40) || bytes[0] != 'M' || bytes[1] != 'Z') {
        result.error = "the file does not start with a DOS header (\"MZ\")";
        return result;
    }
    const std::uint32_t pe = r.u32(0x3c);  // e_lfanew
    if (!r.has(pe, 4 + 20) || std::memcmp(bytes.data() + pe, "PE\0\0", 4) != 0) {
        result.error = "no \"PE\\0\\0\" signature at offset " + hex(pe);
        return result;
    }
    const std::uint64_t coff = pe + 4;
    image.machine = r.u16(coff);
    const std::uint16_t sectionCount = r.u16(coff + 2);
    image.symbolTableOffset = r.u32(coff + 8);
    image.symbolCount = r.u32(coff + 12);
    const std::uint16_t optionalSize = r.u16(coff + 16);
    image.fileCharacteristics = r.u16(coff + 18);

    const std::uint64_t opt = coff + 20;
    constexpr std::uint16_t kFixedPart = 112;  // PE32+ optional header before its directories
    if (optionalSize < kFixedPart || !r.has(opt, optionalSize)) {
        result.error = "the optional header (" + std::to_string(optionalSize) + " bytes) is too short or truncated";
        return result;
    }
    image.magic = r.u16(opt);
    if (image.magic != kMagicPe32Plus) {
        result.error = "optional header magic " + hex(image.magic) + " is not PE32+ (0x20b)";
        return result;
    }
    image.imageBase = r.u64(opt + 24);
    image.subsystem = r.u16(opt + 68);
    image.dllCharacteristics = r.u16(opt + 70);
    const std::uint32_t directoryCount = r.u32(opt + 108);
    if (kFixedPart + static_cast<std::uint64_t>(directoryCount) * 8 > optionalSize) {
        result.error = std::to_string(directoryCount) + " data directories do not fit the optional header";
        return result;
    }
    auto directory = [&](std::uint32_t index) {
        Directory d;
        if (index < directoryCount) {
            d.rva = r.u32(opt + kFixedPart + index * 8);
            d.size = r.u32(opt + kFixedPart + index * 8 + 4);
        }
        return d;
    };

    const std::uint64_t table = opt + optionalSize;
    if (!r.has(table, static_cast<std::uint64_t>(sectionCount) * 40)) {
        result.error = "the table of " + std::to_string(sectionCount) + " sections runs past the end of the file";
        return result;
    }
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
        const std::uint64_t at = table + i * 40u;
        Section s;
        s.name.assign(bytes.data() + at, 8);
        s.name.resize(std::strlen(s.name.c_str()));
        s.virtualSize = r.u32(at + 8);
        s.virtualAddress = r.u32(at + 12);
        s.rawSize = r.u32(at + 16);
        s.rawOffset = r.u32(at + 20);
        s.characteristics = r.u32(at + 36);
        if (!r.has(s.rawOffset, s.rawSize)) {
            result.error = "section \"" + s.name + "\" claims raw data past the end of the file";
            return result;
        }
        image.sections.push_back(s);
    }

    if (!readImports(r, &image, directory(1), &result.error) ||
        !readDebugTypes(r, &image, directory(6), &result.error) ||
        !readDelayImports(r, &image, directory(13), &result.error)) {
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace release
