# The tray icon and the settings dialog of the real program on a real X display: Xvfb, openbox,
# the trayer panel as XEmbed tray host, xdotool as the operator. Each case starts its own display.
find_program(SM_XVFB Xvfb)
find_program(SM_OPENBOX openbox)
find_program(SM_TRAYER trayer)
find_program(SM_XDOTOOL xdotool)
find_program(SM_XWININFO xwininfo)

if(SM_XVFB AND SM_OPENBOX AND SM_TRAYER AND SM_XDOTOOL AND SM_XWININFO)
    foreach(case hide_and_double_click_shows menu_show_item quit_from_menu
                 quit_from_menu_while_settings_open settings_add_writes_file tray_restart_readds_icon)
        add_test(NAME e2e_dialog_tray_${case}
            COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/dialog_tray_e2e.sh
                    $<TARGET_FILE:servermonitor> ${case})
        set_tests_properties(e2e_dialog_tray_${case} PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE)
    endforeach()
else()
    message(STATUS "Xvfb, openbox, trayer, xdotool or xwininfo missing: tray end-to-end tests left out")
endif()
