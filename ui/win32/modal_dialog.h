#pragma once

#include <windows.h>

// A modal dialog built from a dialog template of the executable. doModal creates the window, calls
// onInitDialog, centres the window over its owner (or on its screen's work area when it has none)
// and runs until endDialog. Every message goes to onMessage first; the OK and Cancel commands that
// it leaves alone end the dialog with IDOK or IDCANCEL.
class ModalDialog {
public:
    ModalDialog(UINT templateId, HWND owner);
    virtual ~ModalDialog() = default;
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

    // IDOK or IDCANCEL, or -1 when the window could not be created.
    INT_PTR doModal();
    void endDialog(INT_PTR result);

    // The window while the modal run lasts, null before and after.
    HWND hwnd() const { return hwnd_; }

protected:
    // Runs once, when the template's controls exist and before the window shows. True lets the
    // system give the focus to the first tab-stop control.
    virtual BOOL onInitDialog() { return TRUE; }

    // Returns true when the message is handled, with the dialog procedure's result in `result`;
    // false passes it on to the default handling.
    virtual bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

    virtual void onOK() { endDialog(IDOK); }
    virtual void onCancel() { endDialog(IDCANCEL); }

private:
    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void centreWindow();

    UINT templateId_;
    HWND owner_;
    HWND hwnd_ = nullptr;
};
