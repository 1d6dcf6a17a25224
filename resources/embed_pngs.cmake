# Turns PNG files into a C++ source of byte arrays, one per resource id.
# Run as a script:
#   cmake -DOUTPUT=<file.cpp> -DIDS="128 129" -DRES_128=<a.png> -DRES_129=<b.png> -P embed_pngs.cmake
# The generated source defines rimbrel::kEmbeddedResources and its count,
# which Resources.cpp searches.
separate_arguments(id_list UNIX_COMMAND "${IDS}")
set(arrays "")
set(table "")
foreach(id ${id_list})
  set(png "${RES_${id}}")
  if(NOT EXISTS "${png}")
    message(FATAL_ERROR "resource ${id}: ${png} does not exist")
  endif()
  file(READ "${png}" hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  # Sixteen bytes to a line, each as 0xNN.
  string(REGEX REPLACE "([0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f])"
         "\\1\n" hex "${hex}")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  get_filename_component(name "${png}" NAME)
  string(APPEND arrays "// ${name}, ${size} bytes\nconst unsigned char kResource${id}[${size}] = {\n${bytes}\n};\n\n")
  string(APPEND table "    {${id}, kResource${id}, sizeof kResource${id}},\n")
endforeach()
list(LENGTH id_list count)

set(source "// Generated from the PNG files of resources/ at build time; do not edit.
#include \"resources/EmbeddedResources.h\"

namespace rimbrel {
namespace {

${arrays}}  // namespace

const EmbeddedResource kEmbeddedResources[] = {
${table}};
const int kEmbeddedResourceCount = ${count};

}  // namespace rimbrel
")
# Rewrite only on change, so an unchanged PNG set causes no recompilation.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL source)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${source}")
