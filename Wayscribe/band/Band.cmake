# The band itself: the component CSurfBand, its window with the toolbar and
# tabs, and the commands of the history nodes. Included from the band
# library's folder when the user interface is built. The logic is a static
# library so that tests link it; libWayscribe.so is what a browser loads.

wys_add_library(wys_band STATIC
    SOURCES band/BandModule.cpp band/BandSettings.cpp band/BandMenus.cpp band/NodeCommands.cpp
            band/CBandWindow.cpp band/CSurfBand.cpp band/BandRegistration.cpp
    LIBS wys_banddialogs wys_propertypages wys_tools_tabstrip wys_tools_help wys_tools_widgets wys_advancedtree_ui
         wys_historymodel wys_common wys_platform_browser wys_platform_rpc wys_platform_registry wys_platform_ui
         Qt6::Widgets)
set_target_properties(wys_band PROPERTIES AUTOMOC ON)

wys_add_library(Wayscribe SHARED
    SOURCES band/DllExports.cpp
    PRIVATE_LIBS wys_band ${CMAKE_DL_LIBS})
