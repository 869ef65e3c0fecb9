// The shell link writer with a link object of the test's own: the calls it
// makes, in order, the 256-byte rule, and the stop with exit code 219 when the
// object lacks an interface.
#include <windows.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "linktool/linktool_win32.h"
#include "tests/support/win32_helpers.h"

using namespace testsupport;

namespace {

struct FakeLink : public IShellLinkW, public IPersistFile {
    bool refuseShellLink = false;
    bool refusePersistFile = false;
    size_t saveBytes = 400;  // the size of the file Save writes
    LONG references = 1;
    std::vector<std::wstring> calls;

    void Log(const std::wstring& call) { calls.push_back(call); }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid == IID_IUnknown) {
            *out = static_cast<IShellLinkW*>(this);
        } else if (iid == IID_IShellLinkW) {
            Log(L"QI IShellLinkW");
            if (!refuseShellLink) *out = static_cast<IShellLinkW*>(this);
        } else if (iid == IID_IPersistFile) {
            Log(L"QI IPersistFile");
            if (!refusePersistFile) *out = static_cast<IPersistFile*>(this);
        }
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }

    // IShellLinkW: the setters are recorded, the rest is not used.
    HRESULT STDMETHODCALLTYPE SetPath(LPCWSTR s) override { return Log(L"SetPath " + std::wstring(s)), S_OK; }
    HRESULT STDMETHODCALLTYPE SetArguments(LPCWSTR s) override { return Log(L"SetArguments " + std::wstring(s)), S_OK; }
    HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCWSTR s) override {
        return Log(L"SetWorkingDirectory " + std::wstring(s)), S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetDescription(LPCWSTR s) override {
        return Log(L"SetDescription " + std::wstring(s)), S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetIconLocation(LPCWSTR s, int i) override {
        return Log(L"SetIconLocation " + std::wstring(s) + L"," + std::to_wstring(i)), S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetShowCmd(int i) override { return Log(L"SetShowCmd " + std::to_wstring(i)), S_OK; }
    HRESULT STDMETHODCALLTYPE GetPath(LPWSTR, int, WIN32_FIND_DATAW*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDList(PIDLIST_ABSOLUTE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDescription(LPWSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPWSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetArguments(LPWSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHotkey(WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetHotkey(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetShowCmd(int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIconLocation(LPWSTR, int, int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetRelativePath(LPCWSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Resolve(HWND, DWORD) override { return E_NOTIMPL; }

    // IPersistFile
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR name, BOOL remember) override {
        Log(L"Save " + std::wstring(name) + L"," + std::to_wstring(remember));
        HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return E_FAIL;
        std::string bytes(saveBytes, 'L');
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR*) override { return E_NOTIMPL; }
};

FakeLink* Fake = nullptr;
HRESULT MakeFake(IUnknown** object) {
    *object = static_cast<IShellLinkW*>(Fake);
    return S_OK;
}
HRESULT RefuseToMake(IUnknown** object) {
    *object = nullptr;
    return REGDB_E_CLASSNOTREG;
}

class LinkObjectTest : public ::testing::Test {
protected:
    void SetUp() override { Fake = &fake; }
    void TearDown() override { Fake = nullptr; }
    LinkResult Create(const wchar_t* iconPath = L"", int iconNumber = 0, int showCommand = 1,
                      LinkObjectFactory factory = MakeFake) {
        return CreateShellLink(L"C:\\t.exe", L"", L"C:", link.c_str(), L"", iconPath, iconNumber, showCommand, factory);
    }
    void WriteOldLink() { MakeFile(link, "old", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN); }
    bool LinkExists() { return FileExists(link); }

    FakeLink fake;
    TempFolder folder;
    std::wstring link = folder / L"a.lnk";
};

TEST_F(LinkObjectTest, MakesEverySetterCallInOrderThenSaves) {
    EXPECT_EQ(Create(L"", -3, 0), LinkResult::Created);
    std::vector<std::wstring> expected = {
        L"QI IShellLinkW",      L"SetPath C:\\t.exe",  L"SetArguments ",     L"SetWorkingDirectory C:",
        L"SetDescription ",     L"SetIconLocation ,-3", L"SetShowCmd 0",     L"QI IPersistFile",
        L"Save " + link + L",0",
    };
    EXPECT_EQ(fake.calls, expected);
    EXPECT_EQ(fake.references, 0);  // the creation reference and both interfaces released
}

TEST_F(LinkObjectTest, AFileSmallerThan256BytesIsNotAShortcut) {
    fake.saveBytes = 255;
    EXPECT_EQ(Create(), LinkResult::Failed);
    EXPECT_TRUE(LinkExists());  // it stays on disk
    fake.saveBytes = 256;
    fake.references = 1;
    EXPECT_EQ(Create(), LinkResult::Created);
}

TEST_F(LinkObjectTest, AnObjectThatCannotBeMadeFails) {
    WriteOldLink();
    EXPECT_EQ(Create(L"", 0, 1, RefuseToMake), LinkResult::Failed);
    EXPECT_FALSE(LinkExists());  // the old shortcut went first
}

TEST_F(LinkObjectTest, AMissingInterfaceStopsWithoutSaving) {
    fake.refuseShellLink = true;
    EXPECT_EQ(Create(), LinkResult::MissingInterface);
    EXPECT_EQ(fake.calls, std::vector<std::wstring>{L"QI IShellLinkW"});
    EXPECT_EQ(fake.references, 0);

    fake = FakeLink();
    fake.refusePersistFile = true;
    EXPECT_EQ(Create(), LinkResult::MissingInterface);
    EXPECT_EQ(fake.calls.back(), L"QI IPersistFile");
    EXPECT_EQ(fake.calls.size(), 8u);  // the six setters ran, no Save
    EXPECT_EQ(fake.references, 0);
}

TEST_F(LinkObjectTest, MainFlowExitsWith219AndNoResultLine) {
    WriteOldLink();
    fake.refusePersistFile = true;
    std::wstring outPath = folder / L"out.bin";
    HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE | GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, out);
    std::wstring line = L"Pinvane.exe \"" + link + L"\" C:\\t.exe";
    int code = RunPinvane(line.c_str(), MakeFake);
    SetStdHandle(STD_OUTPUT_HANDLE, saved);
    DWORD size = GetFileSize(out, nullptr);
    CloseHandle(out);
    DeleteFileW(outPath.c_str());
    EXPECT_EQ(code, 219);
    EXPECT_EQ(size, 0u);
    EXPECT_FALSE(LinkExists());  // removed before the object was asked
}

}  // namespace
