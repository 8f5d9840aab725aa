// quorvin-player [-f RECORDING.ts | -f FOLDER] [--exit-at-end]
//
// --exit-at-end: for machines without a display, where nobody can start playback or close the
// window: play what -f names, close the window at its end and print what was played. A display
// that does not answer counts as none: the program then runs as if given --exit-at-end.
//
// Exit status: 0, or 1 when the player could not start, when the named source could not be
// opened or, without a display, when nothing of it was shown.

#include "app/app.h"
#include "platform/win/window.h"
#include "ui/MainDlg.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--exit-at-end") == 0)
            CMainDlg::s_bCloseAtPlayEnd = true;
        else
            theApp.m_commandLine.push_back(argv[i]);
    }
    // Whether a window can be seen decides, not whether DISPLAY is set: with a display that does
    // not answer the window layer falls back to an off-screen driver, and a window there would
    // wait for ever for someone to close it.
    if (!CMainDlg::s_bCloseAtPlayEnd && (!qv::win::InitWindowing() || qv::win::IsHeadless())) {
        std::fprintf(stderr, "quorvin-player: no display to show the window on; playing without one\n");
        CMainDlg::s_bCloseAtPlayEnd = true;
    }
    theApp.InitInstance();
    return CMainDlg::s_nExitStatus;
}
