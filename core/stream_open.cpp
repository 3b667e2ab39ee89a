// CFicheroHttp: construction, the dispatch of Open, and Close.
#include "core/stream.h"

#include <winsock2.h>
#include <windows.h>

#include <cstring>
#include <mutex>

#include "core/language.h"
#include "core/mailboxes.h"
#include "core/system_wrappers.h"
#include "core/worker_threads.h"

std::atomic<float> g_downloadSpeed{0.0f};
std::atomic<int> g_cacheEnabled{1};
CTexto g_cacheFolder;

namespace {

constexpr int kTempPathSize = 512;
constexpr const char* kCacheFolderName = "Lumarix";
// A '#' this close to the end starts a fragment (as in "tour.kzr#2"), cut before opening.
constexpr int kFragmentTail = 5;

std::mutex g_cacheFolderLock;
std::atomic<bool> g_cacheFolderExists{false};

// Names the cache folder when nobody has, and creates it until it has once been seen to exist.
void EnsureCacheFolder() {
    if (g_cacheFolderExists.load(std::memory_order_acquire))
        return;
    std::lock_guard<std::mutex> hold(g_cacheFolderLock);
    if (g_cacheFolder.GetLength() == 0) {
        char temp[kTempPathSize];
        DWORD n = ExpandEnvironmentStringsA("%temp%", temp, sizeof temp);
        // An unexpanded variable would name a folder relative to wherever we run.
        if (n == 0 || n > sizeof temp || std::strchr(temp, '%'))
            return;
        g_cacheFolder = temp;
        g_cacheFolder += "\\";
        g_cacheFolder += kCacheFolderName;
    }
    if (FileExists(g_cacheFolder.GetText()) || CreateDirectoryPath(g_cacheFolder.GetText()))
        g_cacheFolderExists.store(true, std::memory_order_release);
}

bool IsPackageExempt(const char* name) {
    return StreamCore::IsHttpUrl(name) || std::strstr(name, ".swf") || std::strstr(name, ".html");
}

}  // namespace

StreamCore::StreamCore() {
    EnsureCacheFolder();
}

StreamCore::~StreamCore() {
    Close();
    FreeMemoryBuffer();
}

void StreamCore::InterruptForOwnerExit() {
    m_cancel.store(1);
    m_cancelFlag.store(&m_cancel);
    uintptr_t socket = m_socket.load();
    if (socket != kClosedSocket)
        shutdown(static_cast<SOCKET>(socket), SD_BOTH);
    m_listenSocket.Close();
}

CFicheroHttp::CFicheroHttp()
    : m_core(std::make_shared<StreamCore>()),
      m_cancel(m_core->m_cancel),
      m_memoryMode(m_core->m_memoryMode),
      m_bigEndian(m_core->m_bigEndian),
      m_keyLength(m_core->m_keyLength),
      m_keyOffset(m_core->m_keyOffset),
      m_scrambleOff(m_core->m_scrambleOff),
      m_key(m_core->m_key),
      m_workerThread(m_core->m_workerThread),
      m_followRedirects(m_core->m_followRedirects),
      m_postBody(m_core->m_postBody),
      m_useCache(m_core->m_useCache),
      m_sessionOnly(m_core->m_sessionOnly) {}

CFicheroHttp::~CFicheroHttp() {
    CWorkerThread* worker = m_core->m_workerThread.load();
    if (worker && IsWorkerThreadValid(worker)) {
        m_core->InterruptForOwnerExit();
        WaitForWorkerThreadEnd(m_core->m_workerThread, kStreamWorkerWaitMs);
    }
    // The worker, if it still holds a share, frees the state when it lets go.
}

bool StreamCore::IsHttpUrl(const char* name) {
    return name && _strnicmp(name, "http://", 7) == 0;
}

bool StreamCore::IsCancelled() const {
    const std::atomic<int>* flag = m_cancelFlag.load();
    return (flag && flag->load() != 0) || m_cancel.load() != 0;
}

int StreamCore::Open(const char* name, unsigned flags, std::atomic<int>* cancel, int64_t start) {
    // One source at a time: whatever was open goes, the public settings stay.
    CloseSource();
    m_isOpen = 0;
    m_position = 0;
    m_length = 0;
    m_cancelFlag = cancel ? cancel : &m_cancel;
    if ((!name || !*name) && !m_memoryMode)
        return 0;
    if (start < 0)
        return 0;

    // Copied first: the name may point into this stream's own m_name.
    CTexto openName(name);
    if (openName.GetLength() > 0 && !(flags & kOpenPackageBypassMask)) {
        PackageEntryLocation entry;
        switch (LookupPackageEntry(openName.GetText(), &entry)) {
        case PackageLookup::Found:
            m_entryBase = entry.dataPosition;
            m_entrySize = entry.size;
            m_entryOpen = true;
            m_keyLength = entry.keyLength;
            m_keyOffset = entry.keyOffset;
            m_scrambleOff = entry.scrambleWord;
            if (entry.key)
                std::memcpy(m_key, entry.key, kPackageKeySize);
            m_keyFromPackage = true;
            start += entry.dataPosition;
            openName = entry.packagePath;
            break;
        case PackageLookup::Missing:
            ResetEntry();
            m_scrambleOff = -1;
            if (!IsPackageExempt(openName.GetText())) {
                // Inside a package a missing name is always reported, whatever the flags.
                CTexto message(GetLanguageLine(kLineFileDoesNotExist));
                message += " ";
                message += openName;
                SetPendingMessage(message.GetText());
                return 0;
            }
            break;
        case PackageLookup::NoPackage:
            break;
        }
    }

    m_name = openName;
    int fragment = m_name.ReverseFind('#');
    if (fragment >= 0 && fragment >= m_name.GetLength() - kFragmentTail)
        m_name.Delete(fragment, m_name.GetLength());

    int result = 0;
    if (IsCancelled())
        result = 0;
    else if (IsHttpUrl(m_name.GetText()))
        result = OpenHttp(m_name.GetText(), flags, start);
    else
        result = OpenLocalOrMemory(m_name.GetText(), flags, start);
    if (!result)
        CloseSource();
    m_isOpen = result;
    return result;
}

int StreamCore::OpenLocalOrMemory(const char* name, unsigned flags, int64_t start) {
    int result;
    if (m_memoryMode)
        result = OpenMemoryMode();
    else if (flags & (OpenWrite | OpenReadWrite))
        result = OpenFileForWriting(name, flags, start);
    else
        result = OpenFileForReading(name, flags, start);
    if (!result)
        return 0;
    m_seekable = 1;
    m_position = start;
    m_length = GetLength();
    if ((flags & OpenAppend) && SeekToEnd() < 0)
        return 0;
    return result;
}

void StreamCore::ReportMissingFile(const char* name) {
    if (!AreUserMessagesEnabled())
        return;
    if (GetErrorEventMode()) {
        SetPendingEvent(kEventFileNotFound, name);
        return;
    }
    CTexto message(GetLanguageLine(kLineFileDoesNotExist));
    message += " ";
    message += name;
    SetPendingMessage(message.GetText());
}

void StreamCore::ResetEntry() {
    m_entryBase = 0;
    m_entrySize = 0;
    m_entryOpen = false;
}

void StreamCore::CloseSource() {
    switch (m_source) {
    case StreamSource::File:
        CloseFile();
        break;
    case StreamSource::Memory:
        // The buffer and its content stay until the next open or the destructor.
        m_memState.store(BufferIdle, std::memory_order_release);
        break;
    case StreamSource::Tcp:
        CloseSocket();
        break;
    case StreamSource::Http:
        CloseNetwork();
        break;
    case StreamSource::None:
        break;
    }
    m_source = StreamSource::None;
    m_seekable = 0;
    ResetEntry();
    // A key that came with a package entry must not scramble the next, unrelated source; a
    // key the caller set stays.
    if (m_keyFromPackage) {
        m_scrambleOff = -1;
        m_keyFromPackage = false;
    }
}

void StreamCore::Close() {
    CloseSource();
    m_isOpen = 0;
    m_postBody = nullptr;
    m_cancelFlag = &m_cancel;
}
