# Installing and packaging: `cmake --install <build> --prefix <prefix>` and `cpack -G DEB`.
#
#   <prefix>/bin/corvane, vna-sim, vna-cli          (install() lines in app/, sim/, cli/)
#   <prefix>/share/corvane/FONTS/default.ttf         links to Debian's DejaVu Sans and
#   <prefix>/share/corvane/FONTS/notobd.ttf          Noto Sans CJK Bold (packages depended on)
#   <prefix>/share/applications/corvane.desktop
#   <prefix>/share/icons/hicolor/<N>x<N>/apps/corvane.png
#
# The program counts itself as installed when its folder has a sibling share/corvane
# (platform/program_dir.h), so the layout is fixed to bin/ and share/ under the prefix.

# The icon is drawn at build time by the image generator, one PNG per size.
set(CORVANE_ICON_SIZES 48 64 128 256)
set(icon_dir ${CMAKE_BINARY_DIR}/icons)
set(icon_files "")
foreach(size ${CORVANE_ICON_SIZES})
  list(APPEND icon_files ${icon_dir}/corvane-${size}.png)
endforeach()
add_custom_command(OUTPUT ${icon_files}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${icon_dir}
  COMMAND image-generator --icon ${icon_dir} ${CORVANE_ICON_SIZES}
  DEPENDS image-generator
  COMMENT "Drawing the desktop icon")
add_custom_target(corvane-icons ALL DEPENDS ${icon_files})
foreach(size ${CORVANE_ICON_SIZES})
  install(FILES ${icon_dir}/corvane-${size}.png
    DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME corvane.png)
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/packaging/corvane.desktop DESTINATION share/applications)

# The TrueType fonts stay Debian's: the share folder holds links to them, made here and
# installed as links (absolute, so a staged install under DESTDIR finds them too).
set(font_links ${CMAKE_BINARY_DIR}/packaging/FONTS)
file(MAKE_DIRECTORY ${font_links})
foreach(pair "default.ttf=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
             "notobd.ttf=/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc")
  string(REPLACE "=" ";" pair ${pair})
  list(GET pair 0 name)
  list(GET pair 1 target)
  file(REMOVE ${font_links}/${name})
  file(CREATE_LINK ${target} ${font_links}/${name} SYMBOLIC)
  install(FILES ${font_links}/${name} DESTINATION share/corvane/FONTS)
endforeach()

# The Debian package.
set(CORVANE_MAINTAINER "Corvane developers <corvane@example.org>" CACHE STRING "Maintainer of the .deb")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR "Corvane developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CORVANE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "control program for a two-port vector network analyser
Corvane drives a small two-port vector network analyser on a serial port: it
calibrates with the open, short, load, isolation and thru standards, sweeps up
to 2001 points and shows the corrected S11 and S21 as plots with a marker, as a
Smith chart and as an R, L or C value. It saves and loads calibrations.
.
The package also holds vna-sim, an analyser simulator on a pseudo-terminal, and
vna-cli, a headless front end that writes Touchstone files.")
# The libraries come from dpkg-shlibdeps; the fonts are the ones FONTS/ links to.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "zenity | kdialog")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/deb_links.cmake)
include(CPack)
