// The application's run, beside the player window it builds.

#include "app/app.h"
#include "app/gpsoffset.h"
#include "app/settings.h"
#include "engine/H264Decoder.h"
#include "ui/MainDlg.h"

BOOL CZentorPlayerApp::InitInstance()
{
    RegisterCodecs();
    // The common controls, the control container and the drawing library need no start here:
    // the window layer starts with the first window and the drawing layer with its first use.
    // Nor has the application a handler for the framework's help command (ID_HELP): that help
    // opens the program's help file, and the program ships none, so the command could only
    // fail; and no window here sends it (the window layer turns F1 into no help request).
    g_AppSettings.LoadLanguageList();
    if (g_AppSettings.GetInt("GPS_Offset_Auto", 1) == 1)
        g_GpsOffsetTable.Load(g_AppSettings.m_strAppDir + "offset_min.bin");

    {
        CMainDlg dlg;
        m_pMainDlg = &dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        g_AppSettings.SaveLanguage();
        g_AppSettings.SaveUIMode();
        // Nothing may reach the window through the application once the object is gone.
        m_pMainDlg = nullptr;
        m_pMainWnd = nullptr;
    }
    return FALSE;
}
