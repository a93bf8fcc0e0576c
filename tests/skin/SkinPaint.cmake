# The painters' style drawn offscreen and compared pixel by pixel with the skin's images, and the
# skin manager with real skin components.
sm_test(skin_paint_tests MAIN gui
    SOURCES
        SkinPaintSupport.cpp
        SkinStyleTest.cpp
        SkinManageTest.cpp
    LIBS
        skin
)

# The program's own skin on its real windows (main window, settings dialog, tray menu).
sm_test(skin_look_tests MAIN gui
    SOURCES
        SkinLookTest.cpp
    LIBS
        skin
        skin_assets
        ui
)
