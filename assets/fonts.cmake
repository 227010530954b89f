# Generated bitmap font data. The sources under assets/src/fonts/ are written by the font
# generator and committed, so a build never runs it: `cmake --build <dir> --target
# regenerate-fonts` rewrites them (needs libfreetype-dev, xfonts-base, fonts-liberation2 and
# fonts-dejavu-core); the output is the same on every run.
file(GLOB font_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/src/fonts/*.cpp)
target_sources(assets PRIVATE ${font_sources})

find_package(Freetype QUIET)
if(FREETYPE_FOUND)
  add_executable(font-generator ${PROJECT_SOURCE_DIR}/tools/fontgen.cpp)
  target_link_libraries(font-generator PRIVATE Freetype::Freetype)
  add_custom_target(regenerate-fonts
    COMMAND font-generator ${CMAKE_CURRENT_LIST_DIR}/src/fonts
    DEPENDS font-generator
    COMMENT "Rendering the compiled-in fonts into assets/src/fonts/")
endif()

# Sample sheets of every font as PNG files: `font-sheets DIR`.
add_executable(font-sheets ${PROJECT_SOURCE_DIR}/tools/fontgen_sheets.cpp)
target_link_libraries(font-sheets PRIVATE assets)
