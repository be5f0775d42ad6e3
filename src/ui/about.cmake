# About box and the manual shipped with the program.
include(GNUInstallDirs)
target_sources(cjui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/AboutBox.cpp ${CMAKE_CURRENT_LIST_DIR}/AboutBox.h
    ${CMAKE_CURRENT_LIST_DIR}/Manual.cpp ${CMAKE_CURRENT_LIST_DIR}/Manual.h
)

# The manual folder as seen from the installed program's folder (../share/cjpos/manual), and in the
# source tree for a program run from its build folder.
file(RELATIVE_PATH CJ_MANUAL_FROM_BIN /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_DATADIR}/cjpos/manual)
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/Manual.cpp TARGET_DIRECTORY cjui PROPERTIES
    COMPILE_DEFINITIONS "CJ_MANUAL_FROM_BIN=\"${CJ_MANUAL_FROM_BIN}\";CJ_MANUAL_SOURCE=\"${CJ_ROOT}/doc/manual/index.html\"")

# The program icon, for the about box and the window icon.
qt_add_resources(cjui "program_icon"
    PREFIX "/cjpos"
    BASE ${CJ_ROOT}/packaging/icons
    FILES ${CJ_ROOT}/packaging/icons/cjpos-64.png ${CJ_ROOT}/packaging/icons/cjpos-256.png
)
