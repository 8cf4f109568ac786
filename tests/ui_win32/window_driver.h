#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// Helpers that drive and read windows of another thread (or process) the way a user's input and eyes
// would: posted clicks, window texts, colours on the screen.
namespace window_driver {

// Polls until the condition holds or the time is up; the condition's last value.
bool waitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds limit = std::chrono::seconds(10));

std::wstring text(HWND window);
std::wstring itemText(HWND dialog, int id);

// Posts a click, so that a modal box the click opens does not block the caller.
void click(HWND button);
void clickItem(HWND dialog, int id);

// A visible dialog box (class #32770) owned by owner, optionally with this caption; null when none.
HWND findOwnedDialog(HWND owner, const wchar_t* caption = nullptr);
// A visible top-level dialog box of the process with this caption; null when none.
HWND findProcessDialog(DWORD processId, const wchar_t* caption);

// The colour on the screen at a point of the window's client area.
COLORREF pixel(HWND window, int x, int y);

// The window's rectangle in the client pixels of its parent.
RECT rectInParent(HWND child);

struct Box {
    int left = 0, top = 0, right = -1, bottom = -1;
    int count = 0;
};
// Where the pixels of one colour lie in the client area.
Box pixelsOfColour(HWND window, COLORREF colour);

// The client path of a file of the host ("/work/x" -> "Z:\\work\\x"); other paths unchanged.
std::wstring hostPath(const char* path);

}  // namespace window_driver
