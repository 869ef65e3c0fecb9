#include "tests/support/page_entries.h"

#include <stdio.h>

namespace testsupport {

std::ostream& operator<<(std::ostream& out, const Entry& entry) {
    return out << "{" << entry.id << " src=" << entry.src << " alt=" << entry.alt << " caption=" << entry.caption << "}";
}

static std::string Between(const std::string& line, const std::string& before, const std::string& after) {
    size_t start = line.find(before);
    if (start == std::string::npos) return "?";
    start += before.size();
    size_t end = line.find(after, start);
    return end == std::string::npos ? "?" : line.substr(start, end - start);
}

std::vector<Entry> ParseEntries(const std::string& page) {
    std::vector<Entry> entries;
    const std::string open = "<figure>\r\n";
    for (size_t at = page.find(open); at != std::string::npos; at = page.find(open, at + 1)) {
        size_t close = page.find("</figure>\r\n\r\n", at);
        Entry entry{"?", "?", "?", "?"};
        if (close != std::string::npos) {
            std::string block = page.substr(at + open.size(), close - at - open.size());
            size_t lineEnd = block.find("\r\n");
            if (lineEnd != std::string::npos && block.size() >= lineEnd + 2) {
                std::string img = block.substr(0, lineEnd);
                std::string caption = block.substr(lineEnd + 2);
                if (caption.size() >= 2 && caption.compare(caption.size() - 2, 2, "\r\n") == 0 &&
                    caption.find("\r\n") == caption.size() - 2) {
                    caption.resize(caption.size() - 2);
                    entry.id = Between(img, " <img id=\"", "\"");
                    entry.src = Between(img, " src=\"", "\"");
                    entry.alt = Between(img, " alt=\"", "\"");
                    entry.caption = Between(caption, " <figcaption onclick=\"toggleDim()\" title=\"[I]nfo&hellip;\">",
                                            "</figcaption>");
                }
            }
        }
        entries.push_back(entry);
    }
    return entries;
}

Entry PlainEntry(int number, const std::string& name) {
    char id[16];
    snprintf(id, sizeof(id), "%03d", number);
    return Entry{id, name, name, name};
}

}  // namespace testsupport
