#include "tests/support/box_catcher.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "tests/support/win32_helpers.h"

namespace testsupport {

struct BoxCatcher::State {
    mutable std::mutex lock;
    std::condition_variable changed;
    bool scripted = false;
    std::vector<int> answers;
    size_t nextAnswer = 0;
    std::vector<CaughtBox> boxes;
    std::deque<size_t> waiting;     // indexes into boxes, not yet handed out by Next
    std::vector<size_t> openCalls;  // message box calls still running whose box has not come up
    std::vector<HWND> seen;
    HHOOK hook = nullptr;
    DWORD thread = 0;
};

namespace {

using State = BoxCatcher::State;

// ---- Which thread is watched by whom -----------------------------------------------------------

std::mutex WatchLock;
std::map<DWORD, State*> Watched;

State* StateOfThisThread() {
    std::lock_guard<std::mutex> hold(WatchLock);
    auto found = Watched.find(GetCurrentThreadId());
    return found == Watched.end() ? nullptr : found->second;
}

// ---- The calls, through the program's imports ---------------------------------------------------

using MessageBoxWFn = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);
using MessageBoxIndirectWFn = int(WINAPI*)(const MSGBOXPARAMSW*);

MessageBoxWFn RealMessageBoxW = nullptr;
MessageBoxIndirectWFn RealMessageBoxIndirectW = nullptr;

// Records a call before its box comes up; the index of its record.
size_t OpenCall(State* state, const CaughtBox& call) {
    std::lock_guard<std::mutex> hold(state->lock);
    state->boxes.push_back(call);
    state->openCalls.push_back(state->boxes.size() - 1);
    return state->boxes.size() - 1;
}

// After the call has returned: a call whose box never came up is handed out as it is.
void CloseCall(State* state, size_t index) {
    std::lock_guard<std::mutex> hold(state->lock);
    auto open = std::find(state->openCalls.begin(), state->openCalls.end(), index);
    if (open == state->openCalls.end()) return;
    state->openCalls.erase(open);
    state->waiting.push_back(index);
    state->changed.notify_all();
}

int WINAPI RecordMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
    State* state = StateOfThisThread();
    if (!state) return RealMessageBoxW(owner, text, caption, style);
    CaughtBox call;
    call.isMessageBox = true;
    call.owner = owner;
    call.text = text ? text : L"";
    call.caption = caption ? caption : L"";
    call.style = style;
    size_t index = OpenCall(state, call);
    int answer = RealMessageBoxW(owner, text, caption, style);
    CloseCall(state, index);
    return answer;
}

int WINAPI RecordMessageBoxIndirectW(const MSGBOXPARAMSW* params) {
    State* state = StateOfThisThread();
    if (!state) return RealMessageBoxIndirectW(params);
    CaughtBox call;
    call.isMessageBox = true;
    call.indirect = true;
    call.owner = params->hwndOwner;
    call.text = params->lpszText ? params->lpszText : L"";
    call.caption = params->lpszCaption ? params->lpszCaption : L"";
    call.style = params->dwStyle;
    call.recordSize = params->cbSize;
    call.instance = params->hInstance;
    if (params->lpszIcon && !IS_INTRESOURCE(params->lpszIcon)) call.iconName = params->lpszIcon;
    call.contextHelpId = params->dwContextHelpId;
    call.hasCallback = params->lpfnMsgBoxCallback != nullptr;
    call.languageId = params->dwLanguageId;
    size_t index = OpenCall(state, call);
    int answer = RealMessageBoxIndirectW(params);
    CloseCall(state, index);
    return answer;
}

void InstallImportPatches() {
    static std::once_flag once;
    std::call_once(once, [] {
        RealMessageBoxW = reinterpret_cast<MessageBoxWFn>(
            PatchImport("user32.dll", "MessageBoxW", reinterpret_cast<void*>(&RecordMessageBoxW)));
        RealMessageBoxIndirectW = reinterpret_cast<MessageBoxIndirectWFn>(
            PatchImport("user32.dll", "MessageBoxIndirectW", reinterpret_cast<void*>(&RecordMessageBoxIndirectW)));
        if (!RealMessageBoxW) RealMessageBoxW = &MessageBoxW;
        if (!RealMessageBoxIndirectW) RealMessageBoxIndirectW = &MessageBoxIndirectW;
    });
}

// ---- The dialogs, as they come up ---------------------------------------------------------------

BOOL CALLBACK ReadChild(HWND child, LPARAM data) {
    auto* caught = reinterpret_cast<CaughtBox*>(data);
    std::wstring cls = ClassOf(child);
    if (lstrcmpiW(cls.c_str(), L"SysTreeView32") == 0) caught->isFolderBrowser = true;
    if (lstrcmpiW(cls.c_str(), L"Static") == 0) {
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            HICON shown = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
            if (shown && shown == LoadIconW(nullptr, IDI_ERROR)) caught->errorIcon = true;
        }
        std::wstring text = TextOf(child);
        if (!text.empty()) caught->statics.push_back(text);
    }
    return TRUE;
}

void PressButton(HWND box, int id) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

// Reads a dialog on its first activation, joins it to the message box call
// that made it (if any), answers it when the catcher has a script, and hands
// it out.
void CatchDialog(State* state, HWND box) {
    if (ClassOf(box) != L"#32770") return;
    {
        std::lock_guard<std::mutex> hold(state->lock);
        if (std::find(state->seen.begin(), state->seen.end(), box) != state->seen.end()) return;
        state->seen.push_back(box);
    }
    CaughtBox screen;
    screen.shownCaption = TextOf(box);
    screen.shownText = TextOf(GetDlgItem(box, 0xFFFF));  // a message box's text
    screen.shownOwner = GetWindow(box, GW_OWNER);
    for (int id : {IDOK, IDCANCEL, IDYES, IDNO})
        if (GetDlgItem(box, id)) screen.buttons.push_back(id);
    EnumChildWindows(box, ReadChild, reinterpret_cast<LPARAM>(&screen));

    int answer = 0;
    {
        std::lock_guard<std::mutex> hold(state->lock);
        size_t index = state->boxes.size();
        if (!state->openCalls.empty()) {
            index = state->openCalls.back();
            state->openCalls.pop_back();
        } else {
            state->boxes.push_back(CaughtBox{});
        }
        CaughtBox& caught = state->boxes[index];
        caught.box = box;
        caught.shown = true;
        caught.shownText = screen.shownText;
        caught.shownCaption = screen.shownCaption;
        caught.shownOwner = screen.shownOwner;
        caught.buttons = screen.buttons;
        caught.errorIcon = screen.errorIcon;
        caught.isFolderBrowser = screen.isFolderBrowser;
        caught.statics = screen.statics;
        if (state->scripted) {
            answer = state->nextAnswer < state->answers.size() ? state->answers[state->nextAnswer++] : IDCANCEL;
            caught.pressed = answer;
        }
        state->waiting.push_back(index);
        state->changed.notify_all();
    }
    if (answer) PressButton(box, answer);
}

LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        if (State* state = StateOfThisThread()) CatchDialog(state, reinterpret_cast<HWND>(wParam));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

BoxCatcher::BoxCatcher(std::vector<int> answers) : state_(new State) {
    state_->scripted = true;
    state_->answers = std::move(answers);
    Watch();
}

BoxCatcher::BoxCatcher() : state_(new State) {}

BoxCatcher::~BoxCatcher() {
    Unwatch();
    delete state_;
}

void BoxCatcher::Watch() {
    InstallImportPatches();
    state_->thread = GetCurrentThreadId();
    {
        std::lock_guard<std::mutex> hold(WatchLock);
        Watched[state_->thread] = state_;
    }
    state_->hook = SetWindowsHookExW(WH_CBT, OnCbt, nullptr, state_->thread);
}

void BoxCatcher::Unwatch() {
    if (state_->hook) UnhookWindowsHookEx(state_->hook);
    state_->hook = nullptr;
    std::lock_guard<std::mutex> hold(WatchLock);
    auto found = Watched.find(state_->thread);
    if (found != Watched.end() && found->second == state_) Watched.erase(found);
}

std::vector<CaughtBox> BoxCatcher::Boxes() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->boxes;
}

bool BoxCatcher::Next(CaughtBox* box, DWORD timeoutMs) {
    std::unique_lock<std::mutex> hold(state_->lock);
    if (!state_->changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), [this] { return !state_->waiting.empty(); }))
        return false;
    *box = state_->boxes[state_->waiting.front()];
    state_->waiting.pop_front();
    return true;
}

bool BoxCatcher::NoneFor(DWORD ms) {
    std::unique_lock<std::mutex> hold(state_->lock);
    return !state_->changed.wait_for(hold, std::chrono::milliseconds(ms), [this] { return !state_->waiting.empty(); });
}

void BoxCatcher::Press(HWND box, int id) { PressButton(box, id); }

}  // namespace testsupport
