// Fuzz target for the tour script reader: the bytes as a script file in an in-memory stream,
// read with the program's own handlers and again with handlers that read every statement's
// first field as a key name and as flag words.
#include <cstdint>

#include "core/stream.h"
#include "fuzz_target.h"
#include "script/flag_words.h"
#include "script/key_names.h"
#include "script/reader.h"
#include "viewer/main_wnd.h"

namespace {

const char* const kScriptWords[] = {
    "(", ")", "{", "}", ";", "'", "\"", "=", ",", "\r\n", "\xFF\xFE", "TYPE=", "TIPO=",
    "TYPE=INCLUDE;", "INCLUDE=", "TYPE=PANORAMIC;", "FILE=", "DESCRIPTION=", "IMAGE=",
    "TEXTURAS=", "KEY=", "NODO1=", "FONT=", "TRANS+bilinear", "don't", "GoToFrame(",
    "TYPE=MENU;", "TYPE=TOOLTIP;", "MENUOPTION=", "LENSFLARE=", "3DLINEUTM=", "EXPOSURETABLE=",
    "CAMERAPARAMETERS=", "BUTTON=", "SLIDER=", "PROPERTYCODE3=", "100%-", nullptr};

CMainWnd& Engine()
{
    static CMainWnd* engine = new CMainWnd;
    return *engine;
}

void ParseFields(ReadingContext& context)
{
    int16_t key = 0;
    uint32_t flags = 0;
    const int at = ParseKeyName(context.statement, -1, &key);
    ParseFlagWords(context.statement, at, &flags, key != 0);
    if (context.keyword == ReaderKeyword::Type)
        context.sectionKind = flags & 1 ? SectionFrame : SectionImage;
}

bool ParseFlagKey(ReadingContext& context)
{
    ParseFields(context);
    return true;
}

ReaderHandlers FieldHandlers()
{
    ReaderHandlers handlers;
    for (StatementHandler& handler : handlers.keywords)
        handler = ParseFields;
    handlers.frameFlagKey = ParseFlagKey;
    return handlers;
}

void ReadOnce(const uint8_t* data, size_t size, const ReaderHandlers& handlers)
{
    CFicheroHttp stream;
    if (!stream.SetBuffer(data, static_cast<int64_t>(size), BufferUse::InPlace))
        return;
    CObjeto frames, images, fonts;
    ReadingContext context;
    context.engine = &Engine();
    context.frames = &frames;
    context.images = &images;
    context.fonts = &fonts;
    ScriptInput input;
    input.stream = &stream;
    ReadScript(context, handlers, input);
}

}  // namespace

LUMARIX_FUZZ_TARGET(script, kScriptWords) {
    static const ReaderHandlers fieldHandlers = FieldHandlers();
    ReadOnce(data, size, BuiltInReaderHandlers());
    ReadOnce(data, size, fieldHandlers);
    return 0;
}
