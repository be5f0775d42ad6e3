# Kitchen ticket and bill: layouts in cjcore, printing and the preview window in cjui.
target_sources(cjcore PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/BillLayout.cpp ${CMAKE_CURRENT_LIST_DIR}/BillLayout.h
    ${CMAKE_CURRENT_LIST_DIR}/KitchenTicket.cpp ${CMAKE_CURRENT_LIST_DIR}/KitchenTicket.h)
target_sources(cjui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/Printing.cpp ${CMAKE_CURRENT_LIST_DIR}/Printing.h
    ${CMAKE_CURRENT_LIST_DIR}/PageTransport.cpp ${CMAKE_CURRENT_LIST_DIR}/PageTransport.h
    ${CMAKE_CURRENT_LIST_DIR}/BillPreviewWindow.cpp ${CMAKE_CURRENT_LIST_DIR}/BillPreviewWindow.h)
