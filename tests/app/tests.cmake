vistrelcv_add_test(test_app_rules SOURCES app/CommandLineTest.cpp app/FramePlacementTest.cpp
                   LIBS vistrelcv_ui LABELS app)
