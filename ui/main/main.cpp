// quorvin-player [-f RECORDING.ts | -f FOLDER] [--exit-at-end]
//
// --exit-at-end: close the window when the recording has played to its end and print what was
// played; for machines without a display, where nobody can close the window.

#include "app/app.h"
#include "ui/MainDlg.h"

#include <cstring>

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--exit-at-end") == 0)
            CMainDlg::s_bCloseAtPlayEnd = true;
        else
            theApp.m_commandLine.push_back(argv[i]);
    }
    theApp.InitInstance();
    return 0;
}
