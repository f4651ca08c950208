# The band's Qt tools: tab strip and tabbed window, property sheet,
# help and About, and the help viewer program. Included from the band
# library's folder when the user interface is built.

wys_add_library(wys_bandtools
    SOURCES tools/TabStripMetrics.cpp tools/CDotNetTabCtrl.cpp tools/CTabbedChildWindow.cpp
            tools/BandIcons.cpp tools/CPropertySheet.cpp tools/CPropertyPage.h
            tools/Help.cpp tools/CHelpViewer.cpp tools/BandVersion.cpp tools/CAboutDialog.cpp
            tools/CQtMessageBoxPresenter.cpp
    LIBS wys_advancedtree_ui wys_historymodel wys_common wys_platform_registry wys_platform_ui Qt6::Widgets)
set_target_properties(wys_bandtools PROPERTIES AUTOMOC ON)
# The band library's product version, as the About box shows it.
set(wys_version_revision 0)
if(PROJECT_VERSION_TWEAK)
    set(wys_version_revision ${PROJECT_VERSION_TWEAK})
endif()
target_compile_definitions(wys_bandtools PRIVATE
    WYS_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} WYS_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    WYS_VERSION_BUILD=${PROJECT_VERSION_PATCH} WYS_VERSION_REVISION=${wys_version_revision})

# The help set, written for Wayscribe: copied next to the build's programs
# (share/wayscribe/help), from where it is installed. HelpPath names it.
set(WAYSCRIBE_HELP_FILES About.htm optionsd.htm topics.txt)
set(WAYSCRIBE_HELP_DIR ${PROJECT_BINARY_DIR}/share/wayscribe/help CACHE INTERNAL "The built help folder")
foreach(file ${WAYSCRIBE_HELP_FILES})
    configure_file(tools/help/${file} ${WAYSCRIBE_HELP_DIR}/${file} COPYONLY)
endforeach()

# The help viewer the band starts for whole topics.
add_executable(wayscribe-help tools/HelpViewerMain.cpp)
target_link_libraries(wayscribe-help PRIVATE wys_bandtools)
wys_target_defaults(wayscribe-help)
