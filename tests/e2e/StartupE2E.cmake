# The real program on a virtual X display of the test's own, with a window manager, bound to a
# recording build of the modem library instead of the real one.
add_library(mondem_recording SHARED RecordingMondem.cpp)
target_include_directories(mondem_recording PRIVATE ${PROJECT_SOURCE_DIR})
set_target_properties(mondem_recording PROPERTIES
    OUTPUT_NAME mondem
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/recording-mondem
    CXX_VISIBILITY_PRESET hidden)
sm_target_defaults(mondem_recording)

add_test(NAME e2e_startup
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/startup_e2e.sh
            $<TARGET_FILE:servermonitor> $<TARGET_FILE_DIR:mondem_recording>)
set_tests_properties(e2e_startup PROPERTIES TIMEOUT 180)
