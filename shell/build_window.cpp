// The window's side of a gallery build: the status text while it runs, then
// the completion box or the error box.
#include "../common/common.h"
#include "../gallery/build.h"
#include "icon_message.h"
#include "main_window.h"
#include "shell_texts.h"

// How long the window, which cannot paint while it waits, waits for another
// build of the same folder.
constexpr uint32_t kFolderWaitMilliseconds = 1000;

static void SetStatus(const wchar_t* first, const wchar_t* second, const wchar_t* third) {
    WideBuf status(StatusText);
    status.AppendZ(first);
    status.AppendZ(second);
    if (third) status.AppendZ(third);
}

void BuildGallery(HWND window, const wchar_t* folder) {
    SetStatus(Pick(kWorkingText), L"\r\n\r\n", folder);
    InvalidateRgn(window, nullptr, TRUE);

    // One build of a folder at a time (quimbo-build takes the same lock): a
    // build of a few files holds it for moments, so the window waits that
    // long; one that is making previews may hold it for minutes, and the user
    // is told that the folder is in use instead.
    GalleryOutcome outcome = {};
    outcome.error = kErrorFolderBusy;
    FolderLock lock;
    if (LockFolder(folder, kFolderWaitMilliseconds, &lock)) {
        outcome = WriteGalleryFiles(folder, GermanUi);
        UnlockFolder(&lock);
    }

    if (outcome.ok) {
        SetStatus(Pick(kCreatedText), folder, kPageName);
        InvalidateRgn(window, nullptr, TRUE);
        wchar_t text[kStatusTextCapacity + 128];
        WideBuf message(text);
        message.AppendZ(StatusText);
        message.AppendZ(L"\r\r");
        message.AppendZ(Pick(kStartQuestion));
        int answer = ShowIconMessage(nullptr, text, kCompletionCaption, L"I", MB_YESNOCANCEL | MB_USERICON);
        if (answer == IDYES) {
            SendMessageA(window, WM_COMMAND, CMD_RUN_GALLERY, 0);
            ShowWindow(window, SW_SHOWMINIMIZED);
        }
        return;
    }

    SystemErrorText(outcome.error, ScratchBuffer);
    wchar_t text[kSystemErrorTextCapacity + 32];
    WideBuf message(text);
    message.AppendZ(Pick(kSystemErrorHead));
    message.AppendZ(ScratchBuffer);
    MessageBoxW(window, text, Pick(kErrorCaption), MB_ICONERROR);
}
