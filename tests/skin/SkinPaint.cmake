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
