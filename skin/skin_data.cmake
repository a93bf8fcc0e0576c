# The package, the description reader and the skin component.
target_link_libraries(skin PUBLIC storage platform Qt6::Gui Qt6::Widgets)

# The skin the main window carries: drawn by skingen, packed by skinpack into a SkinStream and
# compiled into skin_assets as MainWindowSkinStream() (header MainWindowSkin.h).
set(skin_generated ${CMAKE_CURRENT_BINARY_DIR}/generated)
set(skin_folder ${CMAKE_CURRENT_BINARY_DIR}/own-skin)
add_custom_command(
    OUTPUT ${skin_generated}/MainWindowSkin.cpp ${skin_generated}/MainWindowSkin.h
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${skin_folder}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${skin_generated}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen
            $<TARGET_FILE:skingen> ${skin_folder}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
            $<TARGET_FILE:skinpack> embed ${skin_folder}
            ${skin_generated}/MainWindowSkin.cpp ${skin_generated}/MainWindowSkin.h
            MainWindowSkinStream
    DEPENDS skingen skinpack
    COMMENT "Drawing and packing the main window's skin"
    VERBATIM)
add_library(skin_assets STATIC ${skin_generated}/MainWindowSkin.cpp)
target_include_directories(skin_assets PUBLIC ${skin_generated})
sm_target_defaults(skin_assets)
