// CWinApp: the application object. One object of a derived class exists per process; the entry
// point hands it the module and the command line and runs it: InitInstance, the message loop
// while it succeeds, then ExitInstance, whose result is the process exit code. The loop ends
// when the main window has been destroyed.
#pragma once

#include <windows.h>

#include "core/text_string.h"

class CWnd;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();

    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Non-zero to run the message loop; zero ends the process after ExitInstance.
    virtual BOOL InitInstance() { return FALSE; }
    // The process exit code.
    virtual int ExitInstance() { return 0; }
    // The message loop; answers when WM_QUIT arrives.
    virtual int Run();

    HINSTANCE m_hInstance = nullptr;
    // The command line behind the program's own name (never null).
    const char* m_lpCmdLine = "";
    // The program's file name without folder and extension.
    CTexto m_exeName;
    // The window whose destruction ends the message loop; not owned.
    CWnd* m_pMainWnd = nullptr;

private:
    friend int RunApplication(HINSTANCE instance, const char* commandLine);
    CTexto m_commandLine;
};

// The process's application object (the last one constructed), or null.
CWinApp* GetApp();

// The module whose resources the program loads: the application's once it runs, else the
// executable's.
HINSTANCE GetAppInstance();
void SetAppInstance(HINSTANCE instance);

// The command line behind the program's name in a full command line as Windows gives it: the
// program name (quoted or not) and the blanks after it are skipped.
const char* SkipProgramName(const char* commandLine);

// The entry point's work: sets the instance, the command line and the program name of the
// application object, then InitInstance, Run when it succeeded, ExitInstance. Answers the exit
// code (1 when there is no application object).
int RunApplication(HINSTANCE instance, const char* commandLine);

// Modeless dialogs take their keyboard messages through the message loop.
void AddModelessDialog(HWND dialog);
void RemoveModelessDialog(HWND dialog);
// True when the message was a keyboard message of a modeless dialog and has been handled.
bool PreTranslateDialogMessage(MSG* message);
