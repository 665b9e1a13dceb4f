# Install layout and the Debian package.
#
#   <prefix>/lib/quintarra/     the program with the optional files it looks
#                               for in its own folder (x/o.cjs, HAND-M.CUR)
#   <prefix>/bin/quintarra      a relative link to it; the program finds its
#                               folder through /proc/self/exe, so the link,
#                               the menu and the build folder all work
#   <prefix>/share/...          desktop entry, icons, AppStream metadata,
#                               manual page, copyright and changelog

set(QUINTARRA_DESKTOP ${PROJECT_SOURCE_DIR}/resources/desktop)
set(QUINTARRA_ID com.marlowic.Quintarra)
set(QUINTARRA_PROGRAM_DIR lib/quintarra)

install(TARGETS quintarra RUNTIME DESTINATION ${QUINTARRA_PROGRAM_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/HAND-M.CUR DESTINATION ${QUINTARRA_PROGRAM_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/x/o.cjs DESTINATION ${QUINTARRA_PROGRAM_DIR}/x)

file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/launcher)
file(CREATE_LINK ../${QUINTARRA_PROGRAM_DIR}/quintarra ${CMAKE_BINARY_DIR}/launcher/quintarra SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/launcher/quintarra DESTINATION bin)

install(FILES ${QUINTARRA_DESKTOP}/${QUINTARRA_ID}.desktop DESTINATION share/applications)
install(FILES ${QUINTARRA_DESKTOP}/${QUINTARRA_ID}.metainfo.xml DESTINATION share/metainfo)
install(DIRECTORY ${QUINTARRA_DESKTOP}/icons/ DESTINATION share/icons)

# Debian wants these compressed, without a time stamp in the gzip header.
set(compressed_docs)
foreach(doc doc/changelog quintarra.1)
    get_filename_component(name ${doc} NAME)
    add_custom_command(
        OUTPUT ${CMAKE_BINARY_DIR}/docs/${name}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/docs
        COMMAND gzip -9nc ${QUINTARRA_DESKTOP}/${doc} > ${CMAKE_BINARY_DIR}/docs/${name}.gz
        DEPENDS ${QUINTARRA_DESKTOP}/${doc}
        VERBATIM)
    list(APPEND compressed_docs ${CMAKE_BINARY_DIR}/docs/${name}.gz)
endforeach()
add_custom_target(quintarra_docs ALL DEPENDS ${compressed_docs})
install(FILES ${QUINTARRA_DESKTOP}/doc/copyright ${CMAKE_BINARY_DIR}/docs/changelog.gz
        DESTINATION share/doc/quintarra)
install(FILES ${CMAKE_BINARY_DIR}/docs/quintarra.1.gz DESTINATION share/man/man1)
# Debian keeps LibreOffice's UNO libraries in LibreOffice's own program
# folder and nowhere on the linker's path; the program's run path names it.
install(FILES ${QUINTARRA_DESKTOP}/lintian-overrides RENAME quintarra
        DESTINATION share/lintian/overrides)

# cpack -G DEB in the build folder makes quintarra_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quintarra)
set(CPACK_PACKAGE_VENDOR "Team Marlowic")
set(CPACK_PACKAGE_CONTACT "Team Marlowic <support@marlowic.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turns a list of labelled amounts into a pie chart workbook")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.marlowic.com/")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quintarra keeps a short list of what a household owns (savings, a
retirement account, stocks, a house) and has LibreOffice Calc, run headless
in the background, fill a workbook with a 3-D pie chart from it. A preview
window shows a picture of the sheet and saves the workbook as an .xls file.")
# What the program needs at run time: Qt's run-time libraries (with the X11
# platform plugin), LibreOffice Calc (the engine) and Draw (its picture export) with
# the UNO libraries the program links, the fonts the sheet and windows use,
# and the desktop's opener for the maker's web page.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libgcc-s1, \
libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), \
libreoffice-calc-nogui | libreoffice-calc, libreoffice-draw-nogui | libreoffice-draw, \
libuno-cppu3, libuno-sal3, libuno-cppuhelpergcc3-3, \
fonts-liberation2, fonts-crosextra-caladea, xdg-utils")
include(CPack)
