// The pieces the page files are made of, shared by the writers of the
// gallery page (page_text.cpp) and of the album index (album_text.cpp): each
// includes the generated data of its own templates (page_files.inc,
// album_files.inc), so that a program that writes no album index carries none
// of its texts.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string_view>

#include "../common/common.h"

// Every hole of the page files, by the name written between {{ and }} there.
enum class PageHole : uint8_t {
    None,                // after the last literal of a template
    Lang,                // "de" or "en"
    RevisedDate,         // yyyy-MM-dd of the build
    IconBase64,          // the favicon (written by WriteTemplate itself)
    IconSvg,             // the heading icon, percent-encoded for the CSS url() (the same)
    Title,               // the carried-over title, its bytes unchanged
    ImagesWord,          // document title, heading word and footer count word
    DimensionsTip,       // tooltip of the legend and of the heading
    SearchWord,          // tooltip and placeholder of the search box
    MissingPictures,     // the missing-pictures alert, as a script string
    CreatedWord,         // footer, before the stamp
    CreatedStamp,        // yyyy-MM-dd, HH:mmh of the build
    EntryId,             // the entry number, at least three digits
    EntrySrc,            // the image's name, percent-encoded
    EntryName,           // the image's name as attribute text and caption
    RenameNote,          // thumbnail script, the commented-out renaming step
    CreatingThumbnails,  // thumbnail script, before the viewer runs
    AlbumsWord,          // album index: footer count word
    AlbumsTitle,         // album index: document title and heading (--title, else AlbumsWord)
    AlbumDepth,          // album index: the folder's depth below the index's folder
    AlbumHref,           // album index: the link to the folder's gallery, percent-encoded
    AlbumCover,          // album index: the cover image, percent-encoded
    AlbumTitle,          // album index: the folder's path as element text
    AlbumCount,          // album index: "12 images"
    AlbumTotal,          // album index: the number of albums
    Count
};

struct TemplatePiece {
    std::string_view text;  // literal bytes, LF line ends
    PageHole hole;          // written after `text`
};

// The length is the literal's own, so the generated data needs no count.
template <size_t N>
constexpr std::string_view Text(const char (&literal)[N]) {
    return std::string_view(literal, N - 1);
}

// The value of each hole for one template; a hole left unset writes nothing.
struct HoleValues {
    std::string_view text[static_cast<size_t>(PageHole::Count)];

    std::string_view& operator[](PageHole hole) { return text[static_cast<size_t>(hole)]; }
    std::string_view operator[](PageHole hole) const { return text[static_cast<size_t>(hole)]; }
};

// Writes `pieces` through the line writer: each line feed of a literal ends a
// line with WriteLine, the rest of a literal and every hole's value go raw
// (the icon's two holes in the form each asks for, from the one SVG text).
void WriteTemplate(LineWriter* out, const TemplatePiece* pieces, size_t count, const HoleValues& values);

template <size_t N>
void WriteTemplate(LineWriter* out, const TemplatePiece (&pieces)[N], const HoleValues& values) {
    WriteTemplate(out, pieces, N, values);
}

// The words of the language in their holes.
HoleValues FixedValues(bool german);
