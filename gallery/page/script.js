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
var zoomEintrag = false; // der offene Zoom hat seinen Eintrag im Verlauf (#NAME)
var zurueckWartet = false; // unser history.back() nach dem Schliessen ist noch unterwegs
var finger = new Set();  // Finger auf dem Zoom
var wisch = null;        // Anfang eines Wischens mit einem Finger, sonst null
var gewischt = -1e9;     // Zeitpunkt des letzten Schritts durch Wischen

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
  adresseZeigen();   // vor dem Scrollen: der Eintrag der Wand behaelt ihre Position
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
  img.addEventListener("click", function (e) {
    if (e.timeStamp - gewischt > 300) zeigZu();   // kein Klick, den das Wischen nachschiebt
  });
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

// Zoom schliessen; ohne offenen Zoom bleibt alles, wie es ist.
// weiter: nur fuer den Schritt zum naechsten Bild, der Verlauf bleibt
function zeigZu(weiter) {
  var zoom = document.getElementById("zoom");
  if (zoom.style.display != "block") return;
  if (weiter !== true) adresseLoesen();
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
  if (n) { zeigZu(true); n.focus(); zeig(n); }
}

function zoomRechts() {
  var n = nextImg(zoomShown);
  if (n) { zeigZu(true); n.focus(); zeig(n); }
}

// Adresse #NAME des gezeigten Bildes: ein Eintrag im Verlauf je Oeffnen, den
// die Schritte ersetzen; so schliesst "Zurueck" den Zoom.
function bildAnker(el) {
  return "#" + encodeURIComponent(el.getAttribute("alt"));
}

function adresseZeigen() {
  if (zurueckWartet) return;   // der popstate des Schliessens setzt sie danach
  if (zoomEintrag) {
    history.replaceState(history.state, "", bildAnker(zoomShown));
  } else {
    history.pushState({ quimboZoom: true }, "", bildAnker(zoomShown));
    zoomEintrag = true;
  }
}

function adresseLoesen() {
  if (!zoomEintrag) return;
  zoomEintrag = false;
  if (history.state && history.state.quimboZoom) {
    zurueckWartet = true;
    history.back();
  } else {
    history.replaceState(history.state, "", location.pathname + location.search);
  }
}

// Das Bild zu #NAME der Adresse (Name kodiert oder nicht), sonst null
function bildAusAdresse() {
  var roh = location.hash.slice(1);
  if (!roh) return null;
  var namen = [roh.replace(/%(20|22|3C|3E|60)/gi, function (m) { return decodeURIComponent(m); })];
  try { namen.unshift(decodeURIComponent(roh)); } catch (ex) { /* kein gueltiges %-Format */ }
  for (var k = 0; k < namen.length; k++) {
    for (var i = 0; i < bilder.length; i++) {
      if (bilder[i].getAttribute("alt") === namen[k]) return bilder[i];
    }
  }
  return null;
}

function zeigAdresse(b, eigenerEintrag) {
  zoomEintrag = eigenerEintrag;
  b.focus({ preventScroll: true });
  zeig(b);
}

// Zurueck schliesst den Zoom; Vor (oder eine getippte Adresse #NAME) oeffnet das Bild
function verlaufGeaendert(e) {
  if (zurueckWartet) {
    zurueckWartet = false;
    if (zoomOffen()) adresseZeigen();   // schon wieder geoeffnet
    return;
  }
  if (zoomOffen()) {
    zoomEintrag = false;
    zeigZu();
    return;
  }
  var b = bildAusAdresse();
  if (b) zeigAdresse(b, true);
}

// Wischen auf dem Zoom: waagrecht mindestens 50 px und doppelt so weit wie
// senkrecht; nach links das naechste Bild, nach rechts das vorige. Zwei Finger
// (Zoomen) und ein vergroessertes Bild (Verschieben) gehoeren dem Browser.
function fingerAuf(e) {
  if (e.pointerType != "touch") return;
  if (e.isPrimary) finger.clear();
  finger.add(e.pointerId);
  var lupe = window.visualViewport && window.visualViewport.scale > 1.01;
  wisch = finger.size == 1 && !lupe ? { id: e.pointerId, x: e.clientX, y: e.clientY } : null;
}

function fingerAb(e) {
  if (e.pointerType != "touch") return;
  finger.delete(e.pointerId);
  var w = wisch;
  if (!w || w.id != e.pointerId) return;
  wisch = null;
  if (e.type != "pointerup") return;
  var dx = e.clientX - w.x, dy = e.clientY - w.y;
  if (Math.abs(dx) < 50 || Math.abs(dx) < 2 * Math.abs(dy)) return;
  gewischt = e.timeStamp;
  if (dx < 0) zoomRechts(); else zoomLinks();
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
      alert("{{MissingPictures}}");
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
    zeigZu(true);
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
  var zoom = document.getElementById("zoom");
  zoom.addEventListener("pointerdown", fingerAuf);
  zoom.addEventListener("pointerup", fingerAb);
  zoom.addEventListener("pointercancel", fingerAb);
  window.addEventListener("popstate", verlaufGeaendert);
  // Ein Link auf ein Bild (!pictures.html#NAME): die Wand darunter, das Bild darueber,
  // damit "Zurueck" zur Wand fuehrt; neu geladen auf dem eigenen Eintrag: nur das Bild
  var b = bildAusAdresse();
  if (b && history.state && history.state.quimboZoom) {
    zeigAdresse(b, true);
  } else if (b) {
    history.replaceState(null, "", location.pathname + location.search);
    zeigAdresse(b, false);
  }
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
