#include "ui/win32/modal_dialog.h"

ModalDialog::ModalDialog(UINT templateId, HWND owner) : templateId_(templateId), owner_(owner) {}

INT_PTR ModalDialog::doModal() {
    INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner_,
                                     &ModalDialog::dialogProc, reinterpret_cast<LPARAM>(this));
    hwnd_ = nullptr;
    return result;
}

void ModalDialog::endDialog(INT_PTR result) {
    if (hwnd_ != nullptr) {
        EndDialog(hwnd_, result);
    }
}

bool ModalDialog::onMessage(UINT, WPARAM, LPARAM, INT_PTR&) {
    return false;
}

INT_PTR CALLBACK ModalDialog::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ModalDialog* dialog;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<ModalDialog*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        dialog->hwnd_ = hwnd;
    } else {
        dialog = reinterpret_cast<ModalDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    // Messages that come before WM_INITDIALOG (WM_SETFONT) have no dialog object yet.
    return dialog != nullptr ? dialog->dispatch(message, wParam, lParam) : FALSE;
}

INT_PTR ModalDialog::dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        BOOL result = onInitDialog();
        centreWindow();
        return result;
    }
    INT_PTR result = FALSE;
    if (onMessage(message, wParam, lParam, result)) {
        return result;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        // Menu and accelerator commands carry 0 too, which is BN_CLICKED.
        if (LOWORD(wParam) == IDOK) {
            onOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            onCancel();
            return TRUE;
        }
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
    }
    return FALSE;
}

void ModalDialog::centreWindow() {
    RECT window;
    GetWindowRect(hwnd_, &window);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(owner_ != nullptr ? owner_ : hwnd_, MONITOR_DEFAULTTOPRIMARY),
                    &monitor);
    const RECT& area = monitor.rcWork;

    RECT around = area;
    if (owner_ != nullptr && IsWindowVisible(owner_) && !IsIconic(owner_)) {
        GetWindowRect(owner_, &around);
    }
    LONG width = window.right - window.left;
    LONG height = window.bottom - window.top;
    LONG left = around.left + (around.right - around.left - width) / 2;
    LONG top = around.top + (around.bottom - around.top - height) / 2;
    // Keep the whole window on the work area where it fits.
    if (left + width > area.right)
        left = area.right - width;
    if (top + height > area.bottom)
        top = area.bottom - height;
    if (left < area.left)
        left = area.left;
    if (top < area.top)
        top = area.top;
    SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
