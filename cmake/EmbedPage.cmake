# Turns the page files (gallery/page) and the page icon into generated C++ data.
#
#   cmake -DDIR=gallery/page -DTEMPLATES=page.html,entry.html -DINCLUDED=style.css,script.js
#         [-DICON=icon.svg] -DOUT=page_files.inc -P EmbedPage.cmake
#
# Each template in TEMPLATES becomes an array of TemplatePiece, named after the
# file (page.html -> kPageTemplate): a literal text with its LF line ends, then
# the hole that follows it (PageHole::None after the last literal). A hole is
# written {{Name}}, a CamelCase name that page_text.cpp knows as PageHole::Name.
# A line that holds only {{include NAME}} is replaced by the file NAME, which
# must be listed in INCLUDED (so that the build's DEPENDS know it) and ends in a
# line feed. The icon, when given, becomes kPageIconSvg, its text without line breaks.
# Any fault (a CR, a malformed hole, an unlisted include) stops the build with
# the file named; nothing is written then.
cmake_minimum_required(VERSION 3.25)

# ---- Icon ----------------------------------------------------------------------------------

# Line breaks of the icon file are dropped. The page writes it in two forms (page_text.cpp:
# base64 for the favicon, percent-encoded for a CSS url()), which ask for single quotes only
# and no %, which the percent-encoding leaves as it is.
function(ReadIcon svgPath outSvg)
  file(READ "${svgPath}" svg)
  string(REGEX REPLACE "[\r\n]+" "" svg "${svg}")
  if(svg MATCHES "\"")
    message(FATAL_ERROR "${svgPath}: use single quotes only; the icon goes into a double-quoted url()")
  endif()
  if(svg MATCHES "%")
    message(FATAL_ERROR "${svgPath}: no % please; the icon's percent-encoding leaves it as it is")
  endif()
  set(${outSvg} "${svg}" PARENT_SCOPE)
endfunction()

# ---- Page files ----------------------------------------------------------------------------

# The line of `offset` in `text`, counted from 1, for messages.
function(LineAt text offset outLine)
  string(SUBSTRING "${text}" 0 ${offset} before)
  string(REGEX REPLACE "[^\n]" "" breaks "${before}")
  string(LENGTH "${breaks}" count)
  math(EXPR line "${count} + 1")
  set(${outLine} ${line} PARENT_SCOPE)
endfunction()

# Reads one page file: LF line ends only, the last line ended too.
function(ReadPageFile path outText)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "${path}: no such page file")
  endif()
  # file(READ) turns CR LF into LF by itself; the size tells that it did.
  file(READ "${path}" text)
  file(SIZE "${path}" size)
  string(LENGTH "${text}" length)
  string(FIND "${text}" "\r" cr)
  if(NOT size EQUAL length OR NOT cr EQUAL -1)
    message(FATAL_ERROR "${path}: carriage return; page files keep LF line ends "
                        "(the writer adds CR LF), see .gitattributes")
  endif()
  if(NOT text MATCHES "\n$")
    message(FATAL_ERROR "${path}: the last line has no line feed")
  endif()
  set(${outText} "${text}" PARENT_SCOPE)
endfunction()

# Checks every {{...}} of one file: a hole name, or an include alone on its line.
function(CheckHoles path text)
  set(rest "${text}")
  set(consumed 0)
  while(TRUE)
    string(FIND "${rest}" "{{" at)
    if(at EQUAL -1)
      break()
    endif()
    math(EXPR nameAt "${at} + 2")
    string(SUBSTRING "${rest}" ${nameAt} -1 after)
    string(FIND "${after}" "}}" end)
    math(EXPR offset "${consumed} + ${at}")
    LineAt("${text}" ${offset} line)
    if(end EQUAL -1)
      message(FATAL_ERROR "${path}:${line}: \"{{\" without its \"}}\"")
    endif()
    string(SUBSTRING "${after}" 0 ${end} name)
    if(name MATCHES "^include ")
      math(EXPR afterEnd "${end} + 2")
      string(SUBSTRING "${after}" ${afterEnd} 1 next)
      if(at GREATER 0)
        math(EXPR beforeAt "${at} - 1")
        string(SUBSTRING "${rest}" ${beforeAt} 1 previous)
      elseif(consumed GREATER 0)
        set(previous "}")  # right after another {{...}}
      else()
        set(previous "\n")
      endif()
      if(NOT previous STREQUAL "\n" OR NOT next STREQUAL "\n")
        message(FATAL_ERROR "${path}:${line}: {{${name}}} must stand alone on its line")
      endif()
    elseif(NOT name MATCHES "^[A-Z][A-Za-z0-9]*$")
      message(FATAL_ERROR "${path}:${line}: {{${name}}} is not a hole: holes are CamelCase names, as {{Title}}")
    endif()
    math(EXPR skip "${nameAt} + ${end} + 2")
    string(SUBSTRING "${rest}" ${skip} -1 rest)
    math(EXPR consumed "${consumed} + ${skip}")
  endwhile()
endfunction()

# `text` as C++ string literals, one source line per line of text.
function(CppLiteral text outLiteral)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  # Keep "??" apart, so that no compiler reads a trigraph into it or warns about one.
  while(text MATCHES "\\?\\?")
    string(REPLACE "??" "?\\?" text "${text}")
  endwhile()
  string(REPLACE "\n" "\\n\"\n     \"" text "${text}")
  set(literal "\"${text}\"")
  # A literal that ends in a line feed would end in an empty "" on a line of its own.
  string(REGEX REPLACE "\n     \"\"$" "" literal "${literal}")
  set(${outLiteral} "${literal}" PARENT_SCOPE)
endfunction()

# The C++ array of one template, its includes resolved.
function(EmbedTemplate fileName outCode)
  set(path "${DIR}/${fileName}")
  ReadPageFile("${path}" text)
  CheckHoles("${path}" "${text}")
  # Includes, each alone on its line (checked above); an included file includes nothing.
  while(text MATCHES "{{include ([^}]*)}}")
    set(part "${CMAKE_MATCH_1}")
    if(NOT part IN_LIST includedList)
      message(FATAL_ERROR "${path}: {{include ${part}}} names a file that is not among the included "
                          "page files (${INCLUDED}); list it in gallery/CMakeLists.txt so that its edits rebuild")
    endif()
    ReadPageFile("${DIR}/${part}" partText)
    CheckHoles("${DIR}/${part}" "${partText}")
    if(partText MATCHES "{{include ")
      message(FATAL_ERROR "${DIR}/${part}: an included file includes nothing itself")
    endif()
    string(REPLACE "{{include ${part}}}\n" "${partText}" text "${text}")
  endwhile()

  string(REGEX REPLACE "\\.[^.]*$" "" stem "${fileName}")
  string(SUBSTRING "${stem}" 0 1 first)
  string(SUBSTRING "${stem}" 1 -1 others)
  string(TOUPPER "${first}" first)
  set(code "// ${fileName}\nconstexpr TemplatePiece k${first}${others}Template[] = {\n")
  set(rest "${text}")
  while(TRUE)
    string(FIND "${rest}" "{{" at)
    if(at EQUAL -1)
      CppLiteral("${rest}" literal)
      string(APPEND code "    {Text(${literal}),\n     PageHole::None},\n")
      break()
    endif()
    string(SUBSTRING "${rest}" 0 ${at} before)
    math(EXPR nameAt "${at} + 2")
    string(SUBSTRING "${rest}" ${nameAt} -1 rest)
    string(FIND "${rest}" "}}" end)
    string(SUBSTRING "${rest}" 0 ${end} hole)
    math(EXPR skip "${end} + 2")
    string(SUBSTRING "${rest}" ${skip} -1 rest)
    CppLiteral("${before}" literal)
    string(APPEND code "    {Text(${literal}),\n     PageHole::${hole}},\n")
  endwhile()
  string(APPEND code "};\n\n")
  set(${outCode} "${code}" PARENT_SCOPE)
endfunction()

# ---- Output --------------------------------------------------------------------------------

foreach(required DIR TEMPLATES OUT)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "EmbedPage.cmake: -D${required}=... is missing")
  endif()
endforeach()
string(REPLACE "," ";" templateList "${TEMPLATES}")
string(REPLACE "," ";" includedList "${INCLUDED}")

set(code "// Generated from gallery/page and the page icon by cmake/EmbedPage.cmake; do not edit.\n\n")
if(DEFINED ICON)
  ReadIcon("${ICON}" svg)
  CppLiteral("${svg}" svgLiteral)
  string(APPEND code "constexpr std::string_view kPageIconSvg = Text(${svgLiteral});\n\n")
endif()
foreach(template IN LISTS templateList)
  EmbedTemplate("${template}" templateCode)
  string(APPEND code "${templateCode}")
endforeach()
file(WRITE "${OUT}" "${code}")
