vistrelcv_add_test(test_app_rules SOURCES app/CommandLineTest.cpp app/FramePlacementTest.cpp
                   LIBS vistrelcv_ui LABELS app)
vistrelcv_add_test(test_app SOURCES app/AppTest.cpp LIBS vistrelcv_ui Qt6::Test LABELS app)
vistrelcv_copy_sounds(test_app)
