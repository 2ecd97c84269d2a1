# Tests of the capture panel and the save-settings dialog (offscreen).
vistrelcv_add_test(test_dialogs_panel
                   SOURCES dialogs/panel/PanelLogicTest.cpp dialogs/panel/RecCtrlDlgTest.cpp
                           dialogs/panel/OptionDlgTest.cpp dialogs/panel/PanelTestSupport.h
                   LIBS vistrelcv_ui Qt6::Test
                   LABELS dialogs)
