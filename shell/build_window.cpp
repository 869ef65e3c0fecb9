// The window's side of a gallery build: the status text while it runs, then
// the completion box or the error box.
#include "../common/common.h"
#include "../gallery/build.h"
#include "icon_message.h"
#include "main_window.h"

static void SetStatus(const wchar_t* first, const wchar_t* second, const wchar_t* third) {
    WideBuf status(StatusText);
    status.AppendZ(first);
    status.AppendZ(second);
    if (third) status.AppendZ(third);
}

void BuildGallery(HWND window, const wchar_t* folder) {
    SetStatus(PickTextW(L"Working:", L"Bearbeitung:"), L"\r\n\r\n", folder);
    InvalidateRgn(window, nullptr, TRUE);

    GalleryOutcome outcome = WriteGalleryFiles(folder, GermanUi);

    if (outcome.ok) {
        SetStatus(PickTextW(L"Gallery created:\r\n\r\n", L"Galerie erstellt:\r"), folder, kPageName);
        InvalidateRgn(window, nullptr, TRUE);
        wchar_t text[kStatusTextCapacity + 128];
        WideBuf message(text);
        message.AppendZ(StatusText);
        message.AppendZ(L"\r\r");
        message.AppendZ(PickTextW(L"Start gallery now with browser?", L"Galerie jetzt mit Browser starten?"));
        int answer = ShowIconMessage(nullptr, text, L"\U0001F306 Quimbo - Image Gallery", L"I", MB_YESNOCANCEL | MB_USERICON);
        if (answer == IDYES) {
            SendMessageA(window, WM_COMMAND, CMD_RUN_GALLERY, 0);
            ShowWindow(window, SW_SHOWMINIMIZED);
        }
        return;
    }

    SystemErrorText(outcome.error, ScratchBuffer);
    wchar_t text[kSystemErrorTextCapacity + 32];
    WideBuf message(text);
    message.AppendZ(PickTextW(L"System Error:\r\n", L"Systemfehler:\r\n"));
    message.AppendZ(ScratchBuffer);
    MessageBoxW(window, text, PickTextW(L"E R R O R", L"F E H L E R"), MB_ICONERROR);
}
