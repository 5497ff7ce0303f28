// A small reader for the headers of 64-bit Windows executables (PE32+ images): the COFF
// file header, the optional header, the section table, and the names of the DLLs in the
// import and delay-import directories. The release tests use it to inspect the shipped
// programs byte by byte, without asking Windows' loader or any tool for help. It has no
// Windows dependency; every read is bounds-checked, and malformed input yields an error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace release {

// Values from the PE/COFF format that the tests compare against.
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kMagicPe32Plus = 0x20b;
constexpr std::uint16_t kSubsystemWindowsGui = 2;
constexpr std::uint16_t kFileExecutableImage = 0x0002;
constexpr std::uint16_t kFileLargeAddressAware = 0x0020;
constexpr std::uint16_t kDllHighEntropyVa = 0x0020;
constexpr std::uint16_t kDllDynamicBase = 0x0040;
constexpr std::uint16_t kDllNxCompat = 0x0100;
constexpr std::uint32_t kSectionExecute = 0x20000000;
constexpr std::uint32_t kSectionWrite = 0x80000000;
constexpr std::uint32_t kDebugTypeCodeView = 2;

struct Section {
    std::string name;  // the 8-byte name field up to its first NUL
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t rawOffset = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t characteristics = 0;
};

struct Image {
    std::uint16_t machine = 0;
    std::uint16_t fileCharacteristics = 0;
    std::uint32_t symbolTableOffset = 0;  // PointerToSymbolTable
    std::uint32_t symbolCount = 0;        // NumberOfSymbols
    std::uint16_t magic = 0;
    std::uint64_t imageBase = 0;
    std::uint16_t subsystem = 0;
    std::uint16_t dllCharacteristics = 0;
    std::vector<Section> sections;
    std::vector<std::string> imports;       // DLL names, in directory order
    std::vector<std::string> delayImports;  // DLL names of the delay-load directory
    std::vector<std::uint32_t> debugTypes;  // Type of each debug directory entry
};

struct ParseResult {
    bool ok = false;
    Image image;        // meaningful only when ok
    std::string error;  // one sentence saying what is wrong, when !ok
};

// Reads a whole image file's bytes. Only PE32+ images are accepted.
ParseResult parseImage(const std::string& bytes);

// Lower-case ASCII copy, for comparing DLL names the way Windows does.
std::string lowerAscii(std::string text);

}  // namespace release
