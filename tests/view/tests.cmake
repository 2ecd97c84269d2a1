vistrelcv_add_test(test_view_rules SOURCES view/RefreshIntervalsTest.cpp view/ViewTimerTest.cpp
                   LIBS vistrelcv_ui LABELS view)
