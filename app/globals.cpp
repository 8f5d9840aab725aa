// Every process-wide object of the shell, in the order it must be built. Within one translation
// unit C++ constructs in definition order and destroys in reverse, which is the order wanted.

#include "app/app.h"
#include "app/config_defaults.h"
#include "app/gpsoffset.h"
#include "app/segment_tables.h"
#include "app/settings.h"

GpsOffsetTable g_GpsOffsetTable;
CZentorPlayerApp theApp;
const std::string g_FeatureControlKeyWow64 = "Software\\Wow6432Node\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\";
const std::string g_FeatureControlKey = "Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\";
AppSettings g_AppSettings;

const SegmentOutline g_Seg7PlainHorizontal{{{5, 4}, {12, 11}, {36, 11}, {43, 4}}, {6, 2, 2, 2}};
const SegmentOutline g_Seg7PlainVertical{{{4, 6}, {4, 40}, {11, 36}, {11, 13}}, {6, 2, 2, 2}};
const SegmentOutline g_Seg7PlainMiddle{{{6, 41}, {14, 45}, {34, 45}, {42, 41}, {34, 37}, {14, 37}}, {6, 2, 2, 2, 2, 2}};
const SegmentOutline g_Seg7SmoothHorizontal{{{6, 4}, {5, 5}, {5, 6}, {8, 9}, {12, 11}, {36, 11}, {39, 4}}, {6, 4, 4, 4, 2, 2, 2}};
const SegmentOutline g_Seg7SmoothLeft{{{4, 9}, {4, 39}, {6, 40}, {7, 40}, {9, 38}, {11, 36}, {11, 12}}, {6, 2, 4, 4, 4, 2, 2}};
const SegmentOutline g_Seg7SmoothRight{{{37, 36}, {39, 38}, {41, 40}, {42, 40}, {44, 39}, {44, 6}, {42, 4}, {41, 4}, {39, 8}, {37, 12}},
                                       {6, 4, 4, 2, 2, 2, 4, 4, 4, 2}};
const SegmentOutline g_Seg7SmoothMiddle{{{8, 41}, {12, 45}, {36, 45}, {40, 41}, {36, 37}, {12, 37}}, {6, 2, 2, 2, 2, 2}};
const SegmentOutline g_Seg14PlainCentre{{{20, 13}, {20, 36}, {24, 40}, {28, 36}, {28, 13}}, {6, 2, 2, 2, 2}};
const SegmentOutline g_Seg14PlainDiagonal{{{5, 5}, {15, 35}, {20, 37}, {18, 25}}, {6, 2, 2, 2}};
const SegmentOutline g_Seg14PlainHalfMiddle{{{6, 41}, {14, 45}, {18, 45}, {22, 41}, {18, 37}, {14, 37}}, {6, 2, 2, 2, 2, 2}};
const SegmentOutline g_Seg14PlainVertical{{{4, 7}, {4, 40}, {11, 36}, {11, 26}}, {6, 2, 2, 2}};
const SegmentOutline g_Seg14PlainHorizontal{{{6, 4}, {11, 11}, {37, 11}, {42, 4}}, {6, 2, 2, 2}};
const SegmentOutline g_Seg14SmoothCentre{
    {{20, 12}, {20, 25}, {22, 36}, {23, 39}, {24, 40}, {25, 39}, {26, 36}, {28, 25}, {28, 12}, {26, 10}, {24, 9}, {22, 10}, {20, 12}},
    {6, 2, 4, 4, 4, 4, 4, 2, 2, 4, 4, 4, 2}};
const SegmentOutline g_Seg14SmoothDiagonal{{{10, 10}, {10, 13}, {11, 20}, {13, 28}, {21, 38}, {21, 37}, {19, 26}, {15, 16}, {11, 10}, {10, 10}},
                                           {6, 4, 4, 4, 2, 2, 4, 4, 4, 2}};
const SegmentOutline g_Seg14SmoothHalfMiddle{{{8, 41}, {12, 45}, {16, 45}, {23, 41}, {16, 37}, {12, 37}}, {6, 2, 2, 2, 2, 2}};
const SegmentOutline g_Seg14SmoothVertical{{{4, 7}, {4, 39}, {5, 40}, {6, 40}, {9, 37}, {11, 33}, {11, 25}, {9, 14}, {5, 6}, {4, 7}},
                                           {6, 2, 4, 4, 4, 4, 2, 4, 4, 2}};
const SegmentOutline g_Seg14SmoothHorizontal{{{8, 4}, {7, 5}, {7, 6}, {9, 8}, {12, 9}, {14, 11}, {19, 11}, {21, 9}, {24, 7}, {27, 9}, {29, 11},
                                              {34, 11}, {36, 9}, {39, 8}, {41, 6}, {41, 5}, {40, 4}},
                                             {6, 4, 4, 4, 4, 2, 2, 4, 4, 4, 2, 2, 4, 4, 4, 4, 2}};
const SegmentOutline g_SegDotUpper{{{4, 23}, {4, 32}, {13, 32}, {13, 23}}, {6, 2, 2, 2}};
const SegmentOutline g_SegDotMiddle{{{4, 50}, {4, 59}, {13, 59}, {13, 50}}, {6, 2, 2, 2}};
const SegmentOutline g_SegDotLower{{{4, 68}, {4, 77}, {13, 77}, {13, 68}}, {6, 2, 2, 2}};

// Items 1 to 46 are numbers whose factory values are not known; each stands at 0.
const ConfigDefaultRecord ConfigDefaultsTable[kConfigDefaultCount] = {
    {1, {0, 0, ""}}, {2, {0, 0, ""}}, {3, {0, 0, ""}}, {4, {0, 0, ""}}, {5, {0, 0, ""}}, {6, {0, 0, ""}},
    {7, {0, 0, ""}}, {8, {0, 0, ""}}, {9, {0, 0, ""}}, {10, {0, 0, ""}}, {11, {0, 0, ""}}, {12, {0, 0, ""}},
    {13, {0, 0, ""}}, {14, {0, 0, ""}}, {15, {0, 0, ""}}, {16, {0, 0, ""}}, {17, {0, 0, ""}}, {18, {0, 0, ""}},
    {19, {0, 0, ""}}, {20, {0, 0, ""}}, {21, {0, 0, ""}}, {22, {0, 0, ""}}, {23, {0, 0, ""}}, {24, {0, 0, ""}},
    {25, {0, 0, ""}}, {26, {0, 0, ""}}, {27, {0, 0, ""}}, {28, {0, 0, ""}}, {29, {0, 0, ""}}, {30, {0, 0, ""}},
    {31, {0, 0, ""}}, {32, {0, 0, ""}}, {33, {0, 0, ""}}, {34, {0, 0, ""}}, {35, {0, 0, ""}}, {36, {0, 0, ""}},
    {37, {0, 0, ""}}, {38, {0, 0, ""}}, {39, {0, 0, ""}}, {40, {0, 0, ""}}, {41, {0, 0, ""}}, {42, {0, 0, ""}},
    {43, {0, 0, ""}}, {44, {0, 0, ""}}, {45, {0, 0, ""}}, {46, {0, 0, ""}},
    {100, {1, 0, "SSID"}},
    {101, {1, 0, "58203716"}},  // the recorder's factory Wi-Fi key
    {102, {0, 1, ""}},
};
std::map<std::int32_t, ConfigDefaultValue> ConfigDefaultsMap = BuildConfigDefaultsMap(ConfigDefaultsTable);

CZentorPlayerApp::CZentorPlayerApp() : m_pMainDlg(nullptr), m_pMainWnd(nullptr) {}
