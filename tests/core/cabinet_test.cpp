// Cabinet extraction through Wine's cabinet.dll, with cabinets made by gcab: the file ones by
// make_test_cabinets.sh before the tests run, the resource one at configure time.
#include <winsock2.h>

#include "core/cabinet.h"

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/cabinet_test_resource.h"
#include "core/http_test_support.h"
#include "core/stream.h"
#include "test_support.h"

namespace {

const char* const kSourceFiles[] = {"readme.txt", "empty.dat", "sub\\nested.txt", "data.bin"};
const char* const kResourceFiles[] = {"resource.txt", "repeated.txt"};
// The entry name of named.cab that the tests replace with names of the same length.
const std::string kPlaceholderName = "zzzzzzzzzzzzzzzz.txt";

std::string Fixture(const std::string& name) {
    return test_support::BuildPath("test-fixtures\\cabinets\\" + name);
}

bool FixturesPresent() {
    return GetFileAttributesA(Fixture("stored.cab").c_str()) != INVALID_FILE_ATTRIBUTES;
}

#define REQUIRE_FIXTURES()                                                                    \
    ASSERT_TRUE(FixturesPresent()) << "the cabinets are made by the CTest fixture "           \
                                      "core_cabinet_fixtures (tests/core/make_test_cabinets.sh)"

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Every listed file of the destination equals the one in the source folder, byte for byte.
void ExpectSameFiles(const std::string& sourceFolder, const std::string& destination,
                     const char* const* names, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(names[i]);
        const std::string expected = TempFolder::ReadAll(sourceFolder + names[i]);
        ASSERT_TRUE(Exists(destination + names[i]));
        const std::string got = TempFolder::ReadAll(destination + names[i]);
        EXPECT_EQ(got.size(), expected.size());
        EXPECT_TRUE(got == expected);
    }
}

// A copy of named.cab whose one entry is called name (as long as the placeholder).
std::string RenamedCabinet(const TempFolder& folder, const std::string& name) {
    std::string bytes = TempFolder::ReadAll(Fixture("named.cab"));
    const size_t at = bytes.find(kPlaceholderName);
    EXPECT_NE(at, std::string::npos);
    EXPECT_EQ(name.size(), kPlaceholderName.size());
    if (at != std::string::npos)
        bytes.replace(at, kPlaceholderName.size(), name);
    return folder.Write("renamed.cab", bytes);
}

}  // namespace

TEST(Cabinet, StoredAndMszipCabinetsExtractByteIdentical) {
    REQUIRE_FIXTURES();
    const std::string sources = Fixture("src\\");
    for (const char* cabinet : {"stored.cab", "mszip.cab"}) {
        for (bool trailingSeparator : {true, false}) {
            SCOPED_TRACE(std::string(cabinet) + (trailingSeparator ? " into dest\\" : " into dest"));
            TempFolder destination;
            std::string folder = destination.Path();
            if (!trailingSeparator)
                folder.pop_back();
            ASSERT_EQ(ExtractCabinet(Fixture(cabinet).c_str(), folder.c_str()), 1);
            ExpectSameFiles(sources, destination.Path(), kSourceFiles, std::size(kSourceFiles));
        }
    }
}

TEST(Cabinet, ArchivesAtALoopbackUrlExtractByteIdentical) {
    REQUIRE_FIXTURES();
    ASSERT_GT(http_test::ServerPort(), 0) << "the loopback HTTP server fixture is not running";
    // The library reads the archive through the HTTP client while it extracts: seeks and all.
    for (const char* cabinet : {"stored.cab", "mszip.cab"}) {
        SCOPED_TRACE(cabinet);
        TempFolder destination;
        const std::string url = http_test::Url(std::string("/fixtures/cabinets/") + cabinet);
        ASSERT_EQ(ExtractCabinet(url.c_str(), destination.Path().c_str()), 1);
        ExpectSameFiles(Fixture("src\\"), destination.Path(), kSourceFiles, std::size(kSourceFiles));
    }
    TempFolder destination;
    const std::string missing = http_test::Url("/fixtures/cabinets/missing.cab");
    EXPECT_EQ(ExtractCabinet(missing.c_str(), destination.Path().c_str()), 0);
}

TEST(Cabinet, ExtractingOverLargerReadOnlyFilesLeavesExactlyTheNewFiles) {
    REQUIRE_FIXTURES();
    TempFolder destination;
    CreateDirectoryA(destination.File("sub").c_str(), nullptr);
    for (const char* name : kSourceFiles) {
        const std::string path = destination.Write(name, std::string(400000, 'x'));
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    }
    ASSERT_EQ(ExtractCabinet(Fixture("mszip.cab").c_str(), destination.Path().c_str()), 1);
    ExpectSameFiles(Fixture("src\\"), destination.Path(), kSourceFiles, std::size(kSourceFiles));
}

TEST(Cabinet, ResourceCabinetExtractsByteIdentical) {
    const std::string sources = test_support::BuildPath("test-fixtures\\cabinet-resource\\src\\");
    {
        TempFolder destination;
        ASSERT_EQ(ExtractCabinetResource(CABINET_TEST_RESOURCE_ID, destination.Path().c_str()), 1);
        ExpectSameFiles(sources, destination.Path(), kResourceFiles, std::size(kResourceFiles));
    }
    {
        // The id's own bytes as the archive text, as callers holding a 32-bit id pass it.
        TempFolder destination;
        const uint32_t id = CABINET_TEST_RESOURCE_ID;
        ASSERT_EQ(ExtractCabinet(reinterpret_cast<const char*>(&id), destination.Path().c_str()), 1);
        ExpectSameFiles(sources, destination.Path(), kResourceFiles, std::size(kResourceFiles));
    }
    TempFolder destination;
    EXPECT_EQ(ExtractCabinetResource(CABINET_TEST_RESOURCE_ID + 1, destination.Path().c_str()), 0);
    EXPECT_EQ(ExtractCabinetResource(0x2300, destination.Path().c_str()), 0);   // low byte 0
}

TEST(Cabinet, EntriesThatWouldLeaveTheFolderStopTheExtraction) {
    REQUIRE_FIXTURES();
    TempFolder outer;
    const std::string destination = outer.File("dest\\");
    CreateDirectoryA(destination.c_str(), nullptr);

    // gcab keeps "x\..\..\escape_target.txt": it would land in outer.
    EXPECT_EQ(ExtractCabinet(Fixture("escape.cab").c_str(), destination.c_str()), 0);
    EXPECT_FALSE(Exists(outer.File("escape_target.txt")));

    // The untouched placeholder extracts, so what stops the others is their name.
    {
        const std::string cabinet = RenamedCabinet(outer, kPlaceholderName);
        EXPECT_EQ(ExtractCabinet(cabinet.c_str(), destination.c_str()), 1);
        EXPECT_TRUE(Exists(destination + kPlaceholderName));
    }
    const char* const hostile[] = {
        "..\\zzzzzzzzzzzzz.txt", "sub\\..\\..\\zzzzzz.txt", "\\zzzzzzzzzzzzzzz.txt",
        "/zzzzzzzzzzzzzzz.txt",  "C:zzzzzzzzzzzzzz.txt",   "C:\\zzzzzzzzzzzzz.txt",
        "...\\zzzzzzzzzzzz.txt", "a/../../zzzzzzzz.txt",
    };
    for (const char* name : hostile) {
        SCOPED_TRACE(name);
        const std::string cabinet = RenamedCabinet(outer, name);
        EXPECT_EQ(ExtractCabinet(cabinet.c_str(), destination.c_str()), 0);
        EXPECT_FALSE(Exists(outer.File("zzzzzzzzzzzzz.txt")));
        EXPECT_FALSE(Exists(outer.File("zzzzzz.txt")));
        EXPECT_FALSE(Exists(outer.File("zzzzzzzz.txt")));
    }
    EXPECT_FALSE(Exists("C:\\zzzzzzzzzzzzz.txt"));
    EXPECT_FALSE(Exists("\\zzzzzzzzzzzzzzz.txt"));
}

TEST(Cabinet, EntryNameCheck) {
    struct Case {
        const char* name;
        bool safe;
    };
    const Case cases[] = {
        {"file.txt", true},        {"sub\\file.txt", true},  {"a/b/c.bin", true},
        {"..file", true},          {"file..", true},         {"", false},
        {"..", false},             {"..\\x", false},         {"a\\..\\b", false},
        {"a\\...\\b", false},      {"a\\. .\\b", false},     {"\\x", false},
        {"/x", false},             {"C:x", false},           {"x:stream", false},
        {"sub\\", false},          {"a\\\\b", false},        {"a\tb", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsSafeCabinetEntryName(c.name), c.safe) << c.name;
    EXPECT_FALSE(IsSafeCabinetEntryName(nullptr));
}

TEST(Cabinet, AnArchiveThatBreaksOffLeavesNoCutFileAndFails) {
    REQUIRE_FIXTURES();
    TempFolder work;
    const std::string whole = TempFolder::ReadAll(Fixture("mszip.cab"));
    ASSERT_GT(whole.size(), 1000u);
    // Cut inside data.bin's compressed bytes: the library closes the file as usual.
    const std::string cabinet = work.Write("cut.cab", whole.substr(0, whole.size() / 2));
    TempFolder destination;
    EXPECT_EQ(ExtractCabinet(cabinet.c_str(), destination.Path().c_str()), 0);
    EXPECT_FALSE(Exists(destination.File("data.bin")));
}

TEST(Cabinet, WhatIsNotACabinetFails) {
    REQUIRE_FIXTURES();
    TempFolder work;
    const std::string text = work.Write("not.cab", "This is plain text, not a cabinet.");
    EXPECT_EQ(ExtractCabinet(text.c_str(), work.Path().c_str()), 0);
    EXPECT_EQ(ExtractCabinet(work.File("missing.cab").c_str(), work.Path().c_str()), 0);
    EXPECT_EQ(ExtractCabinet(Fixture("stored.cab").c_str(), ""), 0);
    EXPECT_EQ(ExtractCabinet(nullptr, work.Path().c_str()), 0);
}

TEST(Cabinet, CallbacksSeekFromEachOriginAndReportAFailedWrite) {
    TempFolder work;
    std::string path = work.Write("bytes.bin", "0123456789");
    // Opened for reading: every write fails and must say so.
    INT_PTR handle = CabinetOpen(&path[0], 0, 0);
    ASSERT_NE(handle, -1);
    EXPECT_EQ(CabinetSeek(handle, 3, SEEK_SET), 3);
    EXPECT_EQ(CabinetSeek(handle, 2, SEEK_CUR), 5);
    EXPECT_EQ(CabinetSeek(handle, -4, SEEK_END), 6);
    EXPECT_EQ(CabinetSeek(handle, -7, SEEK_CUR), -1);
    char byte = 0;
    EXPECT_EQ(CabinetRead(handle, &byte, 1), 1u);
    EXPECT_EQ(byte, '6');
    char data[] = "abc";
    EXPECT_EQ(CabinetWrite(handle, data, 3), static_cast<UINT>(-1));
    EXPECT_EQ(CabinetClose(handle), 0);

    // Opened to create: truncated, written, readable.
    path = work.File("created.bin");
    handle = CabinetOpen(&path[0], kCabinetOpenCreate, kCabinetReadPermission);
    ASSERT_NE(handle, -1);
    EXPECT_EQ(CabinetWrite(handle, data, 3), 3u);
    EXPECT_EQ(CabinetClose(handle), 0);
    EXPECT_EQ(TempFolder::ReadAll(path), "abc");

    std::string missing = work.File("missing.bin");
    EXPECT_EQ(CabinetOpen(&missing[0], 0, 0), -1);
    EXPECT_FALSE(Exists(missing));
}

TEST(Cabinet, AShortResourceNameIsNotReadPastItsEnd) {
    // The name's three bytes (id and its zero) end right before a page that cannot be read.
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const size_t page = system.dwPageSize;
    char* block = static_cast<char*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT,
                                                  PAGE_READWRITE));
    ASSERT_NE(block, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(block + page, page, PAGE_NOACCESS, &old));
    char* name = block + page - 3;
    name[0] = static_cast<char>(CABINET_TEST_RESOURCE_ID & 0xFF);
    name[1] = static_cast<char>(CABINET_TEST_RESOURCE_ID >> 8);
    name[2] = '\0';
    const INT_PTR handle = CabinetOpen(name, 0, 0);
    EXPECT_NE(handle, -1);
    if (handle != -1) {
        char signature[4] = {};
        EXPECT_EQ(CabinetRead(handle, signature, 4), 4u);
        EXPECT_EQ(std::string(signature, 4), "MSCF");
        CabinetClose(handle);
    }
    VirtualFree(block, 0, MEM_RELEASE);
}

TEST(Cabinet, DamagedTablesAreRefusedBeforeTheLibraryReadsThem) {
    REQUIRE_FIXTURES();
    const std::string good = TempFolder::ReadAll(Fixture("stored.cab"));
    ASSERT_GT(good.size(), 60u);
    struct Damage {
        const char* what;
        size_t offset;
        std::string bytes;
    };
    const std::string coffFiles = good.substr(16, 4);
    const Damage damages[] = {
        {"version 0.3", 25, std::string(1, '\0')},
        {"size beyond the file", 8, std::string("\xff\xff\xff\x7f", 4)},
        {"size below a header", 8, std::string("\x10\0\0\0", 4)},
        {"file table past the end", 16, std::string("\xff\xff\0\0", 4)},
        {"file table inside the header", 16, std::string("\x01\0\0\0", 4)},
        {"no folders", 26, std::string("\0\0", 2)},
        {"more files than entries", 28, std::string("\xff\x7f", 2)},
        {"folder data before the header", 36, std::string("\x04\0\0\0", 4)},
        {"unknown compression", 42, std::string("\x0f\0", 2)},
        {"file in a folder that does not exist", 0, std::string()},
    };
    TempFolder work;
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        std::string bytes = good;
        if (damage.bytes.empty()) {
            // The first file entry's folder index (coffFiles + 8) names folder 7.
            const uint32_t files = static_cast<uint8_t>(coffFiles[0]) |
                                   static_cast<uint8_t>(coffFiles[1]) << 8;
            bytes.replace(files + 8, 2, std::string("\x07\0", 2));
        } else {
            bytes.replace(damage.offset, damage.bytes.size(), damage.bytes);
        }
        const std::string cabinet = work.Write("damaged.cab", bytes);
        TempFolder destination;
        EXPECT_EQ(ExtractCabinet(cabinet.c_str(), destination.Path().c_str()), 0);
    }
    // The untouched archive still passes the same check.
    const std::string intact = work.Write("intact.cab", good);
    TempFolder destination;
    EXPECT_EQ(ExtractCabinet(intact.c_str(), destination.Path().c_str()), 1);
}
