sm_test(engine_tests MAIN core
    SOURCES
        AlertTest.cpp
        ProbeCycleTest.cpp
        ServerTableTest.cpp
    LIBS
        engine
)
