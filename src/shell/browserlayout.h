#pragma once

// LayoutBrowser of the browser window, as plain arithmetic in twips so that it can be checked
// for any size. Each computed size is the absolute value of its formula, so a very small
// window never gets a negative size.
struct BrowserDesign
{
    // Design positions inside the frame frmBrowser, in twips.
    int text1Left = 2550;
    int command3Width = 420;
    int webLeft = 120;
    int webTop = 840;
};

struct BrowserLayout
{
    int panel1Width = 0;
    int panel2Width = 0;
    int frameHeight = 0;
    int frameWidth = 0;
    int text1Width = 0;
    int command3Left = 0;
    int webWidth = 0;
    int webHeight = 0;
};

// width and height: the window's outer size; statusBarHeight: the status bar's height.
BrowserLayout LayoutBrowser(int width, int height, int statusBarHeight,
                            const BrowserDesign &design = BrowserDesign());
