target_link_libraries(ui PUBLIC Qt6::Widgets engine sms storage platform skin skin_assets)
