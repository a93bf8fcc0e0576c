# The settings dialog TForm3 and the tray icon TRxTrayIcon, headless (offscreen).
find_package(Qt6 REQUIRED COMPONENTS Test)
sm_test(dialog_tray_tests MAIN gui
    SOURCES
        TForm3Test.cpp
        TForm3HostTest.cpp
        TRxTrayIconTest.cpp
        FakeModem.cpp
    LIBS
        ui
        Qt6::Test
)

# The committed tray icon is exactly what tools/iconmaker draws.
add_test(NAME iconmaker_output_matches
    COMMAND ${CMAKE_COMMAND} -DMAKER=$<TARGET_FILE:iconmaker>
            -DOUTPUT=${CMAKE_CURRENT_BINARY_DIR}/tray.ico
            -DEXPECTED=${PROJECT_SOURCE_DIR}/assets/icons/tray.ico
            -P ${PROJECT_SOURCE_DIR}/tools/iconmaker/CompareIcon.cmake)
