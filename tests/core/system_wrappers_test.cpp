#include "core/system_wrappers.h"

#include <windows.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

void WriteText(const std::string& path, const char* text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written;
    WriteFile(file, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
    CloseHandle(file);
}

std::string ReadText(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    char buffer[256];
    DWORD got = 0;
    ReadFile(file, buffer, sizeof buffer, &got, nullptr);
    CloseHandle(file);
    return std::string(buffer, got);
}

}  // namespace

TEST(FileWrappers, ExistenceAndReadOnly) {
    TempFolder folder;
    const std::string file = folder.File("a.txt");
    EXPECT_FALSE(FileExists(file.c_str()));
    EXPECT_TRUE(IsReadOnlyFile(file.c_str())) << "a missing file's attributes read as all bits";
    EXPECT_FALSE(FileExists(nullptr));

    WriteText(file, "x");
    EXPECT_TRUE(FileExists(file.c_str()));
    EXPECT_TRUE(FileExists(folder.Path().c_str()));
    EXPECT_FALSE(IsReadOnlyFile(file.c_str()));

    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_TRUE(IsReadOnlyFile(file.c_str()));
    EXPECT_EQ(RemoveFile(file.c_str()), 0) << "read-only files are not deleted";
    ClearReadOnly(file.c_str());
    EXPECT_FALSE(IsReadOnlyFile(file.c_str()));
    EXPECT_EQ(RemoveFile(file.c_str()), 1);
    EXPECT_EQ(RemoveFile(file.c_str()), 0);
}

TEST(FileWrappers, CopyAndMoveReplaceReadOnlyTargets) {
    TempFolder folder;
    const std::string source = folder.File("source.txt");
    const std::string target = folder.File("target.txt");
    WriteText(source, "new");
    WriteText(target, "old");
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(CopyFileOverwrite(source.c_str(), target.c_str()));
    EXPECT_EQ(ReadText(target), "new");

    const std::string moved = folder.File("moved.txt");
    WriteText(moved, "older");
    SetFileAttributesA(moved.c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(MoveFileReplace(source.c_str(), moved.c_str()));
    EXPECT_FALSE(FileExists(source.c_str()));
    EXPECT_EQ(ReadText(moved), "new");
    EXPECT_FALSE(CopyFileOverwrite((folder.File("none")).c_str(), target.c_str()));
}

TEST(FileWrappers, CreateDirectoryPathMakesEveryParent) {
    TempFolder folder;
    const std::string deep = folder.File("a\\b\\c");
    EXPECT_TRUE(CreateDirectoryPath(deep.c_str()));
    EXPECT_TRUE(FileExists((folder.File("a")).c_str()));
    EXPECT_TRUE(FileExists((folder.File("a\\b")).c_str()));
    EXPECT_TRUE(FileExists(deep.c_str()));
    EXPECT_FALSE(CreateDirectoryPath(deep.c_str())) << "an existing folder answers false";
    // Short texts never read past their end.
    EXPECT_FALSE(CreateDirectoryPath(""));
    EXPECT_FALSE(CreateDirectoryPath(nullptr));
    CreateDirectoryPath("C:");
}

namespace {

class RegistryKey : public ::testing::Test {
protected:
    void SetUp() override {
        subKey_ = "Software\\LumarixTest\\" + std::to_string(GetCurrentProcessId());
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, subKey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key_, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(key_);
        RegDeleteKeyA(HKEY_CURRENT_USER, subKey_.c_str());
    }
    void Set(const char* name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }
    std::string subKey_;
    HKEY key_ = nullptr;
};

}  // namespace

TEST_F(RegistryKey, ReadsIntoTheFirstOutputGiven) {
    DWORD word = 0x12345678;
    Set("word", REG_DWORD, &word, sizeof word);
    Set("text", REG_SZ, "proxy:8080", 11);
    BYTE one = 0x5A;
    Set("byte", REG_BINARY, &one, 1);

    DWORD dword = 0;
    char text[kRegistryTextSize];
    BYTE byte = 0;
    const char* key = subKey_.c_str();
    EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, key, "word", &dword, nullptr, nullptr), 4);
    EXPECT_EQ(dword, 0x12345678u);
    EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, key, "text", nullptr, text, nullptr), 11);
    EXPECT_STREQ(text, "proxy:8080");
    EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, key, "byte", &dword, text, &byte), 1);
    EXPECT_EQ(byte, 0x5A);

    // A 4-byte value does not fit the byte output; missing values, keys and outputs fail.
    EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, key, "word", nullptr, nullptr, &byte), 0);
    EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, key, "none", &dword, nullptr, nullptr), 0);
    EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, "Software\\LumarixTest\\none", "word", &dword, nullptr, nullptr), 0);
    EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, key, "word", nullptr, nullptr, nullptr), 0);
}

TEST_F(RegistryKey, TextIsAlwaysTerminated) {
    // Stored without terminators: one that leaves room for it, one that fills the output.
    std::string full(kRegistryTextSize - 1, 'x');
    Set("full", REG_SZ, full.data(), static_cast<DWORD>(full.size()));
    std::string tooLong(kRegistryTextSize, 'y');
    Set("long", REG_SZ, tooLong.data(), static_cast<DWORD>(tooLong.size()));

    char text[kRegistryTextSize + 1];
    std::memset(text, '#', sizeof text);
    const char* key = subKey_.c_str();
    EXPECT_GE(ReadRegistryValue(HKEY_CURRENT_USER, key, "full", nullptr, text, nullptr), static_cast<int>(full.size()));
    EXPECT_EQ(full, text);
    EXPECT_EQ(text[kRegistryTextSize], '#') << "nothing written past the output";

    std::memset(text, '#', sizeof text);
    EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, key, "long", nullptr, text, nullptr), 0);
    EXPECT_EQ(text[0], '\0');
    EXPECT_EQ(text[kRegistryTextSize], '#');

    char small[4];
    EXPECT_EQ(ReadRegistryValue(HKEY_CURRENT_USER, key, "full", nullptr, small, nullptr, sizeof small), 0);
    EXPECT_EQ(small[0], '\0');
}

namespace {

std::string g_askedText;
UINT g_askedType = 0;

int AnswerNo(HWND, const char* text, const char*, UINT type) {
    g_askedText = text;
    g_askedType = type;
    return IDNO;
}

}  // namespace

TEST(ProcessWrappers, MessageBoxesCanBeAnsweredByTests) {
    MessageBoxFunction previous = SetMessageBoxFunction(&AnswerNo);
    EXPECT_EQ(ShowMessageBox(nullptr, "Replace?", kMessageBoxCaption, MB_YESNO), IDNO);
    EXPECT_EQ(g_askedText, "Replace?");
    EXPECT_EQ(g_askedType, static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(SetMessageBoxFunction(previous), &AnswerNo);
}

TEST(ProcessWrappers, ComServerFailures) {
    EXPECT_EQ(RegisterComServer(nullptr, true), 1);
    EXPECT_EQ(RegisterComServer("C:\\no\\such\\library.dll", true), 1);
    // A library without the entry point.
    EXPECT_EQ(RegisterComServer("kernel32.dll", false), 1);
}

TEST(ProcessWrappers, PostMessageReachesTheQueue) {
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // makes sure the thread has a queue
    EXPECT_TRUE(PostMessageTo(nullptr, WM_APP + 7, 11, 22));
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_APP + 7, WM_APP + 7, PM_REMOVE));
    EXPECT_EQ(message.wParam, 11u);
    EXPECT_EQ(message.lParam, 22);
}

TEST(OpenGLWrappers, ExtensionsOfTheCurrentContext) {
    EXPECT_FALSE(IsGLExtensionSupported("GL_ARB_multitexture")) << "no context is current";

    HWND window = CreateWindowA("STATIC", "gl", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    HDC dc = GetDC(window);
    PIXELFORMATDESCRIPTOR format = {};
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = 24;
    int index = ChoosePixelFormat(dc, &format);
    ASSERT_NE(index, 0);
    ASSERT_TRUE(SetPixelFormat(dc, index, &format));
    HGLRC context = wglCreateContext(dc);
    ASSERT_NE(context, nullptr);
    ASSERT_TRUE(wglMakeCurrent(dc, context));

    EXPECT_TRUE(IsGLExtensionSupported("GL_ARB_multitexture"));
    EXPECT_TRUE(IsGLExtensionSupported("GL_ARB_multi")) << "a plain substring search";
    EXPECT_FALSE(IsGLExtensionSupported("GL_LUMARIX_nothing"));
    LoadGLExtensions();
    EXPECT_NE(g_glActiveTextureARB, nullptr);
    EXPECT_NE(g_glMultiTexCoord2fARB, nullptr);
    EXPECT_NE(g_wglSwapIntervalEXT, nullptr);

    wglMakeCurrent(nullptr, nullptr);
    EXPECT_FALSE(IsGLExtensionSupported("GL_ARB_multitexture"));
    LoadGLExtensions();
    EXPECT_EQ(g_glActiveTextureARB, nullptr) << "the pointers follow the current context";
    wglDeleteContext(context);
    ReleaseDC(window, dc);
    DestroyWindow(window);
}

TEST(TextureSizes, RoundUpToPowerOfTwoWithinLimits) {
    const int cases[][2] = {
        {-5, 32}, {0, 32}, {1, 32}, {32, 32}, {33, 64}, {64, 64}, {1000, 1024},
        {524288, 524288}, {524289, 1048576}, {600000, 1048576}, {1048576, 1048576}, {5000000, 1048576},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RoundUpPow2Size(c[0]), c[1]) << "n = " << c[0];
}

TEST(TextureSizes, SplitIntoPieces) {
    struct Case {
        int length, piece;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {300, 256, {256, 64}},
        {100, 256, {128}},
        {256, 256, {256}},
        {1000, 256, {256, 256, 256, 256}},
        {1100, 256, {256, 256, 256, 256, 128}},
        {10, 256, {32}},
        {290, 256, {256, 64}},   // remainder 34: 64 - 34 = 30 is not more than 32 below
        {0, 256, {}},
        {100, 0, {}},
    };
    for (const Case& c : cases) {
        int pieces[kTexturePiecesMax];
        int count = SplitIntoPow2Pieces(c.length, c.piece, pieces, kTexturePiecesMax);
        EXPECT_EQ(std::vector<int>(pieces, pieces + count), c.expected) << c.length << " by " << c.piece;
    }

    std::vector<int> many(kTexturePiecesMax + 10);
    EXPECT_EQ(SplitIntoPow2Pieces(32 * 5000, 32, many.data(), static_cast<int>(many.size())), kTexturePiecesMax);
    int three[3];
    EXPECT_EQ(SplitIntoPow2Pieces(1000, 64, three, 3), 3) << "never more than the caller's room";
}

namespace {

// Reference readings of a bit field through a 64-bit accumulator.
uint64_t ReferenceLsb(const uint8_t* bytes, int position, int count) {
    uint64_t value = 0;
    for (int k = 0; k < count; k++)
        value |= static_cast<uint64_t>((bytes[(position + k) / 8] >> ((position + k) % 8)) & 1) << k;
    return value;
}

uint64_t ReferenceMsb(const uint8_t* bytes, int position, int count) {
    uint64_t value = 0;
    for (int k = 0; k < count; k++)
        value = (value << 1) | ((bytes[(position + k) / 8] >> (7 - (position + k) % 8)) & 1);
    return value;
}

}  // namespace

TEST(Bits, ReadFieldsInBothOrders) {
    const uint8_t bytes[] = {0xB5, 0x3C};
    struct Case {
        int position, count;
        uint32_t lsb, msb;
    };
    const Case cases[] = {
        {0, 4, 0x5, 0xB}, {4, 8, 0xCB, 0x53}, {2, 12, 0xF2D, 0xD4F}, {0, 16, 0x3CB5, 0xB53C}, {7, 1, 1, 1},
    };
    for (const Case& c : cases) {
        uint32_t lsb = 0xFFFFFFFF, msb = 0xFFFFFFFF;
        ReadBitsLsbFirst(&lsb, bytes, c.position, c.count);
        ReadBitsMsbFirst(&msb, bytes, c.position, c.count);
        // Only the field's bytes are written (zeroed first); the rest of the word stays.
        uint32_t untouched = c.count <= 8 ? 0xFFFFFF00u : 0xFFFF0000u;
        EXPECT_EQ(lsb & ~untouched, c.lsb) << c.position << "+" << c.count;
        EXPECT_EQ(msb & ~untouched, c.msb) << c.position << "+" << c.count;
    }

    std::mt19937 random(7);
    uint8_t data[16];
    for (uint8_t& b : data)
        b = static_cast<uint8_t>(random());
    for (int position = 0; position < 40; position++) {
        for (int count = 1; count <= 64; count++) {
            uint64_t lsb = 0, msb = 0;
            ReadBitsLsbFirst(&lsb, data, position, count);
            ReadBitsMsbFirst(&msb, data, position, count);
            ASSERT_EQ(lsb, ReferenceLsb(data, position, count)) << position << "+" << count;
            ASSERT_EQ(msb, ReferenceMsb(data, position, count)) << position << "+" << count;
        }
    }
}

TEST(Bits, CopyRunsBetweenBitPositions) {
    const uint8_t source[] = {0xF0, 0x0F};
    uint8_t lsb[2] = {0, 0};
    CopyBitsLsbFirst(lsb, 3, source, 4, 8);   // bits 4..11 (all set) to 3..10
    EXPECT_EQ(lsb[0], 0xF8);
    EXPECT_EQ(lsb[1], 0x07);
    uint8_t msb[2] = {0xFF, 0xFF};
    CopyBitsMsbFirst(msb, 2, source, 4, 8);   // MSB-first bits 4..11 are all clear
    EXPECT_EQ(msb[0], 0xC0);
    EXPECT_EQ(msb[1], 0x3F);
}

TEST(Bytes, DifferencesSwapsAndOrder) {
    const uint8_t a[] = {10, 100, 7, 200};
    const uint8_t b[] = {250, 90, 7, 100};
    EXPECT_EQ(FindByteDifference(a, b, 1, 20), -1) << "10 - 250 wraps to 16";
    EXPECT_EQ(FindByteDifference(a, b, 4, 20), 3) << "200 - 100 = 100 as a signed byte";
    EXPECT_EQ(FindByteDifference(a + 1, b + 1, 3, 9), 0) << "100 - 90 = 10";
    EXPECT_EQ(FindByteDifference(a, b, 3, 16), -1) << "tolerance is inclusive";
    EXPECT_EQ(FindByteDifference(a, b, 0, 0), -1);

    EXPECT_EQ(SwapRedBlue(0x11223344u), 0x11443322u);
    uint32_t word = 0x11223344u;
    SwapBytes32(&word);
    EXPECT_EQ(word, 0x44332211u);
    uint16_t half = 0xA1B2;
    SwapBytes16(&half);
    EXPECT_EQ(half, 0xB2A1);
}
