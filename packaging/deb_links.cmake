# Run by cpack between its install step and building the .deb (CPACK_PRE_BUILD_SCRIPTS).
# The package's font links become relative, as Debian wants for links within /usr; as a
# side effect cpack, which sizes a link by what it points to, no longer counts the fonts
# in the package's installed size. `cmake --install` keeps absolute links, which stay
# right under any prefix and DESTDIR.
set(fonts share/corvane/FONTS)
file(GLOB links ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/${fonts}/*)
if(NOT links)
  message(FATAL_ERROR "no font links under ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
foreach(link ${links})
  file(READ_SYMLINK ${link} target)
  if(IS_ABSOLUTE "${target}")
    file(RELATIVE_PATH relative ${CPACK_PACKAGING_INSTALL_PREFIX}/${fonts} ${target})
    file(REMOVE ${link})
    file(CREATE_LINK ${relative} ${link} SYMBOLIC)
  endif()
endforeach()
