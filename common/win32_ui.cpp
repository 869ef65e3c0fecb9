#include "win32_ui.h"

#include "common.h"

int ShowIconMessage(HWND owner, const wchar_t* text, const wchar_t* caption, const wchar_t* iconName, UINT style) {
    MSGBOXPARAMSW params;
    params.cbSize = sizeof(params);
    params.hwndOwner = owner;
    params.hInstance = GetModuleHandleW(nullptr);
    params.lpszText = text;
    params.lpszCaption = caption;
    params.dwStyle = style | MB_SETFOREGROUND;
    params.lpszIcon = iconName;
    params.dwContextHelpId = 1;
    params.lpfnMsgBoxCallback = nullptr;
    params.dwLanguageId = 0;
    MessageBeep(MB_ICONASTERISK);
    return MessageBoxIndirectW(&params);
}

const wchar_t* SystemErrorText(DWORD code, wchar_t* out) {
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                  nullptr, code, 0, out, kSystemErrorTextCapacity, nullptr);
    if (length >= kSystemErrorTextCapacity) length = 0;
    out[TrimErrorText(out, length)] = 0;
    return out;
}
