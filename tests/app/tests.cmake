vistrelcv_add_test(test_app_rules SOURCES app/CommandLineTest.cpp app/FramePlacementTest.cpp
                   LIBS vistrelcv_ui LABELS app)
vistrelcv_add_test(test_app SOURCES app/AppTest.cpp LIBS vistrelcv_ui Qt6::Test LABELS app)
# The test device's camera: the process links the device library (kept although nothing calls it).
target_link_libraries(test_app PRIVATE fakev4l2)
target_link_options(test_app PRIVATE -Wl,--no-as-needed)
vistrelcv_copy_sounds(test_app)
