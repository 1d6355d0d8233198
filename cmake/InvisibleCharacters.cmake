# The characters that audit texts escape because nobody sees them, or because they make a line
# read otherwise than it holds, taken from Unicode's own data when the build is configured: the
# Default_Ignorable_Code_Point set (DerivedCoreProperties.txt), the bidirectional controls
# (Bidi_Control, PropList.txt), and the controls and the line and paragraph separators (general
# categories Cc, Zl and Zp, UnicodeData.txt). Debian's unicode-data package puts the files in
# /usr/share/unicode; a build elsewhere names a folder holding them in QUILLMARK_UNICODE_DIR.
#
# quillmark_invisible_characters() makes the object library quillmark_invisible: the sorted
# table of ranges that src/audit/invisible_characters.h declares, generated into the build tree.
# Every build of the plugin links the same table.
include_guard(GLOBAL)

set(QUILLMARK_UNICODE_DIR "/usr/share/unicode" CACHE PATH
    "Folder holding Unicode's DerivedCoreProperties.txt, PropList.txt and UnicodeData.txt")

# Appends to the list `out_var` every range "FIRST..LAST" (hex, six digits) of the lines of
# `file` that give `property` in the field after the code points.
function(quillmark_unicode_ranges file property out_var)
  file(STRINGS "${file}" lines REGEX "^[0-9A-F.]+ *; ${property} ")
  set(ranges ${${out_var}})
  foreach(line IN LISTS lines)
    string(REGEX MATCH "^([0-9A-F]+)(\\.\\.([0-9A-F]+))?" _ "${line}")
    set(first "${CMAKE_MATCH_1}")
    set(last "${CMAKE_MATCH_3}")
    if(last STREQUAL "")
      set(last "${first}")
    endif()
    string(PREPEND first "000000")
    string(PREPEND last "000000")
    string(REGEX MATCH "......$" first "${first}")
    string(REGEX MATCH "......$" last "${last}")
    list(APPEND ranges "${first}..${last}")
  endforeach()
  set(${out_var} ${ranges} PARENT_SCOPE)
endfunction()

function(quillmark_invisible_characters)
  if(TARGET quillmark_invisible)
    return()
  endif()
  set(dir "${QUILLMARK_UNICODE_DIR}")
  set(derived "${dir}/DerivedCoreProperties.txt")
  set(props "${dir}/PropList.txt")
  set(data "${dir}/UnicodeData.txt")
  foreach(file IN ITEMS "${derived}" "${props}" "${data}")
    if(NOT EXISTS "${file}")
      message(FATAL_ERROR "${file} is missing: install Debian's unicode-data package "
                          "(scripts/install-deps.sh), or set QUILLMARK_UNICODE_DIR to a folder "
                          "holding Unicode's DerivedCoreProperties.txt, PropList.txt and "
                          "UnicodeData.txt")
    endif()
  endforeach()
  set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               "${derived}" "${props}" "${data}")

  set(ranges)
  quillmark_unicode_ranges("${derived}" "Default_Ignorable_Code_Point" ranges)
  quillmark_unicode_ranges("${props}" "Bidi_Control" ranges)
  # UnicodeData.txt: "CODE;NAME;CATEGORY;..." one code point a line for these categories.
  file(STRINGS "${data}" lines REGEX "^[0-9A-F]+;[^;]*;(Cc|Zl|Zp);")
  foreach(line IN LISTS lines)
    string(REGEX MATCH "^[0-9A-F]+" code "${line}")
    string(PREPEND code "000000")
    string(REGEX MATCH "......$" code "${code}")
    list(APPEND ranges "${code}..${code}")
  endforeach()
  list(SORT ranges)  # six hex digits each: text order is code point order

  # Overlapping and adjacent ranges merged, written as the table's rows.
  set(rows "")
  set(count 0)
  set(open_first "")
  foreach(range IN LISTS ranges ITEMS END)
    if(NOT range STREQUAL "END")
      string(REPLACE ".." ";" bounds "${range}")
      list(GET bounds 0 first)
      list(GET bounds 1 last)
      math(EXPR first_value "0x${first}")
      math(EXPR last_value "0x${last}")
      if(NOT open_first STREQUAL "")
        math(EXPR after_open "${open_last_value} + 1")
        if(first_value LESS_EQUAL after_open)
          if(last_value GREATER open_last_value)
            set(open_last "${last}")
            set(open_last_value ${last_value})
          endif()
          continue()
        endif()
      endif()
    endif()
    if(NOT open_first STREQUAL "")
      string(APPEND rows "    {0x${open_first}, 0x${open_last}},\n")
      math(EXPR count "${count} + 1")
    endif()
    if(NOT range STREQUAL "END")
      set(open_first "${first}")
      set(open_last "${last}")
      set(open_last_value ${last_value})
    endif()
  endforeach()
  if(count EQUAL 0)
    message(FATAL_ERROR "no invisible characters found in ${dir}: not Unicode's data files?")
  endif()

  file(STRINGS "${derived}" version_line LIMIT_COUNT 1)
  string(REGEX REPLACE "^# *" "" version "${version_line}")
  set(generated "${CMAKE_BINARY_DIR}/generated/invisible_characters.cc")
  file(CONFIGURE OUTPUT "${generated}" @ONLY CONTENT
"// Generated when the build was configured (cmake/InvisibleCharacters.cmake) from Unicode's
// @version@, PropList.txt and UnicodeData.txt in @dir@:
// Default_Ignorable_Code_Point, Bidi_Control, and the categories Cc, Zl and Zp. Do not edit.
#include \"audit/invisible_characters.h\"

namespace quillmark {
namespace {

constexpr CodeRange kInvisible[@count@] = {
@rows@};

}  // namespace

std::span<const CodeRange> InvisibleRanges() { return kInvisible; }

}  // namespace quillmark
")
  add_library(quillmark_invisible OBJECT "${generated}")
  target_include_directories(quillmark_invisible PRIVATE "${CMAKE_SOURCE_DIR}/src")
  target_compile_features(quillmark_invisible PRIVATE cxx_std_20)
  set_target_properties(quillmark_invisible PROPERTIES CXX_VISIBILITY_PRESET hidden
                                                       POSITION_INDEPENDENT_CODE ON)
endfunction()
