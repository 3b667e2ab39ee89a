// The command interpreter over test-driven ticks: recording actions stand in for the commands,
// RunPendingCode is the frame loop's per-tick pending run.
#include "viewer/main_wnd.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/item_records.h"
#include "script/command_table.h"
#include "script_test_support.h"

using script_test::Code;

namespace {

// What the recording actions saw, in order, and how they answer.
struct Recorder {
    std::mutex lock;
    std::vector<std::string> log;
    std::vector<float> speeds;
    std::atomic<int> refuseSwitches{0};  // GoToFrame answers Wait this many more times
    std::atomic<bool> clearDuringShow{false};
    std::atomic<bool> menuRebuilds{false};  // ContextMenu empties the script's menu
};
Recorder* g_recorder = nullptr;

CommandResult Record(CMainWnd& engine, const CommandOperands& operands, float speed) {
    const CommandRow& row = BuiltInCommandTable().rows[operands.opcode];
    std::string entry = row.name ? row.name : std::to_string(operands.opcode);
    entry += "(";
    for (int k = 0; k < operands.count; k++) {
        if (k)
            entry += ",";
        const Operand& item = operands.items[static_cast<size_t>(k)];
        if (item.kind == OperandKind::Text)
            entry += item.text.GetText();
        else if (item.kind == OperandKind::Integer)
            entry += std::to_string(item.integer);
        else
            entry += std::to_string(static_cast<int>(item.real * 100));
    }
    entry += ")";
    if (operands.opcode == OpcodeGoToFrame && g_recorder->refuseSwitches.load() > 0) {
        g_recorder->refuseSwitches--;
        std::lock_guard<std::mutex> hold(g_recorder->lock);
        g_recorder->log.push_back("refused " + entry);
        return CommandResult::Wait;
    }
    {
        std::lock_guard<std::mutex> hold(g_recorder->lock);
        g_recorder->log.push_back(entry);
        g_recorder->speeds.push_back(speed);
    }
    if (operands.opcode == 81 && g_recorder->menuRebuilds.load())
        engine.m_userMenu.entries.RemoveAll();
    if (operands.opcode == OpcodeShow && g_recorder->clearDuringShow.load())
        engine.ClearPendingCode();
    return CommandResult::Done;
}

class Interpreter : public ::testing::Test {
protected:
    void SetUp() override {
        g_recorder = &recorder;
        table = BuiltInCommandTable();
        for (CommandRow& row : table.rows) {
            if (row.action)
                row.action = Record;
        }
        engine = std::make_unique<CMainWnd>();
        engine->m_commandTable = &table;
    }
    void TearDown() override {
        engine.reset();
        g_recorder = nullptr;
    }

    std::vector<std::string> TakeLog() {
        std::lock_guard<std::mutex> hold(recorder.lock);
        std::vector<std::string> log;
        log.swap(recorder.log);
        return log;
    }

    void AddFrame(const char* name) {
        FrameItem* item = static_cast<FrameItem*>(engine->m_frames.CreateItem(ItemType::Frame));
        item->frame.name = name;
    }

    static void Assign(CompiledCode& code, const std::vector<uint8_t>& bytes) {
        code.AssignCode(bytes.data(), static_cast<int32_t>(bytes.size()));
    }

    Recorder recorder;
    CommandTable table;
    std::unique_ptr<CMainWnd> engine;
};

using Log = std::vector<std::string>;

TEST_F(Interpreter, CompileResolvesAgainstTheBasePathAndThePackageFallback) {
    auto fileOf = [&](const CTexto* base) {
        CompiledCode code;
        engine->CompileCommands(&code, "SetFile(a.jpg)", base);
        CommandOperands operands;
        DecodeOperands(table.rows[52], code.code + 4, code.length - 4, operands);
        return std::string(operands.Text(0));
    };
    engine->m_basePath = "C:\\tour\\";
    const CTexto other = "C:\\other\\";
    EXPECT_EQ(fileOf(nullptr), "C:\\tour\\a.jpg");
    EXPECT_EQ(fileOf(&other), "C:\\other\\a.jpg");
    engine->m_fromPackage = 1;  // a name the package lacks falls back to the engine's folder
    EXPECT_EQ(fileOf(&other), "C:\\tour\\a.jpg");
}

TEST_F(Interpreter, WorkedSequenceOverTicks) {
    engine->RunCommandText("Show(_this_,a,1,g);GoToFrame(hall);Show(_this_,b,1,g)", false);
    EXPECT_EQ(TakeLog(), Log({"Show(_this_,a,g,1)"}));
    ASSERT_EQ(engine->GetPendingCodeCount(), 1);

    engine->RunPendingCode();
    EXPECT_EQ(TakeLog(), Log({"GoToFrame(hall)"}));
    ASSERT_EQ(engine->GetPendingCodeCount(), 1);
    auto* item = static_cast<CompiledCode*>(engine->m_pendingCode.GetItem(0));
    EXPECT_EQ(item->resume, 16) << "after the GoToFrame record";

    engine->RunPendingCode();
    EXPECT_EQ(TakeLog(), Log({"Show(_this_,b,g,1)"}));
    EXPECT_EQ(engine->GetPendingCodeCount(), 0);

    engine->RunPendingCode();  // an empty list does nothing
    EXPECT_TRUE(TakeLog().empty());
}

TEST_F(Interpreter, InvalidCodeAndStartPositions) {
    EXPECT_EQ(engine->RunCompiledCode(nullptr, 0, 1.0f, false), -1);

    CompiledCode empty;
    empty.resume = 7;
    EXPECT_EQ(engine->RunCompiledCode(&empty, 0, 1.0f, false), -1);
    EXPECT_EQ(empty.resume, 7);

    CompiledCode other;
    Assign(other, Code().R(24).U8(1).Bytes());
    other.type = ItemType::Value;
    other.resume = 7;
    EXPECT_EQ(engine->RunCompiledCode(&other, 0, 1.0f, false), -1);
    EXPECT_EQ(other.resume, 7);
    other.type = ItemType::CompiledCode;

    // At its length: only the resume position is stored, nothing is handed over.
    CompiledCode code;
    Assign(code, Code().R(6).T("hall").Bytes());
    EXPECT_EQ(engine->RunCompiledCode(&code, code.length, 1.0f, false), -1);
    EXPECT_EQ(code.resume, code.length);
    EXPECT_EQ(engine->RunCompiledCode(&code, -3, 1.0f, false), -1);
    EXPECT_EQ(code.resume, -3);
    EXPECT_EQ(engine->GetPendingCodeCount(), 0);
    EXPECT_TRUE(TakeLog().empty());
}

TEST_F(Interpreter, ImmediateListsRunWholeAndFrameLoopListsAreHandedOver) {
    CompiledCode immediate;
    engine->CompileCommands(&immediate, "Show(f,o,1,g);CameraValue(0,x,5,0,0);Beep(1,2)", nullptr);
    engine->RunCompiledCode(&immediate, 0, 1.0f, false);
    EXPECT_EQ(TakeLog(), Log({"Show(f,o,g,1)", "CameraValue(0,x,500,0,0)", "Beep(1,2)"}));
    EXPECT_EQ(immediate.resume, immediate.length);
    EXPECT_EQ(engine->GetPendingCodeCount(), 0);

    CompiledCode loop;
    engine->CompileCommands(&loop, "OpenURL(http://a.b,_top);Show(f,o,1,g)", nullptr);
    engine->RunCompiledCode(&loop, 0, 2.5f, false);
    engine->RunCompiledCode(&loop, 0, 2.5f, false);
    EXPECT_TRUE(TakeLog().empty());
    EXPECT_EQ(loop.resume, 0);
    ASSERT_EQ(engine->GetPendingCodeCount(), 2) << "a second run hands over a second copy";
    auto* copy = static_cast<CompiledCode*>(engine->m_pendingCode.GetItem(0));
    EXPECT_EQ(copy->length, loop.length);
    EXPECT_EQ(copy->speed, 2.5f);

    engine->RunPendingCode();
    EXPECT_EQ(TakeLog(), Log({"OpenURL(http://a.b,_top)", "Show(f,o,g,1)"}));
    EXPECT_EQ(recorder.speeds.back(), 2.5f);
    EXPECT_EQ(engine->GetPendingCodeCount(), 1) << "one pending list per tick";
    engine->RunPendingCode();
    EXPECT_EQ(engine->GetPendingCodeCount(), 0);
}

TEST_F(Interpreter, FrameSwitchAtTheEndRemovesTheItemAtOnce) {
    engine->RunCommandText("NextFrame()", false);
    ASSERT_EQ(engine->GetPendingCodeCount(), 1);
    engine->RunPendingCode();
    EXPECT_EQ(TakeLog(), Log({"NextFrame()"}));
    EXPECT_EQ(engine->GetPendingCodeCount(), 0);
}

TEST_F(Interpreter, GoToFrameWaitsForCameraMovesAndRefusedSwitches) {
    engine->RunCommandText("GoToFrame(hall);Show(f,o,1,g)", false);
    engine->m_cameraTargets = 0x8;
    for (int tick = 0; tick < 3; tick++) {
        engine->RunPendingCode();
        EXPECT_TRUE(TakeLog().empty());
        EXPECT_EQ(engine->GetPendingCodeCount(), 1);
    }
    engine->m_cameraTargets = 0;
    recorder.refuseSwitches = 1;
    engine->RunPendingCode();
    EXPECT_EQ(TakeLog(), Log({"refused GoToFrame(hall)"}));
    EXPECT_EQ(engine->GetPendingCodeCount(), 1);
    engine->RunPendingCode();
    EXPECT_EQ(TakeLog(), Log({"GoToFrame(hall)"}));
    engine->RunPendingCode();
    EXPECT_EQ(TakeLog(), Log({"Show(f,o,g,1)"}));
    EXPECT_EQ(engine->GetPendingCodeCount(), 0);
}

TEST_F(Interpreter, ReaderAndFrameReadyWaits) {
    // A reader thread at work holds back script and file commands, even in the frame loop.
    engine->m_readerThread.store(reinterpret_cast<CWorkerThread*>(&recorder));
    engine->RunCommandText("SetScriptFile(C:\\a.txt);Show(f,o,1,g)", true);
    EXPECT_TRUE(TakeLog().empty());
    EXPECT_EQ(engine->GetPendingCodeCount(), 1) << "the rest of a frame-loop temporary is kept";
    engine->RunPendingCode();
    EXPECT_TRUE(TakeLog().empty());
    engine->m_readerThread.store(nullptr);
    engine->RunPendingCode();
    EXPECT_EQ(TakeLog(), Log({"SetScriptFile(C:\\a.txt)", "Show(f,o,g,1)"}));

    engine->RunCommandText("TimelapsePosition(3)", false);
    engine->RunPendingCode();
    EXPECT_TRUE(TakeLog().empty()) << "the current frame is not ready";
    engine->m_currentFrame->ready = 1;
    engine->m_transitionState = 2;
    engine->RunPendingCode();
    EXPECT_TRUE(TakeLog().empty()) << "a transition runs";
    engine->m_transitionState = 0;
    engine->RunPendingCode();
    EXPECT_EQ(TakeLog(), Log({"TimelapsePosition(300)"}));
    EXPECT_EQ(engine->GetPendingCodeCount(), 0);
}

TEST_F(Interpreter, FrameLoopTemporaryHandsOverWhatFollowsASwitch) {
    engine->RunCommandText("Show(f,a,1,g);GoToFrame(hall);Show(f,b,1,g)", true);
    EXPECT_EQ(TakeLog(), Log({"Show(f,a,g,1)", "GoToFrame(hall)"}));
    ASSERT_EQ(engine->GetPendingCodeCount(), 1);
    engine->RunPendingCode();
    EXPECT_EQ(TakeLog(), Log({"Show(f,b,g,1)"}));
}

TEST_F(Interpreter, ProbeModes) {
    AddFrame("entry");
    AddFrame("hall");
    CompiledCode code;
    engine->CompileCommands(&code, "CameraValue(0,x,5);GoToFrame(hall);Show(f,o,1,g)", nullptr);
    engine->m_skipCommands = 1;
    EXPECT_EQ(engine->RunCompiledCode(&code, 0, 1.0f, true), 1);
    EXPECT_EQ(engine->RunCompiledCode(&code, 0, 1.0f, false), 1);
    CompiledCode next;
    engine->CompileCommands(&next, "NextFrame()", nullptr);
    EXPECT_EQ(engine->RunCompiledCode(&next, 0, 1.0f, true), -1);
    AddFrame("");
    EXPECT_EQ(engine->RunCompiledCode(&next, 0, 1.0f, true), 2);
    CompiledCode transition;
    engine->CompileCommands(&transition, "Show(f,o,1,g);Transition(1,0.5,1,blend);OpenURL(a,b)", nullptr);
    EXPECT_EQ(engine->RunCompiledCode(&transition, 0, 1.0f, false), -1);
    EXPECT_EQ(TakeLog(), Log({"Transition(_this_,1,50,100)"})) << "Transition acts in probe mode";

    engine->m_skipCommands = 2;
    EXPECT_EQ(engine->RunCompiledCode(&code, 0, 1.0f, true), -1);
    EXPECT_EQ(code.resume, 34) << "the pass ends after the frame change";
    engine->m_skipCommands = 0;
    EXPECT_TRUE(TakeLog().empty());
    EXPECT_EQ(engine->GetPendingCodeCount(), 0) << "nothing is handed over in probe mode";

    engine->RunCompiledCode(&code, 0, 1.0f, true);
    EXPECT_EQ(TakeLog(), Log({"CameraValue(0,x,500,0,0)", "GoToFrame(hall)"}));
}

TEST_F(Interpreter, ProbeModeBelongsToTheThreadThatSetIt) {
    engine->m_skipCommands = 1;
    std::thread other([&] {
        EXPECT_EQ(static_cast<int32_t>(engine->m_skipCommands), 0);
        engine->RunCommandText("Show(f,o,1,g);NextFrame()", false);
    });
    other.join();
    EXPECT_EQ(static_cast<int32_t>(engine->m_skipCommands), 1);
    engine->m_skipCommands = 0;
    EXPECT_EQ(TakeLog(), Log({"Show(f,o,g,1)"}));
    EXPECT_EQ(engine->GetPendingCodeCount(), 1);
}

TEST_F(Interpreter, RecordsOfNoCommandAreSteppedOver) {
    Code code;
    code.R(26).I32(7).R(7).T("f").T("a").T("g").V(1);
    code.R(0).R(1).R(117).U8(3).R(65535);
    code.R(80).T("f").T("o").T("g").V(30).F(0);  // FadeGroup: no action, stepped over whole
    code.R(58).R(74).R(90).R(106).R(111);
    code.R(14).T("x").I32(5).U8(1).T("y");       // record kind 14: raw bytes
    code.R(7).T("f").T("b").T("g").V(2);
    CompiledCode compiled;
    Assign(compiled, code.Bytes());
    engine->RunCompiledCode(&compiled, 0, 1.0f, false);
    const Log log = TakeLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], "Show(f,a,g,1)");
    EXPECT_EQ(log[1], "FadeGroup(f,o,g,30,0)");
    EXPECT_EQ(log[2], "14()");
    EXPECT_EQ(log[3], "Show(f,b,g,2)");
    EXPECT_EQ(compiled.resume, compiled.length);
}

TEST_F(Interpreter, CorruptRecordsEndTheWalk) {
    Code good;
    good.R(24).U8(1).R(7).T("f").T("o").T("g").V(1).R(6).T("hall").R(24).U8(0);
    const std::vector<uint8_t> bytes = good.Bytes();
    // Every prefix: the whole records before the cut act, the cut one ends the walk.
    for (size_t cut = 0; cut <= bytes.size(); cut++) {
        SCOPED_TRACE(cut);
        CompiledCode code;
        code.AssignCode(bytes.data(), static_cast<int32_t>(cut));
        if (cut == 0)
            code.code = static_cast<uint8_t*>(std::malloc(1));
        engine->RunCompiledCode(&code, 0, 1.0f, false);
        EXPECT_EQ(code.resume, cut >= 47 ? 31 : static_cast<int32_t>(cut));
        TakeLog();
        engine->ClearPendingCode();
    }
    // A length below 4 ends the walk there; so does a length beyond the code.
    for (uint16_t badLength : {0, 3, 200}) {
        SCOPED_TRACE(badLength);
        std::vector<uint8_t> bad = bytes;
        bad[5] = static_cast<uint8_t>(badLength >> 8);
        bad[4 + 2] = static_cast<uint8_t>(badLength);  // second record's length field
        bad[4 + 3] = static_cast<uint8_t>(badLength >> 8);
        CompiledCode code;
        Assign(code, bad);
        engine->RunCompiledCode(&code, 0, 1.0f, false);
        EXPECT_EQ(TakeLog(), Log({"ShowCursor(1)"}));
        EXPECT_EQ(code.resume, code.length);
        EXPECT_EQ(engine->GetPendingCodeCount(), 0);
    }
    // A text operand claiming more than its record holds reads as empty.
    Code lying;
    lying.R(7).T("f").T("o");
    std::vector<uint8_t> lie = lying.Bytes();
    lie[4] = 0xFF;
    CompiledCode code;
    Assign(code, lie);
    engine->RunCompiledCode(&code, 0, 1.0f, false);
    EXPECT_EQ(TakeLog(), Log({"Show(,,,0)"}));
}

TEST_F(Interpreter, DamagedCodeNeverReadsOutsideIt)
{
    CompiledCode good;
    engine->CompileCommands(&good,
        "Show(f,o,1,g);CameraValue(0,x,5,1,1);StartDrag(f,o,g,1,2,3);"
        "CreateFloorHotspots(a,b,1,2,3,4,2,1,1,1,7,2,2,2,8);ObjectValue(f,o,g,p,t,1,2,3,4);"
        "ContextMenu(a|b);Play(v,1);Transition(1,0.5,1,blend);CreateFrame(n,aerial,x,1,y)", nullptr);
    ASSERT_GT(good.length, 0);
    const std::vector<uint8_t> bytes(good.code, good.code + good.length);
    for (size_t at = 0; at < bytes.size(); at++) {
        for (uint8_t flip : {0x00, 0xFF, 0x55}) {
            std::vector<uint8_t> damaged = bytes;
            damaged[at] = static_cast<uint8_t>(flip == 0x55 ? damaged[at] ^ flip : flip);
            // An exact-size copy, so that a read past the end would touch foreign memory.
            CompiledCode code;
            Assign(code, damaged);
            engine->RunCompiledCode(&code, 0, 1.0f, true);
            ASSERT_GE(code.resume, 0);
            ASSERT_LE(code.resume, code.length);
            engine->ClearPendingCode();
        }
    }
    TakeLog();
}

TEST_F(Interpreter, InstallScreensaverOnlyInAPackagedPlayer) {
    engine->RunCommandText("InstallScreensaver(tour);Show(f,o,1,g)", false);
    EXPECT_EQ(TakeLog(), Log({"Show(f,o,g,1)"}));
    EXPECT_EQ(engine->GetPendingCodeCount(), 0);

    engine->m_fromPackage = 1;
    engine->m_screensaver = 1;
    engine->RunCommandText("InstallScreensaver(tour)", false);
    EXPECT_EQ(engine->GetPendingCodeCount(), 0);

    engine->m_screensaver = 0;
    engine->RunCommandText("InstallScreensaver(tour)", false);
    EXPECT_TRUE(TakeLog().empty());
    ASSERT_EQ(engine->GetPendingCodeCount(), 1);
    engine->RunPendingCode();
    EXPECT_EQ(TakeLog(), Log({"InstallScreensaver(tour)"}));
}

TEST_F(Interpreter, ContextMenuEntriesWithinBounds) {
    for (const char* text : {"Show(f,a,1,g)", "Show(f,b,1,g)"}) {
        auto* entry = static_cast<CompiledCode*>(engine->m_userMenu.entries.CreateItem(ItemType::CompiledCode));
        engine->CompileCommands(entry, text, nullptr);
    }
    engine->RunContextMenuEntry(2);
    engine->RunContextMenuEntry(-1);
    EXPECT_TRUE(TakeLog().empty());
    engine->RunContextMenuEntry(1);
    engine->RunContextMenuEntry(0);
    EXPECT_EQ(TakeLog(), Log({"Show(f,b,g,1)", "Show(f,a,g,1)"}));

    // An entry that rebuilds the menu (and so frees itself) still runs to its end.
    engine->m_userMenu.entries.RemoveAll();
    auto* entry = static_cast<CompiledCode*>(engine->m_userMenu.entries.CreateItem(ItemType::CompiledCode));
    engine->CompileCommands(entry, "ContextMenu(x);Show(f,c,1,g);OpenURL(http://a.b,_top)", nullptr);
    recorder.menuRebuilds = true;
    engine->RunContextMenuEntry(0);
    EXPECT_EQ(TakeLog(), Log({"ContextMenu(x)", "Show(f,c,g,1)"}));
    EXPECT_EQ(engine->m_userMenu.entries.GetCount(), 0);
    EXPECT_EQ(engine->GetPendingCodeCount(), 1);}

TEST_F(Interpreter, ClearingDuringTheRunDropsTheHeadAfterItsPass) {
    engine->RunCommandText("NextFrame();Show(f,a,1,g);PrevFrame();Show(f,b,1,g)", false);
    engine->RunCommandText("NextFrame()", false);
    engine->RunPendingCode();
    TakeLog();
    recorder.clearDuringShow = true;
    engine->RunPendingCode();
    EXPECT_EQ(TakeLog(), Log({"Show(f,a,g,1)", "PrevFrame()"}));
    EXPECT_EQ(engine->GetPendingCodeCount(), 0);
}

TEST_F(Interpreter, ThreadsAppendingDuringPendingRunsLoseNothing) {
    constexpr int kThreads = 4;
    constexpr int kLists = 150;
    std::atomic<int> running{kThreads};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([&, t] {
            const std::string text = "GoToFrame(t" + std::to_string(t) + ");Show(f,o,1,g)";
            for (int i = 0; i < kLists; i++)
                engine->RunCommandText(text.c_str(), false);
            running--;
        });
    }
    // The frame loop ticks while the threads append; every wait here is bounded in time.
    const ULONGLONG deadline = GetTickCount64() + 30000;
    while ((running.load() > 0 || engine->GetPendingCodeCount() > 0) && GetTickCount64() < deadline)
        engine->RunPendingCode();
    for (std::thread& thread : threads)
        thread.join();
    const Log log = TakeLog();
    int switches = 0;
    int shows = 0;
    for (const std::string& entry : log) {
        switches += entry.rfind("GoToFrame", 0) == 0;
        shows += entry.rfind("Show", 0) == 0;
    }
    EXPECT_EQ(switches, kThreads * kLists);
    EXPECT_EQ(shows, kThreads * kLists);
}

}  // namespace
