sm_test(engine_tests MAIN core
    SOURCES
        AlertTest.cpp
        ServerTableTest.cpp
    LIBS
        engine
)
