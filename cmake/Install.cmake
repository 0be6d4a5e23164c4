# Norvik as an installed desktop program: the help pages beside the program
# in the build tree, and what `cmake --install` and `cpack -G DEB` lay out
# (GNUInstallDirs: bin/, share/norvik/, share/applications/, ...).

set(NORVIK_RELEASE_DATE "2026-12-06")
set(NORVIK_RELEASE_TIME "Sun, 06 Dec 2026 12:00:00 +0000")
set(NORVIK_APP_ID "example.norvik.Norvik")
set(res ${PROJECT_SOURCE_DIR}/resources)
set(gen ${PROJECT_BINARY_DIR}/install)

# The help pages, copied beside the program, where it looks for them first.
file(GLOB NORVIK_HELP_PAGES CONFIGURE_DEPENDS ${res}/help/*.html)
get_target_property(program_dir norvik BINARY_DIR)
set(help_copies)
foreach(page IN LISTS NORVIK_HELP_PAGES)
  get_filename_component(name ${page} NAME)
  add_custom_command(OUTPUT ${program_dir}/${name}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${page} ${program_dir}/${name}
    DEPENDS ${page} VERBATIM)
  list(APPEND help_copies ${program_dir}/${name})
endforeach()
add_custom_target(norvik_help ALL DEPENDS ${help_copies})
add_dependencies(norvik norvik_help)

# Files that carry the version or the addresses.
configure_file(${res}/desktop/${NORVIK_APP_ID}.metainfo.xml.in
               ${gen}/${NORVIK_APP_ID}.metainfo.xml @ONLY)
configure_file(${res}/debian/copyright.in ${gen}/copyright @ONLY)
set(gzipped)
foreach(page norvik.1 norvik-cli.1)
  configure_file(${res}/man/${page}.in ${gen}/${page} @ONLY)
  list(APPEND gzipped ${gen}/${page})
endforeach()
configure_file(${res}/debian/changelog.in ${gen}/changelog @ONLY)
list(APPEND gzipped ${gen}/changelog)

# Man pages and the changelog are installed compressed, reproducibly.
set(gz_outputs)
foreach(file IN LISTS gzipped)
  add_custom_command(OUTPUT ${file}.gz
    COMMAND sh -c "gzip -9nc \"$0\" > \"$0.gz\"" ${file}
    DEPENDS ${file} VERBATIM)
  list(APPEND gz_outputs ${file}.gz)
endforeach()

# The icon: scalable, and the bitmap sizes menus and docks ask for, drawn
# from the same SVG at build time.
set(NORVIK_ICON_SIZES 16 22 24 32 48 64 128 256)
set(icon_svg ${res}/icons/norvik.svg)
find_program(RSVG_CONVERT rsvg-convert)
set(png_outputs)
if(RSVG_CONVERT)
  foreach(size IN LISTS NORVIK_ICON_SIZES)
    set(png ${gen}/icons/${size}x${size}/norvik.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${gen}/icons/${size}x${size}
      COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${icon_svg}
      DEPENDS ${icon_svg} VERBATIM)
    list(APPEND png_outputs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
else()
  message(WARNING "rsvg-convert (Debian package librsvg2-bin) is missing: "
                  "the bitmap icons are not built or installed")
endif()
add_custom_target(norvik_install_files ALL DEPENDS ${gz_outputs} ${png_outputs})

install(TARGETS norvik norvik-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${NORVIK_HELP_PAGES} DESTINATION ${CMAKE_INSTALL_DATADIR}/norvik)
install(FILES ${res}/desktop/${NORVIK_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${gen}/${NORVIK_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${gen}/norvik.1.gz ${gen}/norvik-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${gen}/copyright ${gen}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/norvik)

# The Debian package (cpack -G DEB, or scripts/package.sh).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME norvik)
set(CPACK_PACKAGE_VENDOR "Tarnwell")
set(CPACK_PACKAGE_CONTACT "Norvik Maintainers <${NORVIK_CONTACT_ADDRESS}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop network utility: ping, trace route and whois")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Norvik has four tools in one window: Ping (repeated echo requests with a chosen\n"
    "count and payload, and a report), TraceRoute, Whois Lookup by country, and IP\n"
    "Translation between host names and addresses. norvik-cli runs the same pings\n"
    "and reads and repairs the settings on the command line.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The SVG icon engine is a plugin that nothing links; setcap is for the
# postinst.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, libcap2-bin")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${res}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
