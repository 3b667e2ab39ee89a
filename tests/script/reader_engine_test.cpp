// Reading a script into the engine: where the items go, the reader thread's hand-over, the
// messages that start the tour, and the same result from a file, a loopback URL and a text.
#include <winsock2.h>

#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <memory>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/item_records.h"
#include "core/object_item.h"
#include "core/value_tokenizer.h"
#include "core/worker_threads.h"
#include "core/http_test_support.h"
#include "core/package.h"
#include "test_support.h"
#include "viewer/main_frame.h"
#include "viewer/viewer_test_support.h"

namespace {

// Handlers that make records the way the real keyword groups do: TYPE= makes a frame (or takes
// the target), IMAGE= an image item and an object referring to it by number, FONT= a font.
void MakeFrame(ReadingContext& context)
{
    context.sectionKind = SectionFrame;
    if (context.target) {
        context.currentFrame = context.target;
        return;
    }
    FrameItem* item = static_cast<FrameItem*>(context.frames->CreateItem(ItemType::Frame));
    item->frame.name = context.sectionName;
    context.currentFrame = &item->frame;
}

void MakeImage(ReadingContext& context)
{
    CTexto name;
    ReadNextField(context.statement, 5, name);
    ItemRecord* image = context.images->CreateItem(ItemType::Image);
    image->name = name;
    ObjectItem* object = static_cast<ObjectItem*>(
        context.ObjectsOf(context.currentFrame).CreateItem(ItemType::ImageObject));
    object->name = name;
    object->number = image->number;
    object->level = static_cast<int16_t>(context.level);
}

void MakeFont(ReadingContext& context)
{
    CTexto name;
    ReadNextField(context.statement, 4, name);
    context.fonts->CreateItem(ItemType::Font)->name = name;
}

const ReaderHandlers& MakingHandlers()
{
    static ReaderHandlers handlers = [] {
        ReaderHandlers made;
        made.keywords[static_cast<int>(ReaderKeyword::Type)] = MakeFrame;
        made.keywords[static_cast<int>(ReaderKeyword::Image)] = MakeImage;
        made.keywords[static_cast<int>(ReaderKeyword::Font)] = MakeFont;
        return made;
    }();
    return handlers;
}

std::string DumpList(CObjeto& list)
{
    std::string dump;
    for (CObjeto* node = list.GetHead(); node && node->GetRecord(); node = node->GetNext()) {
        ItemRecord* record = node->GetRecord();
        const bool frame = record->type == ItemType::Frame;
        CFrame* data = frame ? &static_cast<FrameItem*>(record)->frame : nullptr;
        dump += std::to_string(static_cast<int>(record->type)) + ":" +
                (frame ? data->name.GetText() : record->name.GetText()) + "#" +
                std::to_string(record->number);
        if (frame)
            dump += "{" + DumpList(data->objects) + "}";
        dump += " ";
    }
    return dump;
}

std::string Dump(CMainWnd& engine)
{
    return "frames " + DumpList(engine.m_frames) + "| images " + DumpList(engine.m_images[0]) +
           "| interface " + DumpList(engine.m_images[1]) + "| fonts " +
           DumpList(engine.m_fonts) + "| target " + DumpList(engine.m_interfaceFrame.objects);
}

// A message-only window on the test thread that collects the engine's posts.
class PostedMessages {
public:
    PostedMessages()
    {
        m_window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   nullptr, nullptr);
    }
    ~PostedMessages() { DestroyWindow(m_window); }
    HWND Window() const { return m_window; }

    // "message:wParam" of every engine message waiting, in order.
    std::vector<std::string> Take()
    {
        std::vector<std::string> taken;
        MSG message;
        while (PeekMessageA(&message, m_window, WM_USER, WM_USER + 200, PM_REMOVE))
            taken.push_back(std::to_string(message.message - WM_USER) + ":" +
                            std::to_string(message.wParam));
        return taken;
    }

private:
    HWND m_window;
};

struct TestEngine {
    TestEngine()
    {
        engine.m_readerHandlers = &MakingHandlers();
        engine.m_messageWnd = posted.Window();
        engine.m_initialized = 1;
    }
    ~TestEngine() { engine.m_initialized = 0; }
    // An engine with its two frames is too large for several on the test's stack.
    std::unique_ptr<CMainWnd> holder = std::make_unique<CMainWnd>();
    CMainWnd& engine = *holder;
    PostedMessages posted;
};

const char* const kTour =
    "(hall){TYPE=PANORAMIC;IMAGE=logo;FONT=big;IMAGE=map;}\r\n"
    "(garden){TYPE=PANORAMIC;IMAGE=tree;}\r\n";

// Waits (bounded) until the reader thread has ended.
bool ReaderEnded(CMainWnd& engine)
{
    return WaitForWorkerThreadEnd(engine.m_readerThread, 10000);
}

}  // namespace

TEST(ReaderEngine, ReadsIntoTheLevelListsAndPostsTheFirstFrame)
{
    TempFolder folder;
    const std::string path = folder.Write("tour.kzr", kTour);
    struct Case {
        const char* firstObject;
        const char* posts;
    };
    const Case cases[] = {{"", "108:0 121:0"}, {"garden", "108:1 121:0"}, {"nowhere", "108:0 121:0"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firstObject);
        TestEngine test;
        CMainWnd& engine = test.engine;
        engine.m_params.firstObject = c.firstObject;
        const int before = engine.m_changeCount;
        EXPECT_EQ(engine.ReadParameterFile(path.c_str(), engine.m_frames, 0, engine.m_fonts,
                                           nullptr, nullptr),
                  1);
        EXPECT_EQ(Dump(engine), "frames 1:hall#0{16:logo#1 16:map#2 } 1:garden#0{16:tree#3 } "
                                "| images 6:logo#1 6:map#2 6:tree#3 | interface | fonts "
                                "5:big#1 | target ");
        std::string posts;
        for (const std::string& post : test.posted.Take())
            posts += (posts.empty() ? "" : " ") + post;
        EXPECT_EQ(posts, c.posts);
        EXPECT_EQ(engine.m_changeCount, before + 1);
    }
}

TEST(ReaderEngine, ReaderThreadHandsOverWhatAReadInPlaceMakes)
{
    TempFolder folder;
    const std::string path = folder.Write("tour.kzr", kTour);
    // Items already in the lists: the thread's items must get the numbers they would in place.
    auto prepare = [](CMainWnd& engine) {
        engine.m_images[0].CreateItem(ItemType::Image)->name = "old";
        engine.m_images[0].CreateItem(ItemType::Text)->name = "older";
        engine.m_images[0].RemoveAt(0);
    };
    TestEngine inPlace;
    prepare(inPlace.engine);
    inPlace.engine.ReadParameterFile(path.c_str(), inPlace.engine.m_frames, 0,
                                     inPlace.engine.m_fonts, nullptr, nullptr);
    TestEngine threaded;
    prepare(threaded.engine);
    threaded.engine.StartReaderThread(path.c_str(), 0, nullptr);
    ASSERT_TRUE(ReaderEnded(threaded.engine));
    EXPECT_EQ(Dump(threaded.engine), Dump(inPlace.engine));
    EXPECT_EQ(threaded.posted.Take(), inPlace.posted.Take());

    // Into a target frame: its objects arrive in one step, numbered as in place.
    TestEngine target;
    TestEngine targetInPlace;
    const std::string script = folder.Write("interface.txt", "(ui){TYPE=X;IMAGE=play;IMAGE=stop;}");
    target.engine.StartReaderThread(script.c_str(), 1, &target.engine.m_interfaceFrame);
    ASSERT_TRUE(ReaderEnded(target.engine));
    targetInPlace.engine.ReadParameterFile(script.c_str(), targetInPlace.engine.m_frames, 1,
                                           targetInPlace.engine.m_fonts,
                                           &targetInPlace.engine.m_interfaceFrame, nullptr);
    EXPECT_EQ(Dump(target.engine), Dump(targetInPlace.engine));
    EXPECT_EQ(DumpList(target.engine.m_interfaceFrame.objects), "16:play#1 16:stop#2 ");
    EXPECT_EQ(target.posted.Take(), std::vector<std::string>({"121:1"}));
    EXPECT_STREQ(target.engine.m_interfaceFile.GetText(), script.c_str());
}

TEST(ReaderEngine, NothingIsPostedForFailuresAndCancelledReads)
{
    TestEngine test;
    CMainWnd& engine = test.engine;
    TempFolder folder;
    const std::string path = folder.Write("tour.kzr", kTour);

    EXPECT_EQ(engine.ReadParameterFile(path.c_str(), engine.m_frames, 3, engine.m_fonts, nullptr,
                                       nullptr),
              0);
    EXPECT_EQ(engine.ReadParameterFile(folder.File("missing.kzr").c_str(), engine.m_frames, 0,
                                       engine.m_fonts, nullptr, nullptr),
              0);
    EXPECT_TRUE(test.posted.Take().empty());

    // A cancelled thread read leaves the lists as they were.
    engine.m_cancel = 1;
    engine.StartReaderThread(path.c_str(), 0, nullptr);
    ASSERT_TRUE(ReaderEnded(engine));
    engine.m_cancel = 0;
    EXPECT_EQ(engine.m_frames.GetCount(), 0);
    EXPECT_EQ(engine.m_images[0].GetCount(), 0);
    EXPECT_TRUE(test.posted.Take().empty());

    // Without frames a read posts InterfaceLoaded alone; a text needs no file.
    EXPECT_EQ(engine.ReadParameterFile("C:\\tours\\x.txt", engine.m_frames, 0, engine.m_fonts,
                                       nullptr, "(a){TYPE=X;}"),
              1);
    EXPECT_EQ(test.posted.Take(), std::vector<std::string>({"108:0", "121:0"}));
    engine.m_frames.RemoveAll();
    EXPECT_EQ(engine.ReadParameterFile("", engine.m_frames, 0, engine.m_fonts, nullptr, "nothing"),
              0);
    EXPECT_TRUE(test.posted.Take().empty());
}

TEST(ReaderEngine, OneReaderThreadAtATimeAndOnlyWhenInitialised)
{
    TestEngine test;
    CMainWnd& engine = test.engine;
    TempFolder folder;
    const std::string path = folder.Write("tour.kzr", kTour);
    engine.m_initialized = 0;
    engine.StartReaderThread(path.c_str(), 0, nullptr);
    EXPECT_EQ(engine.m_readerThread.load(), nullptr);
    engine.m_initialized = 1;
    engine.StartReaderThread(path.c_str(), 0, nullptr);
    engine.StartReaderThread(path.c_str(), 0, nullptr);
    ASSERT_TRUE(ReaderEnded(engine));
    EXPECT_EQ(engine.m_frames.GetCount(), 2);
}

// The loopback server of the test run serves the files of its fixture folder; chunked coding in
// small chunks cuts the input wherever it falls, mid-statement and mid-character.
TEST(ReaderEngine, AFileAndItsLoopbackUrlReadAlikeInAnyCodingAndCut)
{
    ASSERT_NE(http_test::ServerPort(), 0) << "the loopback server is not running";
    const std::string folder = test_support::BuildPath("test-fixtures\\script-reader");
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string ansiPath = folder + "\\tour.kzr";
    const std::string widePath = folder + "\\tour16.kzr";
    std::string wide = "\xFF\xFE";
    for (const char* c = kTour; *c; ++c) {
        wide += *c;
        wide += '\0';
    }
    for (const auto& file : {std::make_pair(ansiPath, std::string(kTour)), std::make_pair(widePath, wide)}) {
        FILE* f = std::fopen(file.first.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(file.second.data(), 1, file.second.size(), f);
        std::fclose(f);
    }

    TestEngine disk;
    ASSERT_EQ(disk.engine.ReadParameterFile(ansiPath.c_str(), disk.engine.m_frames, 0,
                                            disk.engine.m_fonts, nullptr, nullptr),
              1);
    const std::string expected = Dump(disk.engine);
    for (const char* url : {"/fixtures/script-reader/tour.kzr",
                            "/fixtures/script-reader/tour.kzr?chunked=7&split=1",
                            "/fixtures/script-reader/tour16.kzr",
                            "/fixtures/script-reader/tour16.kzr?chunked=3"}) {
        SCOPED_TRACE(url);
        TestEngine net;
        EXPECT_EQ(net.engine.ReadParameterFile(http_test::Url(url).c_str(), net.engine.m_frames, 0,
                                               net.engine.m_fonts, nullptr, nullptr),
                  1);
        EXPECT_EQ(Dump(net.engine), expected);
    }
}

// A packed player's tour is read out of the program file through the package table, masked or
// plain, ANSI or UTF-16: the same lists as from its copy on disk. The entry's name exists only in
// the package, so nothing comes from the disk by mistake.
TEST(ReaderEngine, ATourInAPackageReadsAsItsFileOnDisk)
{
    TempFolder folder;
    TestEngine disk;
    ASSERT_EQ(disk.engine.ReadParameterFile(folder.Write("disk.kzr", kTour).c_str(),
                                            disk.engine.m_frames, 0, disk.engine.m_fonts, nullptr,
                                            nullptr),
              1);
    const std::string expected = Dump(disk.engine);
    std::string wide = "\xFF\xFE";
    for (const char* c = kTour; *c; ++c) {
        wide += *c;
        wide += '\0';
    }
    const CTexto savedProgram = g_programPath;
    for (bool masked : {true, false}) {
        for (const std::string& text : {std::string(kTour), wide}) {
            SCOPED_TRACE(std::string(masked ? "masked " : "plain ") +
                         (text == wide ? "UTF-16" : "ANSI"));
            viewer_test::PackageLayout layout;
            layout.masked = masked;
            layout.entryName = "tour\\a.kzr";
            layout.entryData = text;
            const std::string program = folder.Write("player.exe", viewer_test::BuildPackage(layout));
            PlayerPackage package;
            ASSERT_TRUE(ReadPlayerPackage(program.c_str(), folder.Path().c_str(), &package));
            // What the start-up does with a package it found.
            g_packageKey = package.key;
            for (int32_t i = 0; ItemRecord* item = package.entries.GetItem(i); i++) {
                const PackageEntry* entry = static_cast<const PackageEntry*>(item);
                AddPackageEntry(&g_packageTable, entry->name.GetText(), entry->dataPosition,
                                entry->dataSize);
            }
            g_programPath = program.c_str();
            g_runningFromPackage = 1;

            TestEngine packed;
            EXPECT_EQ(packed.engine.ReadParameterFile(folder.File("tour\\a.kzr").c_str(),
                                                      packed.engine.m_frames, 0,
                                                      packed.engine.m_fonts, nullptr, nullptr),
                      1);
            EXPECT_EQ(Dump(packed.engine), expected);
            ClearPackage();
        }
    }
    g_programPath = savedProgram;
}
