# The real monitor on a virtual display of its own, probing one accepting and one refused local
# server until the refused one alerts. The interval field is set to 5 s by typing into it, as
# the value is stored nowhere; about 25 s. Skips itself when Xvfb, openbox or xdotool is missing.
if(TARGET servermonitor)
    sm_test(engine_e2e MAIN plain
        SOURCES
            ${CMAKE_CURRENT_LIST_DIR}/EngineE2E.cpp
            ${CMAKE_CURRENT_LIST_DIR}/MonitorProcess.cpp
        LIBS
            platform
        TIMEOUT 300
    )
    target_compile_definitions(engine_e2e PRIVATE
        SM_SERVERMONITOR="$<TARGET_FILE:servermonitor>"
        SM_MONITOR_ON_DISPLAY="${CMAKE_CURRENT_LIST_DIR}/monitor_on_display.sh")
    add_dependencies(engine_e2e servermonitor)
endif()
