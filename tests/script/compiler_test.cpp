// The command compiler against hand-written byte code: every command of the table, the
// statement rules, the word maps and defaults, the 39,000-byte stop, and the decoder of every
// row giving back what was compiled.
#include "script/compiler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/item_records.h"
#include "core/text_string.h"
#include "script/command_table.h"
#include "script_test_support.h"

using script_test::Code;

namespace {

std::vector<uint8_t> Compile(const char* text, const CTexto* base = nullptr) {
    CompiledCode code;
    EXPECT_TRUE(CompileCommandText(&code, text, base, nullptr));
    return std::vector<uint8_t>(code.code, code.code + code.length);
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    char digits[4];
    for (uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02X ", b);
        out += digits;
    }
    return out;
}

// Walks code record by record: every length reaches the next record and the last ends at the
// code's end; each record decodes into the expected operands.
void ExpectRecordsDecode(const std::vector<uint8_t>& bytes,
                         const std::vector<script_test::ExpectedRecord>& expected) {
    const CommandTable& table = BuiltInCommandTable();
    size_t position = 0;
    size_t index = 0;
    CommandOperands operands;
    while (position < bytes.size()) {
        ASSERT_LE(position + 4, bytes.size());
        const int opcode = bytes[position] | (bytes[position + 1] << 8);
        const int length = bytes[position + 2] | (bytes[position + 3] << 8);
        ASSERT_GE(length, 4);
        ASSERT_LE(position + length, bytes.size()) << "record " << index << " reaches past the code";
        ASSERT_LT(index, expected.size());
        const script_test::ExpectedRecord& record = expected[index];
        EXPECT_EQ(opcode, record.opcode);
        DecodeOperands(table.rows[opcode], bytes.data() + position + 4, length - 4, operands);
        ASSERT_EQ(operands.count, static_cast<int>(record.operands.size())) << "record " << index;
        for (int k = 0; k < operands.count; k++) {
            SCOPED_TRACE(k);
            const script_test::ExpectedOperand& want = record.operands[static_cast<size_t>(k)];
            const Operand& got = operands.items[static_cast<size_t>(k)];
            EXPECT_EQ(got.kind, want.kind);
            if (want.kind == OperandKind::Text) {
                EXPECT_STREQ(operands.Text(k), want.text.c_str());
            } else if (want.kind == OperandKind::Integer) {
                EXPECT_EQ(operands.Integer(k), want.integer);
            } else {
                EXPECT_EQ(operands.Real(k), want.real);
            }
        }
        position += static_cast<size_t>(length);
        index++;
    }
    EXPECT_EQ(position, bytes.size());
    EXPECT_EQ(index, expected.size());
}

struct CompileCase {
    const char* text;
    Code expected;
};

std::vector<CompileCase> EveryCommand() {
    std::vector<CompileCase> c;
    auto add = [&](const char* text, Code code) { c.push_back({text, code}); };
    add("OpenURL(http://x.org/a b.html,_top)", Code().R(2).T("http://x.org/a b.html").T("_top").Z());
    add("OpenFile(C:\\doc.txt,some text)", Code().R(3).T("C:\\doc.txt").T("sometext"));
    add("ToolCommand(3)", Code().R(4).U8(3));
    add("GoToFrame(hall)", Code().R(6).T("hall"));
    add("Show(_this_,door,1,grp)", Code().R(7).T("_this_").T("door").T("grp").V(1));
    add("CameraValue(2,rotx,5.5,1,0)", Code().R(8).I16(2).T("rotx").F(5.5f).U8(1).U8(0));
    add("PlaySequence(1,walk)", Code().R(9).I16(1).T("walk"));
    add("StopSequence(-1)", Code().R(10).I16(-1));
    add("IniSequence(2,1)", Code().R(11).I16(2).U8(1));
    add("LoopSequence(2,70000)", Code().R(12).I16(2).I32(70000));
    add("Fade(_this_,door,50,2.5,grp)", Code().R(13).T("_this_").T("door").T("grp").V(50).F(2.5f));
    add("NextFrame()", Code().R(15));
    add("PrevFrame()", Code().R(16));
    add("CreateFrame(n,aerial,C:\\a.jpg,1.5,C:\\b.jpg)",
        Code().R(17).T("n").I16(8).T("C:\\a.jpg").F(1.5f).T("C:\\b.jpg"));
    add("PreloadFrame(hall,30)", Code().R(18).T("hall").F(30.0f));
    add("JavascriptEvent(say hello)", Code().R(19).T("say hello"));
    add("UseObjects(a,b)", Code().R(20).T("a").T("b"));
    add("DeleteFrame(hall,1)", Code().R(21).T("hall").F(1.0f));
    add("Transition(hall,1,0.5,1,blend)", Code().R(22).T("hall").I16(1).F(0.5f).F(1.0f).Z());
    add("InitialCameraRotation(t,1,2,3,4)", Code().R(23).T("t").F(1).F(2).F(3).F(4));
    add("ShowCursor(1)", Code().R(24).U8(1));
    add("StartDrag(f,o,g,1,2,3,4,5)", Code().R(25).T("f").T("o").T("g").U8(1).I16(2).I16(3).I32(4).I32(5));
    add("StopDrag(f,o,g)", Code().R(32).T("f").T("o").T("g"));
    add("PlayerWindow(ResizeTopLeft)", Code().R(33).I16(5));
    add("CheckStates(1)", Code().R(34).U8(1));
    add("Load(x,C:\\t.txt)", Code().R(35).T("x").T("C:\\t.txt"));
    add("Unload(x)", Code().R(36).T("x"));
    add("SetCamera(f,o,2)", Code().R(37).T("f").T("o").U8(2));
    add("CreateHotspotInfo(a,b,1.5,2,3,c,line 1\\nline 2,d e,f g)",
        Code().R(38).T("a").T("b").F(1.5f).F(2).U8(3).T("c").T("line 1\nline 2").T("d e").T("f g"));
    add("ObjectValue(f,o,g,prop,a\\tb,1,2.5,3.5,4)",
        Code().R(39).T("f").T("o").T("g").T("prop").T("a\tb").U8(1).F(2.5f).F(3.5f).U8(4));
    add("Create3DPlane(a,b,c,d,1,2,3,4,5,6,7,8,9,e f,g h)",
        Code().R(40).T("a").T("b").T("c").T("d").F(1).F(2).F(3).F(4).F(5).F(6).F(7).F(8).U8(9).T("e f").T("g h"));
    add("SetInterfaceFile(C:\\i.txt)", Code().R(41).T("C:\\i.txt"));
    add("CreatePanoPlane(a,b,c,d,1,2,3,4,5,e f,g)",
        Code().R(42).T("a").T("b").T("c").T("d").F(1).F(2).F(3).F(4).U8(5).T("e f").T("g"));
    add("CreateFloorHotspots(a,b,1,2,3,4,2,1,1,1,7)",
        Code().R(43).T("a").T("b").F(1).F(2).F(3).U8(4).I32(2).F(1).F(1).F(1).I32(7).F(0).F(0).F(0).I32(0));
    add("CreateIconHotspots(a,b,1,2,3,4,1,5,6,7,8)",
        Code().R(44).T("a").T("b").F(1).F(2).F(3).U8(4).I32(1).F(5).F(6).F(7).I32(8));
    add("Create3DPlaneCamera(a,b,c,d,1,2,3,4,5,6,7,e,f)",
        Code().R(45).T("a").T("b").T("c").T("d").F(1).F(2).F(3).F(4).F(5).F(6).U8(7).T("e").T("f"));
    add("SetScriptFile(C:\\s.txt)", Code().R(46).T("C:\\s.txt"));
    add("ShellCommand(C:\\p.exe,-a -b)", Code().R(47).T("C:\\p.exe").T("-a-b"));
    add("SimulateClick(10,-20)", Code().R(48).I16(10).I16(-20));
    add("ResetDrag(f,o,g)", Code().R(49).T("f").T("o").T("g"));
    add("InvertPano(1)", Code().R(50).U8(1));
    add("ContrastValue(1,2,3,4,5)", Code().R(51).I16(1).I16(2).I16(3).U8(4).U8(5));
    add("SetFile(C:\\f.jpg)", Code().R(52).T("C:\\f.jpg"));
    add("EnableQualityUpdate(,1)", Code().R(53).T("_this_").U8(1));
    add("EnableAnaglyph(#FF)", Code().R(54).I32(255));
    add("SetProjection(FishEye,90)", Code().R(55).U8(6).F(90));
    add("PlaySound(snd,1)", Code().R(56).T("snd").U8(1));
    add("StopSound(snd)", Code().R(57).T("snd"));
    add("PauseSound(snd)", Code().R(64).T("snd"));
    add("ResumeSound(snd)", Code().R(65).T("snd"));
    add("VolumeSound(snd,0.5,RIGHT)", Code().R(66).T("snd").F(0.5f).U8(2));
    add("FrameValue(a,b,c,1,2,3)", Code().R(67).T("a").T("b").T("c").U8(1).F(2).F(3));
    add("ShowGroup(_this_,door,0,grp)", Code().R(68).T("_this_").T("door").T("grp").V(0));
    add("CreateFileFinder(ff,%SELECTFOLDER%,*.jpg)", Code().R(69).T("ff").T("%SELECTFOLDER%").T("*.jpg"));
    add("SetFileFinderToObject(ff,img,2,a,b)", Code().R(70).T("ff").T("img").U8(2).T("a").T("b"));
    add("Scale(f,o,3,1,g)", Code().R(71).T("f").T("o").T("g").V(3).F(1));
    add("ScaleWidth(f,o,-3,2,g)", Code().R(72).T("f").T("o").T("g").V(-3).F(2));
    add("ScaleHeight(f,o,4,0.25,g)", Code().R(73).T("f").T("o").T("g").V(4).F(0.25f));
    add("FadeGroup(f,o,30,g)", Code().R(80).T("f").T("o").T("g").V(30).F(0));
    add("ContextMenu(Go home|GoToFrame(home))", Code().R(81).T("Go home|GoToFrame(home)"));
    add("TimelapsePosition(12)", Code().R(82).F(12));
    add("InstallScreensaver(My tour)", Code().R(83).T("My tour"));
    add("Play(video)", Code().R(84).T("video").U8(255));
    add("Stop(video)", Code().R(85).T("video"));
    add("Pause(video)", Code().R(86).T("video"));
    add("Resume(video)", Code().R(87).T("video"));
    add("SeekPercentage(video,50)", Code().R(88).T("video").F(50));
    add("Volume(video,0.75)", Code().R(89).T("video").F(0.75f));
    add("Rate(video,2)", Code().R(96).T("video").F(2));
    add("ConnectCamera(cam one)", Code().R(97).T("cam one"));
    add("DisconnectCamera()", Code().R(98));
    add("EnableDetection(1)", Code().R(99).I32(1));
    add("SystemShutdown(1,bye now)", Code().R(100).I32(1).T("bye now"));
    add("ConnectCameraName(cam two)", Code().R(101).T("cam two"));
    add("StartCapture(out file,3)", Code().R(102).T("out file").I32(3));
    add("StopCapture()", Code().R(103));
    add("PauseCapture()", Code().R(104));
    add("ResumeCapture()", Code().R(105));
    add("StepCapture(4)", Code().R(112).I32(4));
    add("Beep(440,200)", Code().R(113).I32(440).I32(200));
    add("ShowCameraProperties(1)", Code().R(114).I32(1));
    add("SetCameraProperty(gain x,auto y,1.5,2)", Code().R(115).T("gain x").T("auto y").F(1.5f).I32(2));
    add("EnableHardwareMonitor(port 1,2,0.5)", Code().R(116).T("port 1").I32(2).F(0.5f));
    return c;
}

TEST(CommandCompiler, EveryCommandCompilesByteExactAndDecodesBack) {
    std::vector<CompileCase> cases = EveryCommand();
    std::vector<bool> covered(kOpcodeCount, false);
    for (CompileCase& c : cases) {
        SCOPED_TRACE(c.text);
        const std::vector<uint8_t> got = Compile(c.text);
        EXPECT_EQ(Hex(got), Hex(c.expected.Bytes()));
        ExpectRecordsDecode(got, c.expected.Records());
        if (!c.expected.Records().empty())
            covered[static_cast<size_t>(c.expected.Records()[0].opcode)] = true;
    }
    const CommandTable& table = BuiltInCommandTable();
    for (int opcode = 0; opcode < kOpcodeCount; opcode++) {
        if (table.rows[opcode].name) {
            EXPECT_TRUE(covered[static_cast<size_t>(opcode)]) << table.rows[opcode].name << " has no case";
        }
    }
}

TEST(CommandCompiler, EveryPrefixOfAScriptCompilesToWellFormedCode)
{
    std::string script;
    for (const CompileCase& c : EveryCommand())
        script += std::string(c.text) + ";\n";
    const CommandTable& table = BuiltInCommandTable();
    CommandOperands operands;
    for (size_t cut = 0; cut <= script.size(); cut++) {
        const std::string prefix = script.substr(0, cut);
        const std::vector<uint8_t> code = Compile(prefix.c_str());
        size_t position = 0;
        while (position + 4 <= code.size()) {
            const int opcode = code[position] | (code[position + 1] << 8);
            const size_t length = code[position + 2] | (code[position + 3] << 8);
            ASSERT_LT(opcode, kOpcodeCount) << cut;
            ASSERT_NE(table.rows[opcode].name, nullptr) << cut;
            ASSERT_GE(length, 4u) << cut;
            ASSERT_LE(position + length, code.size()) << cut;
            DecodeOperands(table.rows[opcode], code.data() + position + 4,
                           static_cast<int>(length) - 4, operands);
            position += length;
        }
        ASSERT_EQ(position, code.size()) << cut;
    }
}

TEST(CommandCompiler, StatementRulesTable) {
    const CompileCase cases[] = {
        {"NextFrame();;PrevFrame()", Code().R(15).R(16)},
        {"GoToFrame(a),GoToFrame(b)", Code().R(6).T("a").R(6).T("b")},
        {"goToFrame(a);NextFrame()", Code()},
        {"NextFrame();Foo(1);PrevFrame()", Code().R(15)},
        {"NextFrame();SetTimer(1,2);PrevFrame()", Code().R(15)},
        {"NextFrame();GoToFrame (a);PrevFrame()", Code().R(15)},
        {" \r\n\t\"GoToFrame(a) ;\"\n NextFrame", Code().R(6).T("a").R(15)},
        {"GoToFrame(\"a, b\")", Code().R(6).T("a, b")},
        {"Show(f,o,200,g)", Code().R(7).T("f").T("o").T("g").V(200)},
        {"Show(f,o,1.9,g)", Code().R(7).T("f").T("o").T("g").V(1)},
        {"Show(f,o,-1.9,g)", Code().R(7).T("f").T("o").T("g").V(-1)},
        {"Show(f,o)", Code().R(7).T("f").T("o").T("").V(0)},
        {"Transition(1,0.5,1,blend)", Code().R(22).T("_this_").I16(1).F(0.5f).F(1).Z()},
        {"StartDrag(f,o,g,1,0,0)", Code().R(25).T("f").T("o").T("g").U8(1).I16(0).I16(0).I32(-10000000).I32(10000000)},
        {"StartDrag(f,o,g,1,0,0,5)", Code().R(25).T("f").T("o").T("g").U8(1).I16(0).I16(0).I32(5).I32(10000000)},
        {"Play(video,0)", Code().R(84).T("video").U8(0)},
        {"PlayerWindow(fly)", Code().R(33).I16(-1)},
        {"CreateFrame(n,cube,,2,)", Code().R(17).T("n").I16(-1).T("").F(2).T("")},
        {"CreateFrame(n,OneShot)", Code().R(17).T("n").I16(5).T("").F(0).T("")},
        {"SetProjection(mercator,1)", Code().R(55).U8(0).F(1)},
        {"VolumeSound(s,1,centre)", Code().R(66).T("s").F(1).U8(0)},
        {"OpenURL(HTTP://X.ORG,frame)", Code().R(2).T("HTTP://X.ORG").T("_blank").Z()},
        {"OpenURL(https://x.org/?a=1,_parent)", Code().R(2).T("https://x.org/?a=1").T("_parent").Z()},
        {"OpenURL(mailto:a@b.org,_Self)", Code().R(2).T("mailto:a@b.org").T("_blank").Z()},
        {"OpenURL(C:\\tour\\a.html,_self)", Code().R(2).T("file:///C:\\tour\\a.html").T("_self").Z()},
        {"OpenURL(\\\\srv\\share\\a.html,_self)", Code().R(2).T("file:///\\srv\\share\\a.html").T("_self").Z()},
        {"CreateFloorHotspots(a,b,1,2,3,4,-2)", Code().R(43).T("a").T("b").F(1).F(2).F(3).U8(4).I32(-2)},
        {"CreateFloorHotspots(a,b,1,2,3,4,100000000)", Code()},
        {"ShowCursor(1);CreateFloorHotspots(a,b,1,2,3,4,100000000);ShowCursor(0)", Code().R(24).U8(1)},
    };
    for (const CompileCase& c : cases) {
        SCOPED_TRACE(c.text);
        Code expected = c.expected;
        const std::vector<uint8_t> got = Compile(c.text);
        EXPECT_EQ(Hex(got), Hex(expected.Bytes()));
        ExpectRecordsDecode(got, expected.Records());  // Show's 200 comes back as -56
    }
}

TEST(CommandCompiler, TextsTravelAsUtf16AndComeBackInTheCodePage) {
    // Tests run with the ANSI code page 1252: e-acute is U+00E9, the euro sign 0x80 is U+20AC.
    const std::vector<uint8_t> code = Compile("GoToFrame(caf\xE9\x80)");
    const std::vector<uint8_t> expected = {6, 0, 18, 0, 12, 0, 'c', 0, 'a', 0, 'f', 0, 0xE9, 0,
                                           0xAC, 0x20, 0, 0};
    EXPECT_EQ(Hex(code), Hex(expected));
    CommandOperands operands;
    DecodeOperands(BuiltInCommandTable().rows[6], code.data() + 4, static_cast<int>(code.size()) - 4, operands);
    EXPECT_STREQ(operands.Text(0), "caf\xE9\x80");
}

TEST(CommandCompiler, ResolvedNamesAndTheFileUrlPrefix) {
    CTexto base = "C:\\tour\\";
    Code expected;
    expected.R(2).T("file:///C:\\tour\\page.html").T("_self").Z();
    expected.R(46).T("C:\\tour\\more.txt");
    expected.R(69).T("f").T("C:\\tour\\pics\\").T("*.jpg");
    expected.R(6).T("page.html");  // frame names are no files
    EXPECT_EQ(Hex(Compile("OpenURL(page.html,_self);SetScriptFile(more.txt);"
                          "CreateFileFinder(f,pics,*.jpg);GoToFrame(page.html)", &base)),
              Hex(expected.Bytes()));
}

TEST(CommandCompiler, NothingCompiledLeavesTheTargetAlone) {
    CompiledCode code;
    ASSERT_TRUE(CompileCommandText(&code, "NextFrame()", nullptr, nullptr));
    ASSERT_EQ(code.length, 4);
    uint8_t* before = code.code;
    code.resume = 3;
    for (const char* text : {"", "  ;; ", "Unknown(1);NextFrame()", "SetTimer(1)"}) {
        SCOPED_TRACE(text);
        CompileCommandText(&code, text, nullptr, nullptr);
        EXPECT_EQ(code.code, before);
        EXPECT_EQ(code.length, 4);
        EXPECT_EQ(code.resume, 3);
    }
    CompileCommandText(&code, "PrevFrame();PrevFrame()", nullptr, nullptr);
    ASSERT_EQ(code.length, 8);
    EXPECT_EQ(code.code[0], 16);
    CompileCommandText(nullptr, "NextFrame()", nullptr, nullptr);  // no target: no effect
}

TEST(CommandCompiler, LongTextsStopAt39000Bytes) {
    // 30-byte GoToFrame records: a statement starts while fewer than 39,000 bytes are written.
    std::string text;
    for (int i = 0; i < 3000; i++)
        text += "GoToFrame(abcdefghijk);";
    const std::vector<uint8_t> code = Compile(text.c_str());
    ASSERT_EQ(code.size() % 30, 0u);
    EXPECT_GE(code.size(), 39000u);
    EXPECT_LT(code.size(), 39030u);

    // A text too long for one operand (or the buffer) is dropped and ends compilation.
    std::string huge = "NextFrame();JavascriptEvent(" + std::string(33000, 'x') + ");NextFrame()";
    Code expected;
    expected.R(15);
    EXPECT_EQ(Hex(Compile(huge.c_str())), Hex(expected.Bytes()));

    // Near the end of the buffer, a record that would not fit is dropped.
    std::string nearEnd;
    for (int i = 0; i < 1299; i++)
        nearEnd += "GoToFrame(abcdefghijk);";  // 38,970 bytes
    nearEnd += "JavascriptEvent(" + std::string(600, 'y') + ");NextFrame()";
    const std::vector<uint8_t> cut = Compile(nearEnd.c_str());
    EXPECT_EQ(cut.size(), 38970u);
}

TEST(CommandCompiler, CompilesOnSeveralThreadsAtOnce) {
    const char* text = "Show(_this_,door,1,grp);GoToFrame(hall);CreateFloorHotspots(a,b,1,2,3,4,1,5,6,7,8)";
    const std::vector<uint8_t> reference = Compile(text);
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++) {
        threads.emplace_back([&] {
            for (int i = 0; i < 300; i++) {
                CompiledCode code;
                CompileCommandText(&code, text, nullptr, nullptr);
                if (std::vector<uint8_t>(code.code, code.code + code.length) != reference)
                    mismatches++;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}

TEST(CommandTable, DecoderReadsOnlyInsideItsRecord) {
    // A Show record cut after its first text: the rest reads empty and zero.
    Code full;
    full.R(7).T("frame").T("object").T("group").V(5);
    const std::vector<uint8_t>& bytes = full.Bytes();
    const CommandRow& row = BuiltInCommandTable().rows[7];
    CommandOperands operands;
    for (int cut = 0; cut <= static_cast<int>(bytes.size()) - 4; cut++) {
        SCOPED_TRACE(cut);
        DecodeOperands(row, bytes.data() + 4, cut, operands);
        ASSERT_EQ(operands.count, 4);
        EXPECT_EQ(operands.Integer(3), cut > 44 ? 5 : 0);  // the value's first byte is all it holds
        EXPECT_STREQ(operands.Text(0), cut >= 14 ? "frame" : "");
    }
    // A group count far beyond the record stops at the record's end.
    Code groups;
    groups.R(43).T("a").T("b").F(1).F(2).F(3).U8(4).I32(1000000).F(1).F(2).F(3).I32(4);
    const std::vector<uint8_t>& g = groups.Bytes();
    DecodeOperands(BuiltInCommandTable().rows[43], g.data() + 4, static_cast<int>(g.size()) - 4, operands);
    EXPECT_EQ(operands.count, 7 + 4);
    EXPECT_EQ(operands.Integer(10), 4);
}

TEST(CommandTable, NamesAndOpcodes) {
    const CommandTable& table = BuiltInCommandTable();
    int named = 0;
    for (int opcode = 0; opcode < kOpcodeCount; opcode++) {
        const CommandRow& row = table.rows[opcode];
        if (!row.name)
            continue;
        named++;
        SCOPED_TRACE(row.name);
        EXPECT_EQ(FindCommandOpcode(row.name, static_cast<int>(std::strlen(row.name))), opcode);
        EXPECT_NE(row.kind, CommandClass::None);
        ASSERT_NE(row.layout, nullptr);
    }
    EXPECT_EQ(named, 83);
    EXPECT_EQ(FindCommandOpcode("Show(x)", 4), 7);
    EXPECT_EQ(FindCommandOpcode("Sho", 3), 0);
    EXPECT_EQ(FindCommandOpcode("show", 4), 0);
    EXPECT_EQ(FindCommandOpcode("SetTimer", 8), 0);
    for (int opcode : {0, 1, 26, 31, 58, 63, 74, 79, 90, 95, 106, 111})
        EXPECT_EQ(table.rows[opcode].kind, CommandClass::None) << opcode;
    EXPECT_NE(table.rows[5].kind, CommandClass::None);
    EXPECT_NE(table.rows[14].kind, CommandClass::None);
}

}  // namespace
