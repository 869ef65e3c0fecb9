// The gallery page and the thumbnail script: the files of gallery/page, built
// into page_files.inc, with their holes filled.
//
// A template is a list of pieces, each a literal with LF line ends and then the
// hole that follows it. WriteTemplate hands each line of a literal to WriteLine
// (which ends it in CR LF) and each hole's value to WriteRaw, so the bytes on
// disk are the file's bytes with CR LF line ends and the values in the holes.
#include "page_text.h"

#include <stdint.h>

#include "encode.h"
#include "page_template.h"

namespace {

// kPageIconSvg and one kXxxTemplate per template file.
#include "page_files.inc"

// ---- Texts by language -------------------------------------------------------------------

struct HoleWords {
    PageHole hole;
    std::string_view english;
    std::string_view german;
};

constexpr HoleWords kHoleWords[] = {
    {PageHole::Lang, "en", "de"},
    {PageHole::ImagesWord, "Images", "Bilder"},
    {PageHole::DimensionsTip, "Image dimensions on/off&#10;[i]", "Bild-Dimensionen ein/aus&#10;[i]"},
    {PageHole::SearchWord, "Search", "Suchen"},
    {PageHole::MissingPictures, "Missing pictures:\\nReCreate «!pictures.html» with QUIMBO",
     "Fehlende Bilder:\\n«!pictures.html» mit QUIMBO neu erstellen!"},
    {PageHole::CreatedWord, "created", "erstellt"},
    {PageHole::RenameNote, "Convert all filenames to  lowercase (spaces = -)",
     "Kleinschreibung aller Dateinamen und (Leerzeichen = -)"},
    {PageHole::CreatingThumbnails, "Creating thumbnails", "Erstelle Thumbnails"},
    {PageHole::AlbumsWord, "Albums", "Alben"},
};

// The icon is kept once, as its SVG text, and written in the two forms the
// page uses (about 8 KiB less in every program than keeping both forms).
// Each form goes out in pieces of kIconPiece bytes through WriteRaw.
constexpr size_t kIconPiece = 256;

// Standard base64 of the icon, with its padding: the favicon's data URI.
void WriteIconBase64(LineWriter* out) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    static_assert(kIconPiece % 4 == 0, "whole groups of four characters per piece");
    char piece[kIconPiece];
    size_t used = 0;
    std::string_view svg = kPageIconSvg;
    for (size_t at = 0; at < svg.size(); at += 3) {
        size_t left = svg.size() - at;
        uint32_t group = uint32_t(uint8_t(svg[at])) << 16;
        if (left > 1) group |= uint32_t(uint8_t(svg[at + 1])) << 8;
        if (left > 2) group |= uint8_t(svg[at + 2]);
        if (used == kIconPiece) {
            WriteRaw(out, std::string_view(piece, used));
            used = 0;
        }
        piece[used++] = kAlphabet[(group >> 18) & 63];
        piece[used++] = kAlphabet[(group >> 12) & 63];
        piece[used++] = left > 1 ? kAlphabet[(group >> 6) & 63] : '=';
        piece[used++] = left > 2 ? kAlphabet[group & 63] : '=';
    }
    WriteRaw(out, std::string_view(piece, used));
}

// The icon with < > / # : ( ) percent-encoded, for the CSS url() in double
// quotes (the icon holds no double quote and no %: the build checks).
void WriteIconEscaped(LineWriter* out) {
    static const char kHex[] = "0123456789ABCDEF";
    char piece[kIconPiece];
    size_t used = 0;
    for (char c : kPageIconSvg) {
        if (used + 3 > kIconPiece) {
            WriteRaw(out, std::string_view(piece, used));
            used = 0;
        }
        if (c == '<' || c == '>' || c == '/' || c == '#' || c == ':' || c == '(' || c == ')') {
            piece[used++] = '%';
            piece[used++] = kHex[uint8_t(c) >> 4];
            piece[used++] = kHex[uint8_t(c) & 15];
        } else {
            piece[used++] = c;
        }
    }
    WriteRaw(out, std::string_view(piece, used));
}

}  // namespace

// Writes `pieces` through the line writer: each line feed of a literal ends a
// line with WriteLine, the rest of a literal and every hole's value go raw
// (the icon's two holes in the form each asks for, from the one SVG text).
void WriteTemplate(LineWriter* out, const TemplatePiece* pieces, size_t count, const HoleValues& values) {
    for (size_t i = 0; i < count; ++i) {
        std::string_view text = pieces[i].text;
        for (size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n')) {
            WriteLine(out, Slice(text, 0, end));
            text = Slice(text, end + 1);
        }
        WriteRaw(out, text);
        PageHole hole = pieces[i].hole;
        if (hole == PageHole::IconBase64)
            WriteIconBase64(out);
        else if (hole == PageHole::IconSvg)
            WriteIconEscaped(out);
        else if (hole != PageHole::None)
            WriteRaw(out, values[hole]);
    }
}

// The words of the language in their holes.
HoleValues FixedValues(bool german) {
    HoleValues values;
    for (const HoleWords& words : kHoleWords) values[words.hole] = german ? words.german : words.english;
    return values;
}

void WritePageHead(LineWriter* page, bool german, std::string_view date, std::string_view title) {
    HoleValues values = FixedValues(german);
    values[PageHole::RevisedDate] = date;
    values[PageHole::Title] = title;
    WriteTemplate(page, kHeadTemplate, values);
}

void WritePageScriptAndBody(LineWriter* page, bool german) {
    WriteTemplate(page, kBodyTemplate, FixedValues(german));
}

void WriteEntry(LineWriter* page, int number, std::string_view srcBytes, std::string_view nameText) {
    // Each encoded form at its longest: %XX for every byte of the src, &quot;
    // for every byte of the name; the number has at most ten digits and a sign.
    char idStorage[16];
    char srcStorage[3 * kEntryNameBytes + 1];
    char nameStorage[6 * kEntryNameBytes + 1];
    ByteBuf id(idStorage);
    ByteBuf src(srcStorage);
    ByteBuf name(nameStorage);
    FormatEntryId(number, id);
    EncodeImageSrc(srcBytes, src);
    AppendAttributeText(nameText, name);
    HoleValues values;
    values[PageHole::EntryId] = id.View();
    values[PageHole::EntrySrc] = src.View();
    values[PageHole::EntryName] = name.View();
    WriteTemplate(page, kEntryTemplate, values);
}

void WritePageFooter(LineWriter* page, bool german, std::string_view stamp) {
    HoleValues values = FixedValues(german);
    values[PageHole::CreatedStamp] = stamp;
    WriteTemplate(page, kFooterTemplate, values);
}

void WriteThumbnailScript(LineWriter* script, bool german) {
    WriteTemplate(script, kThumbnailsTemplate, FixedValues(german));
}
