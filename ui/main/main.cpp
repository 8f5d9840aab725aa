// quorvin-player [-f RECORDING.ts | -f FOLDER] [--exit-at-end]
//
// --exit-at-end: for machines without a display, where nobody can start playback or close the
// window: play what -f names, close the window at its end and print what was played.
//
// Exit status: 0, or 1 when the named source could not be opened or, with --exit-at-end,
// nothing of it was shown.

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
    return CMainDlg::s_nExitStatus;
}
