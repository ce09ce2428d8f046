#include "browserlayout.h"

#include <cstdlib>

BrowserLayout LayoutBrowser(int width, int height, int statusBarHeight, const BrowserDesign &d)
{
    BrowserLayout l;
    l.panel1Width = std::abs(width / 2);
    l.panel2Width = std::abs(width / 2);
    l.frameHeight = std::abs(height - statusBarHeight);
    l.frameWidth = std::abs(width - 300);
    l.text1Width = std::abs(l.frameWidth - d.text1Left - 300 - d.command3Width);
    l.command3Left = std::abs(l.text1Width + d.text1Left + 100);
    l.webWidth = std::abs(l.frameWidth - d.webLeft - 100);
    l.webHeight = std::abs((l.frameHeight - d.webTop - 800) - statusBarHeight);
    return l;
}
