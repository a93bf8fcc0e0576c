find_package(Qt6 REQUIRED COMPONENTS Test)

sm_test(ui_main_tests MAIN gui
    SOURCES
        TSpinEditTest.cpp
        LogPaneTest.cpp
        TListViewTest.cpp
        TForm1Test.cpp
        FakeModem.cpp
    LIBS
        ui
        Qt6::Test
)
