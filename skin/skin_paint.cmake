# The manager and the painters work on Qt widgets.
target_link_libraries(skin PUBLIC Qt6::Widgets platform)
# The folder may briefly hold headers only while its pieces arrive.
set_target_properties(skin PROPERTIES LINKER_LANGUAGE CXX)
