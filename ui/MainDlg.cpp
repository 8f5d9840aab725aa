#include "ui/MainDlg.h"

#include "app/settings.h"
#include "app/timezone.h"
#include "engine/EngineMessages.h"
#include "engine/SourceType.h"
#include "platform/base/message.h"
#include "platform/media/presenter.h"
#include "platformWin32/browserEmulation.h"
#include "platformWin32/dxVersionChecker.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

// Posted to itself after the recording list has loaded; see m_bCountRecords.
constexpr UINT WM_MAINDLG_LISTLOADED = WM_APP + 0x101;

constexpr int kPaneWidth = 960;
constexpr int kPaneHeight = 540;

const DialogTemplate& MainTemplate()
{
    static const DialogTemplate tmpl = [] {
        DialogTemplate t;
        t.caption = "Quorvin Player";
        // Not visible: the modal loop shows it, unless initialisation already ended it.
        t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
        t.x = 40;
        t.y = 40;
        t.cx = kPaneWidth;
        t.cy = kPaneHeight;
        return t;
    }();
    return tmpl;
}

}  // namespace

bool CMainDlg::s_bCloseAtPlayEnd = false;
int CMainDlg::s_nExitStatus = 0;

CMainDlg::CMainDlg(CWnd* parent) : CKrSkinDialog(IDD, parent)
{
    m_lpDialogTemplate = &MainTemplate();
    m_nSelectedTimeCell = -1;
    m_nTimeZoneOffset = InitTimeZoneTable();

    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExW(&version) && version.dwMajorVersion < 6 && !IsDirectXSufficient())
        CheckDirectX();
}

CMainDlg::~CMainDlg()
{
    // A window destroyed without its close path (the loop quit) still must not leave the
    // engine's threads running.
    if (m_hJtv != nullptr) {
        JtvDestroy(m_hJtv);
        m_hJtv = nullptr;
    }
}

INT_PTR CMainDlg::DoModal()
{
    const INT_PTR result = CKrSkinDialog::DoModal();
    if (result == -1)
        FailToStart("The player window cannot be opened.");
    return result;
}

void CMainDlg::ClearDayMinuteTable()
{
    std::memset(m_DayMinuteTable, 0, sizeof m_DayMinuteTable);
    std::memset(m_DayHourTable, 0, sizeof m_DayHourTable);
    // The calendar panel that shows these tables is not part of this window yet.
}

void CMainDlg::CheckDirectX()
{
    const std::string text = g_AppSettings.Translate(
        "This program needs DirectX 9.0c. Do you want to install it now?");
    const std::string caption = g_AppSettings.Translate("Quorvin Player");
    if (::MessageBox(nullptr, text.c_str(), caption.c_str(), MB_OKCANCEL | MB_ICONWARNING) != IDOK)
        return;
    RunProgramAndWait(g_AppSettings.m_strAppDir + "dxwebsetup.exe");
}

BOOL CMainDlg::OnInitDialog()
{
    CKrSkinDialog::OnInitDialog();
    s_nExitStatus = 0;

    MshtmlVersion browser{};
    if (GetMshtmlVersion(&browser))
        SetBrowserEmulation(browser);

    m_hJtv = JtvCreate();
    if (m_hJtv == nullptr) {
        FailToStart("The playback engine cannot be started.");
        EndDialog(IDCANCEL);
        return FALSE;
    }
    SetTimer(kTimerId, 1000);
    SetWindowText(g_AppSettings.Translate("Quorvin Player").c_str());

    RECT client{};
    GetClientRect(&client);
    m_wndChannel.CreatePane(this, client, kChannelPaneId);
    JtvSetRenderWindow(m_hJtv, m_wndChannel.m_hWnd, 0);
    JtvSetNotifyWindow(m_hJtv, m_hWnd, 0);

    OpenCommandLineSource();
    return TRUE;
}

void CMainDlg::OpenCommandLineSource()
{
    const auto& args = theApp.m_commandLine;
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "-f" || args[i] == "-F") {
            const bool play = s_bCloseAtPlayEnd || g_AppSettings.GetInt("AutoPlayFirstRecord", 0) == 1;
            if (!OpenSource(args[i + 1], play))
                PostMessage(WM_CLOSE);
            return;
        }
    // Without a source named, the player looks for an inserted recorder card (not yet here);
    // without a display nobody could ever end that wait.
    if (s_bCloseAtPlayEnd) {
        Report("nothing to play: no recording named with -f");
        PostMessage(WM_CLOSE);
    }
}

bool CMainDlg::OpenSource(const std::string& name, bool play)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path path = fs::absolute(fs::path(name), ec).lexically_normal();
    if (ec)
        path = name;
    const bool folder = fs::is_directory(path, ec);
    m_strSource = path.string();

    auto fail = [&](const char* english) {
        s_nExitStatus = 1;
        TellSourceError(english);
        if (s_bCloseAtPlayEnd)
            Report("a failure to open it");
        return false;
    };

    if (!folder) {
        std::ifstream probe(path, std::ios::binary);
        if (!probe)
            return fail("The file cannot be opened.");
        if (probe.peek() == std::ifstream::traits_type::eof())
            return fail("The file is not a recording.");
    }

    // The recording's folder is listed as the card source's file set, so playback goes on
    // through the recordings after it; a file outside any list plays alone.
    JtvSetExportFolder(m_hJtv, (folder ? path : path.parent_path()).string());
    const int type = JtvOpenFile(m_hJtv, m_strSource);
    if (!folder && type != kSourceTs)
        return fail("The file is not a recording.");
    const bool listed = JtvLoadFileList(m_hJtv) != nullptr;
    PostMessage(WM_MAINDLG_LISTLOADED);
    if (folder) {
        if (!listed)
            return fail("The folder holds no recording.");
        JtvSelectFile(m_hJtv, 0);
    }
    if (!play)
        return true;

    JtvSetTimeZone(m_hJtv, -m_nTimeZoneOffset);
    if (!JtvOpenSourceBox(m_hJtv, 0, 0, 0))
        return fail("The recording cannot be played.");
    m_bPlaying = true;
    return true;
}

void CMainDlg::FailToStart(const char* english)
{
    s_nExitStatus = 1;
    ::MessageBox(m_hWnd, g_AppSettings.Translate(english).c_str(), g_AppSettings.Translate("Quorvin Player").c_str(),
                 MB_OK | MB_ICONERROR);
    if (s_bCloseAtPlayEnd)
        Report("a failure to start");
}

void CMainDlg::TellSourceError(const char* english)
{
    const std::string text = g_AppSettings.Translate(english) + "\n" + m_strSource;
    ::MessageBox(m_hWnd, text.c_str(), g_AppSettings.Translate("Quorvin Player").c_str(), MB_OK | MB_ICONERROR);
}

void CMainDlg::StopPlayback()
{
    if (m_hJtv != nullptr)
        JtvStop(m_hJtv);
    m_bPlaying = false;
}

void CMainDlg::ShutDownEngine()
{
    if (m_wndChannel.m_hWnd != nullptr)
        if (auto presenter = FindPresenter(m_wndChannel.m_hWnd))
            m_nPicturesPresented = presenter->PresentCount();
    StopPlayback();
    KillTimer(kTimerId);
    if (m_hJtv != nullptr) {
        JtvDestroy(m_hJtv);
        m_hJtv = nullptr;
    }
}

void CMainDlg::OnOK()
{
    // Return does not close the player window.
}

void CMainDlg::OnCancel()
{
    ShutDownEngine();
    if (s_bCloseAtPlayEnd)
        Report("closing the window");
    EndDialog(IDCANCEL);
}

void CMainDlg::OnDestroy()
{
    ShutDownEngine();
    CKrSkinDialog::OnDestroy();
}

BOOL CMainDlg::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    switch (message) {
    case WM_MAINDLG_LISTLOADED:
        m_bCountRecords = true;
        *result = 0;
        return TRUE;
    case WM_JTV_CARINFO:
        // Messages of an engine already destroyed may still be queued.
        if (m_hJtv != nullptr && wParam == reinterpret_cast<WPARAM>(m_hJtv) && m_bCountRecords && m_bPlaying)
            ++m_nRecords;
        *result = 0;
        return TRUE;
    case WM_JTV_PLAYEND:
        // The pictures of the channel played (0) ended, or the source itself (-1).
        if (m_hJtv != nullptr && wParam == reinterpret_cast<WPARAM>(m_hJtv) && (lParam == 0 || lParam == -1)) {
            ++m_nPlayEnds;
            if (auto presenter = FindPresenter(m_wndChannel.m_hWnd))
                m_nPicturesPresented = presenter->PresentCount();
            StopPlayback();
            // A file that ends before any picture was shown held no recording.
            const bool empty = m_nPicturesPresented == 0;
            if (empty) {
                s_nExitStatus = 1;
                TellSourceError("The file is not a recording.");
            }
            if (s_bCloseAtPlayEnd || empty) {
                if (s_bCloseAtPlayEnd)
                    Report(empty ? "an end without any picture" : "the end of the recording");
                PostMessage(WM_CLOSE);
            }
        }
        *result = 0;
        return TRUE;
    default:
        return CKrSkinDialog::OnWndMsg(message, wParam, lParam, result);
    }
}

void CMainDlg::Report(const char* howItEnded)
{
    if (m_bReported)
        return;
    m_bReported = true;
    if (m_nPicturesPresented == 0)
        s_nExitStatus = 1;
    std::printf("quorvin-player: %s: %llu pictures presented, %d records, ended by %s\n",
                m_strSource.empty() ? "(no source)" : m_strSource.c_str(),
                static_cast<unsigned long long>(m_nPicturesPresented), m_nRecords, howItEnded);
    std::fflush(stdout);
}
