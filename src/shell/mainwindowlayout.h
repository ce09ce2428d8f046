#pragma once

// LayoutMain of the main window as plain arithmetic in twips, so that it can be checked for
// any window size. Every computed size is the absolute value of its formula: a window smaller
// than its design never gets a negative size.
//
// Coordinates are those of the window's client area below the menu bar, where the frames and
// the status bar live; W and H are that area's width and height (status bar included).

// The design positions and sizes that LayoutMain leaves alone, in twips.
struct MainDesign
{
    double websiteLeft = 120; // cmdWebsite, on the window itself
    double websiteTop = 90;
    double websiteHeight = 420;
    double frameTop = 600; // Frame1, Frame2, Frame4
    double frame1Left = 60;
    double frameRightWidth = 5550; // Frame3 and Frame4
    double frame4Height = 4260;
    double frame3Top = 4860; // just below Frame4
    double list1Left = 180;  // inside Frame1 (List2, List3 and the buttons of Frame2 too)
    double list2Top = 3960;  // inside Frame1
    double list3Top = 2160;  // inside Frame2
};

struct MainLayout
{
    double panelWidth[4] = {0, 0, 0, 0}; // status panels 1..4
    double panelLeft[4] = {0, 0, 0, 0};
    double pb1Left = 0;
    double pb1Width = 0;
    double frame3Height = 0;
    double frame2Height = 0;
    double frame1Height = 0;
    double frame3Left = 0;
    double frame4Left = 0;
    double frame2Width = 0;
    double frame1Width = 0;
    double frame2Left = 0;
    double list1Width = 0; // also List2, List3, cmdViewDatabase, Command2, Command3
    double websiteWidth = 0;
    double list2Height = 0;
    double list3Height = 0;
};

// width, height: the client area (twips); statusBarHeight: StatusBar1's height (twips).
MainLayout LayoutMain(double width, double height, double statusBarHeight,
                      const MainDesign &design = MainDesign());
