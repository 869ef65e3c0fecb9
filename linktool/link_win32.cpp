// The shell link writer: the link object writes the .lnk file, and the file it
// leaves on disk decides whether the shortcut was created.
#include <shobjidl.h>

#include "linktool_win32.h"
#include "../common/platform.h"

namespace {

// The published identifiers, spelt out here so that no import library of GUIDs is needed.
const CLSID kClsidShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIidUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIidShellLinkW = {0x000214F9, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIidPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

constexpr DWORD kLinkClassContext = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER;  // 5
static_assert(kLinkClassContext == 5, "in-process or local server");

constexpr uint32_t kSmallestLinkFile = 256;  // a smaller file at the link path is not a shortcut

}  // namespace

HRESULT CreateSystemLinkObject(IUnknown** object) {
    return CoCreateInstance(kClsidShellLink, nullptr, kLinkClassContext, kIidUnknown, reinterpret_cast<void**>(object));
}

LinkResult CreateShellLink(const wchar_t* target, const wchar_t* arguments, const wchar_t* workingDirectory,
                           const wchar_t* link, const wchar_t* description, const wchar_t* iconPath,
                           int32_t iconNumber, int32_t showCommand, LinkObjectFactory factory) {
    // An old shortcut goes first, without a prompt, and stays gone when the rest fails.
    // A folder of that name is the user's, not an old shortcut: it is left as it is.
    DWORD oldAttributes = GetFileAttributesW(link);
    if (oldAttributes != INVALID_FILE_ATTRIBUTES) {
        if (oldAttributes & FILE_ATTRIBUTE_DIRECTORY) return LinkResult::Failed;
        SetFileAttributesW(link, FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(link);
    }

    CoInitialize(nullptr);
    IUnknown* object = nullptr;
    if (factory(&object) != S_OK || object == nullptr) {
        CoUninitialize();
        return LinkResult::Failed;
    }

    LinkResult result = LinkResult::Failed;
    IShellLinkW* shellLink = nullptr;
    IPersistFile* persistFile = nullptr;
    if (FAILED(object->QueryInterface(kIidShellLinkW, reinterpret_cast<void**>(&shellLink))) || !shellLink) {
        shellLink = nullptr;
        result = LinkResult::MissingInterface;
    } else {
        // All six, in this order, empty texts included; their results are not
        // looked at: the file on disk decides.
        shellLink->SetPath(target);
        shellLink->SetArguments(arguments);
        shellLink->SetWorkingDirectory(workingDirectory);
        shellLink->SetDescription(description);
        shellLink->SetIconLocation(iconPath, iconNumber);
        shellLink->SetShowCmd(showCommand);
        if (FAILED(object->QueryInterface(kIidPersistFile, reinterpret_cast<void**>(&persistFile))) ||
            !persistFile) {
            persistFile = nullptr;
            result = LinkResult::MissingInterface;
        } else {
            persistFile->Save(link, FALSE);
        }
    }
    if (persistFile) persistFile->Release();
    if (shellLink) shellLink->Release();
    object->Release();
    CoUninitialize();
    if (result == LinkResult::MissingInterface) return result;

    return PathExists(link) && FirstMatchSize(link) >= kSmallestLinkFile ? LinkResult::Created : LinkResult::Failed;
}
