#include "mainwindowlayout.h"

#include <cmath>

MainLayout LayoutMain(double W, double H, double statusBarHeight, const MainDesign &d)
{
    MainLayout l;
    // One half and three sixths: the panels always cover the width exactly.
    l.panelWidth[0] = std::fabs(W / 2);
    for (int i = 1; i < 4; ++i)
        l.panelWidth[i] = std::fabs(W / 6);
    for (int i = 1; i < 4; ++i)
        l.panelLeft[i] = l.panelLeft[i - 1] + l.panelWidth[i - 1];
    l.pb1Left = l.panelLeft[3] + 25;
    l.pb1Width = std::fabs(l.panelWidth[3] - 50);
    l.frame3Height = std::fabs(H - statusBarHeight - d.frame3Top);
    l.frame2Height = d.frame4Height + l.frame3Height;
    l.frame1Height = d.frame4Height + l.frame3Height;
    l.frame3Left = std::fabs(W - d.frameRightWidth - 175);
    l.frame4Left = l.frame3Left;
    l.frame2Width = std::fabs(l.frame3Left / 2 - 80);
    l.frame1Width = l.frame2Width;
    l.frame2Left = std::fabs(l.frame3Left - l.frame2Width - 50);
    l.list1Width = std::fabs(l.frame1Width - 2 * d.list1Left);
    l.websiteWidth = std::fabs(W - d.websiteLeft - 200);
    l.list2Height = std::fabs(l.frame1Height - d.list2Top - 100);
    l.list3Height = std::fabs(l.frame1Height - d.list3Top - 100);
    return l;
}
