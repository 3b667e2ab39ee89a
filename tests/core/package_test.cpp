#include "core/package.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "core/language.h"
#include "core/mailboxes.h"
#include "core/path_resolution.h"
#include "core/stream.h"
#include "test_support.h"

namespace {

// The mask as the package format defines it, written out independently of the program's
// own, so that a reader and a writer sharing one wrong mask cannot agree by accident.
uint8_t FormatMask(const uint8_t* key, uint32_t keyLength, uint32_t keyOffset, uint32_t p) {
    const uint32_t k = (keyOffset + p) % keyLength;
    uint8_t mask = key[k];
    if (p % 2 == 1)
        mask ^= key[k + 1];
    else
        mask ^= k == 0 ? 0 : key[k - 1];
    return mask;
}

struct Deterministic {
    uint32_t state;
    uint32_t Next() { return state = state * 1664525u + 1013904223u; }
    uint8_t Byte() { return static_cast<uint8_t>(Next() >> 24); }
};

std::string RandomBytes(Deterministic& random, size_t n) {
    std::string bytes(n, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random.Byte());
    return bytes;
}

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; i++)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutUtf16(std::string& out, const std::string& ascii) {
    PutU32(out, static_cast<uint32_t>(ascii.size() + 1));
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    out += std::string(2, '\0');
}

struct EntrySpec {
    std::string relativeName;
    std::string content;
    uint32_t position = 0;
};

// Appends a package to a copy of the running test program, the way the packer lays it out:
// entry data (each behind a filler), header, masked parameter text and entry table, trailer.
class PackageWriter {
public:
    PackageWriter(const TempFolder& folder, bool masked, uint8_t headerByte)
        : m_folder(folder), m_masked(masked) {
        Deterministic random{headerByte * 7919u + 1u};
        m_header = RandomBytes(random, static_cast<size_t>(PackageHeaderSize(headerByte)));
        m_header[0] = static_cast<char>(headerByte);
        m_keyLength = static_cast<uint32_t>(PackageKeyLength(headerByte));
        m_keyOffset = static_cast<uint32_t>(PackageKeyOffset(headerByte));
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        m_file = TempFolder::ReadAll(self);
    }

    void Add(const std::string& relativeName, const std::string& content) {
        m_entries.push_back({relativeName, content, 0});
    }

    // Writes the package; answers its path.
    std::string Finish(const std::string& parameterText) {
        Deterministic random{12345};
        for (EntrySpec& entry : m_entries) {
            AppendMasked(RandomBytes(random, random.Next() % m_keyLength));   // the filler
            entry.position = static_cast<uint32_t>(m_file.size());
            AppendMasked(entry.content);
        }
        const uint32_t headerPosition = static_cast<uint32_t>(m_file.size());
        m_file += m_header;
        std::string middle;
        PutUtf16(middle, parameterText);
        middle += '\x5A';   // reserved
        PutU32(middle, static_cast<uint32_t>(m_entries.size()));
        for (const EntrySpec& entry : m_entries) {
            PutUtf16(middle, entry.relativeName);
            PutU32(middle, entry.position);
            PutU32(middle, static_cast<uint32_t>(entry.content.size()));
        }
        AppendMasked(middle);
        PutU32(m_file, headerPosition);
        m_file += m_masked ? '\0' : '\x01';
        m_file += "KZRPACK";
        m_file += std::string(16 - m_file.size() % 16, '\0');
        return m_folder.Write("player.exe", m_file);
    }

    const std::vector<EntrySpec>& Entries() const { return m_entries; }

private:
    void AppendMasked(const std::string& bytes) {
        const auto* key = reinterpret_cast<const uint8_t*>(m_header.data());
        for (char c : bytes) {
            uint8_t b = static_cast<uint8_t>(c);
            if (m_masked)
                b ^= FormatMask(key, m_keyLength, m_keyOffset, static_cast<uint32_t>(m_file.size()));
            m_file += static_cast<char>(b);
        }
    }

    const TempFolder& m_folder;
    bool m_masked;
    std::string m_header;
    uint32_t m_keyLength;
    uint32_t m_keyOffset;
    std::string m_file;
    std::vector<EntrySpec> m_entries;
};

std::string ReadUtf16(CFicheroHttp& stream) {
    uint32_t units = 0;
    if (stream.ReadInt32(&units) != 4 || units == 0 || units > 4096)
        return "<bad>";
    std::string text;
    for (uint32_t i = 0; i < units; i++) {
        uint16_t unit = 0;
        stream.ReadInt16(&unit);
        if (unit)
            text += static_cast<char>(unit);
    }
    return text;
}

// Plays the start-up reader's part: finds the trailer in the file's last 6500 bytes, takes the
// header as the key and fills the package table with the entries made absolute against the
// program's folder. Answers the parameter text, or "<none>" when no package was found.
std::string LoadPackage(const std::string& path, const std::string& folder) {
    CFicheroHttp stream;
    if (!stream.Open(path.c_str(), OpenNoPackage))
        return "<none>";
    const int64_t length = stream.GetLength();
    const int64_t tailStart = length > 6500 ? length - 6500 : 0;
    std::string tail(static_cast<size_t>(length - tailStart), '\0');
    stream.Seek(tailStart);
    stream.Read(&tail[0], static_cast<int>(tail.size()));
    uint32_t headerPosition = 0;
    int8_t scrambleValue = 0;
    for (size_t i = 5; i + 7 <= tail.size(); i++) {
        if (tail.compare(i, 7, "KZRPACK") != 0)
            continue;
        std::memcpy(&headerPosition, &tail[i - 5], 4);
        scrambleValue = static_cast<int8_t>(tail[i - 1]);
        if (headerPosition)
            break;
    }
    if (!headerPosition)
        return "<none>";
    uint8_t header[kPackageKeySize] = {};
    stream.Seek(headerPosition);
    stream.Read(header, 1);
    stream.Read(header + 1, PackageHeaderSize(header[0]) - 1);
    if (!MakePackageKey(header, PackageHeaderSize(header[0]), scrambleValue, &g_packageKey))
        return "<bad key>";
    ApplyPackageKey(g_packageKey, &stream);
    std::string parameters = ReadUtf16(stream);
    uint8_t reserved = 0;
    stream.Read(&reserved, 1);
    uint32_t count = 0;
    stream.ReadInt32(&count);
    g_packageTable.RemoveAll();
    CTexto startFolder(folder.c_str());
    for (uint32_t i = 0; i < count && i < 1000; i++) {
        CTexto name(ReadUtf16(stream).c_str());
        uint32_t position = 0, size = 0;
        stream.ReadInt32(&position);
        stream.ReadInt32(&size);
        ResolvePath(name, &startFolder, nullptr);
        AddPackageEntry(&g_packageTable, name.GetText(), position, size);
    }
    g_programPath = path.c_str();
    g_runningFromPackage = 1;
    return parameters;
}

std::string ReadAllOf(const char* name, int chunk) {
    CFicheroHttp stream;
    if (!stream.Open(name))
        return "<not opened>";
    std::string bytes;
    std::vector<char> buffer(static_cast<size_t>(chunk));
    int got;
    while ((got = stream.Read(buffer.data(), chunk)) > 0)
        bytes.append(buffer.data(), static_cast<size_t>(got));
    return bytes;
}

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearPackage();
        CTexto drop;
        TakePendingMessage(&drop);
    }
    void TearDown() override {
        ClearPackage();
        g_programPath = "";
    }

    // Builds and loads a package of a few entries of every awkward kind.
    void BuildAndLoad(bool masked, uint8_t headerByte) {
        Deterministic random{99};
        PackageWriter writer(m_folder, masked, headerByte);
        writer.Add("tour.txt", "\xFF\xFE" + std::string("t\0o\0u\0r\0", 8));
        writer.Add("images/pano.jpg", RandomBytes(random, 300001));
        writer.Add("empty.dat", "");
        writer.Add("one.bin", "\x7F");
        writer.Add("data\\Mixed Case.TXT", "plain text");
        m_path = writer.Finish("src=tour.txt fullscreen=1");
        m_entries = writer.Entries();
        ASSERT_EQ(LoadPackage(m_path, m_folder.Path()), "src=tour.txt fullscreen=1");
    }

    std::string Absolute(const std::string& relative) {
        CTexto name(relative.c_str());
        CTexto base(m_folder.Path().c_str());
        ResolvePath(name, &base, nullptr);
        return name.GetText();
    }

    TempFolder m_folder;
    std::string m_path;
    std::vector<EntrySpec> m_entries;
};

}  // namespace

// Known answers of the mask for a key of a few marked bytes, including key[-1] counting as 0,
// key[L] taken from the header and the wrap of K + P in 32 bits.
TEST(PackageMask, KnownAnswers) {
    CFicheroHttp stream;
    stream.m_keyLength = 100;
    stream.m_keyOffset = 20;
    stream.m_scrambleOff = kPackageMasked;
    stream.m_key[0] = 0x80;
    stream.m_key[19] = 0x10;
    stream.m_key[20] = 0x01;
    stream.m_key[21] = 0x02;
    stream.m_key[22] = 0x04;
    stream.m_key[99] = 0x20;
    stream.m_key[100] = 0x40;
    struct Case { uint32_t position; uint8_t mask; };
    const Case cases[] = {
        {0, 0x11},            // k 20, even: key[20] ^ key[19]
        {1, 0x06},            // k 21, odd: key[21] ^ key[22]
        {80, 0x80},           // k 0, even: key[0] ^ (key[-1] = 0)
        {79, 0x60},           // k 99, odd: key[99] ^ key[100]
        {0xFFFFFFFFu, 0x11},  // K + P wraps to 19: key[19] ^ key[20]
    };
    for (const Case& c : cases) {
        uint8_t byte = 0;
        stream.DescrambleBytes(&byte, 1, c.position);
        EXPECT_EQ(byte, c.mask) << c.position;
    }
}

// The program's mask agrees with the format's for every key shape and position, and masking
// twice restores the bytes, whatever the start and length.
TEST(PackageMask, MatchesTheFormatAndIsItsOwnInverse) {
    Deterministic random{7};
    for (int headerByte : {0x00, 0x3F, 0xC0, 0xFF, 0x5A}) {
        std::string header = RandomBytes(random, static_cast<size_t>(PackageHeaderSize(static_cast<uint8_t>(headerByte))));
        header[0] = static_cast<char>(headerByte);
        PackageKey key;
        ASSERT_TRUE(MakePackageKey(reinterpret_cast<const uint8_t*>(header.data()),
                                   static_cast<int>(header.size()), kPackageMasked, &key));
        CFicheroHttp stream;
        ApplyPackageKey(key, &stream);
        for (uint32_t start : {0u, 1u, 2u, 99u, 1000001u, 0xFFFFFF00u}) {
            for (int count : {1, 2, 7, 300}) {
                std::string plain = RandomBytes(random, static_cast<size_t>(count));
                std::vector<uint8_t> masked(plain.size());
                stream.ScrambleBytes(masked.data(), reinterpret_cast<const uint8_t*>(plain.data()), count, start);
                for (int i = 0; i < count; i++) {
                    uint8_t expected = static_cast<uint8_t>(plain[static_cast<size_t>(i)]) ^
                        FormatMask(key.key, static_cast<uint32_t>(key.keyLength),
                                   static_cast<uint32_t>(key.keyOffset), start + static_cast<uint32_t>(i));
                    ASSERT_EQ(masked[static_cast<size_t>(i)], expected) << headerByte << " " << start << " " << i;
                }
                stream.DescrambleBytes(masked.data(), count, start);
                ASSERT_EQ(std::string(masked.begin(), masked.end()), plain);
            }
        }
    }
}

TEST(PackageMask, OnlyScramblingWordZeroMasks) {
    PackageKey key;
    std::string header(static_cast<size_t>(PackageHeaderSize(0x21)), '\x5C');
    header[0] = '\x21';
    ASSERT_TRUE(MakePackageKey(reinterpret_cast<const uint8_t*>(header.data()),
                               static_cast<int>(header.size()), kPackageMasked, &key));
    EXPECT_EQ(key.keyLength, 0x21 + 100);
    EXPECT_EQ(key.keyOffset, 2 + 20);
    for (int32_t word : {kPackageNoKey, 1, 5, -128}) {
        key.scrambleWord = word;
        CFicheroHttp stream;
        ApplyPackageKey(key, &stream);
        uint8_t bytes[5] = {1, 2, 3, 4, 5};
        stream.DescrambleBytes(bytes, 5, 3);
        EXPECT_EQ(std::memcmp(bytes, "\1\2\3\4\5", 5), 0) << word;
    }
    // A header shorter than its first byte asks for gives no key.
    EXPECT_FALSE(MakePackageKey(reinterpret_cast<const uint8_t*>(header.data()),
                                static_cast<int>(header.size()) - 1, kPackageMasked, &key));
}

TEST_F(PackageTest, EveryEntryReadsBackIdenticalInAnyPieces) {
    BuildAndLoad(true, 0xB7);
    ASSERT_EQ(g_packageTable.GetCount(), static_cast<int32_t>(m_entries.size()));
    for (const EntrySpec& entry : m_entries) {
        SCOPED_TRACE(entry.relativeName);
        std::string name = Absolute(entry.relativeName);
        ASSERT_NE(FindPackageEntry(name.c_str()), nullptr);
        for (int chunk : {1, 3, 4096, 65536, 1000000})
            EXPECT_TRUE(ReadAllOf(name.c_str(), chunk) == entry.content) << chunk;

        CFicheroHttp stream;
        ASSERT_TRUE(stream.Open(name.c_str()));
        EXPECT_EQ(stream.GetLength(), static_cast<int64_t>(entry.content.size()));
        if (entry.content.size() > 10) {
            // A read that starts at an odd position inside the entry sees the same bytes.
            EXPECT_EQ(stream.Seek(5), 5);
            std::string rest(entry.content.size() - 5, '\0');
            EXPECT_EQ(stream.Read(&rest[0], static_cast<int>(rest.size())), static_cast<int>(rest.size()));
            EXPECT_TRUE(rest == entry.content.substr(5));
        }
    }
}

// Reads never run past an entry into the next one, and an empty entry is empty.
TEST_F(PackageTest, ReadsStopAtTheEntryEnd) {
    BuildAndLoad(true, 0x42);
    std::string pano = Absolute("images/pano.jpg");
    CFicheroHttp stream;
    ASSERT_TRUE(stream.Open(pano.c_str()));
    const int size = static_cast<int>(stream.GetLength());
    ASSERT_EQ(stream.Seek(size - 10), size - 10);
    std::vector<char> buffer(100);
    EXPECT_EQ(stream.Read(buffer.data(), 100), 10);
    EXPECT_EQ(stream.GetPosition(), size);
    EXPECT_EQ(stream.Read(buffer.data(), 100), 0);

    std::string empty = Absolute("empty.dat");
    ASSERT_TRUE(stream.Open(empty.c_str()));
    EXPECT_EQ(stream.GetLength(), 0);
    EXPECT_EQ(stream.Read(buffer.data(), 100), 0);

    std::string one = Absolute("one.bin");
    ASSERT_TRUE(stream.Open(one.c_str()));
    EXPECT_EQ(stream.Read(buffer.data(), 100), 1);
    EXPECT_EQ(buffer[0], '\x7F');
}

TEST_F(PackageTest, PlainPackagesReadAlike) {
    BuildAndLoad(false, 0x0F);
    EXPECT_NE(g_packageKey.scrambleWord, kPackageMasked);
    for (const EntrySpec& entry : m_entries)
        EXPECT_TRUE(ReadAllOf(Absolute(entry.relativeName).c_str(), 777) == entry.content) << entry.relativeName;
}

// Text files inside a package load like files on disk.
TEST_F(PackageTest, TextFilesLoadFromEntries) {
    BuildAndLoad(true, 0x99);
    CTexto text;
    EXPECT_EQ(text.LoadFromFile(Absolute("tour.txt").c_str()), 10);
    EXPECT_STREQ(text.GetText(), "tour");
    EXPECT_EQ(text.LoadFromFile(Absolute("data/Mixed Case.TXT").c_str()), 10);
    EXPECT_STREQ(text.GetText(), "plain text");
    EXPECT_EQ(text.LoadFromFile(Absolute("empty.dat").c_str()), 0);
    EXPECT_STREQ(text.GetText(), "");
}

// Inside a package only the table counts: a name it lacks fails with the missing-file message
// (whatever the flags), even when the file exists on disk.
TEST_F(PackageTest, NamesOutsideTheTableAreRefused) {
    BuildAndLoad(true, 0x10);
    std::string onDisk = m_folder.Write("outside.txt", "on disk");
    CFicheroHttp stream;
    EXPECT_FALSE(stream.Open(onDisk.c_str()));
    CTexto message;
    ASSERT_TRUE(TakePendingMessage(&message));
    EXPECT_EQ(std::string(message.GetText()), std::string(GetLanguageLine(2)) + " " + onDisk);

    // Names match exactly: another letter case or a relative form misses.
    std::string mixed = Absolute("data/Mixed Case.TXT");
    std::string lower = mixed;
    for (char& c : lower)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_FALSE(stream.Open(lower.c_str()));
    EXPECT_FALSE(stream.Open("one.bin"));

    // Past the table on purpose, or for writing, the file system answers.
    EXPECT_TRUE(stream.Open(onDisk.c_str(), OpenNoPackage));
    char buffer[16] = {};
    EXPECT_EQ(stream.Read(buffer, 16), 7);
    stream.Close();

    // Pages and movies stay reachable outside the table.
    std::string page = m_folder.Write("help.html", "<html/>");
    EXPECT_TRUE(stream.Open(page.c_str()));
    stream.Close();

    ClearPackage();
    EXPECT_TRUE(stream.Open(onDisk.c_str()));
}

// An entry whose recorded size runs past the end of the file gives what is there.
TEST_F(PackageTest, TruncatedEntryGivesWhatIsThere) {
    BuildAndLoad(true, 0x77);
    const PackageEntry* one = FindPackageEntry(Absolute("one.bin").c_str());
    ASSERT_NE(one, nullptr);
    const uint32_t fileSize = static_cast<uint32_t>(TempFolder::ReadAll(m_path).size());
    AddPackageEntry(&g_packageTable, "C:\\beyond.txt", fileSize - 5, 1000);
    CTexto text("kept");
    EXPECT_EQ(text.LoadFromFile("C:\\beyond.txt"), 5);
    AddPackageEntry(&g_packageTable, "C:\\outside.txt", fileSize + 100, 50);
    EXPECT_EQ(text.LoadFromFile("C:\\outside.txt"), 0);
    EXPECT_STREQ(text.GetText(), "");
}

TEST(PackageTable, LookupAnswers) {
    ClearPackage();
    PackageEntryLocation location;
    EXPECT_EQ(LookupPackageEntry("C:\\x.jpg", &location), PackageLookup::NoPackage);
    AddPackageEntry(&g_packageTable, "C:\\x.jpg", 1234, 56);
    // Without the running flag the table is not consulted by opens.
    EXPECT_EQ(LookupPackageEntry("C:\\x.jpg", &location), PackageLookup::NoPackage);
    g_runningFromPackage = 1;
    g_programPath = "C:\\player.exe";
    g_packageKey.keyLength = 120;
    g_packageKey.keyOffset = 25;
    g_packageKey.scrambleWord = 0;
    ASSERT_EQ(LookupPackageEntry("C:\\x.jpg", &location), PackageLookup::Found);
    EXPECT_STREQ(location.packagePath, "C:\\player.exe");
    EXPECT_EQ(location.dataPosition, 1234u);
    EXPECT_EQ(location.size, 56u);
    EXPECT_EQ(location.keyLength, 120);
    EXPECT_EQ(location.keyOffset, 25);
    EXPECT_EQ(location.scrambleWord, 0);
    EXPECT_EQ(LookupPackageEntry("C:\\X.jpg", &location), PackageLookup::Missing);
    EXPECT_EQ(LookupPackageEntry("", &location), PackageLookup::Missing);

    // Other records of the same type code in the table are not entries.
    ItemRecord* image = g_packageTable.CreateItem(ItemType::PackageEntry, 0);
    image->name = "C:\\y.jpg";
    EXPECT_EQ(FindPackageEntry("C:\\y.jpg"), nullptr);
    EXPECT_NE(FindPackageEntry("C:\\x.jpg"), nullptr);

    ClearPackage();
    g_programPath = "";
    EXPECT_EQ(g_packageTable.GetCount(), 0);
    EXPECT_EQ(g_packageKey.scrambleWord, kPackageNoKey);
    EXPECT_EQ(LookupPackageEntry("C:\\x.jpg", &location), PackageLookup::NoPackage);
}
