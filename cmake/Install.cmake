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

if(NOT PROJECT_IS_TOP_LEVEL)
    return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cjpos)
set(CPACK_PACKAGE_VENDOR "澄槿")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "澄槿餐饮点餐收银软件 <cjpos@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "澄槿餐饮点餐收银软件: restaurant ordering and cashier program")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "A counter program for small restaurants: every dining table as a tile, orders taken from the "
    "menu by pinyin initials or Chinese, kitchen tickets and customer bills, checkout with discount "
    "or an amount on account, the history of closed bills, turnover and item sales statistics with "
    "export to .xls, and ordering from phones through the LAN server Lanserve. Chinese interface.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME cjpos)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "澄槿餐饮点餐收银软件 <cjpos@localhost>")
# The Debian 12 packages holding the libraries the two programs link (checked with ldd and dpkg -S),
# the Qt platform plugins and the CJK fonts the windows and the printing ask for by name.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libgcc-s1, libglib2.0-0, libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6printsupport6 (>= 6.4), qt6-qpa-plugins, libsqlcipher0, libmicrohttpd12, libgsf-1-114, libpq5, libcups2, fonts-noto-cjk")
# The manual opens in the default browser through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
# No maintainer scripts: removing the package removes the program only, never data or backups.

include(CPack)
