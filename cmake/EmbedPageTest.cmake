# Checks of EmbedPage.cmake: page files it must refuse, each with the reason
# named, and a good one whose literals come out byte-exact as C++.
#
#   cmake -P cmake/EmbedPageTest.cmake
cmake_minimum_required(VERSION 3.25)
set(embed "${CMAKE_CURRENT_LIST_DIR}/EmbedPage.cmake")
set(icon "${CMAKE_CURRENT_LIST_DIR}/../resources/icon.svg")
string(RANDOM LENGTH 8 suffix)
set(tmp "$ENV{TMPDIR}")
if(tmp STREQUAL "")
  set(tmp /tmp)
endif()
set(work "${tmp}/embed-page-test-${suffix}")
set(passed 0)
set(failed 0)

# Writes `content` as `name` into a fresh case folder, runs the embedder on the
# template `name` (with part.css includable), and leaves its exit code, its
# messages and its output in rc, log and generated.
function(RunEmbed name content)
  file(REMOVE_RECURSE "${work}")
  file(WRITE "${work}/${name}" "${content}")
  file(WRITE "${work}/part.css" "p { color:\"{{Colour}}\"; }\n")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -DDIR=${work} -DTEMPLATES=${name} -DINCLUDED=part.css -DICON=${icon}
            -DOUT=${work}/out.inc -P ${embed}
    RESULT_VARIABLE result ERROR_VARIABLE messages OUTPUT_VARIABLE messages)
  set(generated "")
  if(EXISTS "${work}/out.inc")
    file(READ "${work}/out.inc" generated)
  endif()
  set(rc "${result}" PARENT_SCOPE)
  set(log "${messages}" PARENT_SCOPE)
  set(generated "${generated}" PARENT_SCOPE)
endfunction()

function(Report label ok detail)
  if(ok)
    math(EXPR count "${passed} + 1")
    set(passed ${count} PARENT_SCOPE)
  else()
    math(EXPR count "${failed} + 1")
    set(failed ${count} PARENT_SCOPE)
    message("FAILED: ${label}\n${detail}")
  endif()
endfunction()

# Refusals: label | file content | words the message must hold. Nothing may be written.
set(refusals
  "CR LF line ends|<p>\r\n|a.html: carriage return"
  "a lone CR|<p>\r</p>\n|a.html: carriage return"
  "last line open|<p>\n</p>|the last line has no line feed"
  "spaces in a hole|<p>\n{{ Title }}\n|a.html:2: {{ Title }} is not a hole"
  "lower-case hole|{{title}}\n|{{title}} is not a hole"
  "unclosed hole|<p>{{Title\n|a.html:1: \"{{\" without its \"}}\""
  "include inside a line|<style>{{include part.css}}\n|must stand alone on its line"
  "include after a hole|{{Title}}{{include part.css}}\n|must stand alone on its line"
  "unlisted include|{{include other.css}}\n|not among the included page files")
foreach(case IN LISTS refusals)
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 label)
  list(GET fields 1 content)
  list(GET fields 2 expected)
  RunEmbed(a.html "${content}")
  string(REGEX REPLACE "[ \n]+" " " flat "${log}")  # CMake wraps long messages
  string(FIND "${flat}" "${expected}" at)
  if(NOT rc EQUAL 0 AND NOT at EQUAL -1 AND generated STREQUAL "")
    Report("${label}" TRUE "")
  else()
    Report("${label}" FALSE "  exit ${rc}; expected \"${expected}\" in:\n${log}")
  endif()
endforeach()

# A good template: quotes, backslashes and "??" escaped, the include spliced in
# with its own hole, the literal after the last hole ended by PageHole::None.
RunEmbed(good.txt "a \"q\" \\ ??= {{Title}}\n{{include part.css}}\nend\n")
set(expected [=[
// good.txt
constexpr TemplatePiece kGoodTemplate[] = {
    {Text("a \"q\" \\ ?\?= "),
     PageHole::Title},
    {Text("\n"
     "p { color:\""),
     PageHole::Colour},
    {Text("\"; }\n"
     "end\n"),
     PageHole::None},
};
]=])
string(FIND "${generated}" "${expected}" at)
if(rc EQUAL 0 AND NOT at EQUAL -1)
  Report("good template" TRUE "")
else()
  Report("good template" FALSE "  exit ${rc}; ${log}\n  generated:\n${generated}")
endif()
# The icon once, as its SVG text on one line (the page writer makes its two forms).
if(generated MATCHES "kPageIconSvg = Text\\(\"<svg xmlns='http://[^\"\n%]*</svg>\"\\);")
  Report("icon text" TRUE "")
else()
  Report("icon text" FALSE "  generated:\n${generated}")
endif()

file(REMOVE_RECURSE "${work}")
message("embed page checks: ${passed} passed, ${failed} failed")
if(failed GREATER 0)
  message(FATAL_ERROR "EmbedPage.cmake checks failed")
endif()
