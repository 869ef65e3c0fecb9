// Console text and the example batch file.
#include "linktool_win32.h"

#include "../common/common.h"
#include "linktool_texts.h"

// ---- Console -----------------------------------------------------------------------------

void SetConsoleColor(uint16_t attribute) { SetConsoleTextAttribute(GetStdHandle(STD_OUTPUT_HANDLE), attribute); }

void WriteConsoleBytes(std::string_view bytes) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(out, data, static_cast<DWORD>(left), &written, nullptr) || written == 0) return;
        data += written;
        left -= written;
    }
}

size_t ConvertToAnsi(const wchar_t* text, char* out) {
    int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, out, static_cast<int>(kAnsiTextBytes), nullptr, nullptr);
    if (bytes <= 0) {
        out[0] = 0;
        return 0;
    }
    return static_cast<size_t>(bytes - 1);
}

namespace {
// Path conversion buffers. A path in a result line has at most kArgumentMaxUnits
// units, so these are generous; the worst case of the console step is three
// bytes (UTF-8) per unit.
char AnsiPath[kAnsiTextBytes];
wchar_t WidePath[kAnsiTextBytes];
char ConsolePath[3 * kAnsiTextBytes];
}  // namespace

void WriteConsolePath(const wchar_t* path) {
    size_t ansiBytes = ConvertToAnsi(path, AnsiPath);
    UINT consolePage = GetConsoleOutputCP();
    if (consolePage == 0 || consolePage == GetACP()) {  // not a console, or nothing to convert
        WriteConsoleBytes(std::string_view(AnsiPath, ansiBytes));
        return;
    }
    int units = MultiByteToWideChar(CP_ACP, 0, AnsiPath, static_cast<int>(ansiBytes), WidePath,
                                    static_cast<int>(kAnsiTextBytes));
    int bytes = units <= 0 ? 0
                           : WideCharToMultiByte(consolePage, 0, WidePath, units, ConsolePath,
                                                 static_cast<int>(sizeof(ConsolePath)), nullptr, nullptr);
    WriteConsoleBytes(std::string_view(ConsolePath, bytes > 0 ? static_cast<size_t>(bytes) : 0));
}

// ---- Example batch -----------------------------------------------------------------------

size_t ExpandEnvironment(const wchar_t* text, wchar_t* out, size_t units) {
    DWORD needed = ExpandEnvironmentStringsW(text, out, static_cast<DWORD>(units));
    if (needed == 0 || needed > units) {
        size_t length = 0;
        while (text[length] && length + 1 < units) {
            out[length] = text[length];
            ++length;
        }
        out[length] = 0;
        return needed == 0 ? length : needed - 1;
    }
    return needed - 1;
}

namespace {
LineWriter BatchWriter;  // 64 KiB: kept out of the stack
}

BatchResult WriteExampleBatch(const wchar_t* path) {
    // CreateFileW itself, not CreateOutputFile: a read-only Example.bat is the
    // user's choice and is reported, not forced. The system refuses to replace
    // it anyway; the explicit test keeps it so where an administrator's rights
    // would carry the write through (Wine running as root does).
    DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetConsoleColor(kColourGrey);
        return BatchResult::NotCreated;
    }
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        SetConsoleColor(kColourGrey);
        return BatchResult::NotCreated;
    }
    StartLines(&BatchWriter, reinterpret_cast<FileHandle>(file));
    for (size_t i = 0; i < kExampleBatchLineCount; ++i) WriteLine(&BatchWriter, kExampleBatchLines[i]);
    SetConsoleColor(kColourGrey);
    return FinishLines(&BatchWriter) ? BatchResult::Written : BatchResult::WriteFailed;
}
