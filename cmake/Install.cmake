# The install a desktop user expects, and its Debian package: the programs in bin/, the help file
# where the program looks for it (../share/ostrinel beside bin/), the desktop entry, the icon as
# SVG and PNG, and the AppStream metainfo. `cpack -G DEB` in the build folder packages the same
# tree, with the dependencies taken from the shared libraries the programs link.

set(OSTRINEL_APP_ID org.ostrinel.Ostrinel)
set(OSTRINEL_DESKTOP_DIR ${CMAKE_SOURCE_DIR}/resources/desktop)

install(TARGETS ostrinel RUNTIME DESTINATION bin)
if(TARGET ostrinel-render)
    install(TARGETS ostrinel-render RUNTIME DESTINATION bin)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/resources/OSTRINEL.HLP DESTINATION share/ostrinel)
install(FILES ${OSTRINEL_DESKTOP_DIR}/${OSTRINEL_APP_ID}.desktop DESTINATION share/applications)

configure_file(${OSTRINEL_DESKTOP_DIR}/${OSTRINEL_APP_ID}.metainfo.xml.in
    ${CMAKE_BINARY_DIR}/desktop/${OSTRINEL_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/desktop/${OSTRINEL_APP_ID}.metainfo.xml DESTINATION share/metainfo)

# The PNG icons are drawn from the SVG at build time.
add_executable(render_icon ${OSTRINEL_DESKTOP_DIR}/render_icon.cpp)
target_link_libraries(render_icon PRIVATE Qt6::Gui Qt6::Svg)
set(OSTRINEL_ICON_SVG ${OSTRINEL_DESKTOP_DIR}/${OSTRINEL_APP_ID}.svg)
set(OSTRINEL_ICONS)
foreach(size 16 32 48 64 128 256)
    set(png ${CMAKE_BINARY_DIR}/desktop/icons/${size}x${size}/${OSTRINEL_APP_ID}.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/desktop/icons/${size}x${size}
        COMMAND render_icon ${OSTRINEL_ICON_SVG} ${size} ${png}
        DEPENDS render_icon ${OSTRINEL_ICON_SVG}
        COMMENT "Drawing the ${size}x${size} icon")
    list(APPEND OSTRINEL_ICONS ${png})
    install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(ostrinel_icons ALL DEPENDS ${OSTRINEL_ICONS})
install(FILES ${OSTRINEL_ICON_SVG} DESTINATION share/icons/hicolor/scalable/apps)

set(CPACK_PACKAGE_NAME ostrinel)
set(CPACK_PACKAGE_VENDOR "Ostrinel developers")
set(CPACK_PACKAGE_CONTACT "Ostrinel developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "draws comparative chromosome maps")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The lines after the summary line of the package's description.
set(CPACK_PACKAGE_DESCRIPTION "Ostrinel reads gene coordinates (a tab-delimited coordinate file, or
GFF3, GTF, BED and GenBank annotations) and draws every chosen chromosome as
a row of coloured gene arrows; homologous genes on different rows are joined
by broken connector lines. The map can be saved as WMF, EMF or BMP, or printed.")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Every picture names "Arial"; Liberation Sans has its metrics, so text widths, and with them
# labels and figures, are the same on every machine.
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-liberation2)
# "Operations > Find homologs" and `--homology auto` run MMseqs2; the map works without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS mmseqs2)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
