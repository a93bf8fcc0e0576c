# The real monitor sends its alert SMS through libmondem.so to the simulated modem of tests/sms.
# The alert case runs it on a virtual display of its own and types 5 s into the interval field;
# about 25 s. It skips itself when Xvfb, openbox or xdotool is missing.
if(TARGET servermonitor AND TARGET sms_test_support)
    sm_test(sms_alert_e2e MAIN plain
        SOURCES
            ${CMAKE_CURRENT_LIST_DIR}/SmsAlertE2E.cpp
            ${CMAKE_CURRENT_LIST_DIR}/MonitorProcess.cpp
        LIBS
            sms_test_support
        TIMEOUT 420
    )
    target_compile_definitions(sms_alert_e2e PRIVATE
        SM_SERVERMONITOR="$<TARGET_FILE:servermonitor>"
        SM_MONITOR_ON_DISPLAY="${CMAKE_CURRENT_LIST_DIR}/monitor_on_display.sh"
        SM_ADMIN_NUMBER="${SM_ADMIN_NUMBER}")
    add_dependencies(sms_alert_e2e servermonitor)
endif()
