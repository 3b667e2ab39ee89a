#include "core/path_resolution.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/package.h"
#include "core/text_string.h"

namespace {

std::string Absolute(const char* name, const char* base) {
    char buffer[kPathBufferSize];
    std::strcpy(buffer, name);
    MakeAbsolutePath(buffer, base);
    return buffer;
}

}  // namespace

TEST(MakeAbsolutePath, NamesAgainstTheirBase) {
    struct Case { const char* name; const char* base; const char* expected; };
    const Case cases[] = {
        // A folder base carries its own separator; slashes become backslashes.
        {"img.jpg", "C:\\tours\\a\\", "C:\\tours\\a\\img.jpg"},
        {"sub/x.jpg", "C:\\tours\\a\\", "C:\\tours\\a\\sub\\x.jpg"},
        {"../b/./x.jpg", "C:\\tours\\a\\", "C:\\tours\\b\\x.jpg"},
        {"my file.jpg", "C:\\tours\\", "C:\\tours\\my file.jpg"},   // blanks stay blanks
        {"x.jpg", "\\\\server\\share\\", "\\\\server\\share\\x.jpg"},
        // URL bases.
        {"img.jpg", "http://host/tours/a/", "http://host/tours/a/img.jpg"},
        {"/img.jpg", "http://host/tours/a/", "http://host/img.jpg"},
        {"sub\\img.jpg", "http://host/tours/a/", "http://host/tours/a/sub/img.jpg"},
        {"../b/x.jpg", "http://host/tours/a/", "http://host/tours/b/x.jpg"},
        {"/x.jpg", "HTTP://Host", "HTTP://Host/x.jpg"},
        {"/live2", "rtsp://camera:554/live/", "rtsp://camera:554/live2"},
        // file: URLs become drive or network paths.
        {"x.jpg", "file:///C:/tours/", "C:\\tours\\x.jpg"},
        {"a/b.jpg", "file://localhost/C:/t/", "C:\\t\\a\\b.jpg"},
        {"x.jpg", "FILE:C:\\t\\", "C:\\t\\x.jpg"},
        {"x.jpg", "file://server/share/t/", "\\\\server\\share\\t\\x.jpg"},
        // Left alone: names with a drive or scheme, network names, cameras, empty names or bases.
        {"D:\\x.jpg", "C:\\tours\\", "D:\\x.jpg"},
        {"http://other/x.jpg", "C:\\tours\\", "http://other/x.jpg"},
        {"rtsp://cam/stream", "http://host/", "rtsp://cam/stream"},
        {"\\\\server\\x.jpg", "C:\\tours\\", "\\\\server\\x.jpg"},
        {"webcam0", "C:\\tours\\", "webcam0"},
        {"WebCam2", "http://host/", "WebCam2"},
        {"", "C:\\tours\\", ""},
        {"x.jpg", "", "x.jpg"},
        // A camera-like name with a '.' is a file like any other.
        {"webcam.jpg", "C:\\tours\\", "C:\\tours\\webcam.jpg"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Absolute(c.name, c.base), c.expected) << c.name << " against " << c.base;

    char buffer[kPathBufferSize] = "x.jpg";
    MakeAbsolutePath(buffer, nullptr);
    EXPECT_STREQ(buffer, "x.jpg");
}

// A result that would not fit is never cut into another name.
TEST(MakeAbsolutePath, OverLongNamesStayUnchanged) {
    std::string name(2000, 'n');
    std::string base = "C:\\" + std::string(100, 'b') + "\\";
    EXPECT_EQ(Absolute(name.c_str(), base.c_str()), name);

    std::string fits(kPathBufferSize - 1 - base.size(), 'f');
    EXPECT_EQ(Absolute(fits.c_str(), base.c_str()), base + fits);

    CTexto tooLongForTheBuffer(std::string(kPathBufferSize + 10, 'z').c_str());
    CTexto folder("C:\\t\\");
    ResolvePath(tooLongForTheBuffer, &folder, nullptr);
    EXPECT_EQ(tooLongForTheBuffer.GetLength(), kPathBufferSize + 10);
}

// Outside a package a fallback always wins; inside one the first base wins when it names a
// packaged file.
TEST(ResolvePath, FallbackUnlessTheBaseNamesAPackagedFile) {
    ClearPackage();
    CTexto base("C:\\pkg\\tour\\");
    CTexto fallback("C:\\other\\");

    CTexto text("x.jpg");
    ResolvePath(text, &base, nullptr);
    EXPECT_STREQ(text.GetText(), "C:\\pkg\\tour\\x.jpg");

    text = "x.jpg";
    ResolvePath(text, &base, &fallback);
    EXPECT_STREQ(text.GetText(), "C:\\other\\x.jpg");

    AddPackageEntry(&g_packageTable, "C:\\pkg\\tour\\x.jpg", 0, 1);
    text = "x.jpg";
    ResolvePath(text, &base, &fallback);
    EXPECT_STREQ(text.GetText(), "C:\\pkg\\tour\\x.jpg");
    text = "y.jpg";
    ResolvePath(text, &base, &fallback);
    EXPECT_STREQ(text.GetText(), "C:\\other\\y.jpg");

    text = "y.jpg";
    ResolvePath(text, nullptr, nullptr);
    EXPECT_STREQ(text.GetText(), "y.jpg");
    ClearPackage();
}
