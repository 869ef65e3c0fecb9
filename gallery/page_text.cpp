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

namespace {

// Every hole of the page files, by the name written between {{ and }} there.
enum class PageHole : uint8_t {
    None,                // after the last literal of a template
    Lang,                // "de" or "en"
    RevisedDate,         // yyyy-MM-dd of the build
    IconBase64,          // the favicon
    IconSvg,             // the heading icon, percent-encoded for the CSS url()
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

// kPageIconBase64, kPageIconEscaped and one kXxxTemplate per template file.
#include "page_files.inc"

// The value of each hole for one template; a hole left unset writes nothing.
struct HoleValues {
    std::string_view text[static_cast<size_t>(PageHole::Count)];

    std::string_view& operator[](PageHole hole) { return text[static_cast<size_t>(hole)]; }
    std::string_view operator[](PageHole hole) const { return text[static_cast<size_t>(hole)]; }
};

// Writes `pieces` through the line writer: each line feed of a literal ends a
// line with WriteLine, the rest of a literal and every hole's value go raw.
void WriteTemplate(LineWriter* out, const TemplatePiece* pieces, size_t count, const HoleValues& values) {
    for (size_t i = 0; i < count; ++i) {
        std::string_view text = pieces[i].text;
        for (size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n')) {
            WriteLine(out, Slice(text, 0, end));
            text = Slice(text, end + 1);
        }
        WriteRaw(out, text);
        if (pieces[i].hole != PageHole::None) WriteRaw(out, values[pieces[i].hole]);
    }
}

template <size_t N>
void WriteTemplate(LineWriter* out, const TemplatePiece (&pieces)[N], const HoleValues& values) {
    WriteTemplate(out, pieces, N, values);
}

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

// The image count of an album: one word for one image, another for more.
constexpr std::string_view kOneImage[] = {"image", "Bild"};
constexpr std::string_view kImages[] = {"images", "Bilder"};

// The words of the language in their holes, and the icon's two forms.
HoleValues FixedValues(bool german) {
    HoleValues values;
    for (const HoleWords& words : kHoleWords) values[words.hole] = german ? words.german : words.english;
    values[PageHole::IconBase64] = kPageIconBase64;
    values[PageHole::IconSvg] = kPageIconEscaped;
    return values;
}

}  // namespace

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

void WriteAlbumsHead(LineWriter* page, bool german, std::string_view date, std::string_view title) {
    HoleValues values = FixedValues(german);
    values[PageHole::RevisedDate] = date;
    values[PageHole::AlbumsTitle] = title.empty() ? values[PageHole::AlbumsWord] : title;
    WriteTemplate(page, kAlbumsTemplate, values);
}

void WriteAlbumLine(LineWriter* page, bool german, int depth, std::string_view href, std::string_view cover,
                    std::string_view title, int imageCount) {
    char depthStorage[16];
    char countStorage[32];
    ByteBuf depthText(depthStorage);
    ByteBuf count(countStorage);
    AppendDecimal(depthText, depth);
    AppendDecimal(count, imageCount);
    count.Append(' ');
    count.Append((imageCount == 1 ? kOneImage : kImages)[german ? 1 : 0]);
    HoleValues values;
    values[PageHole::AlbumDepth] = depthText.View();
    values[PageHole::AlbumHref] = href;
    values[PageHole::AlbumCover] = cover;
    values[PageHole::AlbumTitle] = title;
    values[PageHole::AlbumCount] = count.View();
    WriteTemplate(page, kAlbumTemplate, values);
}

void WriteAlbumFolderLine(LineWriter* page, int depth, std::string_view title) {
    char depthStorage[16];
    ByteBuf depthText(depthStorage);
    AppendDecimal(depthText, depth);
    HoleValues values;
    values[PageHole::AlbumDepth] = depthText.View();
    values[PageHole::AlbumTitle] = title;
    WriteTemplate(page, kFolderTemplate, values);
}

void WriteAlbumsFooter(LineWriter* page, bool german, int albums, std::string_view stamp) {
    char totalStorage[16];
    ByteBuf total(totalStorage);
    AppendDecimal(total, albums);
    HoleValues values = FixedValues(german);
    values[PageHole::AlbumTotal] = total.View();
    values[PageHole::CreatedStamp] = stamp;
    WriteTemplate(page, kAlbumsfooterTemplate, values);
}
