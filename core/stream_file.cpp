// CFicheroHttp over local files (and the program file that holds a package entry).
#include "core/stream.h"

#include <windows.h>

#include "core/language.h"
#include "core/mailboxes.h"
#include "core/system_wrappers.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

void ReportOpenFailure(int line, const char* separator, const char* name) {
    if (!AreUserMessagesEnabled())
        return;
    CTexto message(GetLanguageLine(line));
    message += separator;
    message += name;
    SetPendingMessage(message.GetText());
}

bool MoveFilePointer(HANDLE file, int64_t position) {
    LARGE_INTEGER target;
    LARGE_INTEGER landed;
    target.QuadPart = position;
    return SetFilePointerEx(file, target, &landed, FILE_BEGIN) && landed.QuadPart == position;
}

}  // namespace

int StreamCore::OpenFileForReading(const char* name, unsigned flags, int64_t start) {
    if (!FileExists(name)) {
        if (flags & OpenReportErrors)
            ReportMissingFile(name);
        return 0;
    }
    DWORD share = (flags & OpenExclusive) ? 0 : kShareAll;
    HANDLE file = CreateFileA(name, GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (flags & OpenReportErrors)
            ReportOpenFailure(kLineCannotOpenToRead, " ", name);
        return 0;
    }
    return UseOpenFile(file, start);
}

int StreamCore::OpenFileForWriting(const char* name, unsigned flags, int64_t start) {
    const bool exists = FileExists(name);
    if (exists && !(flags & (OpenReadWrite | OpenNoOverwritePrompt)) && (flags & OpenReportErrors) &&
        AreUserMessagesEnabled()) {
        CTexto question(GetLanguageLine(kLineReplaceQuestion));
        question += " \n";
        question += name;
        int answer = ShowMessageBox(nullptr, question.GetText(), kMessageBoxCaption,
                                    MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
        if (answer != IDYES)
            return 0;
    }
    if (exists)
        ClearReadOnly(name);
    // Only a plain write that asks to create starts the file afresh; read-write and append
    // opens keep what is there.
    const bool truncate = (flags & OpenWrite) && (flags & OpenCreate);
    DWORD access = (flags & OpenReadWrite) ? (GENERIC_READ | GENERIC_WRITE) : GENERIC_WRITE;
    HANDLE file = CreateFileA(name, access, kShareAll, nullptr, truncate ? CREATE_ALWAYS : OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (flags & OpenReportErrors)
            ReportOpenFailure(kLineCannotOpenToWrite, ": ", name);
        return 0;
    }
    // The first write goes where the stream says it is.
    return UseOpenFile(file, start);
}

int StreamCore::UseOpenFile(void* file, int64_t start) {
    m_file = file;
    m_source = StreamSource::File;
    if (start != 0 && !MoveFilePointer(static_cast<HANDLE>(file), start)) {
        CloseFile();
        return 0;
    }
    return 1;
}

int StreamCore::ReadLocalFile(void* buffer, int count) {
    DWORD got = 0;
    ::ReadFile(static_cast<HANDLE>(m_file), buffer, static_cast<DWORD>(count), &got, nullptr);
    return static_cast<int>(got);
}

int StreamCore::WriteLocalFile(const void* data, int count) {
    // A failed write (a full disk) may still have written part: that part counts.
    DWORD written = 0;
    ::WriteFile(static_cast<HANDLE>(m_file), data, static_cast<DWORD>(count), &written, nullptr);
    return static_cast<int>(written);
}

int64_t StreamCore::SeekFile(int64_t target) {
    return MoveFilePointer(static_cast<HANDLE>(m_file), target) ? target : -1;
}

int64_t StreamCore::GetFileLength() const {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(static_cast<HANDLE>(m_file), &size))
        return -1;
    return size.QuadPart;
}

void StreamCore::CloseFile() {
    if (m_file)
        CloseHandle(static_cast<HANDLE>(m_file));
    m_file = nullptr;
}
