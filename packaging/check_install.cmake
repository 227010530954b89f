# Stages `cmake --install` of a build under DESTDIR with prefix /usr and checks the tree:
# the exact file list, the font links, the icon sizes and the desktop entry.
#
#   cmake -DBUILD_DIR=<build> -DSTAGE=<scratch folder> [-DVALIDATE=desktop-file-validate]
#         -P check_install.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${STAGE})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${STAGE} ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}")
endif()

set(root ${STAGE}/usr)
set(expected
  bin/corvane
  bin/vna-cli
  bin/vna-sim
  share/applications/corvane.desktop
  share/corvane/FONTS/default.ttf
  share/corvane/FONTS/notobd.ttf
  share/icons/hicolor/128x128/apps/corvane.png
  share/icons/hicolor/256x256/apps/corvane.png
  share/icons/hicolor/48x48/apps/corvane.png
  share/icons/hicolor/64x64/apps/corvane.png)
file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE ${root} ${root}/*)
list(SORT found)
list(SORT expected)
if(NOT found STREQUAL expected)
  string(REPLACE ";" "\n  " found "${found}")
  message(FATAL_ERROR "installed files:\n  ${found}")
endif()
file(GLOB_RECURSE outside LIST_DIRECTORIES false ${STAGE}/*)
list(FILTER outside EXCLUDE REGEX "^${STAGE}/usr/")
if(outside)
  message(FATAL_ERROR "installed outside the prefix: ${outside}")
endif()

foreach(program corvane vna-cli vna-sim)
  execute_process(COMMAND test -x ${root}/bin/${program} RESULT_VARIABLE rc)
  if(IS_SYMLINK ${root}/bin/${program} OR NOT rc EQUAL 0)
    message(FATAL_ERROR "bin/${program} is not an executable file")
  endif()
endforeach()

# The fonts stay Debian's: absolute links, not copies.
foreach(pair "default.ttf=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
             "notobd.ttf=/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc")
  string(REPLACE "=" ";" pair ${pair})
  list(GET pair 0 name)
  list(GET pair 1 target)
  set(link ${root}/share/corvane/FONTS/${name})
  if(NOT IS_SYMLINK ${link})
    message(FATAL_ERROR "${link} is not a link")
  endif()
  file(READ_SYMLINK ${link} to)
  if(NOT to STREQUAL target)
    message(FATAL_ERROR "${link} points to ${to}, not ${target}")
  endif()
endforeach()

# Each icon is a PNG of its folder's size, with an alpha channel (colour type 6).
foreach(size 48 64 128 256)
  set(png ${root}/share/icons/hicolor/${size}x${size}/apps/corvane.png)
  file(READ ${png} head LIMIT 26 HEX)
  math(EXPR want "${size}" OUTPUT_FORMAT HEXADECIMAL)
  string(REGEX REPLACE "^0x" "" want "${want}")
  string(LENGTH "${want}" n)
  math(EXPR pad "8 - ${n}")
  string(REPEAT "0" ${pad} zeros)
  set(want "${zeros}${want}")
  string(TOLOWER "${want}" want)
  set(ihdr "89504e470d0a1a0a0000000d49484452${want}${want}0806")
  if(NOT head STREQUAL ihdr)
    message(FATAL_ERROR "${png}: PNG header ${head}, wanted ${ihdr} (${size} x ${size} RGBA)")
  endif()
endforeach()

if(VALIDATE)
  execute_process(COMMAND ${VALIDATE} ${root}/share/applications/corvane.desktop
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0 OR out)
    message(FATAL_ERROR "desktop-file-validate:\n${out}")
  endif()
endif()
message(STATUS "staged install in ${STAGE}: ${found}")
