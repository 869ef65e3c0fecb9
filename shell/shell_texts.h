// Every text the window, its dialogs and the build's boxes show: one table of
// English/German pairs, byte-exact, and single texts that are the same in both
// languages. A pair is always picked with Pick(), which follows GermanUi.
#pragma once

#include "../common/common.h"

// One text in English and in German.
template <typename CharT>
struct TextPair {
    const CharT* english;
    const CharT* german;
};
using WidePair = TextPair<wchar_t>;
using BytePair = TextPair<char>;  // for the single-byte menu calls

inline const wchar_t* Pick(const WidePair& pair) { return PickTextW(pair.english, pair.german); }
inline const char* Pick(const BytePair& pair) { return PickTextA(pair.english, pair.german); }

#define QUIMBO_FULL_NAME L"Quimbo - HTML Image Gallery Generator"
#define QUIMBO_VERSION_TEXT L"v1.1.0.0"
#define QUIMBO_COPYRIGHT L"\u00A9 2025 Tervaldo"
#define QUIMBO_GALLERY_CAPTION L"\U0001F306 Quimbo - Image Gallery"

constexpr const wchar_t* kWindowTitle = QUIMBO_FULL_NAME;

// ---- Menu ----------------------------------------------------------------------------------

constexpr BytePair kMenuFile = {"&File", "&Datei"};
constexpr BytePair kMenuNewGallery = {"Create &new gallery\tCtrl+N", "&Neue Galerie erstellen\tCtrl+N"};
constexpr BytePair kMenuRunGallery = {"&Run gallery\tCtrl+R", "Galerie sta&rten\tCtrl+R"};
constexpr BytePair kMenuExit = {"E&xit\tAlt+F4", "&Beenden\tAlt+F4"};
constexpr const char* kMenuAbout = "&?";

// ---- Dialogs -------------------------------------------------------------------------------

// The caption of every warning and error box.
constexpr WidePair kErrorCaption = {L"E R R O R", L"F E H L E R"};
constexpr WidePair kNoImagesText = {L"No images in this folder:", L"Keine Bilder in diesem Ordner:"};
constexpr WidePair kNoPageText = {L"No Quimbo gallery found\rin this folder:",
                                  L"Keine Quimbo-Galerie vorhanden\rin diesem Ordner:"};
constexpr const wchar_t* kAboutCaption = L"Information";
constexpr WidePair kBrowseTitle = {QUIMBO_GALLERY_CAPTION L"\rTarget folder containing images:",
                                   QUIMBO_GALLERY_CAPTION L"\rZielordner mit Bildern:"};

// About: four fixed lines and a credit line in the user's language.
#define QUIMBO_ABOUT_HEAD                                                                       \
    QUIMBO_FULL_NAME L"\r" QUIMBO_VERSION_TEXT L"\r" QUIMBO_COPYRIGHT L"\r"                       \
    L"\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500" \
    L"\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\r"
constexpr WidePair kAboutText = {
    QUIMBO_ABOUT_HEAD L"Made for everyone who keeps photos in folders",
    QUIMBO_ABOUT_HEAD L"F\u00FCr alle, die ihre Fotos in Ordnern aufbewahren",
};

// ---- The build's status and boxes ------------------------------------------------------------

constexpr WidePair kWorkingText = {L"Working:", L"Bearbeitung:"};  // then CR LF CR LF and the folder
constexpr WidePair kCreatedText = {L"Gallery created:\r\n\r\n", L"Galerie erstellt:\r"};  // then the page's path
constexpr WidePair kStartQuestion = {L"Start gallery now with browser?", L"Galerie jetzt mit Browser starten?"};
constexpr const wchar_t* kCompletionCaption = QUIMBO_GALLERY_CAPTION;
constexpr WidePair kSystemErrorHead = {L"System Error:\r\n", L"Systemfehler:\r\n"};  // then the system's text

// ---- Window painting -----------------------------------------------------------------------

constexpr const wchar_t* kHeading = L"Quimbo";
constexpr const wchar_t* kBanner =
    QUIMBO_FULL_NAME L"\r" QUIMBO_VERSION_TEXT L"\r"
    L"\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500"
    L"\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\r" QUIMBO_COPYRIGHT;
constexpr WidePair kTargetLabel = {L"Target folder:\r\n\r\n", L"Zielordner:\r\n\r\n"};
