# The settings dialog and the tray icon: the INI document, D-Bus (to follow the StatusNotifierItem
# watcher) and the tray image, embedded as a Qt resource (":/icons/tray.ico").
find_package(Qt6 REQUIRED COMPONENTS DBus Widgets)
target_link_libraries(ui PUBLIC Qt6::Widgets Qt6::DBus storage platform)
qt_add_resources(ui ui_tray_icon
    PREFIX "/icons"
    BASE "${PROJECT_SOURCE_DIR}/assets/icons"
    FILES "${PROJECT_SOURCE_DIR}/assets/icons/tray.ico")
