# The band's Qt tools: tab strip and tabbed window, node property pages,
# help and About, and the help viewer program. Included from the band
# library's folder when the user interface is built.

wys_add_library(wys_bandtools
    SOURCES tools/TabStripMetrics.cpp tools/CDotNetTabCtrl.cpp tools/CTabbedChildWindow.cpp
            tools/BandIcons.cpp tools/CPropertySheet.cpp tools/CPropertyPage.h
            CNodePropertyPage.cpp CTimePP.cpp CUrlPP.cpp CDayPP.cpp CMonthPP.cpp NodePropertySheet.cpp
    LIBS wys_advancedtree_ui wys_historymodel wys_common Qt6::Widgets)
set_target_properties(wys_bandtools PROPERTIES AUTOMOC ON)
