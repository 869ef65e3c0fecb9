// The fixed texts of the gallery page and of the thumbnail script.
//
// Each routine writes its lines through WriteLine; the texts are UTF-8 and
// byte-exact. German or English follows `german`.
#pragma once

#include <string_view>

#include "../common/common.h"

// From "<!DOCTYPE html>" through "</style>" and its empty line: the head with
// the language code, the `revised` date, the favicon, the `title` constant
// (the carried-over bytes, unchanged) and the whole style sheet.
void WritePageHead(LineWriter* page, bool german, std::string_view date, std::string_view title);

// The page script, "</head><body>", the zoom overlay, the heading and the
// search block, through the closing "</div>" of the search block and its empty line.
void WritePageScriptAndBody(LineWriter* page, bool german);

// The footer after the entries: count line ending in `stamp`, copyright line,
// "</footer>", an empty line and "</body></html>".
void WritePageFooter(LineWriter* page, bool german, std::string_view stamp);

// The whole of "$create-Thumbnails.cmd".
void WriteThumbnailScript(LineWriter* script, bool german);
