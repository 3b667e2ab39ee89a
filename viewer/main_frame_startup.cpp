// Where the start-up parameters come from (a package appended to the program, a parameter file
// beside it, the command line), the window's class and geometry that follow from them, and the
// hand-over of a second start to the instance already running.
#include "viewer/main_frame.h"

#include <cstring>

#include "core/package.h"
#include "core/system_wrappers.h"
#include "core/text_convert.h"
#include "platform/application.h"
#include "viewer/config_file.h"
#include "viewer/lumarix_app.h"

namespace {

constexpr const char* kWindowClassPackage = "LumarixClassPack";
constexpr UINT kMainFrameClassStyle = CS_DBLCLKS | CS_BYTEALIGNCLIENT;
constexpr DWORD kSystemFrameStyles =
    WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
// The program's name beginning with this (any case) starts in the small skinned mode.
constexpr const char* kPlayerNamePrefix = "player";
constexpr const char* kDataFolder = "data\\";
constexpr const char* kWindowsVersionKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
// From this Windows version on the skinned modes 0 and 1 become the system-frame modes 5 and 6.
constexpr double kSystemFrameWindowsVersion = 6.0;
constexpr const char* kHandOverFormat = "'%s','%s','%s','%s'";

// The run of decimal digits that ends the name (possibly empty).
CTexto TrailingDigits(const CTexto& name)
{
    int start = name.GetLength();
    while (start > 0 && name.GetAt(start - 1) >= '0' && name.GetAt(start - 1) <= '9')
        start--;
    return name.Mid(start);
}

// The file's text as parameter text: line feeds become blanks, carriage returns and tabs go.
void FlattenParameterFile(CTexto& text)
{
    text.Replace('\n', ' ');
    text.Replace("\r", "");
    text.Replace("\t", "");
}

// The four texts of a hand-over, as the sender quoted them.
struct HandOverTexts {
    CTexto startFolder;
    CTexto commandLine;
    CTexto programName;
    CTexto programPath;
};

// A document word the user typed relative to the folder they started the player from (a shell's
// "lumarix pano.jpg") is found there when the program's own base folder does not hold it. Names
// with a drive, a scheme or a leading separator, package entries and names the base folder holds
// are left as they are.
void FindDocumentInStartingFolder(CTexto& document, const CTexto& basePath, const CTexto& startingFolder)
{
    if (document.GetLength() == 0 || startingFolder.GetLength() == 0 || g_runningFromPackage)
        return;
    const char first = document.GetAt(0);
    if (first == '\\' || first == '/' || document.Find(':') >= 0)
        return;
    // A "#type" suffix names the kind, not the file.
    const int hash = document.Find('#');
    const CTexto name = hash >= 0 ? document.Mid(0, hash) : document;
    const CTexto suffix = hash >= 0 ? document.Mid(hash) : CTexto();
    if (name.GetLength() == 0 || FileExists((basePath + name).GetText()))
        return;
    CTexto folder = startingFolder;
    if (folder.GetAt(folder.GetLength() - 1) != '\\')
        folder += "\\";
    const CTexto candidate = folder + name;
    if (FileExists(candidate.GetText()))
        document = candidate + suffix;
}

}  // namespace

double ReadWindowsVersion(const CMainWnd& engine)
{
    // The registry's version number; a system major version of 6 or more counts as well.
    char value[kRegistryTextSize] = {};
    double version = 0.0;
    if (ReadRegistryValue(HKEY_LOCAL_MACHINE, kWindowsVersionKey, "CurrentVersion", nullptr, value, nullptr) > 0)
        version = ParseFloat(value);
    const double major = static_cast<double>(engine.m_osVersion.dwMajorVersion);
    return major > version ? major : version;
}

bool ParseHandOverText(const char* data, size_t size, CTexto* texts)
{
    // Only the bytes given count; a terminator inside them ends the text.
    if (!data)
        return false;
    size_t length = 0;
    while (length < size && data[length])
        length++;
    CTexto record;
    record.Append(static_cast<int>(length) + 1, nullptr);
    for (size_t i = 0; i < length; i++)
        record += data[i];

    // 'start folder','command line','program name','program path': the folder ends at the first
    // "','", the name and path are the last two fields, the command line is what lies between
    // (it may itself hold "','").
    const char* separator = "','";
    const int total = record.GetLength();
    if (total < 2 || record.GetAt(0) != '\'' || record.GetAt(total - 1) != '\'')
        return false;
    const int first = record.Find(separator, 1);
    if (first < 0)
        return false;
    int last = -1;
    int beforeLast = -1;
    for (int at = record.Find(separator, 0); at >= 0; at = record.Find(separator, at + 1)) {
        beforeLast = last;
        last = at;
    }
    // Three separators at least, and the command line's field starts after the first one.
    if (beforeLast < 0 || beforeLast <= first)
        return false;
    const int separatorLength = 3;
    texts[0] = record.Mid(1, first - 1);
    texts[1] = record.Mid(first + separatorLength, beforeLast - first - separatorLength);
    texts[2] = record.Mid(beforeLast + separatorLength, last - beforeLast - separatorLength);
    texts[3] = record.Mid(last + separatorLength, total - 1 - last - separatorLength);
    return true;
}

bool CMainFrame::ApplyInterfaceMode(int mode)
{
    struct ModeFrame {
        int caption;
        int border;       // -1: the skinned window's own
        bool buttons;
        bool systemFrame;
    };
    static const ModeFrame kModes[] = {
        {24, 1, true, false},                  // 0 skinned, small caption
        {kMainFrameCaption, -1, true, false},  // 1 skinned
        {0, 0, false, false},                  // 2 no frame
        {0, 0, false, true},                   // 3 system frame, menu
        {35, 0, false, true},                  // 4 system frame, menu, caption area
        {0, 0, false, true},                   // 5 system frame
        {35, 0, false, true},                  // 6 system frame, caption area
    };
    const ModeFrame& frame = kModes[mode >= 0 && mode <= InterfaceSystemCaption ? mode : InterfaceSkinned];
    m_caption = frame.caption;
    if (frame.border >= 0) {
        m_left = m_right = m_bottom = frame.border;
        m_savedLeft = m_savedRight = frame.border;
    }
    m_showMinimize = m_showMaximize = m_showClose = frame.buttons ? 1 : 0;
    m_systemFrame = frame.systemFrame ? 1 : 0;
    return frame.systemFrame;
}

bool CMainFrame::UsesSystemFrameModes() const
{
    return m_windowsVersion(m_engine) >= kSystemFrameWindowsVersion;
}

void CMainFrame::LoadStartupParameters(const char* startFolder, const char* programName,
                                       const char* commandLine)
{
    CMainWnd& engine = m_engine;
    // The texts may be this object's own members (a re-read after a hand-over).
    const CTexto folderText(startFolder ? startFolder : "");
    const CTexto nameText(programName ? programName : "");
    const CTexto commandText(commandLine ? commandLine : "");
    m_startFolder = folderText;
    m_programName = nameText;
    m_commandLine = commandText;
    m_parameterText = m_commandLine;
    char startingFolder[MAX_PATH] = {};
    if (GetCurrentDirectoryA(MAX_PATH, startingFolder) >= MAX_PATH)
        startingFolder[0] = '\0';
    if (m_startFolder.GetLength() > 0)
        SetCurrentDirectoryA(m_startFolder.GetText());

    // A package appended to the program.
    PlayerPackage package;
    const bool packaged = ReadPlayerPackage(g_programPath.GetText(), m_startFolder.GetText(), &package);
    if (packaged) {
        g_packageKey = package.key;
        g_packageTable.RemoveAll();
        for (int32_t i = 0;; i++) {
            const PackageEntry* entry = static_cast<const PackageEntry*>(package.entries.GetItem(i));
            if (!entry)
                break;
            AddPackageEntry(&g_packageTable, entry->name.GetText(), entry->dataPosition, entry->dataSize);
        }
        m_parameterText = package.parameterText;
        m_parameterText += " ";
        m_parameterText += m_commandLine;
        engine.m_fromPackage = 1;
        g_runningFromPackage = 1;
        if (!engine.m_screensaver)
            g_windowClassName = kWindowClassPackage;
    }

    if (m_programName.GetLength() >= 6 && _strnicmp(m_programName.GetText(), kPlayerNamePrefix, 6) == 0 &&
        engine.m_params.interfaceMode == InterfaceSkinned)
        engine.m_params.interfaceMode = InterfaceSkinnedSmall;

    // Without a package: the first parameter file that opens.
    bool fromDataFolder = false;
    if (!packaged) {
        CTexto candidates[4];
        int candidateCount = 0;
        int firstDataCandidate = 4;
        if (engine.m_screensaver) {
            CTexto base = g_programPath;
            const int dot = base.ReverseFind('.');
            if (dot >= 0)
                base = base.Mid(0, dot);
            candidates[candidateCount++] = base + ".txt";
            candidates[candidateCount++] = base + ".kzr";
        } else {
            engine.ReadWriteSettings(SettingsRead, SettingsViewerSize);
            const CTexto digits = TrailingDigits(m_programName);
            candidates[candidateCount++] = m_startFolder + "params" + digits + ".txt";
            firstDataCandidate = candidateCount;
            candidates[candidateCount++] = m_startFolder + kDataFolder + m_programName + ".kzr";
            candidates[candidateCount++] = m_startFolder + kDataFolder + "params.kzr";
            candidates[candidateCount++] = m_startFolder + kDataFolder + "params" + digits + ".txt";
        }
        for (int i = 0; i < candidateCount; i++) {
            CTexto text;
            const int length = text.LoadFromFile(candidates[i].GetText());
            if (length < 0)
                continue;
            fromDataFolder = i >= firstDataCandidate;
            if (length > 0) {
                FlattenParameterFile(text);
                if (text.Find("src") >= 0 || text.Find("file") >= 0) {
                    m_parameterText = text;
                } else {
                    m_parameterText = text;
                    m_parameterText += " ";
                    m_parameterText += m_commandLine;
                }
            }
            break;
        }
    }

    CTexto basePath = m_startFolder;
    if (basePath.GetLength() == 0 || basePath.GetAt(basePath.GetLength() - 1) != '\\')
        basePath += "\\";
    if (!engine.m_screensaver && fromDataFolder)
        basePath += kDataFolder;
    engine.SetBasePath(basePath);

    engine.ParseParameterList(m_parameterText.GetText(), m_parameterList);
    engine.ApplyParameters(m_parameterList);
    FindDocumentInStartingFolder(engine.m_documentFile, engine.m_basePath, CTexto(startingFolder));

    if (UsesSystemFrameModes()) {
        if (engine.m_params.interfaceMode == InterfaceSkinnedSmall)
            engine.m_params.interfaceMode = InterfaceSystem;
        else if (engine.m_params.interfaceMode == InterfaceSkinned)
            engine.m_params.interfaceMode = InterfaceSystemCaption;
    }
}

bool CMainFrame::HandOverToRunningInstance()
{
    HWND running = FindWindowA(g_windowClassName.GetText(), nullptr);
    if (!running)
        return true;
    CTexto text;
    text.Format(kHandOverFormat, m_startFolder.GetText(), m_commandLine.GetText(), m_programName.GetText(),
                g_programPath.GetText());
    COPYDATASTRUCT data = {};
    data.dwData = 0;
    data.cbData = static_cast<DWORD>(text.GetLength() + 1);
    data.lpData = text.GetText();
    if (::SendMessageA(running, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data))) {
        if (IsIconic(running))
            ::ShowWindow(running, SW_RESTORE);
        SetForegroundWindow(GetLastActivePopup(running));
    }
    return false;
}

BOOL CMainFrame::OnCopyData(HWND, COPYDATASTRUCT* data)
{
    CTexto texts[4];
    if (!data || !ParseHandOverText(static_cast<const char*>(data->lpData), data->cbData, texts))
        return TRUE;
    const bool same = texts[0].Compare(m_startFolder) == 0 && texts[1].Compare(m_commandLine) == 0 &&
                      texts[2].Compare(m_programName) == 0 && texts[3].Compare(g_programPath) == 0;
    if (!same) {
        g_runningFromPackage = 0;
        g_programPath = texts[3];
        m_engine.m_documentFile.Empty();
        m_engine.m_params.files.Empty();
        LoadStartupParameters(texts[0].GetText(), texts[2].GetText(), texts[1].GetText());
        m_engine.PostApplyParameters();
    } else if (m_engine.m_params.reload) {
        m_engine.ReloadFrameImages(m_engine.m_currentFrame);
    }
    return TRUE;
}

BOOL CMainFrame::PreCreateWindow(CREATESTRUCTA& cs)
{
    CMainWnd& engine = m_engine;
    ViewerParameters& params = engine.m_params;

    CTexto folder = g_programPath;
    folder = folder.Mid(0, folder.ReverseFind('\\') + 1);
    CTexto programName;
    CWinApp* app = GetApp();
    if (app && app->m_exeName.GetLength() > 0) {
        programName = app->m_exeName;
    } else {
        programName = g_programPath.GetTextAt(g_programPath.ReverseFind('\\') + 1);
        const int dot = programName.ReverseFind('.');
        if (dot >= 0)
            programName = programName.Mid(0, dot);
    }
    const CTexto commandLine = m_commandLine;
    LoadStartupParameters(folder.GetText(), programName.GetText(), commandLine.GetText());

    if (engine.m_screensaver) {
        params.bgColor = 0;
        params.resize = 0;
        params.toolsBar = 0;
        params.progressBar = 0;
        params.menu = 0;
        params.interfaceMode = InterfaceNone;
        params.closeButton = 0;
        params.fullScreen = 0;
        engine.m_toolbarTips = 0;
    }
    g_windowClassName += engine.m_instanceName;

    if (params.oneInstance && !engine.m_screensaver && !HandOverToRunningInstance())
        m_handedOver = 1;

    const int mode = params.interfaceMode;
    if ((mode == InterfaceSystemMenu || mode == InterfaceSystemMenuCaption) && !(cs.style & WS_CHILD))
        cs.hMenu = LoadMenuA(GetAppInstance(), MAKEINTRESOURCEA(kMainFrameMenu));

    const bool registered = RegisterNamedWindowClass(g_windowClassName.GetText(), kMainFrameClassStyle);
    if (params.viewerTopmost || m_createTopmost)
        cs.dwExStyle |= WS_EX_TOPMOST;

    const bool systemFrame = ApplyInterfaceMode(mode);

    cs.lpszClass = registered ? g_windowClassName.GetText() : RegisterWindowClass(kMainFrameClassStyle);
    if (engine.m_screensaver) {
        // The screensaver draws edge to edge: no frame, and the rectangle is the caller's.
        cs.style &= ~static_cast<LONG>(kSystemFrameStyles);
        return cs.lpszClass != nullptr;
    }

    const int dx = systemFrame ? 0 : 2 * GetSystemMetrics(SM_CXDLGFRAME);
    const int dy = systemFrame ? 0 : 2 * GetSystemMetrics(SM_CYDLGFRAME);
    RECT rect = {0, 0, params.viewerWidth + m_left + m_right + dx, params.viewerHeight + m_caption + m_bottom + dy};
    cs.dwExStyle &= ~static_cast<DWORD>(WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE);
    cs.dwExStyle |= WS_EX_ACCEPTFILES;
    if (systemFrame)
        AdjustWindowRectEx(&rect, static_cast<DWORD>(cs.style), cs.hMenu != nullptr, cs.dwExStyle);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    float x = static_cast<float>(params.viewerPosX - dx / 2);
    float y = static_cast<float>(params.viewerPosY - dy / 2);
    engine.ApplyAlignment(x, y, static_cast<uint8_t>(params.viewerAlign), static_cast<float>(width - dx),
                          static_cast<float>(height - dy), GetSystemMetrics(SM_CXSCREEN),
                          GetSystemMetrics(SM_CYSCREEN));
    cs.x = static_cast<int>(x);
    cs.y = static_cast<int>(y);
    cs.cx = width;
    cs.cy = height;
    return cs.lpszClass != nullptr;
}
