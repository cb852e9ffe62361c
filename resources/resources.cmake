# Resources of the GUI layers, compiled into the program: the selector
# images and the program icon (images/), the stored window layouts named
# after their form classes (forms/). Reached as ":/images/FLOPPY.bmp",
# ":/images/MAINICON.png", ":/forms/TForm1.ui".
file(GLOB gui_images CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
  ${CMAKE_CURRENT_SOURCE_DIR}/images/*.bmp ${CMAKE_CURRENT_SOURCE_DIR}/images/*.png)
file(GLOB gui_forms CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
  ${CMAKE_CURRENT_SOURCE_DIR}/forms/*.ui)

add_library(kivra_gui_resources STATIC GuiResources.cpp GuiResources.h)
target_link_libraries(kivra_gui_resources PUBLIC Qt6::Core PRIVATE kivra_warnings)
target_include_directories(kivra_gui_resources PUBLIC ${PROJECT_SOURCE_DIR})
qt_add_resources(kivra_gui_resources "kivra_gui_resources" PREFIX "/" FILES ${gui_images} ${gui_forms})

# The help file lies beside the executable, where the Help command looks.
file(GLOB help_files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/help/*)
foreach(help_file IN LISTS help_files)
  get_filename_component(help_name ${help_file} NAME)
  configure_file(${help_file} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${help_name} COPYONLY)
endforeach()
