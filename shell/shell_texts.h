// Every text the window shows, English first and German second, byte-exact.
#pragma once

#define QUIMBO_FULL_NAME L"Quimbo - HTML Image Gallery Generator"
#define QUIMBO_VERSION_TEXT L"v1.1.0.0"
#define QUIMBO_COPYRIGHT L"\u00A9 2025 Tervaldo"

constexpr const wchar_t* kWindowTitle = QUIMBO_FULL_NAME;

// Menu (single-byte texts for AppendMenuA).
constexpr const char* kMenuFile[2] = {"&File", "&Datei"};
constexpr const char* kMenuNewGallery[2] = {"Create &new gallery\tCtrl+N", "&Neue Galerie erstellen\tCtrl+N"};
constexpr const char* kMenuRunGallery[2] = {"&Run gallery\tCtrl+R", "Galerie sta&rten\tCtrl+R"};
constexpr const char* kMenuExit[2] = {"E&xit\tAlt+F4", "&Beenden\tAlt+F4"};
constexpr const char* kMenuAbout = "&?";

// Dialogs.
constexpr const wchar_t* kWarningCaption[2] = {L"E R R O R", L"F E H L E R"};
constexpr const wchar_t* kNoImagesText[2] = {L"No images in this folder:", L"Keine Bilder in diesem Ordner:"};
constexpr const wchar_t* kNoPageText[2] = {L"No Quimbo gallery found\rin this folder:",
                                           L"Keine Quimbo-Galerie vorhanden\rin diesem Ordner:"};
constexpr const wchar_t* kAboutCaption = L"Information";
constexpr const wchar_t* kBrowseTitle[2] = {L"\U0001F306 Quimbo - Image Gallery\rTarget folder containing images:",
                                            L"\U0001F306 Quimbo - Image Gallery\rZielordner mit Bildern:"};

// About: four fixed lines and a credit line in the user's language.
#define QUIMBO_ABOUT_HEAD                                                                       \
    QUIMBO_FULL_NAME L"\r" QUIMBO_VERSION_TEXT L"\r" QUIMBO_COPYRIGHT L"\r"                       \
    L"\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500" \
    L"\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\r"
constexpr const wchar_t* kAboutText[2] = {
    QUIMBO_ABOUT_HEAD L"Made for everyone who keeps photos in folders",
    QUIMBO_ABOUT_HEAD L"F\u00FCr alle, die ihre Fotos in Ordnern aufbewahren",
};

// Window painting.
constexpr const wchar_t* kHeading = L"Quimbo";
constexpr const wchar_t* kBanner =
    QUIMBO_FULL_NAME L"\r" QUIMBO_VERSION_TEXT L"\r"
    L"\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500"
    L"\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\u2500\r" QUIMBO_COPYRIGHT;
constexpr const wchar_t* kTargetLabel[2] = {L"Target folder:\r\n\r\n", L"Zielordner:\r\n\r\n"};

// The English or German side of a pair, as GermanUi picks it.
#define PICK_W(pair) PickTextW((pair)[0], (pair)[1])
#define PICK_A(pair) PickTextA((pair)[0], (pair)[1])
