// Checks the shipped executables as files: 64-bit GUI images with ASLR and DEP, stripped,
// with ordinary section names and no writable code, under 400 KB, importing only DLLs
// that every Windows 10 has. A regression in the build flags (a lost -s, a console subsystem, a
// packer, a new dependency such as a MinGW runtime DLL) fails here before it ships.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "pe_image.h"
#include "win_test_support.h"

namespace {

using release::Image;
using release::lowerAscii;

// DLLs both programs may import: Windows' own system DLLs and the C runtime (msvcrt for
// MinGW, the Universal CRT's api-ms-win-crt-* sets for UCRT toolchains; MSVC's static
// CRT imports none). Compared without regard to case.
const std::vector<std::string> kSystemDlls = {
    "kernel32.dll", "user32.dll",   "gdi32.dll",    "gdiplus.dll", "comctl32.dll",
    "ole32.dll",    "shell32.dll",  "advapi32.dll", "msvcrt.dll",
};
const char kUcrtPrefix[] = "api-ms-win-crt-";

struct Program {
    const char* file;
    // Further DLLs this program may import. gnatter.exe registers for session lock
    // notifications with wtsapi32, present on every Windows since XP. It loads shcore
    // (per-monitor DPI, Windows 8.1 and later) at run time, so shcore must never appear here.
    std::vector<std::string> extraDlls;
};

const Program kPrograms[] = {
    {"gnatter_gui.exe", {}},
#ifdef GNATTER_RELEASE_HAS_FLY_PROGRAM
    {"gnatter.exe", {"wtsapi32.dll"}},
#endif
};

// Sections a linker makes by itself: MinGW's ld (first line) and MSVC's link.exe.
const std::vector<std::string> kOrdinarySections = {
    ".text", ".data", ".rdata", ".pdata", ".xdata", ".bss", ".idata", ".CRT", ".tls", ".rsrc", ".reloc",
    "_RDATA", ".00cfg", ".fptable", ".didat", ".gfids", ".gxfg", ".gehcont",
};

// Names the program in gtest's messages instead of dumping the struct's bytes.
void PrintTo(const Program& program, std::ostream* out) { *out << program.file; }

Image loadOrFail(const std::string& file) {
    const std::wstring path = testsupport::joinPath(testsupport::exeFolder(), std::wstring(file.begin(), file.end()));
    const std::string bytes = testsupport::readFile(path);
    EXPECT_FALSE(bytes.empty()) << file << " is missing or empty beside the test";
    const release::ParseResult parsed = release::parseImage(bytes);
    EXPECT_TRUE(parsed.ok) << file << ": " << parsed.error;
    return parsed.image;
}

std::string hex(unsigned value) {
    char text[16];
    snprintf(text, sizeof text, "0x%x", value);
    return text;
}

class ReleaseImage : public ::testing::TestWithParam<Program> {};

TEST_P(ReleaseImage, IsA64BitGuiExecutable) {
    const Image image = loadOrFail(GetParam().file);
    EXPECT_EQ(hex(image.machine), hex(release::kMachineAmd64)) << "COFF machine (expected AMD64)";
    EXPECT_EQ(hex(image.magic), hex(release::kMagicPe32Plus)) << "optional header magic (expected PE32+)";
    EXPECT_EQ(image.subsystem, release::kSubsystemWindowsGui) << "subsystem (expected 2, WINDOWS_GUI)";
    EXPECT_TRUE(image.fileCharacteristics & release::kFileExecutableImage)
        << "file characteristics " << hex(image.fileCharacteristics) << " lack EXECUTABLE_IMAGE";
}

TEST_P(ReleaseImage, HasAddressRandomisationAndDep) {
    const Image image = loadOrFail(GetParam().file);
    struct Flag {
        unsigned bit;
        const char* name;
        bool inDllCharacteristics;
    };
    const Flag flags[] = {
        {release::kDllDynamicBase, "DYNAMIC_BASE", true},
        {release::kDllHighEntropyVa, "HIGH_ENTROPY_VA", true},
        {release::kDllNxCompat, "NX_COMPAT", true},
        // High-entropy addresses only take effect for a large-address-aware image.
        {release::kFileLargeAddressAware, "LARGE_ADDRESS_AWARE", false},
    };
    for (const Flag& flag : flags) {
        const unsigned field = flag.inDllCharacteristics ? image.dllCharacteristics : image.fileCharacteristics;
        EXPECT_EQ(hex(field & flag.bit), hex(flag.bit))
            << flag.name << " is missing; " << (flag.inDllCharacteristics ? "DllCharacteristics" : "Characteristics")
            << " = " << hex(field);
    }
}

TEST_P(ReleaseImage, IsStripped) {
    const Image image = loadOrFail(GetParam().file);
    EXPECT_EQ(image.symbolTableOffset, 0u) << "PointerToSymbolTable (expected no COFF symbol table)";
    EXPECT_EQ(image.symbolCount, 0u) << "NumberOfSymbols (expected none)";
    for (unsigned type : image.debugTypes) {
        EXPECT_NE(type, release::kDebugTypeCodeView) << "the debug directory points to a PDB (CodeView entry)";
    }
    for (const release::Section& s : image.sections) {
        EXPECT_NE(s.name.rfind(".debug", 0), 0u) << "debug information section " << s.name;
    }
}

TEST_P(ReleaseImage, HasOnlyOrdinarySectionsAndNoWritableCode) {
    const Image image = loadOrFail(GetParam().file);
    ASSERT_FALSE(image.sections.empty());
    for (const release::Section& s : image.sections) {
        // Long names ("/4") point into a string table that only unstripped files carry;
        // packers such as UPX add their own names ("UPX0").
        const bool ordinary =
            std::find(kOrdinarySections.begin(), kOrdinarySections.end(), s.name) != kOrdinarySections.end();
        EXPECT_TRUE(ordinary) << "unexpected section \"" << s.name << "\"";
        const unsigned writableCode = release::kSectionExecute | release::kSectionWrite;
        EXPECT_NE(s.characteristics & writableCode, writableCode)
            << "section \"" << s.name << "\" is both writable and executable; characteristics = "
            << hex(s.characteristics);
    }
}

// Each program is downloaded and started on its own: it must stay under 400 KB.
TEST_P(ReleaseImage, IsUnder400KB) {
    const std::string file = GetParam().file;
    const std::size_t size =
        testsupport::readFile(testsupport::joinPath(testsupport::exeFolder(), std::wstring(file.begin(), file.end())))
            .size();
    EXPECT_GT(size, 0u) << file << " is missing or empty beside the test";
    EXPECT_LT(size, 400u * 1024u) << file << " is " << size << " bytes";
}

TEST_P(ReleaseImage, ImportsOnlyDllsEveryWindowsHas) {
    const Program& program = GetParam();
    const Image image = loadOrFail(program.file);
    std::vector<std::string> all;
    for (const std::string& dll : image.imports) all.push_back(lowerAscii(dll));
    for (const std::string& dll : image.delayImports) all.push_back(lowerAscii(dll));

    // Every Windows GUI program imports these; seeing them shows the directory was read.
    for (const char* needed : {"kernel32.dll", "user32.dll"}) {
        EXPECT_NE(std::find(all.begin(), all.end(), needed), all.end()) << needed << " not among the imports";
    }
    for (const std::string& dll : all) {
        const bool allowed = std::find(kSystemDlls.begin(), kSystemDlls.end(), dll) != kSystemDlls.end() ||
                             std::find(program.extraDlls.begin(), program.extraDlls.end(), dll) !=
                                 program.extraDlls.end() ||
                             dll.rfind(kUcrtPrefix, 0) == 0;
        EXPECT_TRUE(allowed) << program.file << " imports " << dll << ", which is not in its allowed list";
    }
}

INSTANTIATE_TEST_SUITE_P(Shipped, ReleaseImage, ::testing::ValuesIn(kPrograms),
                         [](const ::testing::TestParamInfo<Program>& info) {
                             std::string name = info.param.file;
                             name = name.substr(0, name.find('.'));
                             name.erase(std::remove(name.begin(), name.end(), '_'), name.end());
                             return name;
                         });

// The reader must refuse damaged files instead of returning empty lists that would pass
// the checks above. Each case damages a copy of the launcher in one place.
TEST(PeReader, RejectsDamagedImages) {
    const std::string good =
        testsupport::readFile(testsupport::joinPath(testsupport::exeFolder(), L"gnatter_gui.exe"));
    ASSERT_TRUE(release::parseImage(good).ok) << release::parseImage(good).error;
    const std::uint32_t pe = static_cast<unsigned char>(good[0x3c]) | static_cast<unsigned char>(good[0x3d]) << 8 |
                             static_cast<unsigned char>(good[0x3e]) << 16 | static_cast<unsigned char>(good[0x3f]) << 24;
    const std::uint32_t optional = pe + 24;
    struct Damage {
        const char* what;
        std::string bytes;
        const char* expectedError;  // a part of the error sentence
    };
    auto patched = [&](std::size_t at, const std::string& with) { return std::string(good).replace(at, with.size(), with); };
    const Damage cases[] = {
        {"empty file", "", "DOS header"},
        {"no MZ", patched(0, "ZM"), "DOS header"},
        {"cut after the DOS header", good.substr(0, 0x40), "signature"},
        {"broken PE signature", patched(pe, "PX"), "signature"},
        {"32-bit optional header", patched(optional, std::string("\x0b\x01", 2)), "not PE32+"},
        {"cut inside the section table", good.substr(0, optional + 240 + 20), "sections"},
        {"import directory outside every section",
         patched(optional + 112 + 8, std::string("\x00\x00\x00\x7f", 4)), "import directory"},
    };
    for (const Damage& damage : cases) {
        const release::ParseResult parsed = release::parseImage(damage.bytes);
        EXPECT_FALSE(parsed.ok) << damage.what << ": accepted";
        EXPECT_NE(parsed.error.find(damage.expectedError), std::string::npos)
            << damage.what << ": expected an error about \"" << damage.expectedError << "\", got \"" << parsed.error
            << "\"";
    }
}

#ifdef __MINGW32__
// This test program is linked like the products but not stripped, so the same reader
// must find its COFF symbol table: the stripped check above can tell the difference.
TEST(PeReader, SeesTheSymbolsOfAnUnstrippedProgram) {
    const release::ParseResult self = release::parseImage(
        testsupport::readFile(testsupport::joinPath(testsupport::exeFolder(), L"release_image_test.exe")));
    ASSERT_TRUE(self.ok) << self.error;
    EXPECT_NE(self.image.symbolTableOffset, 0u);
    EXPECT_GT(self.image.symbolCount, 0u);
}
#endif

}  // namespace
