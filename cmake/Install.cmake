# Installation as a desktop program and the Debian package built from it with `cpack -G DEB`.
#
# The counter program and the LAN server go side by side into the binary folder (the counter looks for
# Lanserve beside itself), the manual into share/cjpos/manual, the menu entry and its icon into the
# freedesktop places. Nothing here touches the data folder or the backups: they live in the user's home
# and stay when the package is removed.
include(GNUInstallDirs)

install(TARGETS cjpos Lanserve RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${CJ_ROOT}/packaging/cjpos.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 32 48 64 128 256)
    install(FILES ${CJ_ROOT}/packaging/icons/cjpos-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME cjpos.png)
endforeach()

# Trailing slash: the folder's contents, not the folder itself.
install(DIRECTORY ${CJ_ROOT}/doc/manual/ DESTINATION ${CMAKE_INSTALL_DATADIR}/cjpos/manual)

# Manual pages (English and Chinese) and the changelog go compressed, as Debian wants them: gzip -9n keeps
# neither the file name nor its time, so the same sources give the same package.
find_program(CJ_GZIP gzip REQUIRED)
set(cj_compressed)
foreach(source man/cjpos.1 man/Lanserve.1 man/zh_CN/cjpos.1 man/zh_CN/Lanserve.1 changelog)
    set(output ${CMAKE_BINARY_DIR}/packaging/${source}.gz)
    get_filename_component(output_dir ${output} DIRECTORY)
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
        COMMAND sh -c "\"$1\" -9n -c \"$2\" > \"$3\"" gzip ${CJ_GZIP} ${CJ_ROOT}/packaging/${source} ${output}
        DEPENDS ${CJ_ROOT}/packaging/${source}
        VERBATIM)
    list(APPEND cj_compressed ${output})
endforeach()
add_custom_target(cjdocs ALL DEPENDS ${cj_compressed})
install(FILES ${CMAKE_BINARY_DIR}/packaging/man/cjpos.1.gz ${CMAKE_BINARY_DIR}/packaging/man/Lanserve.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/packaging/man/zh_CN/cjpos.1.gz
              ${CMAKE_BINARY_DIR}/packaging/man/zh_CN/Lanserve.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/zh_CN/man1)
install(FILES ${CJ_ROOT}/packaging/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/cjpos)

if(NOT PROJECT_IS_TOP_LEVEL)
    return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cjpos)
set(CPACK_PACKAGE_VENDOR "澄槿")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The repository names no other contact; this is where the restaurant's technicians write.
set(CJ_MAINTAINER "澄槿餐饮软件 <support@chengjin-pos.example>")
set(CPACK_PACKAGE_CONTACT ${CJ_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "restaurant ordering and cashier program (澄槿餐饮点餐收银软件)")
# Debian's extended description: lines of at most 80 characters, each begun with a space by CPack.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "A counter program for small restaurants: every dining table as a tile,\n"
    "orders taken from the menu by pinyin initials or Chinese, kitchen tickets\n"
    "and customer bills, checkout with discount or an amount on account, the\n"
    "history of closed bills, turnover and item sales statistics with export to\n"
    "Excel (.xls), and ordering from phones through the LAN server Lanserve.\n"
    "The interface is in simplified Chinese.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME cjpos)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CJ_MAINTAINER})
# The libraries the two programs link, with their versions, come from dpkg-shlibdeps. Listed by hand is
# only what the programs load by name at run time, which ldd cannot see:
#   fonts-noto-cjk          the CJK fonts the windows and the printing ask for (宋体, 黑体)
#   qt6-translations-l10n   qtbase_zh_CN.qm, Qt's own dialogs and buttons in Chinese
#   qt6-image-formats-plugins   Qt's webp reader, for dish pictures picked in that format
# (The X11 platform plugin is in libqt6gui6, the CUPS print plugin in libqt6printsupport6: both come with
# the libraries shlibdeps finds.)
set(CJ_RUNTIME_DEPENDS fonts-noto-cjk qt6-translations-l10n qt6-image-formats-plugins)
# ---- Printing and database client packages ----
# The raw printing to CUPS queues (libcups2) and the server database client (libpq5) are linked
# libraries: dpkg-shlibdeps lists them and nothing is added here. Append here only a package that
# printing or the database client loads by name at run time, e.g. list(APPEND CJ_RUNTIME_DEPENDS name).
# ---- end of printing and database client packages ----
string(JOIN ", " CPACK_DEBIAN_PACKAGE_DEPENDS ${CJ_RUNTIME_DEPENDS})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The manual opens in the default browser through xdg-open; the hourly backup of a server database runs
# pg_dump (a restaurant on the database file needs neither).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, postgresql-client")
# No maintainer scripts: removing the package removes the program only, never data or backups.

include(CPack)
