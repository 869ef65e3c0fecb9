#include "icon_message.h"

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
