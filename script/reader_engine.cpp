// The engine's side of reading a script: where a read puts its items, the reader thread and its
// hand-over, the interface frame's built-in items and the messages that start the tour.
#include <clocale>
#include <cstring>

#include "core/item_records.h"
#include "core/object_item.h"
#include "core/path_resolution.h"
#include "core/stream.h"
#include "core/text_convert.h"
#include "core/worker_threads.h"
#include "script/reader.h"
#include "viewer/main_wnd.h"

namespace {

// The interface frame holds this object once its built-in items exist.
constexpr const char* kBuiltInCloseButton = "_Lumarix_message_closebutton_";

// The serial number the list's next item would get, less one: its highest number or its count.
int32_t LastSerialNumber(CObjeto& list)
{
    int32_t highest = list.GetCount();
    for (CObjeto* node = list.GetHead(); node && node->GetRecord(); node = node->GetNext()) {
        if (node->GetRecord()->number > highest)
            highest = node->GetRecord()->number;
    }
    return highest;
}

// Lists a read on the reader thread fills instead of the engine's. A first placeholder record
// carries the live list's last serial number, so that the items made get the numbers they would
// have got in place (objects refer to them by number); the hand-over drops it.
struct StagedLists {
    CObjeto frames;
    CObjeto images;
    CObjeto fonts;
    CObjeto targetObjects;
    ItemRecord* imagesMark = nullptr;
    ItemRecord* fontsMark = nullptr;

    static ItemRecord* Seed(CObjeto& staged, CObjeto& live)
    {
        const int32_t last = LastSerialNumber(live);
        if (last <= 0)
            return nullptr;
        ItemRecord* mark = staged.CreateItem(ItemType::Value);
        if (mark)
            mark->number = last;
        return mark;
    }

    // Moves everything into the live lists; the caller holds the engine lock.
    void HandOver(CObjeto& liveFrames, CObjeto& liveImages, CObjeto& liveFonts, CFrame* target)
    {
        images.RemoveItem(imagesMark);
        fonts.RemoveItem(fontsMark);
        frames.MoveAllTo(liveFrames);
        images.MoveAllTo(liveImages);
        fonts.MoveAllTo(liveFonts);
        if (target)
            targetObjects.MoveAllTo(target->objects);
    }
};

}  // namespace

int CMainWnd::ReadParameterFile(const char* fileName, CObjeto& frames, uint32_t level,
                                CObjeto& fonts, CFrame* target, const char* text)
{
    return ReadScriptFile(fileName, frames, level, fonts, target, text, false);
}

int CMainWnd::ReadScriptFile(const char* fileName, CObjeto& frames, uint32_t level,
                             CObjeto& fonts, CFrame* target, const char* text, bool staged)
{
    if (level > kMaxScriptLevel)
        return 0;
    if (!fileName)
        fileName = "";

    ReadingContext context;
    context.engine = this;
    char folder[kPathBufferSize];
    CopyText(folder, fileName, static_cast<int>(sizeof folder));
    UrlToPath(folder, true);
    context.baseFolder = folder;
    context.fallback = m_fromPackage ? &m_basePath : nullptr;
    context.level = level;
    context.target = target;
    context.cancel = &m_cancel;

    StagedLists staging;
    if (staged) {
        {
            std::lock_guard<std::mutex> lock(m_sceneLock);
            staging.imagesMark = StagedLists::Seed(staging.images, m_images[level]);
            staging.fontsMark = StagedLists::Seed(staging.fonts, fonts);
        }
        context.frames = &staging.frames;
        context.images = &staging.images;
        context.fonts = &staging.fonts;
        context.targetObjects = target ? &staging.targetObjects : nullptr;
    } else {
        context.frames = &frames;
        context.images = &m_images[level];
        context.fonts = &fonts;
    }

    CFicheroHttp stream;
    ScriptInput input;
    if (text) {
        input.text = text;
        input.textLength = static_cast<int64_t>(std::strlen(text));
    } else {
        if (!stream.Open(fileName, OpenReportErrors, &m_cancel))
            return 0;
        input.stream = &stream;
        input.reopenName = fileName;
        input.reopenFlags = OpenReportErrors;
    }
    // Numbers in scripts use '.' whatever the user's regional settings.
    setlocale(LC_NUMERIC, "C");
    ReadScript(context, *m_readerHandlers, input);
    stream.Close();

    // On the reader thread everything below runs under the engine lock: the lists it looks at
    // are the ones the UI thread walks.
    std::unique_lock<std::mutex> lock(m_sceneLock, std::defer_lock);
    if (staged) {
        lock.lock();
        if (!m_cancel)
            staging.HandOver(frames, m_images[level], fonts, target);
    }

    const int result =
        (target || frames.GetCount() > 0 || m_images[level].GetCount() > 0) ? 1 : 0;

    if (target == &m_interfaceFrame && !m_interfaceFrame.objects.FindByName(kBuiltInCloseButton)) {
        if (result)
            m_interfaceFile = fileName;
        CreateBuiltInItems();
    }

    if (result && !m_cancel) {
        if (!target && frames.GetCount() > 0) {
            int32_t first = 0;
            if (m_params.firstObject.GetLength() > 0) {
                const int32_t named = FindFrameIndex(m_params.firstObject.GetText());
                if (named >= 0)
                    first = named;
            }
            PostToViewer(ViewerMessageGoToFrame, static_cast<WPARAM>(first), 0);
            PostToViewer(ViewerMessageInterfaceLoaded, 0, 0);
        } else {
            PostToViewer(ViewerMessageInterfaceLoaded, target == &m_interfaceFrame ? 1 : 0, 0);
        }
        m_changeCount++;
    }
    return result;
}

void CMainWnd::StartReaderThread(const char* fileName, uint32_t level, CFrame* target)
{
    if (!m_initialized || m_readerThread.load())
        return;
    HideObjectTooltip();
    m_readerFile = fileName ? fileName : "";
    m_readerLevel = level;
    m_readerTarget = target;
    ResumeWorkerThread(StartWorkerThread(ReaderThread, this, &m_readerThread));
}

unsigned CMainWnd::ReaderThread(void* parameter)
{
    CMainWnd* engine = static_cast<CMainWnd*>(parameter);
    engine->ReadScriptFile(engine->m_readerFile.GetText(), engine->m_frames,
                           engine->m_readerLevel, engine->m_fonts, engine->m_readerTarget,
                           nullptr, true);
    return 0;
}
