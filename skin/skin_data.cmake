# The package, the description reader and the skin component.
target_link_libraries(skin PUBLIC storage platform Qt6::Gui Qt6::Widgets)
