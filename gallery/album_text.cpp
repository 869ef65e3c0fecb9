// The album index of a tree: the files albums.html, album.html, folder.html
// and albumsfooter.html of gallery/page, built into album_files.inc, with
// their holes filled.
#include <stdint.h>

#include "encode.h"
#include "page_template.h"
#include "page_text.h"

namespace {

// kXxxTemplate for each template file of the album index.
#include "album_files.inc"

// The image count of an album: one word for one image, another for more.
constexpr std::string_view kOneImage[] = {"image", "Bild"};
constexpr std::string_view kImages[] = {"images", "Bilder"};

}  // namespace

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
