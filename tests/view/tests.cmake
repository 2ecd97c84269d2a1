vistrelcv_add_test(test_view_rules SOURCES view/RefreshIntervalsTest.cpp
                   LIBS vistrelcv_ui LABELS view)
vistrelcv_add_test(test_view SOURCES view/ViewTest.cpp LIBS vistrelcv_ui Qt6::Test LABELS view)
vistrelcv_copy_sounds(test_view)
# The same view test on a screen of twice the density.
add_test(NAME ViewTest.SharpOnHighDensityScreens.ScaleFactor2
         COMMAND test_view --gtest_filter=ViewTest.SharpOnHighDensityScreens)
set_tests_properties(ViewTest.SharpOnHighDensityScreens.ScaleFactor2 PROPERTIES
                     LABELS view TIMEOUT 300
                     ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_SCALE_FACTOR=2")
