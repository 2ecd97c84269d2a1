vistrelcv_add_test(test_view_rules SOURCES view/RefreshIntervalsTest.cpp view/ViewTimerTest.cpp
                   LIBS vistrelcv_ui LABELS view)
vistrelcv_add_test(test_view SOURCES view/ViewTest.cpp LIBS vistrelcv_ui Qt6::Test LABELS view)
vistrelcv_copy_sounds(test_view)
