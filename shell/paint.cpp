// Painting of the client area and the status text it shows.
#include "../common/common.h"
#include "main_window.h"
#include "shell_texts.h"

static HFONT CreatePaintFont(int height, int weight, DWORD charset) {
    return CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, charset, OUT_TT_PRECIS, CLIP_TT_ALWAYS,
                       PROOF_QUALITY, VARIABLE_PITCH | FF_SWISS, "Consolas");
}

// StatusText becomes the label and TargetFolder. A folder too long to stand
// beside the label (only a current directory near the buffer's size can be)
// is left out rather than shown cut.
static void ComposeStatusText() {
    WideBuf status(StatusText);
    status.AppendZ(Pick(kTargetLabel));
    status.AppendZ(TargetFolder);
    if (status.overflow) {
        status.Clear();
        status.AppendZ(Pick(kTargetLabel));
    }
}

// Both fonts are made for this paint and deleted at its end, so no handle
// outlives a paint however often the window repaints.
void PaintMainWindow(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SetBkMode(dc, TRANSPARENT);

    HFONT headingFont = CreatePaintFont(-32, 900, ANSI_CHARSET);
    HGDIOBJ previousFont = SelectObject(dc, headingFont);

    DrawIconEx(dc, 16, 16, LoadIconA(GetModuleHandleW(nullptr), "I"), 32, 32, 0, nullptr, DI_IMAGE);

    RECT area;
    GetClientRect(window, &area);
    area.left = 61;
    area.top = 17;
    SetTextColor(dc, RGB(0, 0, 0));
    DrawTextW(dc, kHeading, -1, &area, DT_NOCLIP);
    area.left = 60;
    area.top = 16;
    SetTextColor(dc, RGB(192, 0, 0));
    DrawTextW(dc, kHeading, -1, &area, DT_NOCLIP);

    area.top += 48;
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetTextColor(dc, RGB(170, 170, 170));
    DrawTextW(dc, kBanner, -1, &area, DT_NOCLIP);

    if (StatusText[0] == 0) ComposeStatusText();

    GetClientRect(window, &area);
    area.left = 60;
    area.top = 150;
    HFONT statusFont = CreatePaintFont(-14, 400, DEFAULT_CHARSET);
    SelectObject(dc, statusFont);
    SetTextColor(dc, RGB(0, 170, 170));
    DrawTextW(dc, StatusText, -1, &area, DT_NOCLIP | DT_WORDBREAK);

    SelectObject(dc, previousFont);
    DeleteObject(headingFont);
    DeleteObject(statusFont);
    EndPaint(window, &paint);
}

void UpdateStatusText(HWND window) {
    ComposeStatusText();
    InvalidateRgn(window, nullptr, TRUE);
}
