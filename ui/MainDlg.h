#pragma once
// The player window: a skinned modal dialog that owns the engine and the channel pane it plays into.
// (Its panels, control bar and card handling come with the rest of the player window.)

#include "app/app.h"
#include "controls/KrSkinDialog.h"
#include "engine/CarInfoRecord.h"
#include "engine/Jtv.h"
#include "platform/win/afxwin.h"
#include "ui/ChannelPane.h"

#include <cstdint>
#include <string>

class CMainDlg : public CKrSkinDialog, public CMainDlgServices {
public:
    static constexpr UINT IDD = 102;
    static constexpr UINT kChannelPaneId = 1001;
    static constexpr UINT_PTR kTimerId = 1;

    // Builds the time-zone table, and on Windows before version 6 checks for DirectX 9.0c.
    explicit CMainDlg(CWnd* parent = nullptr);
    ~CMainDlg() override;

    INT_PTR DoModal() override;
    void ClearDayMinuteTable() override;

    // Without a display nobody can start playback or close the window: with this set, the
    // source named on the command line plays whatever "AutoPlayFirstRecord" says, its end
    // closes the window, and what was played is printed on the standard output.
    static bool s_bCloseAtPlayEnd;
    // What the last run tells whoever started the program: 0, or 1 when the player could not
    // start, the named source could not be opened or, run with s_bCloseAtPlayEnd, nothing of it
    // was shown.
    static int s_nExitStatus;

    // What the window has seen, for the report and for tests.
    HJTV Engine() const { return m_hJtv; }
    HWND ChannelPane() const { return m_wndChannel.m_hWnd; }
    const std::string& Source() const { return m_strSource; }
    bool IsPlaying() const { return m_bPlaying; }
    int RecordCount() const { return m_nRecords; }
    int PlayEndCount() const { return m_nPlayEnds; }
    std::uint64_t PicturesPresented() const { return m_nPicturesPresented; }
    std::int32_t TimeZoneOffset() const { return m_nTimeZoneOffset; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnDestroy() override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    // Offers the DirectX web installer from the program folder.
    void CheckDirectX();
    // "-f PATH" or "-F PATH": the source to open.
    void OpenCommandLineSource();
    // A ".ts" recording, or a folder of them; false (after telling the user) when it cannot be
    // opened or holds no recording.
    bool OpenSource(const std::string& path, bool play);
    // The player cannot run: tells the user, and the run ends as a failure.
    void FailToStart(const char* english);
    // A translated message naming the source.
    void TellSourceError(const char* english);
    void StopPlayback();
    // Stops playback, the timer and the engine, in that order.
    void ShutDownEngine();
    void Report(const char* howItEnded);

    std::int32_t m_nTimeZoneOffset = 0;  // the machine's offset, seconds east of UTC
    std::uint8_t m_DayMinuteTable[24][60] = {};
    std::int32_t m_DayHourTable[24] = {};

    HJTV m_hJtv = nullptr;
    CChannelPane m_wndChannel;
    std::string m_strSource;
    bool m_bPlaying = false;
    // Record messages count once the recording list's own messages (posted while it loads) are
    // behind us; this marker follows them through the queue.
    bool m_bCountRecords = false;
    int m_nRecords = 0;
    int m_nPlayEnds = 0;
    std::uint64_t m_nPicturesPresented = 0;
    bool m_bReported = false;
};
