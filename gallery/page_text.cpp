// PLACEHOLDER: the real page texts are being written; this keeps the build whole.
#include "page_text.h"

void WritePageHead(LineWriter* page, bool german, std::string_view date, std::string_view title) {
    WriteLine(page, "<!DOCTYPE html>");
    WriteLine(page, german ? "<html lang=\"de\">" : "<html lang=\"en\">");
    (void)date;
    (void)title;
}
void WritePageScriptAndBody(LineWriter* page, bool german) { (void)page; (void)german; }
void WritePageFooter(LineWriter* page, bool german, std::string_view stamp) { (void)page; (void)german; (void)stamp; }
void WriteThumbnailScript(LineWriter* script, bool german) { (void)script; (void)german; }
