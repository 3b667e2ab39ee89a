// Recording handlers for the script reader tests: every statement a handler sees is logged as
// "section|keyword|statement", so that a test compares what the reader delivered, in order.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "core/stream.h"
#include "script/reader.h"

namespace reader_test {

inline std::vector<std::string>& Log()
{
    static std::vector<std::string> log;
    return log;
}

// Raised by a handler that sees this statement text: lets a test cancel mid-read.
inline std::string& CancelAt()
{
    static std::string text;
    return text;
}
inline std::atomic<int>& CancelFlag()
{
    static std::atomic<int> flag{0};
    return flag;
}

inline void Record(ReadingContext& context, const char* tag)
{
    Log().push_back(std::string(context.sectionName.GetText()) + "|" + tag + "|" +
                    context.statement);
    if (!CancelAt().empty() && CancelAt() == context.statement)
        CancelFlag() = 1;
}

// TYPE=INCLUDE and TYPE=NONE leave the section ignored; TYPE=FRAME makes a frame section, any
// other value an image section; TYPE=FILEFIRST raises the items of a section whose FILE= came
// first.
inline void RecordType(ReadingContext& context)
{
    Record(context, "TYPE");
    const char* value = std::strchr(context.statement, '=') + 1;
    if (_stricmp(value, "INCLUDE") == 0 || _stricmp(value, "NONE") == 0)
        context.sectionKind = SectionIgnored;
    else if (_stricmp(value, "FRAME") == 0)
        context.sectionKind = SectionFrame;
    else
        context.sectionKind = SectionImage;
}

inline void RecordKeyword(ReadingContext& context)
{
    Record(context, ReaderKeywordSpellings()[static_cast<int>(context.keyword)].spellings[0]);
}

inline void RecordFile(ReadingContext& context)
{
    RecordKeyword(context);
    context.itemsPending = true;
}

inline void RecordItems(ReadingContext& context)
{
    Record(context, "ITEMS");
}

inline bool RecordFlagKey(ReadingContext& context)
{
    Record(context, "FLAG");
    return true;
}

inline int& LinkCount()
{
    static int count = 0;
    return count;
}
inline int& ReleaseCount()
{
    static int count = 0;
    return count;
}

inline ReaderHandlers RecordingHandlers()
{
    ReaderHandlers handlers;
    for (StatementHandler& handler : handlers.keywords)
        handler = RecordKeyword;
    handlers.keywords[static_cast<int>(ReaderKeyword::Type)] = RecordType;
    handlers.keywords[static_cast<int>(ReaderKeyword::File)] = RecordFile;
    handlers.createItems = RecordItems;
    handlers.frameFlagKey = RecordFlagKey;
    handlers.link = [](ReadingContext&) { LinkCount()++; };
    handlers.release = [](ReadingContext&) { ReleaseCount()++; };
    return handlers;
}

inline void ResetRecording()
{
    Log().clear();
    CancelAt().clear();
    CancelFlag() = 0;
    LinkCount() = 0;
    ReleaseCount() = 0;
}

struct ReadResult {
    ReadOutcome outcome;
    std::vector<std::string> log;
};

// Lists of one read and a context over them that polls CancelFlag.
struct ReadLists {
    ReadLists()
    {
        context.frames = &frames;
        context.images = &images;
        context.fonts = &fonts;
        context.cancel = &CancelFlag();
    }
    CObjeto frames, images, fonts;
    ReadingContext context;
};

inline ReadOutcome ReadInput(const ScriptInput& input)
{
    ReadLists lists;
    return ReadScript(lists.context, RecordingHandlers(), input);
}

// Reads a script with the recording handlers, from a text or from a memory stream.
inline ReadResult ReadText(const std::string& text)
{
    ResetRecording();
    ScriptInput input;
    input.text = text.c_str();
    input.textLength = static_cast<int64_t>(text.size());
    ReadResult result;
    result.outcome = ReadInput(input);
    result.log = Log();
    return result;
}

inline ReadResult ReadBytes(const std::string& bytes)
{
    ResetRecording();
    CFicheroHttp stream;
    stream.SetBuffer(bytes.data(), static_cast<int64_t>(bytes.size()), BufferUse::Copy);
    ScriptInput input;
    input.stream = &stream;
    ReadResult result;
    result.outcome = ReadInput(input);
    result.log = Log();
    return result;
}

}  // namespace reader_test
