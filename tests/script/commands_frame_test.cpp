// Frame commands: SetScriptFile replaces the tour with the one its file holds.
#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "core/worker_threads.h"
#include "test_support.h"

TEST(FrameCommands, SetScriptFileReadsTheNewTourInPlaceOfTheOld)
{
    TempFolder folder;
    const std::string first = folder.Write("first.kzr", "(old){TYPE=PANORAMIC;FILE=old.jpg;}");
    const std::string second =
        folder.Write("second.kzr", "(a){TYPE=CUBIC;FILE=a.jpg;}(b){TYPE=PANORAMIC;FILE=b.jpg;}");

    auto engine = std::make_unique<CMainWnd>();
    HWND window =
        CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    engine->m_messageWnd = window;
    engine->m_initialized = 1;
    engine->ReadParameterFile(first.c_str(), engine->m_frames, 0, engine->m_fonts, nullptr,
                              nullptr);
    ASSERT_EQ(engine->m_frames.GetCount(), 1);

    engine->RunCommandText(("SetScriptFile(\"" + second + "\");").c_str(), true);
    EXPECT_TRUE(WaitForWorkerThreadEnd(engine->m_readerThread, 10000));
    EXPECT_STREQ(engine->m_scriptFile.GetText(), second.c_str());
    ASSERT_EQ(engine->m_frames.GetCount(), 2);
    EXPECT_STREQ(engine->GetFrame(0)->name.GetText(), "a");
    EXPECT_STREQ(engine->GetFrame(1)->name.GetText(), "b");
    EXPECT_EQ(engine->m_images[0].GetCount(), 2);  // the old tour's image went with it

    engine->m_initialized = 0;
    DestroyWindow(window);
}
