sm_test(tone_tests MAIN plain
    SOURCES
        ToneTest.cpp
    LIBS
        engine
        PkgConfig::ALSA
)
