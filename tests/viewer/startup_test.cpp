// Where the start-up parameters come from: a package appended to the program (read as untrusted
// input), a parameter file beside it, the command line; and the hand-over record a second start
// sends to the first.
#include "viewer/main_frame.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "core/package.h"
#include "core/stream.h"
#include "test_support.h"
#include "viewer_test_support.h"
#include "viewer/lumarix_app.h"

namespace {

using viewer_test::BuildPackage;
using viewer_test::PackageLayout;

TEST(PlayerPackageReader, ReadsTextKeyAndEntries)
{
    TempFolder folder;
    for (bool masked : {true, false}) {
        SCOPED_TRACE(masked ? "masked" : "plain");
        PackageLayout layout;
        layout.masked = masked;
        const std::string path = folder.Write("player.exe", BuildPackage(layout));
        PlayerPackage package;
        ASSERT_TRUE(ReadPlayerPackage(path.c_str(), folder.Path().c_str(), &package));
        EXPECT_STREQ(package.parameterText.GetText(), "viewertitle=Packed interface=2");
        EXPECT_EQ(package.key.scrambleWord, masked ? 0 : 1);
        ASSERT_EQ(package.entries.GetCount(), 1);
        const PackageEntry* entry = static_cast<const PackageEntry*>(package.entries.GetItem(0));
        EXPECT_EQ(std::string(entry->name.GetText()), folder.Path() + "tour\\a.kzr");
        EXPECT_EQ(entry->dataPosition, 3000u);
        EXPECT_EQ(entry->dataSize, layout.entryData.size());
    }
}

TEST(PlayerPackageReader, DamagedPackagesAreNoPackage)
{
    TempFolder folder;
    struct Case {
        const char* what;
        PackageLayout layout;
    } cases[] = {
        {"text longer than 4096 units", [] { PackageLayout s; s.parameterUnits = 5000; return s; }()},
        {"text running past the trailer", [] { PackageLayout s; s.parameterUnits = 4000; return s; }()},
        {"entry count beyond the bytes left", [] { PackageLayout s; s.entryCount = 0x7FFFFFFF; return s; }()},
        {"more entries than written", [] { PackageLayout s; s.entryCount = 3; return s; }()},
        {"entry past the end of the file", [] { PackageLayout s; s.entryPositionShift = 100000; return s; }()},
        {"header behind the trailer", [] { PackageLayout s; s.headerShift = 100000; return s; }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = folder.Write("damaged.exe", BuildPackage(c.layout));
        PlayerPackage package;
        package.parameterText = "untouched";
        EXPECT_FALSE(ReadPlayerPackage(path.c_str(), folder.Path().c_str(), &package));
        EXPECT_STREQ(package.parameterText.GetText(), "untouched");
        EXPECT_EQ(package.entries.GetCount(), 0);
    }

    // Every cut of a good package's end: never a crash, never a package read from a cut file
    // whose trailer is gone.
    const std::string good = BuildPackage(PackageLayout());
    for (size_t cut = 1; cut < 400; cut++) {
        const std::string path = folder.Write("cut.exe", good.substr(0, good.size() - cut));
        PlayerPackage package;
        const bool read = ReadPlayerPackage(path.c_str(), folder.Path().c_str(), &package);
        if (cut > 16) {
            SCOPED_TRACE(cut);
            EXPECT_FALSE(read);
        }
    }
    // Flipped bytes in the middle part: a clean answer either way.
    for (size_t at = 3000; at < good.size(); at++) {
        std::string flipped = good;
        flipped[at] = static_cast<char>(flipped[at] ^ 0x5A);
        const std::string path = folder.Write("flip.exe", flipped);
        PlayerPackage package;
        ReadPlayerPackage(path.c_str(), folder.Path().c_str(), &package);
    }
    PlayerPackage package;
    EXPECT_FALSE(ReadPlayerPackage(folder.File("missing.exe").c_str(), folder.Path().c_str(), &package));
    EXPECT_FALSE(ReadPlayerPackage(folder.Write("empty.exe", "").c_str(), folder.Path().c_str(), &package));
}

TEST(HandOverRecord, TakesTheFourTextsApart)
{
    struct Case {
        std::string record;
        bool ok;
        const char* texts[4];
    } cases[] = {
        {"'C:\\a b\\','tour.kzr x=1','lumarix','C:\\a b\\lumarix.exe'", true,
         {"C:\\a b\\", "tour.kzr x=1", "lumarix", "C:\\a b\\lumarix.exe"}},
        {"'C:\\p\\','','player','C:\\p\\player.exe'", true, {"C:\\p\\", "", "player", "C:\\p\\player.exe"}},
        {"'C:\\p\\','say \"hi\",a','b','c'", true, {"C:\\p\\", "say \"hi\",a", "b", "c"}},
        {"'C:\\p\\','x','y','z','n','C:\\p\\n.exe'", true, {"C:\\p\\", "x','y','z", "n", "C:\\p\\n.exe"}},
        {"'a','b','c'", false, {}},
        {"a','b','c','d'", false, {}},
        {"'a','b','c','d", false, {}},
        {"", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record);
        CTexto texts[4] = {"-", "-", "-", "-"};
        ASSERT_EQ(ParseHandOverText(c.record.data(), c.record.size(), texts), c.ok);
        for (int i = 0; i < 4; i++)
            EXPECT_STREQ(texts[i].GetText(), c.ok ? c.texts[i] : "-");
    }
    // Only the bytes given count: no terminator is looked for beyond them.
    const std::string longer = "'a','b','c','d'XYZ";
    CTexto texts[4];
    EXPECT_TRUE(ParseHandOverText(longer.data(), 15, texts));
    EXPECT_STREQ(texts[3].GetText(), "d");
    EXPECT_FALSE(ParseHandOverText(longer.data(), 14, texts));
    EXPECT_FALSE(ParseHandOverText(nullptr, 10, texts));
}

// Runs the start-up parameter reading of a host object for a program in the folder.
class StartupParameters : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_savedPath = g_programPath;
        m_savedClass = g_windowClassName;
        GetCurrentDirectoryA(MAX_PATH, m_savedDirectory);
        CreateDirectoryA(folder.File("data").c_str(), nullptr);
    }
    void TearDown() override
    {
        g_programPath = m_savedPath;
        g_windowClassName = m_savedClass;
        ClearPackage();
        // The start-up made the folder current; it must not stay so for its removal.
        SetCurrentDirectoryA(m_savedDirectory);
    }

    std::unique_ptr<CMainFrame> Load(const std::string& programName, const std::string& commandLine,
                                     bool screensaver = false)
    {
        auto frame = std::make_unique<CMainFrame>(commandLine.c_str());
        frame->m_engine.m_screensaver = screensaver ? 1 : 0;
        g_programPath = (folder.Path() + programName + (screensaver ? ".scr" : ".exe")).c_str();
        g_windowClassName = screensaver ? kWindowClassScreensaver : kWindowClassPlayer;
        frame->LoadStartupParameters(folder.Path().c_str(), programName.c_str(), commandLine.c_str());
        return frame;
    }

    void WriteUtf16(const std::string& name, const std::string& ascii)
    {
        std::string bytes = "\xFF\xFE";
        for (char c : ascii) {
            bytes += c;
            bytes += '\0';
        }
        folder.Write(name, bytes);
    }

    TempFolder folder;
    CTexto m_savedPath;
    CTexto m_savedClass;
    char m_savedDirectory[MAX_PATH] = {};
};

TEST_F(StartupParameters, ParameterFileOrderPerProgramName)
{
    struct Case {
        const char* program;
        const char* files[4];   // written with their own name as viewertitle
        const char* wins;
        bool dataFolder;
    } cases[] = {
        {"tour12", {"params12.txt", "data\\tour12.kzr", "data\\params.kzr", "data\\params12.txt"}, "params12.txt", false},
        {"tour12", {"data\\tour12.kzr", "data\\params.kzr", "data\\params12.txt"}, "data\\tour12.kzr", true},
        {"tour12", {"data\\params.kzr", "data\\params12.txt", "params.txt"}, "data\\params.kzr", true},
        {"tour12", {"data\\params12.txt", "params.txt"}, "data\\params12.txt", true},
        {"tour", {"params.txt", "params12.txt", "data\\params.kzr"}, "params.txt", false},
        {"2020", {"params2020.txt", "params.txt"}, "params2020.txt", false},
        {"tour", {}, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " -> " + c.wins);
        for (const char* name : {"params12.txt", "data\\tour12.kzr", "data\\params.kzr", "data\\params12.txt",
                                 "params.txt", "params2020.txt"})
            DeleteFileA(folder.File(name).c_str());
        for (const char* name : c.files) {
            if (name)
                folder.Write(name, std::string("viewertitle=\"") + name + "\" menu=0");
        }
        auto frame = Load(c.program, "");
        EXPECT_STREQ(frame->m_engine.m_viewerTitle.GetText(), c.wins);
        EXPECT_EQ(std::string(frame->m_engine.m_basePath.GetText()),
                  folder.Path() + (c.dataFolder ? "data\\" : ""));
        EXPECT_EQ(frame->m_engine.m_fromPackage, 0);
    }
}

TEST_F(StartupParameters, FileTextAndCommandLine)
{
    // Without "src" or "file" the file goes in front, so the command line's words win.
    folder.Write("params.txt", "menu=0\r\n\tviewerwidth=300\r\n");
    auto frame = Load("tour", "menu=1 tour.kzr");
    EXPECT_STREQ(frame->m_parameterText.GetText(), "menu=0 viewerwidth=300  menu=1 tour.kzr");
    EXPECT_EQ(frame->m_engine.m_params.menu, 1);
    EXPECT_EQ(frame->m_engine.m_params.viewerWidth, 300);
    EXPECT_STREQ(frame->m_engine.m_documentFile.GetText(), "tour.kzr");

    // A file naming the document replaces the command line.
    folder.Write("params.txt", "src=own.kzr menu=0");
    frame = Load("tour", "menu=1 tour.kzr");
    EXPECT_STREQ(frame->m_parameterText.GetText(), "src=own.kzr menu=0");
    EXPECT_STREQ(frame->m_engine.m_documentFile.GetText(), "own.kzr");
    EXPECT_EQ(frame->m_engine.m_params.menu, 0);

    // "file" anywhere counts, "SRC" in capitals does not.
    folder.Write("params.txt", "profile=1");
    EXPECT_STREQ(Load("tour", "x")->m_parameterText.GetText(), "profile=1");
    folder.Write("params.txt", "SRC=a.kzr");
    EXPECT_STREQ(Load("tour", "x")->m_parameterText.GetText(), "SRC=a.kzr x");

    // An empty file is found (and ends the search) but adds nothing.
    folder.Write("params.txt", "");
    folder.Write("data\\params.kzr", "menu=0");
    EXPECT_STREQ(Load("tour", "y")->m_parameterText.GetText(), "y");
}

TEST_F(StartupParameters, Utf16FileReadsLikeItsAnsiTwin)
{
    const std::string text = "viewertitle=\"Twin tour\" viewerheight=200\r\nmenu=0";
    folder.Write("params.txt", text);
    auto ansi = Load("tour", "z=1");
    WriteUtf16("params.txt", text);
    auto wide = Load("tour", "z=1");
    EXPECT_STREQ(wide->m_parameterText.GetText(), ansi->m_parameterText.GetText());
    EXPECT_STREQ(wide->m_engine.m_viewerTitle.GetText(), "Twin tour");
    EXPECT_EQ(wide->m_engine.m_params.viewerHeight, 200);
}

TEST_F(StartupParameters, ScreensaverReadsItsOwnTextOrScript)
{
    folder.Write("params.txt", "viewertitle=player");
    folder.Write("saver.kzr", "viewertitle=script");
    EXPECT_STREQ(Load("saver", "/s", true)->m_engine.m_viewerTitle.GetText(), "script");
    folder.Write("saver.txt", "viewertitle=text");
    auto frame = Load("saver", "/s", true);
    EXPECT_STREQ(frame->m_engine.m_viewerTitle.GetText(), "text");
    EXPECT_EQ(std::string(frame->m_engine.m_basePath.GetText()), folder.Path());
}

TEST_F(StartupParameters, PlayerNamesStartSmall)
{
    struct Case {
        const char* program;
        const char* commandLine;
        int mode;
    } cases[] = {
        {"player", "", InterfaceSkinnedSmall},
        {"PLAYER7", "", InterfaceSkinnedSmall},
        {"player", "interface=1", InterfaceSkinned},
        {"tour", "", InterfaceSkinned},
        {"playe", "", InterfaceSkinned},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        auto frame = std::make_unique<CMainFrame>(c.commandLine);
        frame->m_windowsVersion = [](const CMainWnd&) { return 5.1; };
        g_programPath = (folder.Path() + c.program + ".exe").c_str();
        frame->LoadStartupParameters(folder.Path().c_str(), c.program, c.commandLine);
        EXPECT_EQ(frame->m_engine.m_params.interfaceMode, c.mode);
    }
    // From Windows 6.0 on the skinned modes take the system's frame.
    for (int mode : {0, 1}) {
        auto frame = std::make_unique<CMainFrame>("");
        frame->m_windowsVersion = [](const CMainWnd&) { return 6.0; };
        const std::string commandLine = "interface=" + std::to_string(mode);
        frame->LoadStartupParameters(folder.Path().c_str(), "tour", commandLine.c_str());
        EXPECT_EQ(frame->m_engine.m_params.interfaceMode, mode == 0 ? InterfaceSystem : InterfaceSystemCaption);
    }
}

TEST_F(StartupParameters, PackageWinsOverParameterFilesAndKeepsTheCommandLine)
{
    folder.Write("params.txt", "viewertitle=file");
    PackageLayout layout;
    layout.parameters = "viewertitle=Packed menu=0";
    folder.Write("tour.exe", BuildPackage(layout));
    auto frame = Load("tour", "menu=1");
    EXPECT_STREQ(frame->m_parameterText.GetText(), "viewertitle=Packed menu=0 menu=1");
    EXPECT_STREQ(frame->m_engine.m_viewerTitle.GetText(), "Packed");
    EXPECT_EQ(frame->m_engine.m_params.menu, 1);
    EXPECT_EQ(frame->m_engine.m_fromPackage, 1);
    EXPECT_EQ(g_runningFromPackage, 1);
    EXPECT_STREQ(g_windowClassName.GetText(), "LumarixClassPack");
    EXPECT_NE(FindPackageEntry((folder.Path() + "tour\\a.kzr").c_str()), nullptr);
    ClearPackage();

    // A screensaver copy keeps its class.
    folder.Write("saver.scr", BuildPackage(layout));
    Load("saver", "/s", true);
    EXPECT_STREQ(g_windowClassName.GetText(), kWindowClassScreensaver);
    ClearPackage();

    // A damaged package changes nothing: the parameter file is read as without one.
    layout.entryCount = 0x10000000;
    folder.Write("tour.exe", BuildPackage(layout));
    frame = Load("tour", "menu=1");
    EXPECT_STREQ(frame->m_engine.m_viewerTitle.GetText(), "file");
    EXPECT_EQ(frame->m_engine.m_fromPackage, 0);
    EXPECT_EQ(g_runningFromPackage, 0);
    EXPECT_STREQ(g_windowClassName.GetText(), kWindowClassPlayer);
}

TEST_F(StartupParameters, DocumentTypedRelativeToTheStartingFolderIsFoundThere)
{
    TempFolder user;
    user.Write("pano.jpg", "x");
    CreateDirectoryA(user.File("sub").c_str(), nullptr);
    user.Write("sub\\tour.kzr", "x");
    folder.Write("own.jpg", "x");
    struct Case {
        const char* commandLine;
        std::string document;
    } cases[] = {
        {"pano.jpg", user.File("pano.jpg")},
        {"sub\\tour.kzr menu=0", user.File("sub\\tour.kzr")},
        {"pano.jpg#jpg", user.File("pano.jpg") + "#jpg"},
        // The program's folder holds it: the name stays relative to the base folder.
        {"own.jpg", "own.jpg"},
        // Nowhere to be found, absolute, or a URL: left as typed.
        {"missing.jpg", "missing.jpg"},
        {"C:\\elsewhere\\pano.jpg", "C:\\elsewhere\\pano.jpg"},
        {"http://127.0.0.1/pano.jpg", "http://127.0.0.1/pano.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine);
        SetCurrentDirectoryA(user.Path().c_str());
        auto frame = Load("tour", c.commandLine);
        EXPECT_EQ(std::string(frame->m_engine.m_documentFile.GetText()), c.document);
    }
    SetCurrentDirectoryA(m_savedDirectory);
}

} // namespace
