// The fixed texts of the gallery page and of the thumbnail script.
//
// Each fixed text lives once, as a raw string whose lines are written one by
// one through WriteLine: a line feed in the raw string ends a line (WriteLine
// turns it into CR LF), so an empty line in the raw string is an empty line in
// the file. The few pieces that differ by language come from small tables.
#include "page_text.h"

// kPageIconBase64 (the favicon) and kPageIconEscaped (the heading icon),
// both derived from resources/icon.svg by the build.
#include "page_icon.inc"

namespace {

// Writes every line of `block`. Each line must end in a line feed; the first
// line feed right after the opening of a raw string is skipped, so the blocks
// below can start on a line of their own.
void WriteBlock(LineWriter* out, std::string_view block) {
    if (!block.empty() && block.front() == '\n') block.remove_prefix(1);
    while (!block.empty()) {
        size_t end = block.find('\n');
        if (end == std::string_view::npos) end = block.size();
        WriteLine(out, Slice(block, 0, end));
        block.remove_prefix(end < block.size() ? end + 1 : end);
    }
}

// ---- Head ----------------------------------------------------------------------------------

constexpr std::string_view kHeadStart = R"PAGE(
<!DOCTYPE html>
)PAGE";

constexpr std::string_view kHeadMeta = R"PAGE(
<head>
  <meta charset="utf-8">
  <meta name="viewport" content="width=device-width, initial-scale=1.0">
  <meta name="theme-color" content="#330000">
  <meta name="description" content="Quimbo - HTML Image Viewer v1.1.0.0">
  <meta name="keywords" content="Quimbo - HTML Image Viewer">
  <meta name="author" content="Copyright (c) 2025 Tervaldo">
  <meta name="google" content="notranslate">
)PAGE";

constexpr std::string_view kRevisedStart = "  <meta name=\"revised\" content=\"";
constexpr std::string_view kFaviconStart = "  <link rel=\"shortcut icon\"\n  href=\"data:image/svg+xml;base64,";
constexpr std::string_view kTitleStart = "<script>\n\nconst title=\"";
constexpr std::string_view kTitleEnd = "\";      //  ggf. anpassen (adjust if desired)";

constexpr std::string_view kStyleStart = R"PAGE(
<style>
body {
  background-color           : #aaa;
  font-family                : sans-serif;
  -webkit-print-color-adjust : exact;
  print-color-adjust         : exact;
}
h1 {
  color         : #300;
  text-shadow   : 1px 1px 2px #555;
  cursor        : pointer;
  white-space   : nowrap;
  text-overflow : ellipsis;
  overflow      : hidden;
}
a:link,a:visited { color:#555; text-decoration:none; }
a:focus,a:hover,h1:focus,h1:hover { color:#fff; background-color:#008; }
a:active,h1:active { color:#0f0; background-color:#000; }
*[tabindex]:focus { outline:2px #0ff solid; }

/* Trick: Blinkende Text-Selection => erleichtert visuelle Lokalisierung auf Web-Seite */
:root { --color:#ff0; }
:not(input)::-moz-selection { background:var(--color); }
:not(input)::selection { background:var(--color); }

.dim { color:#00a; display:none; }
.black { color:#000; }
.hell { color:#ffd !important; }
.gray { color:#aaa; font-size:80%; background-color:transparent; display:none; }

#searchDiv {
  position    : absolute;
  top         : 1.5rem;
  right       : 1.5rem;
  display     : inline-block;
  white-space : nowrap;
}
input[type="search"] {
  font-size        : 100%;
  width            : 15em;
  padding          : 3px;
  vertical-align   : middle;
  background-color : #eff;
}
input[type="search"]:focus { background-color:#efe; }

button[type="submit"] { font-size:100%; vertical-align:middle; }

.icon {
  background-image:
)PAGE";

constexpr std::string_view kStyleRest = R"PAGE(
  display             : inline-block;
  background-position : center;
  background-repeat   : no-repeat;
  background-size     : 1em;
  width               : 1em;
  height              : 1em;
  vertical-align      : -.1em;
  box-shadow          : 2px 2px 3px #555;
}

.bild {
  height           : 6em;
  width            : auto;
  padding          : 0;
  border           : .05em solid #555;
  background-color : #fff;
  box-shadow       : .05em .05em .1em #333;
}

figure { display:inline-table; margin:.5em; }
figcaption {
  text-align    : left;
  font-size     : x-small;
  overflow      : hidden;
  text-overflow : ellipsis;
  cursor        : pointer;
}

hr { height:1px; border-width:0; color:#555; background-color:#555; }
footer { font-size:x-small; color:#555; padding-top:1em; }

/* ZOOM-FUNKTION FÜR BILDER */
img[onClick] { cursor:pointer; }
.zoom { cursor:zoom-in; }
#zoom {
  width            : 100%;
  height           : 100%;
  background-color : #333;
  position         : absolute;
  display          : none;
  top              : 0;
  right            : 0;
  bottom           : 0;
  left             : 0;
  cursor           : zoom-out;
  animation        : einblenden 0.5s ease;
  -moz-user-select : none;
  user-select      : none;
}
@keyframes einblenden { from { opacity:0; } to { opacity:1; } }
#zoom #imgPrev { display:block; margin:0 auto; }
#zoom #zoomBild {
  object-fit          : contain;
  height              : 90%;
  width               : 90%;
  background-position : center center;
  background-repeat   : no-repeat;
  background-size     : contain;
  margin              : 5vh auto 0 5vw;
}
#zoomBild:not([src*=".svg"]) { filter:drop-shadow(0 0 0.2rem black); }
.transp {
  background-color    : #d2d2d2 !important;
  background-size     : 1rem 1rem;
  background-position : 0 0, .5rem .5rem;
  background-image    :
    linear-gradient(45deg, rgba(255, 255, 255, 0.9) 25%,transparent 25%,transparent 75%, rgba(255, 255, 255, 0.9) 75%, rgba(255, 255, 255, 0.9)),
    linear-gradient(45deg, rgba(255, 255, 255, 0.9) 25%,transparent 25%,transparent 75%, rgba(255, 255, 255, 0.9) 75%, rgba(255, 255, 255, 0.9));
}
#zoom a.zu {
  position    : absolute;
  right       : 0px;
  cursor      : pointer;
  float       : right;
  text-align  : right;
  box-sizing  : border-box;
  padding     : .5em .5em;
  color       : #aaa;
  font-family : sans-serif;
  font-size   : 1.4em;
  font-style  : normal;
  text-shadow : .05rem .05rem .05rem #000,
                .05rem -.05rem .05rem #000,
                -.05rem .05rem .05rem #000,
                -.05rem -.05rem .05rem #000;
}
#zoom .zLinks {
  position      : absolute;
  left          : 0;
  cursor        : pointer;
  float         : left;
  color         : #aaa;
  margin        : 45vh 0 0 0;
  padding-right : 1em;
  font-family   : sans-serif;
  font-size     : 2em;
  text-shadow   : .05rem .05rem .05rem #000,
                  .05rem -.05rem .05rem #000,
                  -.05rem .05rem .05rem #000,
                  -.05rem -.05rem .05rem #000;
}
#zoom .zRechts {
  position     : absolute;
  right        : 0;
  cursor       : pointer;
  float        : right;
  color        : #aaa;
  margin       : 45vh 0 0 0;
  padding-left : 1em;
  font-family  : sans-serif;
  font-size    : 2em;
  text-shadow  : .05rem .05rem .05rem #000,
                 .05rem -.05rem .05rem #000,
                 -.05rem .05rem .05rem #000,
                 -.05rem -.05rem .05rem #000;
}
#zoom .legend {
  position    : absolute;
  bottom      : 4px;
  left        : 50%;
  margin      : auto;
  width       : auto;
  transform   : translateX(-50%);
  text-align  : center;
  color       : #aaa;
  font-size   : small;
  text-shadow : .05rem .05rem .05rem #000,
                .05rem -.05rem .05rem #000,
                -.05rem .05rem .05rem #000,
                -.05rem -.05rem .05rem #000;
  z-index     : 999;
}
#zoom .legend {
  font-size        : small;
  color            : #aa0;
  background-color : rgba(55,55,55,0.7);
  padding          : 0 .2rem;
  text-shadow      : none;
}
.legend { cursor:pointer; }
#zoom a.zu:hover,#zoom a.zRechts:hover, #zoom a.zLinks:hover { color:#fff; background-color:transparent; }

@media screen and (max-width:600px) {
  h1 { font-size:1.5em; margin-top:0px; }
  #searchDiv { position:static; display:block; }
  input[type="search"] { width:12em; }
}

@media print {
  body {
    color            : #000;
    background-color : #fff;
    background       : #fff;
    margin-top       : 0mm;
    margin-bottom    : 0mm;
    margin-left      : 0mm;
    margin-right     : 0mm;
  }
  h1 { color:#000; background-color:#fff; text-shadow:none; }
  a:link { color:initial; background-color:#fff; }
  img { filter:drop-shadow(0 0 0.05rem black); }
  #zoom,#zoomBild,.transp {
    height           : 100%;
    width            : 100%;
    background-image : none;
    background-color : #fff !important;
    filter           : none !important;
  }
  .zLinks, .zRechts, .zu, .legend { display:none; }
  #searchDiv, .dim, .gray { display:none; }
  .icon,.bild { box-shadow:none; border:none; }
}

</style>

)PAGE";

// ---- Script ------------------------------------------------------------------------------------
//
// The script works on the entries as the listing writes them: a `figure` with
// the `img` (classes "bild zoom", src relative to the page, alt = file name,
// loading="lazy", onload="getDimensions(this)") and then the `figcaption`
// (the file name as its first text).
//
// Where it goes its own way:
//  - one missing-pictures alert per page view, however many loads fail;
//  - one size line per caption, always the size of the picture the wall shows;
//  - the search list holds the bare file names, never the size texts;
//  - closing (or not having) an overlay never moves the wall: zeigZu() acts,
//    and restores the scroll position, only when the overlay is shown, and a
//    zeig() on an open overlay keeps the wall's position of the first one;
//  - the preview test looks at the extension in any letter case (Logo.SVG
//    is never switched to Logo_t.SVG);
//  - file names reach the legend as text, never as markup;
//  - the clicks, keys and load failures of the wall are handled by three
//    listeners for all pictures instead of three per picture, and the size
//    lines of the pictures loaded within one frame are measured together, so
//    that ten thousand pictures set up as fast as a page without script;
//  - the selection blinks on the selected element only, and the timer runs
//    only while something is selected: an idle page costs nothing.

constexpr std::string_view kScriptStart = R"PAGE(
<script>
"use strict";

// Zustand der Seite
var y = 0;               // Scroll-Position der Wand vor dem Zoom
var zoomShown = "";      // zuletzt gezoomtes Bild
var flashState = 0;      // Blinkphase der Markierung
var maxImg = 0;          // Anzahl der Bilder (createIndex)
var bilder = [];         // alle Bilder der Wand, in Schrittfolge
var fehler = 0;          // fehlgeschlagene Ladeversuche
var fehlerGemeldet = false;
var dimAn = false;       // Bild-Dimensionen sichtbar?
var dimWarten = new Set();
var flashEl = null;      // Element, auf dem die Markierung blinkt
var flashTimer = 0;

// Vorschau-Name (Hund_t.jpg) zurueck zum vollen Bild (Hund.jpg)
function vollbild(url) {
  return url.replace(/\_t.(?=[^_t.]*$)/, ".");
}

function zoomOffen() {
  return document.getElementById("zoom").style.display == "block";
}

function istBild(el) {
  return !!el && !!el.classList && el.classList.contains("bild") && el.classList.contains("zoom");
}

// Pfad in die Zwischenablage, mit Pixelgroesse anzeigen
function info(el) {
  var pfad = el.src;
  try { pfad = decodeURIComponent(pfad); } catch (ex) { /* Name ist kein UTF-8: so lassen */ }
  pfad = pfad.replace(/file:\/\/\//gi, "").replace(/\u002f/g, "\\");
  var text;
  if (!zoomOffen()) {
    text = "\uD83D\uDCCB\n" + pfad + "\n(" + el.naturalWidth + "px \u00d7 " + el.naturalHeight + "px)";
  } else {
    pfad = vollbild(pfad);
    var gray = document.getElementsByClassName("gray")[0];
    text = "\uD83D\uDCCB\n" + pfad + "\n" + (gray ? gray.textContent : "");
  }
  copyToClipboard(pfad);
  alert(text);
  zeigZu();
  el.focus();
}

// Bild gross zeigen
function zeig(el) {
  var zoom = document.getElementById("zoom");
  var legend = document.getElementById("legend");
  var offen = zoomOffen();
  zoomShown = el;
  if (window.getSelection) window.getSelection().removeAllRanges();
  document.body.style.overflow = "hidden";
  if (!offen) y = window.scrollY;
  window.scrollTo(0, 0);
  var alt = document.getElementById("zoomBild");
  if (alt) alt.remove();
  legend.textContent = "";
  var img = document.createElement("img");
  img.id = "zoomBild";
  img.addEventListener("load", function () {
    var groesse = document.createElement("span");
    groesse.className = "gray";
    if (dimAn) groesse.style.display = "block";
    groesse.textContent = "(" + img.naturalWidth + "px \u00d7 " + img.naturalHeight + "px)";
    legend.textContent = el.getAttribute("alt");
    legend.appendChild(document.createElement("br"));
    legend.appendChild(groesse);
  });
  img.addEventListener("click", function () { zeigZu(); });
  img.addEventListener("contextmenu", function (e) { e.stopPropagation(); });
  zoom.appendChild(img);
  zoom.style.display = "block";
  zoom.style.zIndex = "9999";
  if (/\.svg$/i.test(el.src)) {
    zoom.classList.add("transp");
    zoom.style.backgroundColor = "#d2d2d2";
    legend.classList.add("hell");
  } else {
    zoom.classList.remove("transp");
    zoom.style.backgroundColor = "#333";
    legend.classList.remove("hell");
  }
  img.src = vollbild(el.src);
}

// Zoom schliessen; ohne offenen Zoom bleibt alles, wie es ist
function zeigZu() {
  var zoom = document.getElementById("zoom");
  if (zoom.style.display != "block") return;
  document.body.style.overflow = "auto";
  window.scrollTo(0, y);
  document.getElementById("legend").classList.remove("hell");
  zoom.classList.remove("transp");
  zoom.style.display = "none";
  var img = document.getElementById("zoomBild");
  if (img) img.remove();
  if (zoomShown) zoomShown.focus();
}

// Anschlag am Anfang oder Ende: nichts zu tun
function zoomLimit() {
}

function nextImg(e) {
  var i = bilder.indexOf(e);
  if (i < 0) return e;
  if (i + 1 < bilder.length) return bilder[i + 1];
  zoomLimit();
  return null;
}

function prevImg(e) {
  var i = bilder.indexOf(e);
  if (i < 0) return e;
  if (i > 0) return bilder[i - 1];
  zoomLimit();
  return null;
}

function prevImgUp(e) {
  var i = bilder.indexOf(e) - 10;
  return bilder[i < 0 ? 0 : i];
}

function nextImgDn(e) {
  var i = bilder.indexOf(e) + 10, letztes = bilder.length - 1;
  return bilder[i < letztes ? i : letztes];
}

function firstImg() {
  return bilder[0];
}

function lastImg() {
  return bilder[bilder.length - 1];
}

function zoomLinks() {
  var n = prevImg(zoomShown);
  if (n) { zeigZu(); n.focus(); zeig(n); }
}

function zoomRechts() {
  var n = nextImg(zoomShown);
  if (n) { zeigZu(); n.focus(); zeig(n); }
}

// Bild-Dimensionen ein/aus: alle Groessenzeilen und die der Legende
function toggleDim() {
  dimAn = !dimAn;
  var anzeige = dimAn ? "block" : "none";
  var dims = document.getElementsByClassName("dim");
  for (var i = 0; i < dims.length; i++) dims[i].style.display = anzeige;
  var gray = document.getElementsByClassName("gray")[0];
  if (gray) gray.style.display = anzeige;
}

document.onkeydown = function (e) {
  var suche = document.getElementById("search");
  var imSuchfeld = document.activeElement == suche;
  if ((e.ctrlKey && e.code == "KeyF") || e.code == "F3") {
    e.stopPropagation(); e.preventDefault();
    zeigZu();
    suche.focus();
  } else if (e.code == "KeyI" && !imSuchfeld) {
    e.stopPropagation(); e.preventDefault();
    toggleDim();
  } else if ((e.code == "KeyB" || e.code == "KeyH") && !imSuchfeld) {
    e.stopPropagation(); e.preventDefault();
    document.getElementById("zoom").classList.toggle("transp");   // Schachbrett ein/aus
    document.getElementById("legend").classList.toggle("hell");
  }
};

function copyToClipboard(text) {
  if (window.clipboardData && window.clipboardData.setData) {
    return window.clipboardData.setData("Text", text);
  }
  if (document.queryCommandSupported && document.queryCommandSupported("copy")) {
    var feld = document.createElement("textarea");
    feld.textContent = text;
    feld.style.position = "fixed";
    document.body.appendChild(feld);
    feld.select();
    try {
      return document.execCommand("copy");
    } catch (ex) {
      console.warn("Clipboard: access denied!.", ex);
      return false;
    } finally {
      document.body.removeChild(feld);
    }
  }
}

// Ladefehler: fehlende Vorschau => volles Bild; zu viele Fehler => einmal melden
function bildFehler(e) {
  var b = e.target;
  if (!istBild(b)) return;
  fehler++;
  if (fehler > bilder.length) {
    if (!fehlerGemeldet) {
      fehlerGemeldet = true;
)PAGE";

constexpr std::string_view kAlertStart = "      alert(\"";
constexpr std::string_view kAlertEnd = "\");";

constexpr std::string_view kScriptRest = R"PAGE(
    }
    return;
  }
  console.clear();
  b.src = vollbild(b.src);
}

function bildKlick(e) {
  var b = e.target;
  if (!istBild(b)) return;
  zeigZu();
  zeig(b);
}

// Tasten auf einem Bild der Wand (auch bei offenem Zoom: der Fokus bleibt dort)
function bildTaste(e) {
  var b = e.target;
  if (!istBild(b)) return;
  var k = e.key, frei = !e.ctrlKey && !e.shiftKey, offen = zoomOffen(), n;
  if (k == "ArrowRight") {
    e.stopPropagation(); n = nextImg(b);
  } else if (k == "ArrowLeft") {
    e.stopPropagation(); n = prevImg(b);
  } else if ((k == "Home" || k == "Numpad7") && frei) {
    e.stopPropagation(); n = firstImg();
  } else if ((k == "PageUp" || k == "Numpad9") && frei) {
    e.stopPropagation(); e.preventDefault(); n = prevImgUp(b);
  } else if ((k == "PageDown" || k == "Numpad3") && frei) {
    e.stopPropagation(); e.preventDefault(); n = nextImgDn(b);
  } else if ((k == "End" || k == "Numpad1") && frei) {
    e.stopPropagation(); e.preventDefault(); n = lastImg();
  } else if (k == "Enter") {
    if (e.shiftKey || e.ctrlKey) info(b); else zeig(b);
    return;
  } else if (k == "Escape" || k == "Tab") {
    if (offen) {
      zeigZu();
    } else {
      var suche = document.getElementById("search");
      suche.value = "";
      suche.focus();
    }
    return;
  } else {
    return;
  }
  if (n) {
    zeigZu();
    n.focus();
    if (offen) zeig(n);
  }
}

document.addEventListener("DOMContentLoaded", function () {
  if (title != "") {
    document.title = title;
    document.getElementById("h1").textContent = title;
  }
  bilder = Array.prototype.slice.call(document.getElementsByClassName("bild zoom"));
  fehler = 0;
  var menge = document.getElementById("menge");
  if (menge) menge.textContent = bilder.length;
  for (var i = 0; i < bilder.length; i++) {
    var b = bilder[i];
    b.tabIndex = 0;
    if (b.loading != "lazy") b.loading = "lazy";
    if (!/\.(svg|ico)$/i.test(b.src)) b.src = b.src.replace(/\.(?=[^.]*$)/, "_t.");   // Vorschau
    b.title = "#" + String(i + 1).padStart(3, "0");
  }
  document.addEventListener("error", bildFehler, true);   // Ladefehler steigen nicht auf
  document.body.addEventListener("click", bildKlick);
  document.body.addEventListener("keydown", bildTaste);
  if (bilder.length < 2) {
    document.getElementsByClassName("zLinks")[0].style.display = "none";
    document.getElementsByClassName("zRechts")[0].style.display = "none";
  }
  // Fokus aufs erste Bild erst im ersten Frame: sonst wartet die Einrichtung
  // auf ein Layout aller Bilder (bei 10.000 Bildern fast eine halbe Sekunde)
  if (bilder.length) requestAnimationFrame(function () {
    if (!document.activeElement || document.activeElement == document.body) bilder[0].focus({ preventScroll: true });
  });
  document.addEventListener("selectionchange", flashStart);
  createIndex();
});

// Das Element der Markierung, oder null ohne Markierung
function markiertesElement() {
  var sel = window.getSelection();
  if (!sel || sel.rangeCount == 0 || sel.isCollapsed) return null;
  var n = sel.getRangeAt(0).commonAncestorContainer;
  return n.nodeType == 1 ? n : n.parentElement;
}

function flashStart() {
  if (!flashTimer && markiertesElement()) {
    flashSelection();
    flashTimer = setInterval(flashSelection, 222);
  }
}

// Markierung blinkt gelb/cyan, nur auf ihrem eigenen Element
function flashSelection() {
  var el = markiertesElement();
  if (el != flashEl) {
    if (flashEl) flashEl.style.removeProperty("--color");
    flashEl = el;
  }
  if (!el) {
    clearInterval(flashTimer);
    flashTimer = 0;
    return;
  }
  if (flashState == 0) {
    el.style.setProperty("--color", "#ff0");
    flashState = 1;
  } else {
    el.style.setProperty("--color", "#0ff");
    flashState = 0;
  }
}

function getSelectedNode() {
  if (document.selection) return document.selection.createRange().parentElement();
  var sel = window.getSelection();
  if (sel.rangeCount > 0) return sel.getRangeAt(0).startContainer.parentNode;
  return null;
}

var findString = function findText(id) {
  var text = document.getElementById(id).value;
  if (window.find(text, false, false, true, false, false, true)) {
    var node = getSelectedNode();
    var ziel = node && node.parentElement ? node.parentElement.firstElementChild : null;
    if (ziel) ziel.focus();
  }
};

// Suchliste: genau die Dateinamen (erster Text jeder Bildunterschrift)
function createIndex() {
  var figs = document.getElementsByTagName("figure");
  var liste = document.getElementById("suchliste");
  var teil = document.createDocumentFragment();
  maxImg = figs.length;
  for (var i = 0; i < figs.length; i++) {
    var cap = figs[i].children[1];
    var name = cap && cap.firstChild && cap.firstChild.nodeType == 3 ? cap.firstChild.nodeValue : "";
    var opt = document.createElement("option");
    opt.textContent = name;
    opt.value = name;
    teil.appendChild(opt);
  }
  liste.appendChild(teil);
}

// Eine Groessenzeile je Bildunterschrift: die des Bildes, das die Wand zeigt.
// Gesammelt und je Bild einmal pro Frame geschrieben und gemessen.
function getDimensions(image) {
  if (dimWarten.size == 0) requestAnimationFrame(dimSchreiben);
  dimWarten.add(image);
}

function dimSchreiben() {
  var liste = Array.from(dimWarten), breiten = [];
  dimWarten.clear();
  liste.forEach(function (image) {
    var cap = image.nextElementSibling;
    if (!cap || !image.naturalWidth) return;
    var zeile = cap.getElementsByClassName("dim")[0];
    if (!zeile) {
      zeile = document.createElement("span");
      zeile.className = "dim";
      if (dimAn) zeile.style.display = "block";
      cap.appendChild(document.createElement("br"));
      cap.appendChild(zeile);
    }
    zeile.textContent = image.naturalWidth + "px \u00d7 " + image.naturalHeight + "px";
  });
  liste.forEach(function (image) { breiten.push(image.scrollWidth); });
  liste.forEach(function (image, i) {
    var cap = image.nextElementSibling;
    if (cap && image.naturalWidth) cap.style.maxWidth = breiten[i] + "px";
  });
}
</script>

</head><body>

<div id=zoom oncontextmenu="toggleDim();return false">
 <a class=zu onclick="zeigZu()" title="Close / Schließen&#10;&#10;[Esc]">&#x2573;</a>
 <a class=zLinks onclick="zoomLinks()" title="[ &larr; ]">&#x3008;</a>
 <a class=zRechts onclick="zoomRechts()" title="[ &rarr; ]">&#x3009;</a>
)PAGE";

constexpr std::string_view kSearchEnd = R"PAGE(
 <button type="submit" onClick="findString('search');return false;" tabindex="-1"> &#x1F50D; </button></form>

<datalist id=suchliste tabindex="0"></datalist>
</div>

)PAGE";

constexpr std::string_view kFooterEnd = R"PAGE(
 <br>&copy; 2025 Tervaldo &ndash; <a href="https://tervaldo.example/quimbo/" target=_blank>Quimbo - HTML Image Viewer</a>
</footer>

</body></html>
)PAGE";

// ---- Texts by language -------------------------------------------------------------------

struct PageWords {
    std::string_view htmlLine;     // head line 2
    std::string_view titleLine;    // the document title of the head
    std::string_view dimTitle;     // tooltip of the legend and of the heading
    std::string_view word;         // heading word until the script sets the title
    std::string_view searchWord;   // tooltip of the search box, before "&#10;[Ctrl]+[F]"
    std::string_view placeholder;  // placeholder of the search box
    std::string_view countLine;    // footer count line, the stamp follows
    std::string_view missing;      // missing-pictures alert, as a script string
};

constexpr PageWords kGermanWords = {
    "<html lang=\"de\">",
    "<title>Bilder</title>",
    "Bild-Dimensionen ein/aus&#10;[i]",
    "Bilder",
    "Suchen",
    "Suchen &hellip;",
    " <span id=menge></span> Bilder, erstellt: ",
    "Fehlende Bilder:\\n«!pictures.html» mit QUIMBO neu erstellen!",
};

constexpr PageWords kEnglishWords = {
    "<html lang=\"en\">",
    "<title>Images</title>",
    "Image dimensions on/off&#10;[i]",
    "Images",
    "Search",
    "Search &hellip;",
    " <span id=menge></span> Images, created: ",
    "Missing pictures:\\nReCreate «!pictures.html» with QUIMBO",
};

const PageWords& Words(bool german) { return german ? kGermanWords : kEnglishWords; }

// ---- Thumbnail script ----------------------------------------------------------------------

constexpr std::string_view kCmdStart = R"CMD(
:: ::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::
::  $create-Thumbnails.cmd  is part of Quimbo - HTML Image Gallery Generator
::  Create fast loading thumbnails with IrfanView
::  e.g. "Dog.jpg" -> "Dog_t.jpg"
::  Copyright (c) 2025 Tervaldo
:: ::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::

@ECHO OFF
CHCP 1252 >NUL

:: ECHO.
)CMD";

constexpr std::string_view kCmdMiddle = R"CMD(
:: FORFILES /s /m *.* /C "cmd /e:on /v:on /c set \"Phile=@file\" & if @ISDIR==FALSE ren @file !Phile: =-!"
:: for /f "Tokens=*" %%f in ('dir /l/b/a-d') do (rename "%%f" "%%f")

:: SET SIZE=160
SET SIZE=480
SET IRFAN=%ProgramW6432%\IrfanView\i_view64.exe
IF NOT EXIST "%IRFAN%" SET IRFAN=%ProgramFiles(x86)%\IrfanView\i_view32.exe
IF NOT EXIST "%IRFAN%" ECHO IrfanView nicht gefunden. & PAUSE & EXIT

ECHO.
)CMD";

constexpr std::string_view kCmdEnd = R"CMD(
"%IRFAN%" "*.jpg" /silent /resize_long=%SIZE% /aspectratio /resample /jpgq=70 /convert="$N_t.jpg"
"%IRFAN%" "*.jpeg" /silent /resize_long=%SIZE% /aspectratio /resample /jpgq=70 /convert="$N_t.jpeg"
"%IRFAN%" "*.webp" /silent /resize_long=%SIZE% /aspectratio /resample /convert="$N_t.webp"
"%IRFAN%" "*.png" /silent /resize_long=%SIZE% /aspectratio /resample /convert="$N_t.png"

del /Q "*_t_t.*" >nul 2>&1
ECHO.
ECHO  Done.
ping -n 3 localhost >NUL
CLS
)CMD";

}  // namespace

void WritePageHead(LineWriter* page, bool german, std::string_view date, std::string_view title) {
    const PageWords& words = Words(german);
    WriteBlock(page, kHeadStart);
    WriteLine(page, words.htmlLine);
    WriteBlock(page, kHeadMeta);
    WriteRaw(page, kRevisedStart);
    WriteRaw(page, date);
    WriteLine(page, "\">");
    WriteLine(page, "");
    // The favicon prefix holds a line break of its own (lines 12 and 13).
    size_t linkEnd = kFaviconStart.find('\n');
    WriteLine(page, Slice(kFaviconStart, 0, linkEnd));
    WriteRaw(page, Slice(kFaviconStart, linkEnd + 1));
    WriteRaw(page, std::string_view(kPageIconBase64, sizeof kPageIconBase64 - 1));
    WriteLine(page, "\">");
    WriteLine(page, "");
    // "<script>", an empty line, then the title line that the next build reads back.
    size_t titleAt = kTitleStart.rfind('\n');
    WriteBlock(page, Slice(kTitleStart, 0, titleAt + 1));
    WriteRaw(page, Slice(kTitleStart, titleAt + 1));
    WriteRaw(page, title);
    WriteLine(page, kTitleEnd);
    WriteLine(page, "");
    WriteLine(page, "</script>");
    WriteLine(page, "");
    WriteLine(page, words.titleLine);
    WriteLine(page, "");
    WriteBlock(page, kStyleStart);
    WriteRaw(page, "url(\"data:image/svg+xml,");
    WriteRaw(page, std::string_view(kPageIconEscaped, sizeof kPageIconEscaped - 1));
    WriteLine(page, "\");");
    WriteBlock(page, kStyleRest);
}

void WritePageScriptAndBody(LineWriter* page, bool german) {
    const PageWords& words = Words(german);
    WriteBlock(page, kScriptStart);
    WriteRaw(page, kAlertStart);
    WriteRaw(page, words.missing);
    WriteLine(page, kAlertEnd);
    WriteBlock(page, kScriptRest);

    WriteRaw(page, " <div class=legend id=legend onclick=\"toggleDim()\" title=\"");
    WriteRaw(page, words.dimTitle);
    WriteLine(page, "\"></div>");
    WriteLine(page, "</div>");
    WriteLine(page, "");

    WriteRaw(page, "<h1 onclick=\"toggleDim()\" title=\"");
    WriteRaw(page, words.dimTitle);
    WriteRaw(page, "\" tabindex=\"0\" onkeydown=\"this.click()\"><span class=icon></span> <span id=h1>");
    WriteRaw(page, words.word);
    WriteLine(page, "</span></h1>");
    WriteLine(page, "");

    WriteLine(page, "<div id=searchDiv>");
    WriteRaw(page,
             " <form id=\"searchForm\"><input id=\"search\" type=\"search\" name=\"search\" list=\"suchliste\" "
             "autocomplete=\"off\" spellcheck=\"false\" title=\"");
    WriteRaw(page, words.searchWord);
    WriteRaw(page, "&#10;[Ctrl]+[F]\" placeholder=\"");
    WriteRaw(page, words.placeholder);
    WriteLine(page, "\">");
    WriteBlock(page, kSearchEnd);
}

void WritePageFooter(LineWriter* page, bool german, std::string_view stamp) {
    WriteLine(page, "<footer><hr>");
    WriteRaw(page, Words(german).countLine);
    WriteLine(page, stamp);
    WriteBlock(page, kFooterEnd);
}

void WriteThumbnailScript(LineWriter* script, bool german) {
    WriteBlock(script, kCmdStart);
    WriteLine(script, german ? ":: ECHO  Kleinschreibung aller Dateinamen und (Leerzeichen = -) . . ."
                             : ":: ECHO  Convert all filenames to  lowercase (spaces = -) . . .");
    WriteBlock(script, kCmdMiddle);
    WriteLine(script, german ? "ECHO  Erstelle Thumbnails . . ." : "ECHO  Creating thumbnails . . .");
    WriteBlock(script, kCmdEnd);
}
