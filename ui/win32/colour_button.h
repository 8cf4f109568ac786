#pragma once

#include <windows.h>

// A push button that draws itself in one face colour: the face filled edge to edge, a caption centred
// in the text colour, a raised classic border that sinks while the button is held down, and no focus
// rectangle and no visual theme, so the colour always shows. The parent passes its WM_DRAWITEM for the
// button to draw().
class ColourButton {
public:
    ColourButton() = default;
    ~ColourButton();
    ColourButton(const ColourButton&) = delete;
    ColourButton& operator=(const ColourButton&) = delete;

    // A visible child of parent with the parent's font, no tab stop and no group style; rect is in the
    // parent's client pixels. False when the window could not be created.
    bool create(HWND parent, const wchar_t* caption, const RECT& rect, int commandId, COLORREF face,
                COLORREF text);

    // Takes the colour and repaints the whole button at once.
    void setFaceColour(COLORREF face);
    COLORREF faceColour() const { return face_; }

    void draw(const DRAWITEMSTRUCT& item) const;

    HWND hwnd() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
    COLORREF face_ = RGB(0, 0, 0);
    COLORREF text_ = RGB(255, 255, 255);
};
