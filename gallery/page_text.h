// The gallery page, the thumbnail script and the album index, written from
// the files in gallery/page with their holes filled.
//
// Each routine writes through WriteLine, so every line ends in CR LF; the
// texts are UTF-8 and byte-exact. German or English follows `german`.
#pragma once

#include <string_view>

#include "../common/common.h"

// From "<!DOCTYPE html>" through "</style>" and its empty line (head.html with
// style.css): the head with the language code, the `revised` date, the
// favicon, the `title` constant (the carried-over bytes, unchanged) and the
// whole style sheet.
void WritePageHead(LineWriter* page, bool german, std::string_view date, std::string_view title);

// The page script, "</head><body>", the zoom overlay, the heading and the
// search block, through the closing "</div>" of the search block and its
// empty line (body.html with script.js).
void WritePageScriptAndBody(LineWriter* page, bool german);

// The longest name WriteEntry takes, in bytes, for `srcBytes` and `nameText` each.
constexpr size_t kEntryNameBytes = 1024;

// Writes one entry (entry.html): four lines and an empty one. `srcBytes` are
// the name's bytes before percent-encoding, `nameText` its UTF-8 text for alt
// and caption, each at most kEntryNameBytes long (the listing's own bound), so
// that their encoded forms always fit.
void WriteEntry(LineWriter* page, int number, std::string_view srcBytes, std::string_view nameText);

// The footer after the entries (footer.html): count line ending in `stamp`,
// copyright line, "</footer>", an empty line and "</body></html>".
void WritePageFooter(LineWriter* page, bool german, std::string_view stamp);

// The whole of "$create-Thumbnails.cmd" (thumbnails.cmd).
void WriteThumbnailScript(LineWriter* script, bool german);

// ---- The album index (albums.html, album.html, folder.html, albumsfooter.html) ----------

// From "<!DOCTYPE html>" through the opening of the list of albums: the head
// with the language code, the `revised` date, the favicon, the style sheet
// (albums.css) and the heading. `title`, element text (escaped) when not
// empty, names the index in its document title and heading instead of the
// language's word.
void WriteAlbumsHead(LineWriter* page, bool german, std::string_view date, std::string_view title = {});

// One album of the list: `depth` levels below the index's folder, the link
// `href` to its gallery and its `cover` image (both percent-encoded, relative
// to the index), `title` as element text (escaped), and its image count.
void WriteAlbumLine(LineWriter* page, bool german, int depth, std::string_view href, std::string_view cover,
                    std::string_view title, int imageCount);

// A folder without a gallery of its own that holds albums further down: its
// `title` (escaped) as a heading at `depth`, no link.
void WriteAlbumFolderLine(LineWriter* page, int depth, std::string_view title);

// The end of the list and the footer: the number of `albums` and the `stamp`.
void WriteAlbumsFooter(LineWriter* page, bool german, int albums, std::string_view stamp);
