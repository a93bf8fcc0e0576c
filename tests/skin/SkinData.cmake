# LZHUF, the skin package and its reader: pure functions, no display needed.
sm_test(skin_package_tests MAIN plain
    SOURCES
        LzhufTest.cpp
        SkinPackageTest.cpp
    LIBS
        skin
)
