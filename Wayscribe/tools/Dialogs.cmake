# The band's dialogs: the search pane with its worker, the options dialog,
# and the export and import dialogs. Included from the band library's folder
# when the user interface is built.

wys_add_library(wys_banddialogs
    SOURCES tools/CKeepTime.cpp tools/CUpDownControl.cpp tools/COptionsDialog.cpp tools/CSearchSettings.cpp
            tools/CCheckedTimeEdit.cpp tools/CExportRange.cpp tools/CExportPanel.cpp tools/CHistoryFileDialog.cpp
            tools/CExportDialog.cpp tools/HistoryImport.cpp tools/CSearchDialog.cpp
    LIBS wys_bandtools wys_advancedtree_ui wys_historymodel wys_tools_search wys_tools_regexp wys_common wys_platform_registry wys_platform_ui
         wys_platform_shell Qt6::Widgets)
set_target_properties(wys_banddialogs PROPERTIES AUTOMOC ON)
