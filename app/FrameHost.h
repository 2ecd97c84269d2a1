// What the main window asks of the program that created it: the camera picture's size (the
// window keeps its proportions), the window opacity, and the menu commands that open the
// program's own dialogs. The application object implements it; the window knows nothing else.
#pragma once

#include <QSize>

class CFrameHost {
public:
    virtual QSize GetFrameSize() const = 0;
    // The camera now sends pictures of another size.
    virtual void SetFrameSize(QSize size) = 0;
    virtual unsigned char GetAlpha() const = 0;
    virtual void OnPreferences() = 0;
    virtual void OnAbout() = 0;

protected:
    ~CFrameHost() = default;
};
