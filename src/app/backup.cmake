# The shutdown backup, included by this folder's CMakeLists.txt.
target_sources(cjcore PRIVATE ${CMAKE_CURRENT_LIST_DIR}/Backup.cpp ${CMAKE_CURRENT_LIST_DIR}/Backup.h)
