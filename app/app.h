#pragma once
// The application object and the process-wide objects. The objects are defined together in
// app/globals.cpp so that they are built in one fixed order (the GPS offset grid, the
// application, the two registry key texts, the settings) and destroyed in the reverse order.

#include "platform/base/types.h"

#include <cstdint>
#include <string>
#include <vector>

class CWnd;

// What the windows and controls below the player window may ask of it (the month calendar
// resets the selected day's tables through it).
class CMainDlgServices {
public:
    // Cell of the day's time grid last clicked, -1 for none.
    std::int32_t m_nSelectedTimeCell = -1;
    // Clears the selected day's minute table and per-hour array.
    virtual void ClearDayMinuteTable() = 0;

protected:
    ~CMainDlgServices() = default;
};

class CZentorPlayerApp {
public:
    CZentorPlayerApp();
    CZentorPlayerApp(const CZentorPlayerApp&) = delete;
    CZentorPlayerApp& operator=(const CZentorPlayerApp&) = delete;

    // The whole run: codecs, languages, the GPS offset grid, the player window run modally,
    // the language and UI mode saved for the next start. Always FALSE: no message pump of the
    // application's own follows. Defined beside the player window (ui/), which it builds.
    BOOL InitInstance();

    // The running player window; null outside its modal run.
    CMainDlgServices* m_pMainDlg;
    // The framework's main window: the same player window while it runs.
    CWnd* m_pMainWnd;
    // The program's arguments, without the program name.
    std::vector<std::string> m_commandLine;
};

extern CZentorPlayerApp theApp;
extern const std::string g_FeatureControlKeyWow64;
extern const std::string g_FeatureControlKey;
