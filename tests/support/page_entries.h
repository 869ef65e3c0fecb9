// The image entries of a written page, read back for comparison.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace testsupport {

// One figure entry of a page, as its four lines give it.
struct Entry {
    std::string id, src, alt, caption;
    bool operator==(const Entry& other) const {
        return id == other.id && src == other.src && alt == other.alt && caption == other.caption;
    }
};
std::ostream& operator<<(std::ostream& out, const Entry& entry);

// Every "<figure>" block of `page`, in order; a block that does not have the
// shape of an entry (four lines and an empty one) gives an entry with id "?".
std::vector<Entry> ParseEntries(const std::string& page);

// The expected entry for a plain name (ASCII without characters that are encoded).
Entry PlainEntry(int number, const std::string& name);

}  // namespace testsupport
