# Tests of the capture panel and the save-settings dialog (offscreen).
vistrelcv_add_test(test_dialogs_panel
                   SOURCES dialogs/panel/PanelLogicTest.cpp dialogs/panel/CapturePanelTest.cpp
                   LIBS vistrelcv_ui Qt6::Test
                   LABELS dialogs)
