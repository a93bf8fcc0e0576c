# The real monitor, headless, probing one accepting and one refused local server until the
# refused one alerts. About two and a half minutes: the default interval of 60 s is not
# shortened (it is not stored anywhere, and offscreen nothing can type into the field).
if(TARGET servermonitor)
    sm_test(engine_e2e MAIN plain
        SOURCES
            ${CMAKE_CURRENT_LIST_DIR}/EngineE2E.cpp
        LIBS
            platform
        TIMEOUT 300
    )
    target_compile_definitions(engine_e2e PRIVATE SM_SERVERMONITOR="$<TARGET_FILE:servermonitor>")
    add_dependencies(engine_e2e servermonitor)
endif()
