#include "common.h"

#include <string.h>

// ---- Line writer -------------------------------------------------------------------------

void StartLines(LineWriter* writer, FileHandle file) {
    writer->file = file;
    writer->used = 0;
    writer->failed = false;
    writer->error = 0;
}

static void HandOver(LineWriter* writer) {
    if (writer->used == 0 || writer->failed) return;
    if (!WriteFileBytes(writer->file, writer->pending, writer->used, &writer->error)) writer->failed = true;
    writer->used = 0;
}

void WriteRaw(LineWriter* writer, std::string_view bytes) {
    const char* data = bytes.data();
    size_t size = bytes.size();
    while (size > 0 && !writer->failed) {
        if (writer->used == kLineWriterCapacity) HandOver(writer);
        size_t room = kLineWriterCapacity - writer->used;
        size_t take = size < room ? size : room;
        memcpy(writer->pending + writer->used, data, take);
        writer->used += take;
        data += take;
        size -= take;
    }
}

void WriteLine(LineWriter* writer, std::string_view text) {
    WriteRaw(writer, text);
    WriteRaw(writer, std::string_view("\r\n", 2));
}

void WriteUtf8Bom(LineWriter* writer) { WriteRaw(writer, std::string_view("\xEF\xBB\xBF", 3)); }

bool FlushLines(LineWriter* writer) {
    HandOver(writer);
    return !writer->failed;
}

bool FinishLines(LineWriter* writer) {
    HandOver(writer);
    SystemError closeError = 0;
    bool closed = CloseOutputFile(writer->file, &closeError);
    writer->file = 0;
    if (!closed && !writer->failed) {
        writer->failed = true;
        writer->error = closeError;
    }
    return !writer->failed;
}
