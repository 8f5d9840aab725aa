// Every process-wide object of the shell, in the order it must be built. Within one translation
// unit C++ constructs in definition order and destroys in reverse, which is the order wanted.

#include "app/app.h"
#include "app/gpsoffset.h"
#include "app/settings.h"

GpsOffsetTable g_GpsOffsetTable;
CZentorPlayerApp theApp;
const std::string g_FeatureControlKeyWow64 = "Software\\Wow6432Node\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\";
const std::string g_FeatureControlKey = "Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\";
AppSettings g_AppSettings;

CZentorPlayerApp::CZentorPlayerApp() : m_pMainDlg(nullptr), m_pMainWnd(nullptr) {}
